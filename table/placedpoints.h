// The rows of a table placed on two threads, a half each, with what their placemarks need besides
// the point: the altitude and the time as the row's check read them, so that the KML writer does
// not read them again. placeRows is this with only the rows handed out.
#pragma once

#include "table/tablerows.h"

#include <cstdint>
#include <vector>

namespace table {

// A time cell as the row's check read it.
struct PointTime {
    enum class Kind : std::uint8_t { None, Text, DateCell };
    Kind kind = Kind::None;
    // Text: the time the text gives.
    std::uint8_t month = 0, day = 0, hour = 0, minute = 0, second = 0;
    std::uint16_t year = 0;
};

struct PlacedPoint {
    PlacedRow row;
    double altitude = 0;
    bool hasAltitude = false;
    PointTime time;
};

// A row's longitude and latitude as written, read as a row's check reads them, before their range
// and datum are looked at: false when either is empty or does not read.
bool readCoordinates(const TableView &table, const Roles &roles, int sheetRow, double &lon,
                     double &lat);

// Places every data row as placeRows does, with the same problems in the same order. threads:
// 1 places them on this thread, 2 the second half on a second thread.
std::vector<PlacedPoint> placePoints(const TableView &table, const TableOptions &options,
                                     std::vector<Problem> &problems, int threads = 2);

} // namespace table
