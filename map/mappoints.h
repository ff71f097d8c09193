// What the map shows of a table: each placed row's point in the world square with its category,
// and the rows with a problem where they can be drawn: a row that looks swapped where it would
// be if swapped, a (0, 0) row at (0, 0), a duplicate or a row with a warning where it is.
#pragma once

#include "table/tablerows.h"

#include <QColor>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace map {

enum class RingKind {
    Problem,   // a warning on a placed row (time, altitude), or a (0, 0) row: a red ring
    Swapped,   // a row left out that looks swapped, at its swapped place: a dashed red ring
    Duplicate, // the same place as an earlier row: an orange ring
};

// A category's colour as the KML's style gives it (table::categoryColour, aabbggrr).
QColor categoryColor(int category);

class MapPoints {
public:
    // The table's rows read with the options, as the KML is written. The table must outlive
    // the points for name().
    static MapPoints of(const table::TableView &table, const table::TableOptions &options);
    // The same from the rows and problems table::placeRows gave for the options.
    static MapPoints of(const table::TableView &table, const table::TableOptions &options,
                        const std::vector<table::PlacedRow> &rows,
                        const std::vector<table::Problem> &problems);

    // The placed rows in sheet order: world square x and y, sheet row, category (from 0).
    std::vector<double> x, y;
    std::vector<int> sheetRow;
    std::vector<int> category;
    // The category names in order of first appearance; empty without a category column.
    QStringList categories;

    // The problem rows drawn as rings.
    std::vector<double> ringX, ringY;
    std::vector<int> ringRow;
    std::vector<RingKind> ringKind;

    int problemRows = 0;  // rows with any problem or warning
    int unplacedRows = 0; // rows with a problem that have no place to be drawn

    int count() const { return int(x.size()); }
    int styleCount() const { return categories.isEmpty() ? 1 : int(categories.size()); }
    // The world square's rectangle round the placemarks, or round the rings when no row is
    // placed; none without either.
    std::optional<QRectF> bounds() const;
    // The placed point of a sheet row; -1 when the row is not placed.
    int indexOf(int sheetRow) const;
    // Where the row's point, or else its ring, lies in the world square; none without either.
    std::optional<QPointF> placeOf(int sheetRow) const;
    // The row's name as its name cell shows it; empty without one.
    QString name(int sheetRow) const;
    // "N 个地标，M 行有问题", and how many of those have no place on the map.
    QString status() const;

private:
    const table::TableView *m_table = nullptr;
    int m_nameColumn = -1;
};

} // namespace map
