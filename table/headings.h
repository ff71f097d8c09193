// The role a column's heading names: longitude, latitude, both coordinates in one cell (in
// either order), name, description, category, altitude or time.
#pragma once

#include <QString>
#include <QStringView>

namespace table {

enum class Role {
    None,
    Longitude,
    Latitude,
    CoordinatesLatLon, // both numbers in one cell, latitude first
    CoordinatesLonLat, // both numbers in one cell, longitude first
    Name,
    Description,
    Category,
    Altitude,
    Time,
};

// A heading as it is compared: trimmed, full-width forms folded to ASCII, lower-cased, a
// trailing unit in round or square brackets removed ("经度(°)", "Elevation [m]"), then blanks,
// "_", "-" and "." removed.
QString comparableHeading(QStringView heading);

// The role whose list holds the heading; Role::None when none does.
Role roleOfHeading(QStringView heading);

} // namespace table
