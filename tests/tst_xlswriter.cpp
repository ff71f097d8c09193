// Writing edits into .xls files: seeded random edits read back by xlrd (an independent reader),
// the rest of the file kept, each refusal with its message and the file untouched (a write that
// would not read back as made among them), and a save that fails half way leaving the old file.
#include "workbook/xls/biffrecords.h"
#include "workbook/xls/recordchaincheck.h"
#include "workbook/xls/xlsformat.h"
#include "workbook/xls/xlsreader.h"
#include "workbook/xls/xlswriter.h"
#include "workbooktesting.h"
#include "xlrdreading.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace workbook;
using namespace workbook::xls;
using namespace workbooktesting;
using xlrdreading::Cells;
using xlrdreading::cellsOf;
using xlrdreading::sheetNamed;

Q_DECLARE_METATYPE(workbook::SheetChange)

class TestXlsWriter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void randomRoundTrip_data();
    void randomRoundTrip();
    void refusalsLeaveTheFile_data();
    void refusalsLeaveTheFile();
    void identityFollowsWrites();
    void nothingChangedWritesNothing();
    void sameBytesTouchedIsWritten();
    void bookStreamDropped();
    void permissionsKept();
    void canWrite_data();
    void canWrite();
    void judgedOnWhatWasRead();
    void recordChainCheck_data();
    void recordChainCheck();
    void streamInPiecesIsTheStream_data();
    void streamInPiecesIsTheStream();

private:
    bool m_xlrd = false;
};

namespace {

// Everything of the tree but the Workbook stream (and a dropped Book) is as it was.
void compareTrees(const OleEntry &before, const OleEntry &after) {
    QCOMPARE(after.clsid, before.clsid);
    QStringList names;
    for (const OleEntry &c : before.children)
        if (c.name != u"Book")
            names.append(c.name);
    QStringList afterNames;
    for (const OleEntry &c : after.children)
        afterNames.append(c.name);
    names.sort();
    afterNames.sort();
    QCOMPARE(afterNames, names);
    for (const OleEntry &c : before.children) {
        const OleEntry *copy = after.child(c.name);
        if (!copy)
            continue;
        QCOMPARE(copy->isStorage, c.isStorage);
        if (c.isStorage)
            compareTrees(c, *copy);
        else if (c.name != u"Workbook")
            QCOMPARE(copy->data, c.data);
    }
}

QStringList filesIn(const QString &dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

QByteArray encryptedWorkbook() {
    CompoundFile file;
    file.parse(readFile(fixture(QStringLiteral("xlwt-mixed.xls"))));
    QByteArray &stream = file.root().child(QStringLiteral("Workbook"))->data;
    // FILEPASS (RC4) right after the globals' BOF.
    stream.insert(20, QByteArray::fromHex("2f003600010001000100") + QByteArray(48, 'k'));
    return file.serialize();
}

const QString Refused = QStringLiteral("Rows of sheet1 cannot be deleted while %1 refer to row "
                                       "positions; clear the row's cells instead");

} // namespace

void TestXlsWriter::initTestCase() {
    m_xlrd = xlrdreading::available();
}

void TestXlsWriter::randomRoundTrip_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("deleteRefusal"); // empty: rows may be deleted
    const QString mixed = Refused.arg(u"formulas on sheet1 and formulas on sheet Refs"_qs);
    const QString rows = Refused.arg(u"formulas on sheet Notes"_qs);
    for (const QString &producer : {u"xlwt"_qs, u"gnumeric"_qs, u"libreoffice"_qs}) {
        QTest::newRow(qPrintable(producer + u"-mixed")) << producer + u"-mixed.xls" << mixed;
        QTest::newRow(qPrintable(producer + u"-rows2000")) << producer + u"-rows2000.xls" << rows;
        QTest::newRow(qPrintable(producer + u"-plain")) << producer + u"-plain.xls" << QString();
        QTest::newRow(qPrintable(producer + u"-numbers"))
            << producer + u"-numbers.xls" << QString();
    }
    QTest::newRow("gnumeric-dual") << "gnumeric-dual.xls" << mixed;
    // Formula cells under FORMULA's BIFF3/4 number are edited as formula cells; padding records
    // between records stay where they are or go, and the records around them are kept.
    QTest::newRow("crafted-formula0406") << "crafted-formula0406.xls" << QString();
    QTest::newRow("crafted-padding") << "crafted-padding.xls" << QString();
    // Texts added to an SST whose EXTSST came before it (a write stopped on an empty index).
    QTest::newRow("crafted-extsst-first") << "crafted-extsst-first.xls" << QString();
    QTest::newRow("libreoffice-note")
        << "libreoffice-note.xls" << Refused.arg(u"drawing objects and notes"_qs);
}

