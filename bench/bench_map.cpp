// The map preview on the table benchmark's million rows (make-bench-table.py): the window
// opened on the table (points read, fitted, first frame drawn), its parts, then frames of
// several views drawn again and again, with the land alone beside them. Medians of the runs,
// in wall-clock time and in the thread's processor time, which other programs on a shared
// machine do not lengthen.
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
#include <ctime>

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

double threadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Wall-clock and processor times of runs of one step.
struct Times {
    std::vector<double> wall, cpu;

    template <typename Work> void time(Work work) {
        QElapsedTimer timer;
        const double cpuStart = threadMs();
        timer.start();
        work();
        wall.push_back(double(timer.nsecsElapsed()) / 1e6);
        cpu.push_back(threadMs() - cpuStart);
    }
    void print(const char *what) const {
        std::printf("%-44s %7.1f ms wall %7.1f ms cpu\n", what, benchsupport::medianOf(wall).median,
                    benchsupport::medianOf(cpu).median);
    }
};

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
    std::printf("table opened (not counted below): %.1f ms, %zu rows\n",
                double(timer.nsecsElapsed()) / 1e6, view.dataRows().size());

    // The window opened on the table, as the page's button opens it: the rows read as the
    // KML places them, the view fitted, the first frame drawn (the land's level made once).
    Times opening, reading, placing, categorising;
    for (int i = 0; i < runs; ++i) {
        {
            MapPreview preview;
            preview.resize(1000, 720);
            opening.time([&] {
                preview.setTable(&view, options);
                preview.show();
                preview.canvas()->frame();
            });
            if (i == 0)
                std::printf("%s\n", qPrintable(preview.statusLabel()->text()));
        }
        reading.time([&] { map::MapPoints::of(view, options); });
        // The engine's parts of the reading: the rows as the KML's save reads them, and their
        // categories.
        std::vector<table::PlacedRow> rows;
        std::vector<table::Problem> problems;
        placing.time([&] {
            table::placeRows(
                view, options, [&](const table::PlacedRow &row) { rows.push_back(row); }, problems);
        });
        categorising.time([&] { table::categoriesOf(view, options.roles.category, rows); });
    }
    opening.print("window opened: read, fitted, first frame");
    reading.print("  rows read as placemarks (MapPoints::of)");
    placing.print("    of which table::placeRows");
    categorising.print("    of which table::categoriesOf");

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
        Times first, frames, land;
        first.time([&] { renderer.render(image, c.view, points, points.sheetRow[0]); });
        for (int i = 0; i < runs; ++i)
            frames.time(
                [&] { renderer.render(image, c.view, points, points.sheetRow[std::size_t(i)]); });
        if (!pictures.isEmpty())
            image.save(QDir(pictures).filePath(QString::fromLatin1(c.name).section(u' ', 0, 0) +
                                               QStringLiteral(".png")));
        for (int i = 0; i < runs; ++i)
            land.time([&] { renderer.render(image, c.view, none, -1); });
        std::printf("frame of 1,000,000 points, %s\n", c.name);
        frames.print("  again");
        first.print("  first at its zoom level");
        land.print("  without points");
    }
    return 0;
}
