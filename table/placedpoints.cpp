// Reading, checking and converting each row's coordinates, a half of the rows on each thread;
// the same place twice is found once both halves are read.
#include "table/placedpoints.h"

#include "common/secondthread.h"
#include "table/coordinatetext.h"
#include "table/tableview.h"
#include "table/timetext.h"
#include "workbook/fieldtext.h"

#include <algorithm>
#include <tuple>

namespace table {

using workbook::Cell;
using workbook::CellKind;

namespace {

enum class Reading { Empty, Unreadable, Read };

// A coordinate as read from its cell; the cell's text is made only for a problem's line.
struct Value {
    Reading reading = Reading::Empty;
    double number = 0;
    int column = -1;
    const Cell *cell = nullptr;
};

QString textOf(const TableView &table, const Cell *cell) {
    return workbook::fieldtext::cellText(table.sheet(), cell, u'.');
}

Value readCell(const TableView &table, int row, int column, Axis axis) {
    Value v;
    v.column = column;
    const Cell *c = table.cell(row, column);
    if (!c)
        return v;
    v.cell = c;
    v.reading = Reading::Unreadable;
    if (c->kind == CellKind::Number) {
        v.reading = Reading::Read;
        v.number = c->number;
    } else if (c->kind == CellKind::Text) {
        const Coordinate coordinate = readCoordinate(table.sheet().strings.view(c->text), axis);
        if (coordinate.ok) {
            v.reading = Reading::Read;
            v.number = coordinate.value;
        }
    }
    return v;
}

// Both values of a coordinates cell, in the order the roles give.
void readPair(const TableView &table, int row, const Roles &roles, Value &lon, Value &lat) {
    lon.column = lat.column = roles.coordinates;
    const Cell *c = table.cell(row, roles.coordinates);
    if (!c)
        return;
    lon.cell = lat.cell = c;
    lon.reading = lat.reading = Reading::Unreadable;
    QString first, second;
    if (c->kind != CellKind::Text ||
        !splitCoordinatePair(table.sheet().strings.view(c->text), first, second))
        return;
    const Coordinate a =
        readCoordinate(first, roles.latitudeFirst ? Axis::Latitude : Axis::Longitude);
    const Coordinate b =
        readCoordinate(second, roles.latitudeFirst ? Axis::Longitude : Axis::Latitude);
    if (!a.ok || !b.ok)
        return;
    lon.reading = lat.reading = Reading::Read;
    lon.number = roles.latitudeFirst ? b.value : a.value;
    lat.number = roles.latitudeFirst ? a.value : b.value;
}

} // namespace

bool readCoordinates(const TableView &table, const Roles &roles, int sheetRow, double &lon,
                     double &lat) {
    Value lonValue, latValue;
    if (roles.coordinates >= 0) {
        readPair(table, sheetRow, roles, lonValue, latValue);
    } else {
        lonValue = readCell(table, sheetRow, roles.longitude, Axis::Longitude);
        latValue = readCell(table, sheetRow, roles.latitude, Axis::Latitude);
    }
    lon = lonValue.number;
    lat = latValue.number;
    return lonValue.reading == Reading::Read && latValue.reading == Reading::Read;
}

namespace {

bool lonInRange(double v) {
    return v >= -180 && v <= 180;
}
bool latInRange(double v) {
    return v >= -90 && v <= 90;
}

// The time cell of a row: whether it reads, and what it gives.
bool readTime(const TableView &table, const Cell &c, PointTime &time) {
    if (c.kind == CellKind::Date) {
        time.kind = PointTime::Kind::DateCell;
        return true;
    }
    if (c.kind != CellKind::Text)
        return false;
    TimeFields t;
    if (!readTimeFields(table.sheet().strings.view(c.text), t))
        return false;
    time.kind = PointTime::Kind::Text;
    time.year = std::uint16_t(t.year);
    time.month = std::uint8_t(t.month);
    time.day = std::uint8_t(t.day);
    time.hour = std::uint8_t(t.hour);
    time.minute = std::uint8_t(t.minute);
    time.second = std::uint8_t(t.second);
    return true;
}

// The rows from..to of the data rows placed at out; returns how many were. Their problems in row
// order.
std::size_t placeSome(const TableView &table, const TableOptions &options, std::size_t from,
                      std::size_t to, PlacedPoint *out, std::vector<Problem> &problems) {
    const Roles &roles = options.roles;
    const std::vector<int> &dataRows = table.dataRows();
    PlacedPoint *const start = out;
    for (std::size_t i = from; i < to; ++i) {
        const int sheetRow = dataRows[i];
        const int row = sheetRow + 1;
        Value lon, lat;
        if (roles.coordinates >= 0) {
            readPair(table, sheetRow, roles, lon, lat);
        } else {
            lon = readCell(table, sheetRow, roles.longitude, Axis::Longitude);
            lat = readCell(table, sheetRow, roles.latitude, Axis::Latitude);
        }
        auto problem = [&](const Value &v, ProblemKind kind) {
            problems.push_back({row, v.column, kind, 0, textOf(table, v.cell)});
        };
        if (lon.reading == Reading::Empty || lat.reading == Reading::Empty) {
            problem(lon.reading == Reading::Empty ? lon : lat, ProblemKind::NoCoordinates);
            continue;
        }
        if (lon.reading == Reading::Unreadable || lat.reading == Reading::Unreadable) {
            problem(lon.reading == Reading::Unreadable ? lon : lat, ProblemKind::Unreadable);
            continue;
        }
        if (!lonInRange(lon.number) || !latInRange(lat.number)) {
            const Value &out = !lonInRange(lon.number) ? lon : lat;
            const bool swapped = lonInRange(lat.number) && latInRange(lon.number);
            problem(out, swapped ? ProblemKind::LooksSwapped : ProblemKind::OutOfRange);
            continue;
        }
        if (lon.number == 0 && lat.number == 0) {
            problem(lon, ProblemKind::ZeroZero);
            continue;
        }
        PlacedPoint &point = *out++;
        point.row = {sheetRow, {lon.number, lat.number}};
        if (roles.time >= 0)
            if (const Cell *c = table.cell(sheetRow, roles.time);
                c && !readTime(table, *c, point.time))
                problems.push_back(
                    {row, roles.time, ProblemKind::TimeUnreadable, 0, textOf(table, c)});
        if (roles.altitude >= 0) {
            const Cell *c = table.cell(sheetRow, roles.altitude);
            point.hasAltitude = c && readAltitude(table, *c, point.altitude);
            if (c && !point.hasAltitude)
                problems.push_back(
                    {row, roles.altitude, ProblemKind::AltitudeUnreadable, 0, textOf(table, c)});
        }
    }
    return std::size_t(out - start);
}

} // namespace

std::vector<PlacedPoint> placePoints(const TableView &table, const TableOptions &options,
                                     std::vector<Problem> &problems, int threads) {
    const Roles &roles = options.roles;
    if (roles.orderUncertain)
        problems.push_back({1, roles.longitude, ProblemKind::OrderUncertain, 0, QString()});
    const std::size_t firstRowProblem = problems.size();
    const std::size_t rows = table.dataRows().size();
    const std::size_t half = threads > 1 && rows >= 2 ? rows / 2 : rows;

    std::vector<PlacedPoint> points(rows);
    std::vector<Problem> laterProblems;
    std::size_t placed = 0, later = 0;
    {
        SecondThread second(
            [&] {
                later = placeSome(table, options, half, rows, points.data() + half, laterProblems);
            },
            SecondThread::When::SeveralCores, threads > 1 ? 2u : 1u);
        placed = placeSome(table, options, 0, half, points.data(), problems);
        second.wait();
    }
    std::move(points.begin() + std::ptrdiff_t(half), points.begin() + std::ptrdiff_t(half + later),
              points.begin() + std::ptrdiff_t(placed));
    points.resize(placed + later);
    problems.insert(problems.end(), std::make_move_iterator(laterProblems.begin()),
                    std::make_move_iterator(laterProblems.end()));

    // The same place as an earlier written row, found once every row is read: the places sorted
    // with each one's rows in row order, as a stable sort by place leaves them.
    struct Seen {
        double lon, lat;
        std::uint32_t point;
    };
    std::vector<Seen> places(points.size());
    for (std::size_t i = 0; i < places.size(); ++i)
        places[i] = {points[i].row.wgs84.lon, points[i].row.wgs84.lat, std::uint32_t(i)};
    std::sort(places.begin(), places.end(), [](const Seen &a, const Seen &b) {
        return std::tie(a.lon, a.lat, a.point) < std::tie(b.lon, b.lat, b.point);
    });
    const int lonColumn = roles.coordinates >= 0 ? roles.coordinates : roles.longitude;
    for (std::size_t i = 0; i < places.size();) {
        std::size_t j = i + 1;
        for (;
             j < places.size() && places[j].lon == places[i].lon && places[j].lat == places[i].lat;
             ++j) {
            const int sheetRow = points[places[j].point].row.sheetRow;
            problems.push_back({sheetRow + 1, lonColumn, ProblemKind::SamePlace,
                                points[places[i].point].row.sheetRow + 1,
                                textOf(table, table.cell(sheetRow, lonColumn))});
        }
        i = j;
    }
    std::vector<Seen>().swap(places);
    std::stable_sort(problems.begin() + std::ptrdiff_t(firstRowProblem), problems.end(),
                     [](const Problem &a, const Problem &b) {
                         return std::tie(a.row, a.kind) < std::tie(b.row, b.kind);
                     });

    // The points in WGS-84, converted after the check, which compares the values as read; a
    // half on each thread, as the inverse of a web map's datum is found by iteration.
    if (options.datum != Datum::Wgs84) {
        auto convert = [&](std::size_t from, std::size_t to) {
            for (std::size_t i = from; i < to; ++i)
                points[i].row.wgs84 = toWgs84(points[i].row.wgs84, options.datum);
        };
        const std::size_t middle = threads > 1 ? points.size() / 2 : points.size();
        SecondThread second([&] { convert(middle, points.size()); },
                            SecondThread::When::SeveralCores, threads > 1 ? 2u : 1u);
        convert(0, middle);
        second.wait();
    }
    return points;
}

} // namespace table