void TestXlsWriter::randomRoundTrip() {
    QFETCH(QString, file);
    QFETCH(QString, deleteRefusal);
    if (!m_xlrd)
        QSKIP("needs /usr/bin/python3 with xlrd (Debian's python3-xlrd)");
    QTemporaryDir dir;
    const QString path = copyOfFixture(dir, file);
    const QByteArray originalBytes = readFile(path);
    const QJsonArray original = xlrdreading::sheets(path);
    QVERIFY(!original.isEmpty());
    xlrdreading::SheetModel model(cellsOf(sheetNamed(original, QStringLiteral("sheet1"))));
    FileIdentity identity = fileIdentity(path, originalBytes);

    QRandomGenerator g(qHash(file));
    for (int batch = 0; batch < 6; ++batch) {
        std::vector<SheetChange> changes;
        QList<int> appendedRows;
        const int count = 1 + int(g.bounded(8));
        for (int k = 0; k < count; ++k) {
            const int pick = int(g.bounded(20));
            if (pick < 13) {
                const int row = int(g.bounded(model.lastRow() + 3));
                const int column = int(g.bounded(8));
                const EditValue value = randomValue(g);
                changes.push_back(SheetChange::setCell(row, column, value));
                model.set(row, column, value);
            } else if (pick < 17 || !deleteRefusal.isEmpty() || model.lastRow() < 2) {
                QList<EditValue> values;
                for (int c = 0, n = 1 + int(g.bounded(5)); c < n; ++c)
                    values.append(randomValue(g));
                const int row = model.lastRow() + 1;
                changes.push_back(SheetChange::appendRow(values));
                appendedRows.append(row);
                for (int c = 0; c < values.size(); ++c)
                    model.set(row, c, values[c]);
            } else {
                const int row = 1 + int(g.bounded(model.lastRow()));
                changes.push_back(SheetChange::deleteRow(row));
                model.remove(row);
            }
        }
        const WriteResult result = writeSheetChanges(path, identity, changes);
        int appended = 0;
        for (size_t k = 0; k < changes.size(); ++k)
            if (changes[k].kind == SheetChange::Kind::AppendRow)
                QCOMPARE(result.rows[int(k)], appendedRows[appended++]);
        QVERIFY(result.identity.sameBytes(fileIdentity(path, readFile(path))));
        identity = result.identity;
    }
    if (!deleteRefusal.isEmpty()) {
        const QByteArray before = readFile(path);
        QCOMPARE(errorOf([&] {
                     writeSheetChanges(
                         path, identity,
                         {SheetChange::setCell(1, 0, 1.0), SheetChange::deleteRow(1)});
                 }),
                 deleteRefusal);
        QCOMPARE(readFile(path), before);
    }

    const QJsonArray after = xlrdreading::sheets(path);
    QCOMPARE(after.size(), original.size());
    for (int s = 0; s < original.size(); ++s) {
        const QJsonObject o = original[s].toObject();
        if (o[u"name"].toString().compare(u"sheet1", Qt::CaseInsensitive) == 0)
            continue;
        QCOMPARE(after[s].toObject(), o); // other sheets: every cell, value and format
    }
    const Cells read = cellsOf(sheetNamed(after, QStringLiteral("sheet1")));
    const Cells &expected = model.cells();
    QCOMPARE(read.size(), expected.size());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const auto found = read.constFind(it.key());
        QVERIFY2(found != read.cend(), qPrintable(cellName(it.key().first, it.key().second)));
        QVERIFY2(*found == it.value(), qPrintable(cellName(it.key().first, it.key().second) +
                                                  u": read " + QString::number(found->kind) + u' ' +
                                                  found->value.toVariant().toString().left(40) +
                                                  u" xf " + QString::number(found->xf) +
                                                  u", expected " + QString::number(it->kind) +
                                                  u' ' + it->value.toVariant().toString().left(40) +
                                                  u" xf " + QString::number(it->xf)));
    }
    CompoundFile before, now;
    QVERIFY(before.parse(originalBytes));
    QVERIFY(now.parse(readFile(path)));
    compareTrees(before.root(), now.root());
    QCOMPARE(filesIn(dir.path()), QStringList{u"book.xls"_qs});
}

