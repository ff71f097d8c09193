// The workbook page through the window, run by hand (bench/compare-xlsx.sh runs it):
//   bench_workbookwindow WORKBOOK OUT.kml
// opens the workbook with "打开Excel文件", paints the grid's first screen, and saves the rows
// with the export button, answering the dialogs itself; prints the time of each step and the
// process's peak memory. Without a display it runs on the offscreen platform.
#include "app/dbgrid.h"
#include "app/unit1.h"
#include "windowbench.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTabWidget>

#include <cstdio>

using windowbench::timed;

int main(int argc, char **argv) {
    windowbench::offscreenWithoutDisplay();
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s WORKBOOK OUT.kml\n", argv[0]);
        return 2;
    }
    windowbench::ScriptedHost host;
    TForm1 form(&host);
    form.show();
    form.PageControl1->setCurrentIndex(1);
    app.processEvents();

    host.answer = QString::fromLocal8Bit(argv[1]);
    const double open = timed([&] { form.Button2->click(); });
    const double paint = timed([&] {
        form.DBGrid1->viewport()->repaint();
        app.processEvents();
    });
    host.answer = QString::fromLocal8Bit(argv[2]);
    QFile::remove(host.answer);
    const double save = timed([&] { form.Button3->click(); });
    if (!host.errors.isEmpty()) {
        std::fprintf(stderr, "error: %s\n", qPrintable(host.errors.first()));
        return 1;
    }
    std::printf("  through the window: open %.0f ms, first screen %.0f ms, export %.0f ms; "
                "%d rows in the grid, peak memory %ld KB\n",
                open, paint, save, form.DBGrid1->model()->rowCount(), windowbench::peakMemoryKb());
    return 0;
}
