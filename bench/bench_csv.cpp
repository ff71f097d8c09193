// Opens a delimited text file and the .xlsx of the same rows (make-bench-csv.py writes both),
// taking turns, and prints the medians: the format's read of the file (the sheet model), and
// the whole open through the workbook query as the page opens a file, where the format registry
// knows delimited text.
// Usage: bench_csv <file.csv> <file.xlsx> [runs]
#include "common/commanderror.h"
#include "sources/adoquery.h"
#include "sources/workbooksource.h"
#include "workbook/csv/csvformat.h"
#include "workbook/formatregistry.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v) {
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The file's sheet read by its format: milliseconds, and the cells read.
double timeRead(const QString &file, bool csv, std::size_t &cells) {
    static const workbook::csv::CsvFormat csvFormat;
    QElapsedTimer timer;
    timer.start();
    QByteArray bytes = workbook::readWorkbookFile(file);
    const workbook::WorkbookFormat &format = csv ? csvFormat : workbook::formatOf(bytes, file);
    const workbook::SheetRead read = format.read(std::move(bytes), file, QStringLiteral("sheet1"));
    const double ms = timer.nsecsElapsed() / 1e6;
    cells = read.sheet->cellCount();
    return ms;
}

// The open through the query; -1 when the registry does not know the file.
double timeOpen(const QString &file, int &records) {
    TADOQuery query;
    query.setObjectName(QStringLiteral("detailCore"));
    QElapsedTimer timer;
    timer.start();
    try {
        workbooksource::openWorkbook(query, file);
    } catch (const CommandError &) {
        return -1;
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    records = query.RecordCount();
    return ms;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s file.csv file.xlsx [runs]\n", argv[0]);
        return 2;
    }
    const QString files[] = {QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2])};
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    std::vector<double> reads[2], opens[2];
    std::size_t cells[2] = {};
    int records[2] = {};
    try {
        for (int i = 0; i < runs; ++i)
            for (int f = 0; f < 2; ++f) {
                reads[f].push_back(timeRead(files[f], f == 0, cells[f]));
                const double open = timeOpen(files[f], records[f]);
                if (open >= 0)
                    opens[f].push_back(open);
            }
    } catch (const CommandError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    const char *names[] = {"csv", "xlsx"};
    for (int f = 0; f < 2; ++f)
        std::printf("%-4s read_ms %8.1f cells %zu open_ms %8.1f records %d\n", names[f],
                    median(reads[f]), cells[f], median(opens[f]), records[f]);
    std::printf("medians of %d runs taken in turns; open_ms -1: the registry does not know the "
                "file\n",
                runs);
    return 0;
}
