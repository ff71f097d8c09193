// The any-table export: a table opened, its roles given or found, its placemarks and problems
// saved, and one line of what was done.
#include "cli/tablecommand.h"

#include "cli/progressline.h"
#include "cli/run.h"
#include "common/commanderror.h"
#include "table/tablefile.h"
#include "table/tableview.h"

#include <cstdio>
#include <new>

using cli::printLine;
using cli::ProgressLine;
using cli::refuseExisting;

namespace {

// The table column a heading or a column's letters name; -1 for an empty name.
int columnNamed(const table::TableView &t, const QString &name, const char *option) {
    if (name.isEmpty())
        return -1;
    const int byHeading = int(t.headings().indexOf(name));
    if (byHeading >= 0)
        return byHeading;
    for (int c = 0; c < t.columnCount(); ++c)
        if (table::columnLetters(t.sheetColumn(c)).compare(name, Qt::CaseInsensitive) == 0)
            return c;
    throw CommandError(
        QStringLiteral("The table has no column \"%1\" (%2)").arg(name, QLatin1String(option)));
}

table::TableOptions optionsOf(const TableCommand &c, const table::TableView &t) {
    table::TableOptions options;
    table::Roles &r = options.roles;
    r.longitude = columnNamed(t, c.lon, "--lon");
    r.latitude = columnNamed(t, c.lat, "--lat");
    r.coordinates = columnNamed(t, c.coords, "--coords");
    r.latitudeFirst = c.coordsOrder == TableCommand::CoordsOrder::LatLon;
    r.name = columnNamed(t, c.name, "--name");
    r.description = columnNamed(t, c.description, "--description");
    r.category = columnNamed(t, c.category, "--category");
    r.altitude = columnNamed(t, c.altitude, "--altitude");
    r.time = columnNamed(t, c.time, "--time");
    options.roles = table::findRoles(t, r);
    if (c.coords.isEmpty() && options.roles.coordinates >= 0 && c.coordsOrderGiven)
        options.roles.latitudeFirst = c.coordsOrder == TableCommand::CoordsOrder::LatLon;
    options.datum = c.datum == TableCommand::Datum::Gcj02  ? table::Datum::Gcj02
                    : c.datum == TableCommand::Datum::Bd09 ? table::Datum::Bd09
                                                           : table::Datum::Wgs84;
    options.extendedData = c.extendedData;
    return options;
}

QString rolesText(const table::TableView &t, const table::Roles &r) {
    const struct {
        const char *role;
        int column;
    } roles[] = {{"longitude", r.longitude},     {"latitude", r.latitude},
                 {"coordinates", r.coordinates}, {"name", r.name},
                 {"description", r.description}, {"category", r.category},
                 {"altitude", r.altitude},       {"time", r.time}};
    QString text;
    for (const auto &role : roles)
        if (role.column >= 0)
            text +=
                QStringLiteral("%1\t%2\t%3\n")
                    .arg(QLatin1String(role.role), table::columnLetters(t.sheetColumn(role.column)),
                         t.headings()[role.column]);
    if (r.coordinates >= 0)
        text += QStringLiteral("coordinates order\t%1\n")
                    .arg(r.latitudeFirst ? QStringLiteral("lat,lon") : QStringLiteral("lon,lat"));
    for (int c = 0; c < t.columnCount(); ++c)
        if (r.roleOf(c) == table::Role::None)
            text += QStringLiteral("extended data\t%1\t%2\n")
                        .arg(table::columnLetters(t.sheetColumn(c)), t.headings()[c]);
    return text;
}

} // namespace

int runTable(const TableCommand &command) {
    ProgressLine progress(ProgressLine::stderrIsTerminal());
    QString failure;
    try {
        if (!command.showRoles) {
            refuseExisting(command.output, command.overwrite);
            if (!command.problems.isEmpty())
                refuseExisting(command.problems, command.overwrite);
        }
        progress.step(QStringLiteral("reading ") + command.input);
        const table::OpenedTable opened = table::openTable(command.input, command.sheet);
        const table::TableView view(*opened.sheet);
        const table::TableOptions options = optionsOf(command, view);
        if (command.showRoles) {
            progress.finish();
            std::fputs(rolesText(view, options.roles).toLocal8Bit().constData(), stdout);
            if (!options.roles.hasCoordinates())
                throw CommandError(QStringLiteral("找不到经纬度列"));
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (!options.roles.hasCoordinates())
            throw CommandError(QStringLiteral("找不到经纬度列"));
        progress.step(QStringLiteral("writing ") + command.output);
        table::TableResult result;
        table::saveTable(command.output, view, options, opened.documentName, result);
        if (!command.problems.isEmpty())
            table::saveProblems(command.problems, view, result);
        progress.finish();
        printLine(stderr, QStringLiteral("kmlmaker: %1 placemarks written to %2, %3 rows left "
                                         "out, %4 warnings")
                              .arg(result.placemarks)
                              .arg(command.output)
                              .arg(result.rowsLeftOut())
                              .arg(result.warnings()));
        return 0;
    } catch (const CommandError &e) {
        failure = e.message();
    } catch (const std::bad_alloc &) {
        failure = QStringLiteral("Out of memory");
    }
    progress.finish();
    printLine(stderr, QStringLiteral("kmlmaker: ") + errorBoxText(failure));
    return 1;
}
