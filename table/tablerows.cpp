// Reading, checking and converting each row's coordinates.
#include "table/tablerows.h"

#include "table/coordinatetext.h"
#include "table/tableview.h"
#include "table/timetext.h"
#include "workbook/fieldtext.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace table {

using workbook::Cell;
using workbook::CellKind;

QString problemText(const Problem &p) {
    switch (p.kind) {
    case ProblemKind::NoCoordinates:
        return QStringLiteral("缺少坐标");
    case ProblemKind::Unreadable:
        return QStringLiteral("无法识别的坐标");
    case ProblemKind::LooksSwapped:
        return QStringLiteral("疑似经纬度颠倒");
    case ProblemKind::OutOfRange:
        return QStringLiteral("超出范围");
    case ProblemKind::ZeroZero:
        return QStringLiteral("坐标为(0, 0)");
    case ProblemKind::SamePlace:
        return QStringLiteral("重复坐标（同第%1行）").arg(p.sameAs);
    case ProblemKind::TimeUnreadable:
        return QStringLiteral("无法识别的时间");
    case ProblemKind::AltitudeUnreadable:
        return QStringLiteral("无法识别的高度");
    case ProblemKind::OrderUncertain:
        return QStringLiteral("经纬度顺序不确定");
    }
    return QString();
}

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

bool lonInRange(double v) {
    return v >= -180 && v <= 180;
}
bool latInRange(double v) {
    return v >= -90 && v <= 90;
}

} // namespace

bool readAltitude(const TableView &table, const Cell &c, double &value) {
    if (c.kind == CellKind::Number) {
        value = c.number;
        return true;
    }
    if (c.kind != CellKind::Text)
        return false;
    QString text = foldToAscii(table.sheet().strings.view(c.text));
    if (text.endsWith(u'm') || text.endsWith(u'米'))
        text = text.chopped(1).trimmed();
    if (text.contains(u'e', Qt::CaseInsensitive))
        return false;
    bool ok = false;
    value = QLocale::c().toDouble(text, &ok);
    return ok && std::isfinite(value);
}

void placeRows(const TableView &table, const TableOptions &options,
               const std::function<void(const PlacedRow &)> &emit, std::vector<Problem> &problems) {
    const Roles &roles = options.roles;
    if (roles.orderUncertain)
        problems.push_back({1, roles.longitude, ProblemKind::OrderUncertain, 0, QString()});
    struct Seen {
        double lon, lat;
        int sheetRow;
    };
    std::vector<Seen> places;
    places.reserve(table.dataRows().size());
    const std::size_t firstRowProblem = problems.size();

    for (int sheetRow : table.dataRows()) {
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
        places.push_back({lon.number, lat.number, sheetRow});
        if (roles.time >= 0) {
            const Cell *c = table.cell(sheetRow, roles.time);
            if (c && c->kind != CellKind::Date &&
                !(c->kind == CellKind::Text &&
                  readTimeText(table.sheet().strings.view(c->text)).ok))
                problems.push_back(
                    {row, roles.time, ProblemKind::TimeUnreadable, 0, textOf(table, c)});
        }
        if (roles.altitude >= 0) {
            const Cell *c = table.cell(sheetRow, roles.altitude);
            double altitude = 0;
            if (c && !readAltitude(table, *c, altitude))
                problems.push_back(
                    {row, roles.altitude, ProblemKind::AltitudeUnreadable, 0, textOf(table, c)});
        }
        emit({sheetRow, toWgs84({lon.number, lat.number}, options.datum)});
    }

    // The same place as an earlier written row: found once every row is read.
    std::stable_sort(places.begin(), places.end(), [](const Seen &a, const Seen &b) {
        return std::tie(a.lon, a.lat) < std::tie(b.lon, b.lat);
    });
    const int lonColumn = roles.coordinates >= 0 ? roles.coordinates : roles.longitude;
    for (std::size_t i = 0; i < places.size();) {
        std::size_t j = i + 1;
        for (;
             j < places.size() && places[j].lon == places[i].lon && places[j].lat == places[i].lat;
             ++j)
            problems.push_back({places[j].sheetRow + 1, lonColumn, ProblemKind::SamePlace,
                                places[i].sheetRow + 1,
                                textOf(table, table.cell(places[j].sheetRow, lonColumn))});
        i = j;
    }
    std::stable_sort(problems.begin() + std::ptrdiff_t(firstRowProblem), problems.end(),
                     [](const Problem &a, const Problem &b) {
                         return std::tie(a.row, a.kind) < std::tie(b.row, b.kind);
                     });
}

} // namespace table
