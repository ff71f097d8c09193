// What every workbook format does, checked through the format interface alone, one row per
// format: a file read as expected, batches of edits, inserts and deletes read back as they were
// written, a file changed since it was read refused, damaged bytes refused with their message,
// and a write that fails part way leaving the file as it was. A new format gets the whole suite
// by adding its rows; what is particular to one format stays in its own tests.
#include "packagetesting.h"
#include "sheetdump.h"
#include "testsupport.h"
#include "workbook/formatregistry.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace packagetesting;
using namespace testsupport;
using namespace workbook;

class TestFormatSuite : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reads_data();
    void reads();
    void batchesReadBack_data();
    void batchesReadBack();
    void changedOnDisk_data();
    void changedOnDisk();
    void damagedRefused_data();
    void damagedRefused();
    void failedWriteKeepsTheFile_data();
    void failedWriteKeepsTheFile();
};

namespace {

// One format's files: a fixture with sheet1 holding a table, a second file of the same format
// (the "other program's" version), and how the format gives back what was written.
struct Format {
    const char *name;
    const char *file;
    const char *other;
    bool numbersAsText; // a format without types reads a written number as its text
};

const Format formats[] = {
    {"xls", "libreoffice-plain.xls", "gnumeric-plain.xls", false},
    {"xlsx", "xlsx/libreoffice-plain.xlsx", "xlsx/gnumeric-mixed.xlsx", false},
    {"ods", "ods/libreoffice-plain.ods", "ods/gnumeric-plain.ods", false},
    {"csv", "csv/points.csv", "csv/quoted.csv", true},
};

void formatRows() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("other");
    QTest::addColumn<bool>("numbersAsText");
    for (const Format &f : formats)
        QTest::newRow(f.name) << fixture(QString::fromLatin1(f.file))
                              << fixture(QString::fromLatin1(f.other)) << f.numbersAsText;
}

WriteResult writeThroughFormat(const QString &path, const FileIdentity &opened,
                               const std::vector<SheetChange> &changes) {
    const QByteArray bytes = readWorkbookFile(path);
    return formatOf(bytes, path).write(path, opened, changes);
}

QString suiteText(QRandomGenerator &rng) {
    static const QStringList pieces = {"点",        "东经116°",    " 前后空格 ",      "a&b<c>\"q\"",
                                       "tab\there", "line\nbreak", "逗号,分号;竖线|", "长"};
    QString t;
    for (int n = 1 + rng.bounded(3); n > 0; --n)
        t += pieces[rng.bounded(pieces.size())];
    return t;
}

// The numbers of a model as a format without types gives them back: the text it wrote.
Model withNumbersAsText(Model model) {
    for (auto &[at, value] : model)
        if (std::holds_alternative<double>(value))
            value = numtext::FloatToStr(std::get<double>(value), u'.');
    return model;
}

} // namespace

// The same table written by three programs into each format reads as one sheet; each format's
// reading of its fixture is kept in a text file beside the fixtures.
void TestFormatSuite::reads_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected");
    const QString mixed = QStringLiteral("suite/mixed.txt");
    QTest::newRow("xls: LibreOffice") << "libreoffice-mixed.xls" << mixed;
    QTest::newRow("xlsx: LibreOffice") << "xlsx/libreoffice-mixed.xlsx" << mixed;
    QTest::newRow("ods: LibreOffice") << "ods/libreoffice-xls-mixed.ods" << mixed;
    // Delimited text has no types: the same table's cells are the texts LibreOffice wrote.
    QTest::newRow("csv: LibreOffice") << "suite/mixed.csv"
                                      << "suite/mixed-csv.txt";
}

void TestFormatSuite::reads() {
    QFETCH(QString, file);
    QFETCH(QString, expected);
    const QStringList read = sheetdump::read(fixture(file));
    const QStringList want =
        QString::fromUtf8(readFile(fixture(expected))).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(read, want);
}

void TestFormatSuite::batchesReadBack_data() {
    formatRows();
}

void TestFormatSuite::batchesReadBack() {
    QFETCH(QString, file);
    QFETCH(bool, numbersAsText);
    QTemporaryDir dir;
    OpenedCopy book =
        openCopy(file, dir.filePath(QStringLiteral("book.") + QFileInfo(file).suffix()));
    QVERIFY(book.ok);
    RandomBatches how;
    how.batches = 10;
    how.minColumns = 4;
    how.text = suiteText;
    how.mayRefuse = [](const QString &refusal) { return refusal.startsWith(u"Row "); };
    Model model = writeRandomBatches(book, 17, how, writeThroughFormat);
    if (QTest::currentTestFailed())
        return;
    if (numbersAsText)
        model = withNumbersAsText(model);
    SheetData after;
    FileIdentity identity;
    QVERIFY(readSheet(book.path, after, identity));
    QVERIFY(modelOf(after) == model);
    QVERIFY(identity.hash == book.identity.hash);
}

