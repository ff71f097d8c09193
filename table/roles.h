// Which column of a table holds which role: given by the user, named by a heading, or found by
// what the columns hold. Every column has at most one role; a column without one goes into the
// placemarks' extended data.
#pragma once

#include "table/headings.h"

namespace table {

class TableView;

struct Roles {
    // Table columns; -1 for none.
    int longitude = -1;
    int latitude = -1;
    int coordinates = -1;      // both numbers in one cell
    bool latitudeFirst = true; // in the coordinates cell
    int name = -1;
    int description = -1;
    int category = -1;
    int altitude = -1;
    int time = -1;
    // The pair was found by content and nothing told which is which: the left one was taken as
    // the longitude.
    bool orderUncertain = false;

    bool hasCoordinates() const { return coordinates >= 0 || (longitude >= 0 && latitude >= 0); }
    Role roleOf(int column) const;
    bool operator==(const Roles &other) const;
};

// The roles of the table's columns: those in given first (its -1 roles are found), then by the
// headings, then the coordinates and the name by content.
Roles findRoles(const TableView &table, const Roles &given = Roles());

} // namespace table
