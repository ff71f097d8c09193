// .ods write-back: seeded random edits, appends and deletes read back by our reader, by Gnumeric
// and by LibreOffice; every zip entry but content.xml byte for byte as it was, the mimetype first
// and stored; repeated rows and cells split around a change; values written in their cell's type;
// each refusal and failure with its message, the file left as it was.
#include "libreofficereading.h"
#include "odstesting.h"
#include "packagetesting.h"
#include "sheetdump.h"

#include "workbook/formatregistry.h"
#include "workbook/ods/odssheeteditor.h"
#include "workbook/ods/odswriter.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace workbook;
using namespace packagetesting;
using testsupport::fixture;

Q_DECLARE_METATYPE(workbook::EditValue)

namespace {

QString randomText(QRandomGenerator &rng) {
    static const QStringList pieces = {"点",     "东经116°",  " 前后空格 ",  "a&b<c>\"q\"",
                                       "  两空", "tab\there", "line\nbreak", "cr\r\nlf",
                                       "长",     "]]>&amp;"};
    QString t;
    for (int n = 1 + rng.bounded(3); n > 0; --n)
        t += pieces[rng.bounded(pieces.size())];
    return t;
}

// What the reader gives back for a text written: paragraphs joined by line feeds.
QString asRead(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
}

QString copyToTemporary(const QTemporaryDir &dir, const QString &name) {
    const QString path = dir.filePath(QStringLiteral("book.ods"));
    QFile::remove(path);
    return QFile::copy(fixture("ods", name), path) ? path : QString();
}

// Gnumeric's reading of sheet1 as CSV rows; empty when ssconvert is not installed.
QList<QStringList> gnumericRows(const QString &path, const QString &csv) {
    if (QStandardPaths::findExecutable(QStringLiteral("ssconvert")).isEmpty())
        return {};
    QProcess p;
    p.start(QStringLiteral("ssconvert"),
            {QStringLiteral("--export-type=Gnumeric_stf:stf_assistant"),
             QStringLiteral("--export-options=sheet=sheet1 separator=; quoting-mode=always"), path,
             csv});
    p.waitForFinished(60000);
    QList<QStringList> rows;
    QFile f(csv);
    if (!f.open(QIODevice::ReadOnly))
        return rows;
    const QString text = QString::fromUtf8(f.readAll());
    // Every field quoted, quotes doubled: split the records by hand.
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"')
                field += u'"', ++i;
            else if (c == u'"')
                quoted = false;
            else
                field += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u';') {
            row << field;
            field.clear();
        } else if (c == u'\n') {
            row << field;
            rows << row;
            row.clear();
            field.clear();
        }
    }
    return rows;
}

} // namespace

class TestOdsWriter : public QObject {
    Q_OBJECT

    std::vector<Written> m_written;
    std::vector<std::shared_ptr<QTemporaryDir>> m_keep;

private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void readByLibreOffice();
    void splitsRepeatsAroundTheChange();
    void rowMadeAndDeletedInOneWrite_data();
    void rowMadeAndDeletedInOneWrite();
    void writesInTheCellsType_data();
    void writesInTheCellsType();
    void refusals_data();
    void refusals();
    void unwritablePackages_data();
    void unwritablePackages();
    void damagedPackagesFailCleanly();
    void readBack_data();
    void readBack();
};

void TestOdsWriter::roundTrip_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("seed");
    QTest::addColumn<bool>("gnumeric");
    QTest::addColumn<QStringList>("recomputed"); // formulas LibreOffice computes anew: see Written
    QTest::newRow("LibreOffice, nothing pins rows")
        << "libreoffice-plain.ods" << 1 << true << QStringList();
    QTest::newRow("Gnumeric") << "gnumeric-plain.ods" << 2 << false << QStringList();
    QTest::newRow("LibreOffice, every kind, sheet1 second, merges and formulas")
        << "libreoffice-kinds.ods" << 3 << false << QStringList{"Refs!A1", "Refs!B1", "Sheet1!N2"};
    QTest::newRow("a million formatted empty rows")
        << "libreoffice-million-rows.ods" << 4 << true << QStringList();
    QTest::newRow("other prefixes") << "crafted-prefixes.ods" << 5 << false << QStringList();
    QTest::newRow("16,384 columns") << "crafted-jumbo.ods" << 6 << false << QStringList();
    QTest::newRow("empty sheet1") << "libreoffice-xls-empty-sheet1.ods" << 7 << false
                                  << QStringList();
}

