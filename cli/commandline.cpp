// The arguments read into a command, with every value checked before any file is touched.
#include "cli/commandline.h"

#include <QSet>

#include <algorithm>
#include <optional>
#include <vector>

namespace cli {

namespace {

const QString WorkbookSynopsis =
    QStringLiteral("kmlmaker workbook IN -o OUT.kml|OUT.kmz [--utf8] [--overwrite]");
const QString ListSynopsis =
    QStringLiteral("kmlmaker list IN.txt -o OUT.kml|OUT.kmz [--utf8] [--overwrite]");
const QString TableSynopsis = QStringLiteral(
    "kmlmaker table IN -o OUT.kmz|OUT.kml [--sheet NAME] [--lon COL] [--lat COL] [--coords COL] "
    "[--coords-order lat,lon|lon,lat] [--name COL] [--description COL] [--category COL] "
    "[--altitude COL] [--time COL] [--datum wgs84|gcj02|bd09] [--no-extended-data] "
    "[--problems FILE.tsv] [--overwrite] [--roles]");
// The table's hint after a usage error: its options are too many for one line.
const QString TableHint =
    QStringLiteral("kmlmaker table IN -o OUT.kmz|OUT.kml [options] (kmlmaker --help lists them)");
const QString GeneralSynopsis =
    QStringLiteral("kmlmaker workbook|list|table IN -o OUT [options] (kmlmaker --help for more)");

// One option of a command: its long name, and where its value goes (null for a switch, which
// sets flag instead).
struct Option {
    QString name;
    QString *value;
    bool *flag;
};

bool isHelp(const QString &arg) {
    return arg == u"--help" || arg == u"-h";
}

// Reads a command's arguments: options anywhere, "-o FILE", "-oFILE", "--name VALUE",
// "--name=VALUE", one input, and after "--" only inputs.
void readArguments(const QStringList &args, const std::vector<Option> &options, QString &input,
                   const QString &synopsis) {
    auto fail = [&](const QString &problem) { throw UsageError{problem, synopsis}; };
    QSet<QString> seen;
    bool onlyInputs = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        QString name;
        std::optional<QString> attached;
        if (!onlyInputs && arg == u"--") {
            onlyInputs = true;
            continue;
        }
        if (!onlyInputs && arg.startsWith(u"--")) {
            const qsizetype equals = arg.indexOf(u'=');
            name = equals < 0 ? arg : arg.left(equals);
            if (equals >= 0)
                attached = arg.mid(equals + 1);
        } else if (!onlyInputs && arg.startsWith(u'-') && arg.size() > 1) {
            name = arg.left(2);
            if (arg.size() > 2)
                attached = arg.mid(2);
            if (name == u"-o")
                name = QStringLiteral("--output");
        } else {
            if (!input.isNull())
                fail(QStringLiteral("unexpected argument '%1'").arg(arg));
            input = arg;
            continue;
        }
        auto option = std::find_if(options.begin(), options.end(),
                                   [&](const Option &o) { return o.name == name; });
        if (option == options.end())
            fail(QStringLiteral("unknown option '%1'").arg(name));
        if (seen.contains(name))
            fail(QStringLiteral("option '%1' given twice").arg(name));
        seen.insert(name);
        if (option->flag) {
            if (attached)
                fail(QStringLiteral("option '%1' takes no value").arg(name));
            *option->flag = true;
            continue;
        }
        if (!attached) {
            if (i + 1 >= args.size())
                fail(QStringLiteral("option '%1' needs a value").arg(name));
            attached = args[++i];
        }
        if (attached->isEmpty())
            fail(QStringLiteral("option '%1' needs a value").arg(name));
        *option->value = *attached;
    }
    if (input.isNull())
        fail(QStringLiteral("missing input file"));
}

ExportCommand parseExport(ExportKind kind, const QStringList &args) {
    const QString &synopsis = kind == ExportKind::Workbook ? WorkbookSynopsis : ListSynopsis;
    ExportCommand command;
    command.kind = kind;
    readArguments(args,
                  {{QStringLiteral("--output"), &command.output, nullptr},
                   {QStringLiteral("--utf8"), nullptr, &command.utf8},
                   {QStringLiteral("--overwrite"), nullptr, &command.overwrite}},
                  command.input, synopsis);
    if (command.output.isEmpty())
        throw UsageError{QStringLiteral("missing -o OUT.kml or -o OUT.kmz"), synopsis};
    return command;
}

TableCommand parseTable(const QStringList &args) {
    TableCommand c;
    QString order;
    QString datum;
    bool noExtendedData = false;
    readArguments(args,
                  {{QStringLiteral("--output"), &c.output, nullptr},
                   {QStringLiteral("--sheet"), &c.sheet, nullptr},
                   {QStringLiteral("--lon"), &c.lon, nullptr},
                   {QStringLiteral("--lat"), &c.lat, nullptr},
                   {QStringLiteral("--coords"), &c.coords, nullptr},
                   {QStringLiteral("--coords-order"), &order, nullptr},
                   {QStringLiteral("--name"), &c.name, nullptr},
                   {QStringLiteral("--description"), &c.description, nullptr},
                   {QStringLiteral("--category"), &c.category, nullptr},
                   {QStringLiteral("--altitude"), &c.altitude, nullptr},
                   {QStringLiteral("--time"), &c.time, nullptr},
                   {QStringLiteral("--datum"), &datum, nullptr},
                   {QStringLiteral("--no-extended-data"), nullptr, &noExtendedData},
                   {QStringLiteral("--problems"), &c.problems, nullptr},
                   {QStringLiteral("--overwrite"), nullptr, &c.overwrite},
                   {QStringLiteral("--roles"), nullptr, &c.showRoles}},
                  c.input, TableHint);
    auto fail = [](const QString &problem) { throw UsageError{problem, TableHint}; };
    c.extendedData = !noExtendedData;
    if (!order.isNull()) {
        if (order == u"lat,lon")
            c.coordsOrder = TableCommand::CoordsOrder::LatLon;
        else if (order == u"lon,lat")
            c.coordsOrder = TableCommand::CoordsOrder::LonLat;
        else
            fail(
                QStringLiteral("bad value '%1' for --coords-order: lat,lon or lon,lat").arg(order));
        c.coordsOrderGiven = true;
    }
    if (!datum.isNull()) {
        const QString d = datum.toLower();
        if (d == u"wgs84")
            c.datum = TableCommand::Datum::Wgs84;
        else if (d == u"gcj02")
            c.datum = TableCommand::Datum::Gcj02;
        else if (d == u"bd09")
            c.datum = TableCommand::Datum::Bd09;
        else
            fail(QStringLiteral("bad value '%1' for --datum: wgs84, gcj02 or bd09").arg(datum));
    }
    if (!c.coords.isNull() && (!c.lon.isNull() || !c.lat.isNull()))
        fail(QStringLiteral("--coords cannot be given with --lon or --lat"));
    if (c.lon.isNull() != c.lat.isNull())
        fail(QStringLiteral("--lon and --lat go together"));
    if (c.coordsOrderGiven && c.coords.isNull())
        fail(QStringLiteral("--coords-order needs --coords"));
    if (c.output.isEmpty() && !c.showRoles)
        fail(QStringLiteral("missing -o OUT.kmz or -o OUT.kml"));
    return c;
}

} // namespace

