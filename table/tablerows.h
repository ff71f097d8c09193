// The rows of a table as placemarks: each row's coordinates read, checked and taken to WGS-84,
// and what is wrong with the rows that cannot be placed or that look doubtful.
#pragma once

#include "table/datum.h"
#include "table/roles.h"
#include "workbook/sheetdata.h"

#include <QString>

#include <functional>
#include <vector>

namespace table {

class TableView;

// What the user chose for a table: the roles of its columns (those left -1 are found), the
// datum its coordinates are in, and whether the columns without a role go into each placemark.
struct TableOptions {
    Roles roles;
    Datum datum = Datum::Wgs84;
    bool extendedData = true;
};

enum class ProblemKind {
    // The row is left out.
    NoCoordinates,
    Unreadable,
    LooksSwapped,
    OutOfRange,
    ZeroZero,
    // Warnings: the row is written.
    SamePlace,
    TimeUnreadable,
    AltitudeUnreadable,
    OrderUncertain,
};

struct Problem {
    int row = 0;     // as a spreadsheet program shows it, from 1
    int column = -1; // table column
    ProblemKind kind = ProblemKind::NoCoordinates;
    int sameAs = 0; // SamePlace: the first row with that place
    QString text;   // the cell's text

    bool leavesOut() const { return kind <= ProblemKind::ZeroZero; }
};

// How many rows have a problem or a warning, in problems ordered by row (the table's uncertain
// order is no row's).
qint64 rowsWithProblems(const std::vector<Problem> &problems);

// The words a problem is shown with: "缺少坐标", "重复坐标（同第3行）" …
QString problemText(const Problem &problem);

// The placemark of one data row: its sheet row and its coordinates in WGS-84.
struct PlacedRow {
    int sheetRow = 0;
    LonLat wgs84;
};

// An altitude cell's metres: a number cell, or a decimal text optionally followed by "m" or "米".
bool readAltitude(const TableView &table, const workbook::Cell &cell, double &value);

// Reads every data row with the roles (which must have coordinates): emit is called for each
// row that can be placed, in order; problems receives every problem and warning, ordered by row
// (the uncertain order, if any, first, as row 1).
void placeRows(const TableView &table, const TableOptions &options,
               const std::function<void(const PlacedRow &)> &emit, std::vector<Problem> &problems);

} // namespace table