void TestOdsWriter::roundTrip() {
    QFETCH(QString, file);
    QFETCH(int, seed);
    QFETCH(bool, gnumeric);
    QFETCH(QStringList, recomputed);
    QTemporaryDir dir;
    OpenedCopy book = openCopy(fixture("ods", file), dir.filePath(QStringLiteral("book.ods")));
    QVERIFY(book.ok);
    RandomBatches how;
    how.batches = 12;
    how.minColumns = 4;
    how.maxColumns = 8;
    how.text = randomText;
    how.mayRefuse = [](const QString &refusal) {
        return refusal.startsWith(u"Rows of sheet1 cannot be deleted") ||
               refusal.startsWith(u"Row ") || refusal.contains(u"merged cells");
    };
    how.asRead = asRead;
    Model marked = withRecomputed(modelOf(book.sheet), recomputed);
    const Model model =
        writeRandomBatches(book, quint32(seed), how, ods::writeSheetChanges, &marked);
    if (QTest::currentTestFailed())
        return;
    SheetData after;
    FileIdentity unused;
    QVERIFY(readSheet(book.path, after, unused));
    const Model read = modelOf(after);
    auto text = [](const Value &x) {
        return std::holds_alternative<double>(x) ? QString::number(std::get<double>(x))
                                                 : std::get<QString>(x);
    };
    for (const auto &[at, v] : model) {
        const auto it = read.find(at);
        QVERIFY2(it != read.end(), qPrintable(QStringLiteral("cell %1,%2 missing: %3")
                                                  .arg(at.first)
                                                  .arg(at.second)
                                                  .arg(text(v))));
        QVERIFY2(it->second == v, qPrintable(QStringLiteral("cell %1,%2: %3 for %4")
                                                 .arg(at.first)
                                                 .arg(at.second)
                                                 .arg(text(it->second), text(v))));
    }
    QCOMPARE(read.size(), model.size());

    const QByteArray written = odstesting::readFile(book.path);
    const QString differ = untouchedDiffer(book.bytes, written, {"content.xml"});
    QVERIFY2(differ.isEmpty(), qPrintable(differ));
    QCOMPARE(entryOrder(written), entryOrder(book.bytes));
    const zip::Archive archive(written);
    QCOMPARE(archive.first()->name, QByteArray("mimetype"));
    QCOMPARE(archive.first()->method, std::uint16_t(0));

    // Kept for LibreOffice, which reads them all in one run.
    m_written.push_back(
        Written{fixture("ods", file), book.path, model, marked, after.date1904, recomputed});
    const QString csv = dir.filePath(QStringLiteral("s.csv"));
    m_keep.push_back(std::make_shared<QTemporaryDir>(std::move(dir)));

    if (!gnumeric)
        return;
    const QList<QStringList> seen = gnumericRows(book.path, csv);
    if (seen.isEmpty())
        QSKIP("Gnumeric's ssconvert is not installed");
    for (const auto &[at, v] : model) {
        QVERIFY(at.first < seen.size());
        const QString cell = at.second < seen[at.first].size() ? seen[at.first][at.second] : "";
        if (const double *d = std::get_if<double>(&v))
            QVERIFY2(qFuzzyCompare(cell.toDouble(), *d), qPrintable(cell));
        else
            QCOMPARE(cell, std::get<QString>(v));
    }
}

// The round trips' workbooks as LibreOffice reads them.
void TestOdsWriter::readByLibreOffice() {
    if (!libreofficereading::available())
        QSKIP("LibreOffice (soffice) is not installed");
    QVERIFY(!m_written.empty());
    libreofficereading::Differences differences;
    // LibreOffice 7.4 drops a tab (<text:tab/>) from a cell's text when it opens an .ods, one it
    // wrote itself too.
    differences.text = [](QString t) { return t.remove(u'\t'); };
    // Our reader counts the days of an .ods as Excel does, with the 29 February 1900 that never
    // was: a date before 1 March 1900 is a day less.
    differences.serial = [](double days) { return days < 61 ? days - 1 : days; };
    libreofficereading::checkWritten(m_written, differences);
}

