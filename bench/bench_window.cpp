// Benchmark of the text-list page through the window, run by hand (bench/compare-textlist.sh runs
// it):
//   bench_window DIR [RUNS]
// loads DIR/list.txt into Memo3 with "打开文本文件" and saves it to DIR/window.kml with
// "保存为KML文件", answering the dialogs itself, and prints the median time of each click, of
// the window's next paint after a load, and the process's peak memory. Without a display it
// runs on the offscreen platform.
#include "app/unit1.h"
#include "windowbench.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <unistd.h>

using windowbench::timed;

namespace {

void report(const char *step, std::vector<double> ms) {
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    std::printf("%-8s median %9.1f ms  (runs:", step, sorted[sorted.size() / 2]);
    for (double m : ms)
        std::printf(" %.0f", m);
    std::printf(")\n");
}

} // namespace

int main(int argc, char **argv) {
    windowbench::offscreenWithoutDisplay();
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [RUNS]\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;

    windowbench::ScriptedHost host;
    TForm1 form(&host);
    form.show();
    app.processEvents();

    std::vector<double> load, paint, save;
    for (int r = 0; r < runs; ++r) {
        form.Memo3->setPlainText(QStringLiteral("x"));
        app.processEvents();
        host.answer = dir + u"/list.txt";
        load.push_back(timed([&] { form.OpenTxt->click(); }));
        paint.push_back(timed([&] {
            form.Memo3->viewport()->repaint();
            app.processEvents();
        }));
        host.answer = dir + u"/window.kml";
        // Each save makes a new file from a page cache with nothing left to flush.
        QFile::remove(host.answer);
        ::sync();
        save.push_back(timed([&] { form.Button5->click(); }));
    }
    if (!host.errors.isEmpty()) {
        std::fprintf(stderr, "error: %s\n", qPrintable(host.errors.first()));
        return 1;
    }
    std::printf("Memo3 holds %d blocks, window.kml %.1f MiB\n",
                form.Memo3->document()->blockCount(),
                QFile(dir + u"/window.kml").size() / 1048576.0);
    report("load", load);
    report("paint", paint);
    report("save", save);
    std::printf("peak memory %.0f MiB\n", windowbench::peakMemoryKb() / 1024.0);
    return 0;
}