void TestXlsWriter::refusalsLeaveTheFile_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("setup"); // 0 none, 1 another program writes, 2 removed, 3 row 65536 used
    QTest::addColumn<SheetChange>("change");
    QTest::addColumn<QString>("message"); // %1: the file's full native path
    const QString plain = QStringLiteral("xlwt-plain.xls");
    QTest::newRow("changed by another program")
        << plain << 1 << SheetChange::setCell(1, 1, 2.0)
        << "The workbook \"%1\" was changed by another program since it was opened or last "
           "refreshed. Refresh the data, then make the change again";
    QTest::newRow("removed") << plain << 2 << SheetChange::setCell(1, 1, 2.0)
                             << "The workbook \"%1\" no longer exists; it was moved or deleted "
                                "since it was opened or last refreshed";
    QTest::newRow("sheet full") << plain << 3 << SheetChange::appendRow({1.0})
                                << "sheet1 is full: it cannot hold more than 65536 rows";
    QTest::newRow("text too long")
        << plain << 0 << SheetChange::setCell(1, 1, QString(32768, u'长'))
        << "The text for cell B2 has 32768 characters; a cell holds at most 32767";
    QTest::newRow("delete with references")
        << "xlwt-merged.xls" << 0 << SheetChange::deleteRow(1) << Refused.arg(u"merged cells"_qs);
    QTest::newRow("Excel 5.0/95") << "gnumeric-biff7.xls" << 0 << SheetChange::setCell(1, 1, 2.0)
                                  << OlderFormatRefused;
    // Read back, the file written would show the record the later one overwrote.
    QTest::newRow("a delete moving a cell written twice")
        << "crafted-overwritten.xls" << 0 << SheetChange::deleteRow(0)
        << "The workbook cannot be changed safely: cell B1 of sheet1 would read back as 39.5 "
           "instead of 40";
    QTest::newRow("encrypted") << "" << 0 << SheetChange::setCell(1, 1, 2.0) << EncryptedRefused;
    QTest::newRow("not a workbook")
        << "dump-xlrd.py" << 0 << SheetChange::setCell(1, 1, 2.0)
        << "The file is not an Excel 97-2003 workbook and cannot be changed";
}

void TestXlsWriter::refusalsLeaveTheFile() {
    QFETCH(QString, file);
    QFETCH(int, setup);
    QFETCH(SheetChange, change);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("book.xls"));
    QVERIFY(writeFile(path, file.isEmpty() ? encryptedWorkbook() : readFile(fixture(file))));
    FileIdentity identity = fileIdentity(path, readFile(path));
    if (setup == 1) {
        QByteArray other = readFile(path);
        other[other.size() - 1] = char(other[other.size() - 1] ^ 1);
        QVERIFY(writeFile(path, other));
    } else if (setup == 2) {
        QVERIFY(QFile::remove(path));
    } else if (setup == 3) {
        identity =
            writeSheetChanges(path, identity, {SheetChange::setCell(65535, 0, 9.0)}).identity;
    }
    const QByteArray before = readFile(path);
    const QDateTime time = QFileInfo(path).lastModified();
    QCOMPARE(errorOf([&] { writeSheetChanges(path, identity, {change}); }),
             message.contains(u"%1") ? message.arg(QDir::toNativeSeparators(path)) : message);
    QCOMPARE(readFile(path), before);
    if (setup != 2)
        QCOMPARE(QFileInfo(path).lastModified(), time);
    QCOMPARE(filesIn(dir.path()), setup == 2 ? QStringList() : QStringList{u"book.xls"_qs});
}

void TestXlsWriter::identityFollowsWrites() {
    QTemporaryDir dir;
    const QString path = copyOfFixture(dir, QStringLiteral("gnumeric-plain.xls"));
    const FileIdentity opened = fileIdentity(path, readFile(path));
    const WriteResult first =
        writeSheetChanges(path, opened, {SheetChange::appendRow({1.0, u"a"_qs})});
    QCOMPARE(first.rows, QList<int>{301});
    const FileIdentity now = fileIdentity(path, readFile(path));
    QVERIFY(first.identity.sameBytes(now));
    QCOMPARE(first.identity.modified, now.modified);
    QCOMPARE(first.identity.size, QFileInfo(path).size());
    // The identity from before the write no longer fits the file.
    QVERIFY(errorOf([&] {
                writeSheetChanges(path, opened, {SheetChange::deleteRow(301)});
            }).contains(u"was changed by another program"));
    const WriteResult second =
        writeSheetChanges(path, first.identity, {SheetChange::deleteRow(301)});
    QCOMPARE(second.rows, QList<int>{301});
}