void TestFormatSuite::changedOnDisk_data() {
    formatRows();
}

void TestFormatSuite::changedOnDisk() {
    QFETCH(QString, file);
    QFETCH(QString, other);
    checkChangedOnDisk(file, other, QStringLiteral("book.") + QFileInfo(file).suffix(),
                       writeThroughFormat);
}

// Damaged bytes: the file cut short, or its middle overwritten. The message names the file as
// <file>.
void TestFormatSuite::damagedRefused_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("keep"); // bytes kept from the start; the rest cut or overwritten
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<char>("fill"); // what overwrites
    QTest::addColumn<QString>("message");
    const QString zipEnd = QStringLiteral(
        "The workbook \"<file>\" is damaged: the end of its zip directory is missing");
    QTest::newRow("xls cut") << "libreoffice-plain.xls" << 3000 << false << 'Z'
                             << "The workbook \"<file>\" is damaged: its compound file structure "
                                "cannot be read";
    QTest::newRow("xls overwritten")
        << "libreoffice-plain.xls" << 1100 << true << 'Z'
        << "The workbook \"<file>\" is damaged: the workbook stream does not start with a BOF "
           "record";
    QTest::newRow("xlsx cut") << "xlsx/libreoffice-plain.xlsx" << 3000 << false << 'Z' << zipEnd;
    QTest::newRow("xlsx overwritten")
        << "xlsx/libreoffice-plain.xlsx" << 100 << true << 'Z'
        << "The workbook \"<file>\" is damaged: the entry \"xl/workbook.xml\" is not where the "
           "zip directory says";
    QTest::newRow("ods cut") << "ods/libreoffice-plain.ods" << 3000 << false << 'Z' << zipEnd;
    QTest::newRow("ods overwritten")
        << "ods/libreoffice-plain.ods" << 100 << true << 'Z'
        << "The workbook \"<file>\" is damaged: the entry \"Configurations2/toolpanel/\" is "
           "cut short";
    // A delimited text file with NUL bytes in it is no text: no format knows it.
    QTest::newRow("csv with NULs")
        << "csv/points.csv" << 40 << true << '\0' << "The file \"<file>\" is not an Excel workbook";
}

void TestFormatSuite::damagedRefused() {
    QFETCH(char, fill);
    QFETCH(QString, file);
    QFETCH(int, keep);
    QFETCH(bool, overwrite);
    QFETCH(QString, message);
    QByteArray bytes = readFile(fixture(file));
    QVERIFY(bytes.size() > keep);
    if (overwrite)
        bytes.replace(keep, bytes.size() / 2 - keep, QByteArray(bytes.size() / 2 - keep, fill));
    else
        bytes.truncate(keep);
    const QStringList read =
        sheetdump::readBytes(bytes, QStringLiteral("/book.") + QFileInfo(file).suffix());
    QCOMPARE(read, QStringList{message});
}

// A write that fails part way (here at a file-size limit, as on a full disk) leaves the old file
// as it was and no other file beside it; with room again the same write goes through.
void TestFormatSuite::failedWriteKeepsTheFile_data() {
    formatRows();
}

void TestFormatSuite::failedWriteKeepsTheFile() {
    QFETCH(QString, file);
    QTemporaryDir dir;
    const QString name = QStringLiteral("book.") + QFileInfo(file).suffix();
    OpenedCopy book = openCopy(file, dir.filePath(name));
    QVERIFY(book.ok);
    const std::vector<SheetChange> change = {SheetChange::setCell(2, 2, QStringLiteral("改"))};
    const QString error =
        errorUnderFileSizeLimit(std::min<rlim_t>(4096, rlim_t(book.bytes.size() / 2)),
                                [&] { writeThroughFormat(book.path, book.identity, change); });
    QCOMPARE(error, QStringLiteral("Stream write error"));
    QCOMPARE(readFile(book.path), book.bytes);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
    writeThroughFormat(book.path, book.identity, change);
    QVERIFY(readFile(book.path) != book.bytes);
}

QTEST_GUILESS_MAIN(TestFormatSuite)
#include "tst_formatsuite.moc"