// A change in a repeated row and in a repeated cell: the rows and cells around it keep their
// XML, with their counts made smaller; the rest of the part is the same bytes.
void TestOdsWriter::splitsRepeatsAroundTheChange() {
    const QByteArray sevens =
        "<table:table-cell table:style-name=\"ce\" office:value-type=\"float\" "
        "office:value=\"7\" table:number-columns-repeated=\"%1\"><text:p>7</text:p>"
        "</table:table-cell>";
    auto cells = [&](int n) { return QByteArray(sevens).replace("%1", QByteArray::number(n)); };
    const QByteArray tail = "<table:table-row><table:table-cell/></table:table-row></table:table>";
    const QByteArray before = odstesting::content(
        "<table:table table:name=\"sheet1\"><table:table-row table:style-name=\"ro\" "
        "table:number-rows-repeated=\"3\">" +
        cells(4) + "</table:table-row>" + tail);
    ods::SheetEditor editor(before, ods::CellStyles());
    editor.setCell(1, 2, 8.0);
    const QByteArray one =
        "<table:table-row table:style-name=\"ro\">" + cells(4) + "</table:table-row>";
    const QByteArray single =
        QByteArray(cells(1)).replace(" table:number-columns-repeated=\"1\"", "");
    const QByteArray result = editor.result();
    const qsizetype from = result.indexOf("<table:table ");
    QCOMPARE(
        result.mid(from),
        odstesting::content("<table:table table:name=\"sheet1\">" + one +
                            "<table:table-row table:style-name=\"ro\">" + cells(2) +
                            "<table:table-cell table:style-name=\"ce\" office:value-type=\"float\" "
                            "office:value=\"8\" calcext:value-type=\"float\"><text:p>8</text:p>"
                            "</table:table-cell>" +
                            single + "</table:table-row>" + one + tail)
            .mid(from));
    QCOMPARE(editor.lastRow(), 2);
}

void TestOdsWriter::rowMadeAndDeletedInOneWrite_data() {
    QTest::addColumn<QString>("file");
    QTest::newRow("other prefixes") << "crafted-prefixes.ods";
    QTest::newRow("LibreOffice") << "libreoffice-plain.ods";
}

// A row appended, or a cell set below the last row, and then deleted in the same write leaves
// the sheet as it was.
void TestOdsWriter::rowMadeAndDeletedInOneWrite() {
    QFETCH(QString, file);
    const QByteArray bytes = odstesting::readFile(fixture("ods", file));
    const QStringList before = sheetdump::readBytes(bytes, file);
    const int below = int(before.size()) - 1; // the dump's first line is the range
    for (const SheetChange &made :
         {SheetChange::appendRow({8.0}), SheetChange::setCell(below, 1, EditValue(8.0))}) {
        WriteResult result;
        const QByteArray written =
            ods::applyChanges(bytes, {made, SheetChange::deleteRow(below)}, result);
        QCOMPARE(result.rows, QList<int>({below, below}));
        QCOMPARE(sheetdump::readBytes(written, file), before);
    }
}

