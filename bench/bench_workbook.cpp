// Opens a workbook of any format the page reads (.xls, .xlsx, .ods, delimited text) and exports
// its sheet1 to KML through the code the workbook page's buttons run, and prints the time of each
// step and the peak memory of the process.
// Usage: bench_workbook <workbook> <out.kml> [runs]
#include "common/commanderror.h"
#include "kml/kmlbuffer.h"
#include "sources/adoquery.h"
#include "sources/workbooksource.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <sys/resource.h>

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s workbook out.kml [runs]\n", argv[0]);
        return 2;
    }
    const QString workbook = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);
    const int runs = argc > 3 ? std::atoi(argv[3]) : 1;
    TADOQuery detailCore;
    detailCore.setObjectName(QStringLiteral("detailCore"));
    KmlBuffer Memo2;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        try {
            workbooksource::openWorkbook(detailCore, workbook);
            const qint64 openNs = timer.nsecsElapsed();
            workbooksource::exportFolder(detailCore, Memo2, output, KmlFileFormat::Utf16);
            const qint64 totalNs = timer.nsecsElapsed();
            std::printf("open_ms %.2f export_ms %.2f total_ms %.2f records %d\n", openNs / 1e6,
                        (totalNs - openNs) / 1e6, totalNs / 1e6, detailCore.RecordCount());
        } catch (const CommandError &e) {
            std::fprintf(stderr, "%s\n", qPrintable(e.message()));
            return 1;
        }
        detailCore.Close();
        Memo2.Clear();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak_rss_kb %ld\n", usage.ru_maxrss);
    return 0;
}
