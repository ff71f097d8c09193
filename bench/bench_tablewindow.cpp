// The table page through the window, run by hand:
//   bench_tablewindow TABLE OUT.kmz [RUNS]
// opens the table with "打开表格" (the time until the grid shows it), changes a role back and
// forth (the time until the problems are read again), and saves the placemarks with "保存为KML
// 文件" (the time until the file is written), answering the dialogs itself; prints the median of
// each over RUNS runs (5 by default) and the process's peak memory. Without a display it runs on
// the offscreen platform. make-bench-table.py writes tables of any length.
#include "app/tablepage.h"
#include "app/unit1.h"
#include "windowbench.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>

#include <algorithm>
#include <cstdio>
#include <vector>

using windowbench::timed;

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty()      ? 0
           : v.size() % 2 ? v[v.size() / 2]
                          : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Clicks the button and lets the window run until the page is idle again.
void clickAndWait(QApplication &app, TablePage *page, QPushButton *button) {
    button->click();
    while (page->busy())
        app.processEvents(QEventLoop::WaitForMoreEvents); // the page polls every 20 ms
}

} // namespace

int main(int argc, char **argv) {
    windowbench::offscreenWithoutDisplay();
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s TABLE OUT.kmz [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    windowbench::ScriptedHost host;
    TForm1 form(&host);
    TablePage *page = form.tablePage();
    form.PageControl1->setCurrentWidget(page);
    form.show();
    app.processEvents();

    std::vector<double> opens, roles, saves;
    for (int run = 0; run < runs; ++run) {
        host.answer = QString::fromLocal8Bit(argv[1]);
        opens.push_back(timed([&] {
            clickAndWait(app, page, page->openButton());
            page->grid()->viewport()->repaint();
        }));
        // The altitude's box to none and back: each change reads every row's coordinates again.
        QComboBox *altitude = page->roleBox(5);
        const int found = altitude->currentIndex();
        for (int index : {0, found}) {
            altitude->setCurrentIndex(index);
            roles.push_back(timed([&] { Q_EMIT altitude->activated(index); }));
        }
        host.answer = QString::fromLocal8Bit(argv[2]);
        QFile::remove(host.answer);
        saves.push_back(timed([&] { clickAndWait(app, page, page->saveButton()); }));
        // The host keeps the notice of each save with the errors.
        for (const QString &text : host.errors)
            if (!text.startsWith(QStringLiteral("已写入"))) {
                std::fprintf(stderr, "error: %s\n", qPrintable(text));
                return 1;
            }
    }
    std::printf("  the table page, median of %d: open %.0f ms, role change %.1f ms, save %.0f ms; "
                "%d rows in the grid, peak memory %ld KB\n",
                runs, median(opens), median(roles), median(saves),
                page->grid()->model()->rowCount(), windowbench::peakMemoryKb());
    return 0;
}