void TestXlsWriter::nothingChangedWritesNothing() {
    QTemporaryDir dir;
    const QString path = copyOfFixture(dir, QStringLiteral("libreoffice-plain.xls"));
    const QByteArray before = readFile(path);
    const FileIdentity opened = fileIdentity(path, before);
    const WriteResult result = writeSheetChanges(
        path, opened,
        {SheetChange::setCell(500, 3, EditValue()), SheetChange::appendRow({EditValue()})});
    QCOMPARE(result.rows, (QList<int>{500, 301}));
    QVERIFY(result.identity.sameBytes(opened));
    QCOMPARE(result.identity.modified, opened.modified);
    QCOMPARE(readFile(path), before);
}

void TestXlsWriter::sameBytesTouchedIsWritten() {
    // Only the bytes count: a file touched by another program but not changed loses nothing.
    QTemporaryDir dir;
    const QString path = copyOfFixture(dir, QStringLiteral("xlwt-numbers.xls"));
    const FileIdentity opened = fileIdentity(path, readFile(path));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(opened.modified.addSecs(-3600), QFileDevice::FileModificationTime));
    f.close();
    writeSheetChanges(path, opened, {SheetChange::setCell(0, 0, 1.0)});
}

void TestXlsWriter::bookStreamDropped() {
    QTemporaryDir dir;
    const QString path = copyOfFixture(dir, QStringLiteral("gnumeric-dual.xls"));
    CompoundFile before;
    QVERIFY(before.parse(readFile(path)));
    QVERIFY(before.root().child(QStringLiteral("Book")));
    writeSheetChanges(path, fileIdentity(path, readFile(path)), {SheetChange::setCell(1, 0, 99.5)});
    CompoundFile after;
    QVERIFY(after.parse(readFile(path)));
    QVERIFY(!after.root().child(QStringLiteral("Book")));
    compareTrees(before.root(), after.root());
}

void TestXlsWriter::permissionsKept() {
    QTemporaryDir dir;
    const QString path = copyOfFixture(dir, QStringLiteral("xlwt-numbers.xls"));
    const auto permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    QVERIFY(QFile::setPermissions(path, permissions));
    writeSheetChanges(path, fileIdentity(path, readFile(path)), {SheetChange::setCell(0, 0, 2.0)});
    QCOMPARE(QFile::permissions(path) & (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                         QFile::WriteGroup | QFile::ReadOther),
             permissions);
}

void TestXlsWriter::canWrite_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message"); // empty: can be written
    // The reader's fixtures for refusals are refused here too, each for its own reason.
    const QStringList refused{u"gnumeric-biff7.xls"_qs, u"crafted-biff5.xls"_qs, u"filepass.xls"_qs,
                              u"xlwt-no-sheet1.xls"_qs};
    for (const QString &f : QDir(fixture(QString())).entryList({u"*.xls"_qs}))
        if (!refused.contains(f))
            QTest::newRow(qPrintable(f)) << f << QString();
    QTest::newRow("crafted Excel 5.0/95") << "crafted-biff5.xls" << OlderFormatRefused;
    QTest::newRow("FILEPASS fixture") << "filepass.xls" << EncryptedRefused;
    QTest::newRow("no sheet1") << "xlwt-no-sheet1.xls"
                               << "The workbook has no worksheet named sheet1";
    QTest::newRow("Excel 5.0/95") << "gnumeric-biff7.xls" << OlderFormatRefused;
    QTest::newRow("encrypted") << "" << EncryptedRefused;
    QTest::newRow("text") << "make-xlwt.py"
                          << "The file is not an Excel 97-2003 workbook and cannot be changed";
}

void TestXlsWriter::canWrite() {
    QFETCH(QString, file);
    QFETCH(QString, message);
    const QByteArray bytes = file.isEmpty() ? encryptedWorkbook() : readFile(fixture(file));
    QCOMPARE(errorOf([&] { checkWritable(bytes); }), message);
    SheetRead read;
    read.bytes = bytes;
    QCOMPARE(xls::XlsFormat().whyReadOnly(read), message);
}

