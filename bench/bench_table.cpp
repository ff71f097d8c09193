// Where the time of `kmlmaker table` goes: a table file opened, its roles found, its rows placed,
// its categories made and its KML written to nothing and to a KMZ, each step timed once, with the
// peak memory after each.
//   build/bench/bench_table TABLE [OUT.kmz]
#include "table/categories.h"
#include "table/roles.h"
#include "table/tablefile.h"
#include "table/tablekml.h"
#include "table/tablerows.h"
#include "table/tableview.h"

#include <QElapsedTimer>
#include <QString>

#include <sys/resource.h>

#include <cstdio>

namespace {

// The processor time of every thread so far, in ms, and the peak memory in MB.
double processorMs(long *peakMb = nullptr) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    if (peakMb)
        *peakMb = usage.ru_maxrss / 1024;
    return (double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
            double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec)) /
           1e3;
}

// A busy machine stretches the time on the clock; the processor time stays nearer the work.
void report(const char *step, QElapsedTimer &timer) {
    static double processorBefore = 0;
    long peak = 0;
    const double processor = processorMs(&peak);
    std::printf("%-28s %8.1f ms  processor %8.1f ms   peak %5ld MB\n", step,
                double(timer.nsecsElapsed()) / 1e6, processor - processorBefore, peak);
    processorBefore = processor;
    timer.restart();
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_table TABLE [OUT.kmz]\n");
        return 2;
    }
    QElapsedTimer timer;
    timer.start();
    const table::OpenedTable opened = table::openTable(QString::fromLocal8Bit(argv[1]));
    report("open", timer);
    const table::TableView view(*opened.sheet);
    report("table view", timer);
    table::TableOptions options;
    options.roles = table::findRoles(view);
    report("roles", timer);
    std::vector<table::PlacedRow> rows;
    std::vector<table::Problem> problems;
    table::placeRows(
        view, options, [&](const table::PlacedRow &row) { rows.push_back(row); }, problems);
    report("place rows", timer);
    const table::Categories categories = table::categoriesOf(view, options.roles.category, rows);
    report("categories", timer);
    qint64 bytes = 0;
    table::TableResult result;
    table::writeTableKml(
        view, options, opened.documentName,
        [&](QByteArrayView piece) {
            bytes += piece.size();
            return true;
        },
        result);
    std::printf("(%lld bytes of KML, %zu categories)\n", static_cast<long long>(bytes),
                std::size_t(categories.names.size()));
    report("KML to nothing (all steps)", timer);
    if (argc > 2) {
        table::TableResult saved;
        table::saveTable(QString::fromLocal8Bit(argv[2]), view, options, opened.documentName,
                         saved);
        report("saved (all steps)", timer);
    }
    return 0;
}