Command parse(const QStringList &args) {
    for (const QString &arg : args) {
        if (arg == u"--")
            break;
        if (isHelp(arg))
            return HelpCommand{};
    }
    if (args.isEmpty())
        throw UsageError{QStringLiteral("missing command"), GeneralSynopsis};
    const QString &command = args.front();
    const QStringList rest = args.mid(1);
    if (command == u"--version") {
        if (!rest.isEmpty())
            throw UsageError{QStringLiteral("unexpected argument '%1'").arg(rest.front()),
                             GeneralSynopsis};
        return VersionCommand{};
    }
    if (command == u"help")
        return HelpCommand{};
    if (command == u"workbook")
        return parseExport(ExportKind::Workbook, rest);
    if (command == u"list")
        return parseExport(ExportKind::List, rest);
    if (command == u"table")
        return parseTable(rest);
    if (command.startsWith(u'-'))
        throw UsageError{QStringLiteral("unknown option '%1'").arg(command), GeneralSynopsis};
    throw UsageError{QStringLiteral("unknown command '%1'").arg(command), GeneralSynopsis};
}

QString helpText() {
    return QStringLiteral("Usage:\n"
                          "  kmlmaker                 the window\n"
                          "  ") +
           WorkbookSynopsis +
           QStringLiteral("\n"
                          "      sheet1's rows as the workbook page saves them: columns A to D "
                          "are\n"
                          "      longitude, latitude, name and description\n"
                          "  ") +
           ListSynopsis +
           QStringLiteral("\n"
                          "      the lines name(longitude,latitude)description of a text file, "
                          "as the\n"
                          "      text-list page saves them\n"
                          "  ") +
           TableSynopsis +
           QStringLiteral(
               "\n"
               "      any table's rows, the columns found by their headings or named (COL is a\n"
               "      heading or a column letter)\n"
               "  kmlmaker --help | --version\n"
               "\n"
               "Options:\n"
               "  -o, --output FILE       the file written: KML, or KMZ when its name ends in "
               ".kmz\n"
               "  --utf8                  UTF-8 KML rather than UTF-16 (the window's first "
               "choice)\n"
               "  --overwrite             replace FILE when it exists (it is refused otherwise)\n"
               "  --sheet NAME            the table's sheet (the first one by default)\n"
               "  --lon COL, --lat COL    the longitude and latitude columns\n"
               "  --coords COL            one column holding both, in --coords-order "
               "(lat,lon)\n"
               "  --name, --description, --category, --altitude, --time COL\n"
               "                          the columns of those roles\n"
               "  --datum wgs84|gcj02|bd09  the coordinates' datum (wgs84)\n"
               "  --no-extended-data      no ExtendedData with the other columns\n"
               "  --problems FILE.tsv     the rows left out and the warnings, as a table\n"
               "  --roles                 print the roles chosen for the columns and exit\n"
               "\n"
               "Exit status: 0 done, 1 the input or the output refused, 2 a usage error.\n"
               "Numbers are written with the decimal separator of the locale (LC_NUMERIC),\n"
               "dates in its LC_TIME formats; text files without a byte-order mark are read\n"
               "in its code set.\n");
}

QString versionText() {
    return QStringLiteral("kmlmaker " KMLMAKER_VERSION);
}

} // namespace cli
