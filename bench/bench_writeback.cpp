// Times writing one changed cell into a 65,535-row workbook, next to opening the same file
// through the reader as the workbook page does (the query's Open). Median of 5 runs each.
// Usage: bench_writeback [workbook.xls]; without one, the workbook is made with xlwt once.
#include "benchsupport.h"
#include "common/commanderror.h"
#include "sources/adoquery.h"
#include "sources/workbooksource.h"
#include "workbook/formatregistry.h"
#include "workbook/xls/biffrecords.h"
#include "workbook/xls/compoundfile.h"
#include "workbook/xls/xlssheeteditor.h"
#include "workbook/xls/xlswriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace benchsupport;
using namespace workbook;
using namespace workbook::xls;

namespace {

QByteArray readAll(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw CommandError(QStringLiteral("Cannot open %1").arg(path));
    return f.readAll();
}

QByteArray workbookOf(CompoundFile &file, const QByteArray &bytes) {
    if (!file.parse(bytes))
        throw CommandError(QStringLiteral("not a compound file"));
    return file.root().child(QStringLiteral("Workbook"))->data;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QString source = benchWorkbook(argc, argv);
    if (source.isEmpty())
        return 1;
    // A folder of this run's own: others may run the benchmark on the same machine.
    QTemporaryDir work;
    const QString path = work.filePath(QStringLiteral("work.xls"));
    if (!work.isValid() || !QFile::copy(source, path)) {
        std::fprintf(stderr, "cannot copy %s into %s\n", qPrintable(source), qPrintable(path));
        return 1;
    }

    try {
        const QByteArray bytes = readAll(path);
        std::printf("workbook: %s, %.1f MB\n", qPrintable(source), double(bytes.size()) / 1e6);

        std::size_t records = 0;
        {
            CompoundFile file;
            std::vector<BiffRecord> split;
            splitRecords(workbookOf(file, bytes), split);
            records = split.size();
        }

        // The parts of a write, each on its own.
        const Timing identity =
            timeRuns([](int) {}, [&](int) { fileIdentity(path, readAll(path)); });
        CompoundFile parsed;
        const QByteArray stream = workbookOf(parsed, bytes);
        const Timing editorOpen = timeRuns([](int) {}, [&](int) { SheetEditor editor(stream); });
        const Timing edit = timeRuns([](int) {},
                                     [&](int i) {
                                         SheetEditor editor(stream);
                                         editor.setCell(30000, 0, 100.0 + i);
                                         editor.stream();
                                     });
        const Timing oleWrite = timeRuns([](int) {}, [&](int) { parsed.serialize(); });
        SheetRead read;
        read.bytes = bytes;
        const WorkbookFormat &format = formatOf(bytes, path);
        const Timing check = timeRuns([](int) {}, [&](int) { format.whyReadOnly(read); });

        // The whole write of one changed cell, through the file, taking turns with opening the
        // same file as the page opens a workbook (every cell read, the fields made), so that
        // both see the machine alike. As on the page, the workbook is open while a cell is
        // posted (opening it again first closes it); then the same with the workbook closed
        // before each write, which leaves the write less memory that is already in use.
        FileIdentity id = fileIdentity(path, bytes);
        TADOQuery query;
        auto openAndWrite = [&](bool closeFirst, Timing &open, Timing &write, int from) {
            std::vector<double> openMs, writeMs;
            for (int i = 0; i < Runs; ++i) {
                QElapsedTimer t;
                t.start();
                workbooksource::openWorkbook(query, path);
                openMs.push_back(double(t.nsecsElapsed()) / 1e6);
                if (closeFirst)
                    query.Close();
                t.start();
                id = writeSheetChanges(path, id, {SheetChange::setCell(30000, 0, from + i + 0.25)})
                         .identity;
                writeMs.push_back(double(t.nsecsElapsed()) / 1e6);
            }
            open = medianOf(openMs);
            write = medianOf(writeMs);
        };
        Timing open, number, openClosed, numberClosed;
        openAndWrite(false, open, number, 100);
        openAndWrite(true, openClosed, numberClosed, 200);
        query.Close();
        const Timing text =
            timeRuns([](int) {},
                     [&](int i) {
                         id = writeSheetChanges(
                                  path, id,
                                  {SheetChange::setCell(30000, 2, QStringLiteral("改名%1").arg(i))})
                                  .identity;
                     });

        std::printf("records in the Workbook stream: %zu; median of %d runs\n", records, Runs);
        print("open through the reader (the query's Open)", open);
        print("write one changed number (whole), workbook open", number, &open);
        print("write one changed text (whole), one after another", text, &open);
        print("open, then closed before the write", openClosed);
        print("write one changed number (whole), workbook closed", numberClosed, &openClosed);
        print("  part: read + hash (file identity)", identity);
        print("  part: sheet editor: lay out + SST walk", editorOpen);
        print("  part: sheet editor: set a number + rebuild stream", edit);
        print("  part: compound file serialize (libgsf)", oleWrite);
        print("whyReadOnly (when a workbook is opened)", check);
    } catch (const CommandError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
