// What the workbook benchmarks share: the benchmark workbook, made once with xlwt, and medians
// of timed runs printed beside the time of an open.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace benchsupport {

constexpr int Runs = 5;

struct Timing {
    double median = 0, least = 0;
};

inline Timing medianOf(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front()};
}

// Each run's setup is not timed; its work is.
inline Timing timeRuns(const std::function<void(int)> &setup,
                       const std::function<void(int)> &work) {
    std::vector<double> ms;
    for (int i = 0; i < Runs; ++i) {
        setup(i);
        QElapsedTimer t;
        t.start();
        work(i);
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return medianOf(ms);
}

inline void print(const char *what, Timing t, const Timing *open = nullptr) {
    std::printf("%-52s %7.1f ms (least %6.1f)", what, t.median, t.least);
    if (open)
        std::printf("  %.2fx open", t.median / open->median);
    std::printf("\n");
}

// The 65,535-row benchmark workbook: the one named as the first argument, else one made with
// xlwt (bench/make-bench-workbook.py) in the temporary folder, once. Empty when it cannot be
// made.
inline QString benchWorkbook(int argc, char **argv) {
    const QString source = argc > 1
                               ? QString::fromLocal8Bit(argv[1])
                               : QDir::temp().filePath(QStringLiteral("kmlmaker-bench-65535.xls"));
    if (!QFileInfo::exists(source)) {
        std::printf("making %s with xlwt...\n", qPrintable(source));
        if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
                              {QStringLiteral(KML_BENCH_SCRIPT), source}) != 0) {
            std::fprintf(stderr, "could not make the workbook\n");
            return QString();
        }
    }
    return source;
}

} // namespace benchsupport