void TestOdsWriter::writesInTheCellsType_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<EditValue>("value");
    QTest::addColumn<QByteArray>("cell");
    QTest::addColumn<QString>("read");
    // libreoffice-kinds.ods, sheet1's second row.
    QTest::newRow("date")
        << 1 << 7 << EditValue(45444.0)
        << QByteArray("<table:table-cell table:style-name=\"date\" office:value-type=\"date\" "
                      "office:date-value=\"2024-06-01\" calcext:value-type=\"date\"><text:p>"
                      "2024-06-01</text:p></table:table-cell>")
        << "date:06/01/2024";
    QTest::newRow("date and time")
        << 1 << 8 << EditValue(45444.75) << QByteArray("office:date-value=\"2024-06-01T18:00:00\"")
        << "date:06/01/2024 18:00:00";
    QTest::newRow("time") << 1 << 9 << EditValue(0.5)
                          << QByteArray("office:value-type=\"time\" office:time-value="
                                        "\"PT12H00M00S\" calcext:value-type=\"time\"")
                          << "date:12:00:00";
    // Longer than a day, and before March 1900, where a date would count a day that never was.
    QTest::newRow("time of a day and a half")
        << 1 << 9 << EditValue(1.5)
        << QByteArray("office:value-type=\"time\" office:time-value=\"PT36H00M00S\"")
        << "date:01/01/1900 12:00:00";
    QTest::newRow("percentage") << 1 << 4 << EditValue(0.25)
                                << QByteArray("office:value-type=\"percentage\" office:value="
                                              "\"0.25\" calcext:value-type=\"percentage\"")
                                << "num:0.25";
    QTest::newRow("currency keeps its currency")
        << 1 << 5 << EditValue(9.5)
        << QByteArray("<table:table-cell table:style-name=\"cny\" office:value-type=\"currency\" "
                      "office:currency=\"¥\" office:value=\"9.5\" calcext:value-type="
                      "\"currency\"><text:p>9.5</text:p></table:table-cell>")
        << "money:9.5";
    QTest::newRow("a float in a money style stays a float")
        << 1 << 6 << EditValue(9.5)
        << QByteArray("<table:table-cell table:style-name=\"yen\" office:value-type=\"float\" "
                      "office:value=\"9.5\" calcext:value-type=\"float\">")
        << "money:9.5";
    QTest::newRow("a formula overwritten goes")
        << 1 << 13 << EditValue(QStringLiteral("文字"))
        << QByteArray("<table:table-cell office:value-type=\"string\" calcext:value-type="
                      "\"string\"><text:p>文字</text:p></table:table-cell>")
        << "text:文字";
    QTest::newRow("blanks, tabs and paragraphs")
        << 1 << 3 << EditValue(QStringLiteral("  a  b\tc \r\nd&<>"))
        << QByteArray("<text:p><text:s text:c=\"2\"/>a <text:s/>b<text:tab/>c </text:p>"
                      "<text:p>d&amp;&lt;&gt;</text:p>")
        << "text:  a  b\tc \\nd&<>";
    QTest::newRow("emptied, its style kept")
        << 1 << 5 << EditValue()
        << QByteArray("<table:table-cell table:style-name=\"cny\"/><table:table-cell "
                      "table:style-name=\"yen\"")
        << "-";
}

void TestOdsWriter::writesInTheCellsType() {
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(EditValue, value);
    QFETCH(QByteArray, cell);
    QFETCH(QString, read);
    QTemporaryDir dir;
    const QString path = copyToTemporary(dir, QStringLiteral("libreoffice-kinds.ods"));
    SheetData sheet;
    FileIdentity identity;
    QVERIFY(readSheet(path, sheet, identity));
    ods::writeSheetChanges(path, identity, {SheetChange::setCell(row, column, value)});
    const QByteArray xml = part(odstesting::readFile(path), "content.xml");
    const qsizetype second =
        xml.indexOf("<table:table-row", xml.indexOf("table:name=\"Sheet1\"") + 400);
    QVERIFY2(xml.contains(cell), xml.mid(second, 3000).constData());
    QVERIFY(readSheet(path, sheet, identity));
    QCOMPARE(sheetdump::describe(sheet, row, column), read);
}

