// The categories of a table's placed rows: the category column's texts in order of first
// appearance, each the folder and style of its rows.
#pragma once

#include "table/tablerows.h"

#include <QStringList>

#include <vector>

namespace table {

class TableView;
struct PlacedPoint;

struct Categories {
    // In order of first appearance; empty when the table has no category column (one style for
    // all rows). An empty cell is the category "(未分类)".
    QStringList names;
    // The category of each placed row, by its index in the rows given; all 0 without a column.
    std::vector<int> ofRow;

    int styleCount() const { return names.isEmpty() ? 1 : int(names.size()); }
};

Categories categoriesOf(const TableView &table, int column, const std::vector<PlacedRow> &rows);
// The same of placed points (placedpoints).
Categories categoriesOf(const TableView &table, int column, const std::vector<PlacedPoint> &points);

} // namespace table