// The writability question is answered from the bytes that were read, never from a second read
// of the file: what the dataset opened is what it may edit.
void TestXlsWriter::judgedOnWhatWasRead() {
    QTemporaryDir dir;
    const QString path = copyOfFixture(dir, QStringLiteral("xlwt-plain.xls"));
    const WorkbookFormat &format = formatOf(readFile(path), path);
    SheetRead read = format.read(readFile(path), path, QStringLiteral("sheet1"));
    QCOMPARE(format.whyReadOnly(read), QString());

    // Bytes that cannot be written, as if they had been read: they are what is judged.
    read.bytes = QByteArray(read.bytes.size(), 'x');
    QCOMPARE(format.whyReadOnly(read),
             u"The file is not an Excel 97-2003 workbook and cannot be changed"_qs);
    const QString biff7 = fixture(QStringLiteral("gnumeric-biff7.xls"));
    QVERIFY(!format.whyReadOnly(format.read(readFile(biff7), biff7, QStringLiteral("sheet1")))
                 .isEmpty());
}

void TestXlsWriter::recordChainCheck_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<bool>("chain");
    for (const char *name :
         {"xlwt-rows2000.xls", "gnumeric-rows2000.xls", "libreoffice-rows2000.xls",
          "gnumeric-mixed.xls", "libreoffice-note.xls", "crafted-padding.xls"}) {
        const QByteArray stream = fixtureStream(QString::fromLatin1(name));
        std::vector<BiffRecord> records;
        QVERIFY(splitRecords(stream, records));
        QTest::addRow("%s", name) << stream << true;
        QTest::addRow("%s, zero padding", name) << stream + QByteArray(11, '\0') << true;
        QTest::addRow("%s, stray byte after padding", name)
            << stream + QByteArray(9, '\0') + '\1' << false;
        std::uint32_t end = 0;
        QVERIFY(recordChainEnd(stream, end));
        QTest::addRow("%s, last record cut short", name) << stream.left(end - 1) << false;
        QTest::addRow("%s, a part of a header left over", name) << stream + "\x01\x02" << false;
        for (const BiffRecord &r : records) {
            if (r.type != rec::BoundSheet)
                continue;
            QByteArray moved = stream;
            put32(moved.data() + r.offset + 4, u32(stream.constData() + r.offset + 4) + 1);
            QTest::addRow("%s, a sheet offset off by one", name) << moved << false;
            break;
        }
    }
}

// Fed whole or in pieces of any size, the check says the same.
void TestXlsWriter::recordChainCheck() {
    QFETCH(QByteArray, stream);
    QFETCH(bool, chain);
    QRandomGenerator g(quint32(stream.size()));
    for (const int piece : {0, 1, 3, 4, 7, 4096, -1}) {
        RecordChainCheck check;
        for (qsizetype at = 0; at < stream.size();) {
            const qsizetype n = piece == 0  ? stream.size()
                                : piece > 0 ? piece
                                            : qsizetype(g.bounded(1, 300));
            check.feed(QByteArrayView(stream.constData() + at, std::min(n, stream.size() - at)));
            at += n;
        }
        QVERIFY2(check.finish() == chain, qPrintable(u"pieces of "_qs + QString::number(piece)));
    }
}

void TestXlsWriter::streamInPiecesIsTheStream_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<SheetChange>("change");
    QTest::newRow("number") << "xlwt-rows2000.xls" << SheetChange::setCell(1000, 0, 116.25);
    QTest::newRow("new text") << "gnumeric-rows2000.xls" << SheetChange::setCell(5, 2, u"改名"_qs);
    QTest::newRow("appended row") << "libreoffice-rows2000.xls"
                                  << SheetChange::appendRow({1.0, u"末"_qs});
    QTest::newRow("deleted row") << "xlwt-plain.xls" << SheetChange::deleteRow(1);
    QTest::newRow("long text over CONTINUE")
        << "xlwt-rows2000.xls" << SheetChange::setCell(3, 3, QString(12000, u'长'));
}

// The stream handed out a piece at a time is the stream made whole, byte for byte.
void TestXlsWriter::streamInPiecesIsTheStream() {
    QFETCH(QString, file);
    QFETCH(SheetChange, change);
    SheetEditor editor(fixtureStream(file));
    editor.apply(change);
    QVERIFY(editor.isChanged());
    QByteArray joined;
    int pieces = 0;
    QVERIFY(editor.writeStream([&](QByteArrayView piece) {
        joined.append(piece);
        ++pieces;
        return true;
    }));
    QCOMPARE(joined, editor.stream());
    QVERIFY(pieces > 1);
    // A refused piece ends the writing.
    int offered = 0;
    QVERIFY(!editor.writeStream([&](QByteArrayView) { return ++offered < 2; }));
    QCOMPARE(offered, 2);
}

QTEST_GUILESS_MAIN(TestXlsWriter)
#include "tst_xlswriter.moc"