void TestOdsWriter::refusals_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<SheetChange>("change");
    QTest::addColumn<QString>("message");
    const QString rows = QStringLiteral("Rows of sheet1 cannot be deleted while %1 refer to row "
                                        "positions; clear the row's cells instead");
    const SheetChange deleteRow = SheetChange::deleteRow(2);
    struct Refusal {
        const char *file, *what;
    };
    const Refusal refusals[] = {
        {"libreoffice-note.ods", "notes"},
        {"libreoffice-hyperlink.ods", "hyperlinks"},
        {"libreoffice-condformat.ods", "conditional formats"},
        {"libreoffice-validation.ods", "data validations"},
        {"crafted-validation.ods", "data validations"},
        {"libreoffice-name.ods", "defined names"},
        {"libreoffice-filter.ods", "filters"},
        {"libreoffice-chart.ods", "charts"},
        {"libreoffice-shape.ods", "drawing objects"},
        {"libreoffice-formulas.ods", "formulas on sheet1 and formulas on sheet Sums"},
        {"libreoffice-otherformulas.ods", "formulas on sheet Sums"},
        {"libreoffice-shared.ods", "formulas on sheet1"},
        {"libreoffice-xls-merged.ods", "merged cells"},
        {"libreoffice-kinds.ods",
         "formulas on sheet Refs, hyperlinks, formulas on sheet1 and merged cells"},
    };
    for (const Refusal &r : refusals)
        QTest::newRow(r.what) << r.file << deleteRow << rows.arg(QLatin1String(r.what));
    QTest::newRow("a covered cell")
        << "libreoffice-kinds.ods" << SheetChange::setCell(6, 1, 1.0)
        << "Cell B7 of sheet1 is covered by merged cells and cannot be changed on its own";
    QTest::newRow("a covered cell that keeps a value")
        << "libreoffice-covered.ods" << SheetChange::setCell(1, 3, 1.0)
        << "Cell D2 of sheet1 is covered by merged cells and cannot be changed on its own";
    QTest::newRow("array formula")
        << "libreoffice-shared.ods" << SheetChange::setCell(10, 0, 1.0)
        << "Cell A11 of sheet1 is part of an array formula or data table and cannot be changed "
           "on its own";
    QTest::newRow("outside the sheet")
        << "libreoffice-plain.ods" << SheetChange::setCell(2, 1024, 1.0)
        << "There is no cell at row 3, column 1025 of sheet1; a sheet has 1048576 rows and 1024 "
           "columns";
    QTest::newRow("outside a very large sheet")
        << "crafted-jumbo.ods" << SheetChange::setCell(1048576, 0, 1.0)
        << "There is no cell at row 1048577, column 1 of sheet1; a sheet has 1048576 rows and "
           "16384 columns";
    QTest::newRow("a character XML cannot hold")
        << "libreoffice-plain.ods" << SheetChange::setCell(1, 1, QStringLiteral("a\x01"))
        << "The text for cell B2 holds the character U+0001, which an OpenDocument spreadsheet "
           "cannot hold";
    QTest::newRow("29 February 1900 into a date cell")
        << "libreoffice-kinds.ods" << SheetChange::setCell(1, 7, 60.5)
        << "Cell H2 cannot hold 29 February 1900, a day that an OpenDocument spreadsheet does not "
           "have";
    addLimitRefusals(QStringLiteral("libreoffice-plain.ods"), 1024);
}

void TestOdsWriter::refusals() {
    QFETCH(QString, file);
    QFETCH(SheetChange, change);
    QFETCH(QString, message);
    checkRefused(fixture("ods", file), QStringLiteral("book.ods"), change, message,
                 ods::writeSheetChanges);
}

void TestOdsWriter::unwritablePackages_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    const QByteArray plain = odstesting::readFile(fixture("ods", "libreoffice-plain.ods"));
    QTest::newRow("password") << odstesting::readFile(fixture("ods", "crafted-encrypted.ods"))
                              << "The workbook is encrypted and cannot be changed";
    QTest::newRow("password, as LibreOffice saves it")
        << odstesting::readFile(fixture("ods", "libreoffice-encrypted.ods"))
        << "The workbook is encrypted and cannot be changed";
    QTest::newRow("no content") << odstesting::withParts(plain, {{"content.xml", std::nullopt}})
                                << "The workbook is damaged and cannot be changed";
    QTest::newRow("content in UTF-16")
        << odstesting::withParts(
               plain, {{"content.xml",
                        QByteArray("\xFF\xFE", 2) + QByteArray(reinterpret_cast<const char *>(
                                                                   QStringLiteral("<x/>").utf16()),
                                                               8)}})
        << "The workbook's content is stored in UTF-16 and cannot be changed";
    QTest::newRow("no sheet1") << odstesting::package(
                                      odstesting::content("<table:table table:name=\"Other\"/>"))
                               << "The workbook has no worksheet named sheet1";
    QTest::newRow("damaged content")
        << odstesting::package(odstesting::content("<table:table table:name=\"sheet1\">"))
        << "The workbook is damaged and cannot be changed";
    QTest::newRow("sheet full")
        << odstesting::package(odstesting::content(
               "<table:table table:name=\"sheet1\"><table:table-row "
               "table:number-rows-repeated=\"1048575\"><table:table-cell/></table:table-row>"
               "<table:table-row><table:table-cell office:value-type=\"float\" "
               "office:value=\"1\"/></table:table-row></table:table>"))
        << "sheet1 is full: it cannot hold more than 1048576 rows";
}

// The password and UTF-16 cases are refused before any change is asked for; the others when
// one is applied.
void TestOdsWriter::unwritablePackages() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QString got = errorOf([&] { ods::checkWritable(bytes); });
    if (got.isEmpty()) {
        WriteResult result;
        got = errorOf([&] {
            ods::applyChanges(bytes, {SheetChange::appendRow({1.0, QStringLiteral("x")})}, result);
        });
    }
    QCOMPARE(got, message);
}

