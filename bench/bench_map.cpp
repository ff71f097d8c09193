// The map preview on the table benchmark's million rows (make-bench-table.py): the window
// opened on the table (points read, fitted, first frame drawn), then frames of several views
// drawn again and again, with the land alone beside them. Medians of the runs.
// Usage: bench_map [table.csv] [runs] [picture-folder]
#include "app/mapcanvas.h"
#include "app/mappreview.h"
#include "benchsupport.h"
#include "map/land.h"
#include "map/mappoints.h"
#include "map/maprenderer.h"
#include "table/categories.h"
#include "table/roles.h"
#include "table/tablefile.h"
#include "table/tableview.h"

#include <QApplication>
#include <QLabel>

#include <cstdio>

namespace {

// The table's rows made once in the temporary folder, as the table benchmark makes them.
QString benchTable(const QString &given) {
    if (!given.isEmpty())
        return given;
    const QString dms = QDir::temp().filePath(QStringLiteral("kmlmaker-bench-table-1000000.csv"));
    if (!QFileInfo::exists(dms)) {
        std::printf("making %s...\n", qPrintable(dms));
        const QString decimal = QDir::temp().filePath(QStringLiteral("kmlmaker-bench-dec.csv"));
        if (QProcess::execute(
                QStringLiteral("/usr/bin/python3"),
                {QStringLiteral(KML_TABLE_SCRIPT), QStringLiteral("1000000"), dms, decimal}) != 0)
            return QString();
    }
    return dms;
}

double median(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char *argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString path = benchTable(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    const QString pictures = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    if (path.isEmpty())
        return 1;

    QElapsedTimer timer;
    timer.start();
    const table::OpenedTable opened = table::openTable(path);
    const table::TableView view(*opened.sheet);
    table::TableOptions options;
    options.roles = table::findRoles(view);
    std::printf("table opened (not counted below):              %7.1f ms, %zu rows\n",
                timer.nsecsElapsed() / 1e6, view.dataRows().size());

    // The window opened on the table, as the page's button opens it: the rows read as the
    // KML places them, the view fitted, the first frame drawn (the land's level made once).
    std::vector<double> reading, opening;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        const map::MapPoints points = map::MapPoints::of(view, options);
        reading.push_back(timer.nsecsElapsed() / 1e6);
        MapPreview preview;
        preview.resize(1000, 720);
        timer.start();
        preview.setTable(&view, options);
        preview.show();
        preview.canvas()->frame();
        opening.push_back(timer.nsecsElapsed() / 1e6);
        if (i == 0)
            std::printf("%s\n", qPrintable(preview.statusLabel()->text()));
    }
    std::printf("%-48s %7.1f ms\n", "rows read as placemarks (MapPoints::of)", median(reading));
    // Its parts: the engine's reading of the rows, as the KML's save reads them, and the
    // categories.
    std::vector<double> placing, categorising;
    for (int i = 0; i < runs; ++i) {
        std::vector<table::PlacedRow> rows;
        std::vector<table::Problem> problems;
        timer.start();
        table::placeRows(
            view, options, [&](const table::PlacedRow &row) { rows.push_back(row); }, problems);
        placing.push_back(timer.nsecsElapsed() / 1e6);
        timer.start();
        table::categoriesOf(view, options.roles.category, rows);
        categorising.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("%-48s %7.1f ms\n", "  of which table::placeRows", median(placing));
    std::printf("%-48s %7.1f ms\n", "  of which table::categoriesOf", median(categorising));
    std::printf("%-48s %7.1f ms\n", "window opened: read, fitted, first frame", median(opening));

    const map::MapPoints points = map::MapPoints::of(view, options);
    const map::MapPoints none;
    const QSize size(1000, 720);
    struct Case {
        const char *name;
        map::MapView view;
    };
    const Case cases[] = {
        {"world", map::MapView::wholeWorld(size)},
        {"fitted (China)", map::MapView::fitted(size, *points.bounds(), QMargins(40, 40, 40, 40))},
        {"zoom 8 on Beijing", map::MapView(size, map::project(116.4, 39.9), 8)},
        {"zoom 12 on Shanghai", map::MapView(size, map::project(121.47, 31.23), 12)},
    };
    map::MapRenderer renderer(map::Land::builtIn());
    for (const Case &c : cases) {
        QImage image;
        timer.start();
        renderer.render(image, c.view, points, points.sheetRow[points.count() / 2]);
        const double first = timer.nsecsElapsed() / 1e6;
        std::vector<double> frames, land;
        for (int i = 0; i < runs; ++i) {
            timer.start();
            renderer.render(image, c.view, points, points.sheetRow[std::size_t(i)]);
            frames.push_back(timer.nsecsElapsed() / 1e6);
        }
        if (!pictures.isEmpty())
            image.save(QDir(pictures).filePath(QString::fromLatin1(c.name).section(u' ', 0, 0) +
                                               QStringLiteral(".png")));
        for (int i = 0; i < runs; ++i) {
            timer.start();
            renderer.render(image, c.view, none, -1);
            land.push_back(timer.nsecsElapsed() / 1e6);
        }
        std::printf("frame, %-22s %7.1f ms (first %6.1f; without points %6.1f)\n", c.name,
                    median(frames), first, median(land));
    }
    return 0;
}
