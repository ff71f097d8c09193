// Times posting one changed cell into a 65,535-row workbook through the workbook query, next to
// opening the same file through it, in one run: medians of 5. Also an insert (which reads the
// file back) and the write-back alone, to show where the time of a post goes.
// Usage: bench_post [workbook.xls]; without one, the workbook is made with xlwt once.
#include "benchsupport.h"
#include "common/commanderror.h"
#include "sources/adoquery.h"
#include "sources/workbooksource.h"
#include "workbook/formatregistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace benchsupport;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QString source = benchWorkbook(argc, argv);
    if (source.isEmpty())
        return 1;
    const QString path = QDir::temp().filePath(QStringLiteral("kmlmaker-bench-post.xls"));
    QFile::remove(path);
    QFile::copy(source, path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

    try {
        TADOQuery q;
        q.setObjectName(QStringLiteral("detailCore"));
        workbooksource::openWorkbook(q, path);
        std::printf("workbook: %s, %.1f MB, %d records, can modify: %s\n", qPrintable(source),
                    double(QFileInfo(path).size()) / 1e6, q.RecordCount(),
                    q.CanModify() ? "yes" : "no");

        const Timing open = timeRuns([&](int) { q.Close(); }, [&](int) { q.Open(); });
        const int record = 30000;
        const Timing number =
            timeRuns([&](int) { q.MoveBy(record - q.RecNo()); },
                     [&](int i) {
                         q.Edit();
                         q.Fields(0).SetAsString(QStringLiteral("116.25%1").arg(i));
                         q.Post();
                     });
        const Timing text = timeRuns([&](int) { q.MoveBy(record - q.RecNo()); },
                                     [&](int i) {
                                         q.Edit();
                                         q.Fields(2).SetAsString(QStringLiteral("改名%1").arg(i));
                                         q.Post();
                                     });
        // Deletes first: the sheet is full to its last row but one.
        const Timing remove = timeRuns([&](int) { q.Last(); }, [&](int) { q.Delete(); });
        const Timing insert = timeRuns([](int) {},
                                       [&](int i) {
                                           q.Append();
                                           q.Fields(0).SetAsString(QString::number(100 + i));
                                           q.Fields(2).SetAsString(QStringLiteral("新点"));
                                           q.Post();
                                       });
        // The write alone, as a post makes it, by the format the file's content names.
        workbook::FileIdentity id = q.identity();
        const workbook::WorkbookFormat &format = [&]() -> const workbook::WorkbookFormat & {
            QFile f(path);
            return workbook::formatOf(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(),
                                      path);
        }();
        const Timing write =
            timeRuns([](int) {},
                     [&](int i) {
                         id = format
                                  .write(path, id,
                                         {workbook::SheetChange::setCell(
                                             q.sheetRow(record), q.sheetColumn(0), 116.5 + i)})
                                  .identity;
                     });

        // What a post pays for surviving a power cut: the new file and its folder flushed to
        // the disk. Written untimed, flushed timed.
        const QByteArray bytes = [&] {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        const QString copy = path + QStringLiteral(".flushed");
        const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
        int fd = -1;
        const Timing flush = timeRuns(
            [&](int) {
                QFile::remove(copy);
                fd = ::open(QFile::encodeName(copy).constData(), O_WRONLY | O_CREAT, 0600);
                if (fd < 0 || ::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
                    throw CommandError(QStringLiteral("cannot write %1").arg(copy));
            },
            [&](int) {
                ::fsync(fd);
                ::close(fd);
                const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
                ::fsync(dir);
                ::close(dir);
            });
        QFile::remove(copy);

        std::printf("median of %d runs\n", Runs);
        print("open through the query (read + can it be written)", open);
        print("post one changed number", number, &open);
        print("post one changed text", text, &open);
        print("post an inserted record (reads the file back)", insert, &open);
        print("delete a record", remove, &open);
        print("  part: write-back of one number alone", write, &open);
        print("  part: flushing a file of the workbook's size", flush);
        std::printf("target for a post: 1.5x open + flush = %.1f ms\n",
                    1.5 * open.median + flush.median);
    } catch (const CommandError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    QFile::remove(path);
    return 0;
}