// Damaged archives and content parts given to the writer: each change ends with a package or a
// message, never a crash or a hang; a package made from one the reader reads is one it reads.
void TestOdsWriter::damagedPackagesFailCleanly() {
    const QByteArray good = odstesting::readFile(fixture("ods", "libreoffice-kinds.ods"));
    const QByteArray xml = part(good, "content.xml");
    QRandomGenerator rng(12);
    const std::vector<SheetChange> changes = {SheetChange::setCell(1, 0, 5.0),
                                              SheetChange::appendRow({1.0, QStringLiteral("x")}),
                                              SheetChange::setCell(3, 2, QStringLiteral("改"))};
    int written = 0;
    auto attempt = [&](const QByteArray &bytes) {
        WriteResult result;
        QByteArray out;
        const QString refusal = errorOf([&] { out = ods::applyChanges(bytes, changes, result); });
        if (!refusal.isEmpty() || out.isEmpty())
            return;
        ++written;
        const QString fileName = QStringLiteral("t.ods");
        const auto read = [&](const QByteArray &b) {
            return errorOf(
                [&] { formatOf(b, fileName).read(b, fileName, QStringLiteral("sheet1")); });
        };
        if (read(bytes).isEmpty())
            QVERIFY2(read(out).isEmpty(), qPrintable(read(out)));
    };
    for (int cut = 0; cut < good.size(); cut += 211)
        attempt(good.left(cut));
    for (int i = 0; i < 200; ++i) {
        QByteArray bytes = good;
        for (int k = 0; k < 3; ++k)
            bytes[rng.bounded(bytes.size())] = char(rng.bounded(256));
        attempt(bytes);
    }
    for (int i = 0; i < 200; ++i) {
        QByteArray content = xml;
        if (i % 2)
            content.truncate(rng.bounded(content.size()));
        else
            content[rng.bounded(content.size())] = "<>&\"'/=x0 "[rng.bounded(10)];
        attempt(odstesting::withParts(good, {{"content.xml", content}}));
    }
    QVERIFY(written > 0);
}

// A content part the editor and the reader understand differently (the prefix "text" bound to
// another vocabulary, OpenDocument's text to none): a write that would not read back as the
// change makes it is refused and the file kept; one that does is written.
void TestOdsWriter::readBack_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<SheetChange>("change");
    QTest::addColumn<QString>("message"); // empty: written, and read back as the change makes it
    const QString differs = QStringLiteral("The workbook cannot be changed safely: cell %1 of "
                                           "sheet1 would read back as %2 instead of %3");
    const QString prefix = QStringLiteral("crafted-text-prefix.ods");
    QTest::newRow("a text in a paragraph of the other vocabulary")
        << prefix << SheetChange::setCell(1, 2, QStringLiteral("新点"))
        << differs.arg("C2", "empty", "\"新点\"");
    QTest::newRow("an appended row's text")
        << prefix << SheetChange::appendRow({118.0, QStringLiteral("新")})
        << differs.arg("B4", "empty", "\"新\"");
    QTest::newRow("a number, whose value is an attribute")
        << prefix << SheetChange::setCell(1, 0, 118.0) << QString();
    QTest::newRow("a row deleted") << prefix << SheetChange::deleteRow(1) << QString();
    QTest::newRow("line breaks of every kind, read back as paragraphs")
        << "libreoffice-plain.ods" << SheetChange::setCell(2, 2, QStringLiteral("a\r\nb\rc\nd"))
        << QString();
}

void TestOdsWriter::readBack() {
    QFETCH(QString, file);
    QFETCH(SheetChange, change);
    QFETCH(QString, message);
    if (!message.isEmpty()) {
        checkRefused(fixture("ods", file), QStringLiteral("book.ods"), change, message,
                     ods::writeSheetChanges);
        return;
    }
    QTemporaryDir dir;
    OpenedCopy book = openCopy(fixture("ods", file), dir.filePath(QStringLiteral("book.ods")));
    QVERIFY(book.ok);
    const WriteResult result = ods::writeSheetChanges(book.path, book.identity, {change});
    Model model = modelOf(book.sheet);
    applyToModel(model, {change}, result.rows, asRead);
    SheetData after;
    QVERIFY(readSheet(book.path, after, book.identity));
    QVERIFY(modelOf(after) == model);
}

QTEST_GUILESS_MAIN(TestOdsWriter)
#include "tst_odswriter.moc"
