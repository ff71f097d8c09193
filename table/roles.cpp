// The roles of a table's columns, by heading, then by content.
#include "table/roles.h"

#include "table/coordinatetext.h"
#include "table/tableview.h"
#include "table/timetext.h"

#include <QLocale>

#include <cmath>
#include <optional>
#include <vector>

namespace table {

using workbook::Cell;
using workbook::CellKind;

Role Roles::roleOf(int column) const {
    if (column < 0)
        return Role::None;
    if (column == longitude)
        return Role::Longitude;
    if (column == latitude)
        return Role::Latitude;
    if (column == coordinates)
        return latitudeFirst ? Role::CoordinatesLatLon : Role::CoordinatesLonLat;
    if (column == name)
        return Role::Name;
    if (column == description)
        return Role::Description;
    if (column == category)
        return Role::Category;
    if (column == altitude)
        return Role::Altitude;
    if (column == time)
        return Role::Time;
    return Role::None;
}

bool Roles::operator==(const Roles &o) const {
    return longitude == o.longitude && latitude == o.latitude && coordinates == o.coordinates &&
           (coordinates < 0 || latitudeFirst == o.latitudeFirst) && name == o.name &&
           description == o.description && category == o.category && altitude == o.altitude &&
           time == o.time && orderUncertain == o.orderUncertain;
}

namespace {

// What a column's cells say of it as a coordinate column.
struct CoordinateColumn {
    bool qualifies = false;
    Axis hemisphere = Axis::Either; // the axis its hemisphere letters name, when they agree
    bool beyond90 = false;
};

CoordinateColumn asCoordinates(const TableView &table, int column) {
    const workbook::SheetData &sheet = table.sheet();
    qint64 values = 0, read = 0;
    bool fraction = false, beyond90 = false, lon = false, lat = false;
    for (int row : table.dataRows()) {
        const Cell *c = table.cell(row, column);
        if (!c)
            continue;
        ++values;
        double v = 0;
        if (c->kind == CellKind::Number) {
            v = c->number;
        } else if (c->kind == CellKind::Text) {
            const Coordinate coordinate = readCoordinate(sheet.strings.view(c->text));
            if (!coordinate.ok)
                continue;
            v = coordinate.value;
            lon |= coordinate.hemisphere == Axis::Longitude;
            lat |= coordinate.hemisphere == Axis::Latitude;
        } else {
            continue;
        }
        if (std::fabs(v) > 180)
            continue;
        ++read;
        fraction |= v != std::trunc(v);
        beyond90 |= std::fabs(v) > 90;
    }
    CoordinateColumn out;
    out.qualifies = values > 0 && read * 10 >= values * 9 && fraction;
    out.hemisphere = lon && !lat ? Axis::Longitude : lat && !lon ? Axis::Latitude : Axis::Either;
    out.beyond90 = beyond90;
    return out;
}

bool readsAsNumber(QStringView text) {
    bool ok = false;
    QLocale::c().toDouble(text.trimmed(), &ok);
    return ok;
}

bool readsAsTruthValue(QStringView text) {
    static const char16_t *const words[] = {u"true", u"false", u"yes", u"no", u"是", u"否"};
    const QStringView t = text.trimmed();
    for (const char16_t *w : words)
        if (t.compare(QStringView(w), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// More than half of the column's values are texts that read as no number, date or truth value.
bool namesThings(const TableView &table, int column) {
    qint64 values = 0, names = 0;
    for (int row : table.dataRows()) {
        const Cell *c = table.cell(row, column);
        if (!c)
            continue;
        ++values;
        if (c->kind != CellKind::Text)
            continue;
        const QStringView text = table.sheet().strings.view(c->text);
        TimeFields time;
        if (!readsAsNumber(text) && !readTimeFields(text, time) && !readsAsTruthValue(text))
            ++names;
    }
    return values > 0 && names * 2 > values;
}

} // namespace

Roles findRoles(const TableView &table, const Roles &given) {
    Roles roles = given;
    auto taken = [&](int column) { return roles.roleOf(column) != Role::None; };
    auto slotOf = [&](Role role) -> int * {
        switch (role) {
        case Role::Longitude:
            return &roles.longitude;
        case Role::Latitude:
            return &roles.latitude;
        case Role::CoordinatesLatLon:
        case Role::CoordinatesLonLat:
            return &roles.coordinates;
        case Role::Name:
            return &roles.name;
        case Role::Description:
            return &roles.description;
        case Role::Category:
            return &roles.category;
        case Role::Altitude:
            return &roles.altitude;
        case Role::Time:
            return &roles.time;
        case Role::None:
            break;
        }
        return nullptr;
    };
    const bool coordinatesGiven =
        given.coordinates >= 0 || given.longitude >= 0 || given.latitude >= 0;

    // Headings: the first column that claims a role keeps it.
    for (int column = 0; column < table.columnCount(); ++column) {
        if (taken(column))
            continue;
        const Role role = roleOfHeading(table.headings()[column]);
        int *slot = slotOf(role);
        if (!slot || *slot >= 0)
            continue;
        const bool coordinateRole = role == Role::Longitude || role == Role::Latitude ||
                                    role == Role::CoordinatesLatLon ||
                                    role == Role::CoordinatesLonLat;
        if (coordinateRole && coordinatesGiven)
            continue;
        *slot = column;
        if (slot == &roles.coordinates)
            roles.latitudeFirst = role == Role::CoordinatesLatLon;
    }

    // Longitude and latitude win over a coordinates heading; one of them alone takes its
    // neighbour (right first) when the neighbour qualifies by content.
    if (roles.longitude >= 0 || roles.latitude >= 0) {
        const bool lonKnown = roles.longitude >= 0;
        if (!(lonKnown && roles.latitude >= 0)) {
            const int known = lonKnown ? roles.longitude : roles.latitude;
            for (int neighbour : {known + 1, known - 1}) {
                if (neighbour < 0 || neighbour >= table.columnCount() || taken(neighbour))
                    continue;
                if (asCoordinates(table, neighbour).qualifies) {
                    (lonKnown ? roles.latitude : roles.longitude) = neighbour;
                    break;
                }
            }
        }
        if (roles.longitude >= 0 && roles.latitude >= 0) {
            if (given.coordinates < 0)
                roles.coordinates = -1;
        } else if (roles.coordinates >= 0) {
            roles.longitude = roles.latitude = -1;
        }
    }

    // Neither: the leftmost two adjacent columns that qualify by content.
    if (!roles.hasCoordinates()) {
        roles.longitude = roles.latitude = -1;
        std::vector<std::optional<CoordinateColumn>> seen(size_t(table.columnCount()));
        auto column = [&](int c) -> const CoordinateColumn & {
            if (!seen[size_t(c)])
                seen[size_t(c)] = taken(c) ? CoordinateColumn() : asCoordinates(table, c);
            return *seen[size_t(c)];
        };
        for (int c = 0; c + 1 < table.columnCount(); ++c) {
            const CoordinateColumn &left = column(c);
            if (!left.qualifies)
                continue;
            const CoordinateColumn &right = column(c + 1);
            if (!right.qualifies)
                continue;
            bool leftIsLongitude = true;
            if (left.hemisphere != Axis::Either || right.hemisphere != Axis::Either)
                leftIsLongitude =
                    left.hemisphere == Axis::Longitude || right.hemisphere == Axis::Latitude;
            else if (left.beyond90 != right.beyond90)
                leftIsLongitude = left.beyond90;
            else
                roles.orderUncertain = true;
            roles.longitude = leftIsLongitude ? c : c + 1;
            roles.latitude = leftIsLongitude ? c + 1 : c;
            break;
        }
    }

    if (roles.name < 0) {
        for (int column = 0; column < table.columnCount(); ++column)
            if (!taken(column) && namesThings(table, column)) {
                roles.name = column;
                break;
            }
    }
    return roles;
}

} // namespace table
