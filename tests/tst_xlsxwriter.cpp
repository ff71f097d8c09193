// .xlsx write-back: seeded random edits, appends and deletes read back by our reader, by
// openpyxl and by LibreOffice; every zip entry but the rewritten parts byte for byte as it was; the
// refusals with their messages; the calculation chain and the recalculation flag.
#include "libreofficereading.h"
#include "packagetesting.h"

#include "common/commanderror.h"
#include "common/zip/ziparchive.h"
#include "workbook/sheetdata.h"
#include "workbook/workbookformat.h"
#include "workbook/xlsx/xlsxpackage.h"
#include "workbook/xlsx/xlsxreferences.h"
#include "workbook/xlsx/xlsxsheeteditor.h"
#include "workbook/xlsx/xlsxwriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>
#include <variant>

using namespace packagetesting;
using namespace workbook;
using testsupport::errorUnderFileSizeLimit;
using testsupport::fixture;
using testsupport::readFile;

namespace {

bool haveOpenpyxl() {
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {"-c", "import openpyxl"});
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Each workbook's sheets, read in one run of python.
QJsonArray openpyxlSheets(const QStringList &paths) {
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{fixture("xlsx", "dump-openpyxl.py")} + paths);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning() << p.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
}

QString randomText(QRandomGenerator &rng) {
    static const QStringList pieces = {"点",        "东经116°",    " 前后空格 ", "a&b<c>\"q\"",
                                       "tab\there", "line\nbreak", "cr\rx",      "_x0041_",
                                       "\x01",      "长"};
    QString t;
    for (int n = 1 + rng.bounded(3); n > 0; --n)
        t += pieces[rng.bounded(pieces.size())];
    return t;
}

} // namespace

class TestXlsxWriter : public QObject {
    Q_OBJECT

    std::vector<Written> m_written;
    std::vector<std::shared_ptr<QTemporaryDir>> m_keep;

private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void readByOpenpyxl();
    void readByLibreOffice();
    void keepsTheRestOfThePart();
    void sheetPart_data();
    void sheetPart();
    void formulaReferences_data();
    void formulaReferences();
    void calculationChain();
    void refusals_data();
    void refusals();
    void readBack_data();
    void readBack();
};

void TestXlsxWriter::roundTrip_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("seed");
    QTest::addColumn<QStringList>("recomputed"); // formulas LibreOffice computes anew: see Written
    QTest::newRow("LibreOffice, sheet1 second, formulas elsewhere")
        << "libreoffice-mixed.xlsx" << 1 << QStringList{"Refs!A1", "Sheet1!E5"};
    QTest::newRow("Gnumeric") << "gnumeric-mixed.xlsx" << 2 << QStringList{"Refs!A1", "Sheet1!E5"};
    QTest::newRow("openpyxl, 1904 dates, inline strings")
        << "openpyxl-1904.xlsx" << 3 << QStringList{"Refs!A1", "Sheet1!F2"};
    QTest::newRow("crafted: no positions, rich text")
        << "crafted-kinds.xlsx" << 4 << QStringList{"SHEET1!B5"};
    QTest::newRow("crafted: prefixed namespace") << "crafted-prefixed.xlsx" << 5 << QStringList();
    QTest::newRow("LibreOffice, 300 rows") << "libreoffice-plain.xlsx" << 6 << QStringList();
    QTest::newRow("LibreOffice, empty sheet1")
        << "libreoffice-empty-sheet1.xlsx" << 7 << QStringList();
    QTest::newRow("crafted: sheet part in UTF-16, written in UTF-8")
        << "crafted-utf16.xlsx" << 8 << QStringList();
    QTest::newRow("crafted: shared formulas")
        << "crafted-shared.xlsx" << 9 << QStringList{"Sheet1!C2", "Sheet1!C3", "Sheet1!C4"};
    QTest::newRow("zip64 local headers, sizes that fit 32 bits")
        << "crafted-zip64.xlsx" << 10 << QStringList();
}

void TestXlsxWriter::roundTrip() {
    QFETCH(QString, file);
    QFETCH(int, seed);
    QFETCH(QStringList, recomputed);
    QTemporaryDir dir;
    OpenedCopy book = openCopy(fixture("xlsx", file), dir.filePath(QStringLiteral("book.xlsx")));
    QVERIFY(book.ok);
    RandomBatches how;
    how.batches = 7;
    how.text = randomText;
    // A refusal leaves the file as it was.
    how.mayRefuse = [](const QString &refusal) {
        return refusal.startsWith(u"Rows of sheet1 cannot be deleted") ||
               refusal.startsWith(u"Row ") || refusal.contains(u"formula that other cells share");
    };
    Model marked = withRecomputed(modelOf(book.sheet), recomputed);
    const Model model =
        writeRandomBatches(book, quint32(seed), how, xlsx::writeSheetChanges, &marked);
    if (QTest::currentTestFailed())
        return;

    SheetData after;
    FileIdentity unused;
    QVERIFY(readSheet(book.path, after, unused));
    QVERIFY(modelOf(after) == model);

    // The rewritten parts only: the sheet's, and the workbook's for its recalculation flag.
    const QByteArray written = readFile(book.path);
    const QString differ = untouchedDiffer(book.bytes, written,
                                           {"xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml",
                                            "xl/worksheets/part1.xml", "xl/workbook.xml"});
    QVERIFY2(differ.isEmpty(), qPrintable(differ));
    QCOMPARE(entryOrder(written), entryOrder(book.bytes));

    // Kept for openpyxl and LibreOffice, which read them all in one run.
    m_written.push_back(
        Written{fixture("xlsx", file), book.path, model, marked, after.date1904, recomputed});
    m_keep.push_back(std::make_shared<QTemporaryDir>(std::move(dir)));
}

// The round trips' workbooks as openpyxl reads them: sheet1 as the model says, every other sheet
// as it was.
void TestXlsxWriter::readByOpenpyxl() {
    if (!haveOpenpyxl())
        QSKIP("python3-openpyxl is not installed");
    QVERIFY(!m_written.empty());
    QStringList paths;
    for (const Written &w : m_written)
        paths << w.original << w.path;
    const QJsonArray all = openpyxlSheets(paths);
    QCOMPARE(all.size(), paths.size());
    for (std::size_t k = 0; k < m_written.size(); ++k) {
        const QJsonArray before = all[qsizetype(2 * k)].toArray();
        const QJsonArray now = all[qsizetype(2 * k + 1)].toArray();
        const Model &model = m_written[k].model;
        QCOMPARE(now.size(), before.size());
        for (qsizetype i = 0; i < now.size(); ++i) {
            const QJsonObject sheetNow = now[i].toObject();
            if (sheetNow[u"name"].toString().compare(u"sheet1", Qt::CaseInsensitive) != 0) {
                QCOMPARE(sheetNow, before[i].toObject());
                continue;
            }
            Model seen;
            for (const QJsonValue &v : sheetNow[u"cells"].toArray()) {
                const QJsonArray c = v.toArray();
                const QString kind = c[2].toString();
                if (kind == u"number") {
                    seen[{c[0].toInt(), c[1].toInt()}] = c[3].toDouble();
                } else if (kind == u"text") {
                    // openpyxl leaves Excel's escapes of characters XML cannot hold (_x0001_)
                    QString text = c[3].toString();
                    xlsx::decodeEscapes(text);
                    seen[{c[0].toInt(), c[1].toInt()}] = text;
                }
            }
            for (const auto &[at, v] : model) {
                if (const QString *t = std::get_if<QString>(&v); t && t->startsWith(u"<kind"))
                    continue; // truth values and errors, as they were
                const auto it = seen.find(at);
                if (it == seen.end()) {
                    // openpyxl reads date-formatted numbers as dates
                    QVERIFY(std::holds_alternative<double>(v));
                    continue;
                }
                auto text = [](const Value &x) {
                    return std::holds_alternative<double>(x) ? QString::number(std::get<double>(x))
                                                             : std::get<QString>(x);
                };
                QVERIFY2(it->second == v, qPrintable(QStringLiteral("%1 cell %2,%3: %4 for %5")
                                                         .arg(m_written[k].original)
                                                         .arg(at.first)
                                                         .arg(at.second)
                                                         .arg(text(it->second), text(v))));
            }
        }
    }
}

// The round trips' workbooks as LibreOffice reads them.
void TestXlsxWriter::readByLibreOffice() {
    if (!libreofficereading::available())
        QSKIP("LibreOffice (soffice) is not installed");
    QVERIFY(!m_written.empty());
    libreofficereading::Differences differences;
    // LibreOffice 7.4 reads a carriage return in a text that holds a line feed as a line break,
    // CR LF as one, in workbooks other programs wrote too.
    differences.text = [](QString t) {
        return t.contains(u'\n')
                   ? t.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n')
                   : t;
    };
    libreofficereading::checkWritten(m_written, differences);
}

// The sheet part's XML as the editor leaves it, for the shapes of rows the fixtures lack.
void TestXlsxWriter::sheetPart_data() {
    QTest::addColumn<QByteArray>("rows");
    QTest::addColumn<SheetChange>("change");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("append after a cell tag broken over lines")
        << QByteArray("<row r=\"1\"><c\n r=\"A1\"><v>1</v></c></row>")
        << SheetChange::appendRow({2.0})
        << QByteArray("<row r=\"1\"><c\n r=\"A1\"><v>1</v></c></row>"
                      "<row r=\"2\"><c r=\"A2\"><v>2</v></c></row>");
    QTest::newRow("rows without positions after a new row get theirs")
        << QByteArray("<row><c><v>1</v></c></row><row r=\"3\"><c><v>3</v></c></row><row><c>"
                      "<v>4</v></c></row>")
        << SheetChange::setCell(1, 1, QStringLiteral("b"))
        << QByteArray("<row><c><v>1</v></c></row><row r=\"2\"><c r=\"B2\" t=\"inlineStr\"><is><t>b"
                      "</t></is></c></row><row r=\"3\"><c><v>3</v></c></row><row><c><v>4</v></c>"
                      "</row>");
    QTest::newRow("delete moves rows and cells up")
        << QByteArray("<row r=\"1\" ht=\"20\"><c r=\"A1\"><v>1</v></c></row>\n<row r=\"2\">"
                      "<c r=\"A2\"><v>2</v></c></row>\n<row r=\"3\" spans=\"1:2\"><c r=\"A3\" "
                      "s=\"4\"><v>3</v></c><c r=\"B3\"><v>5</v></c></row>")
        << SheetChange::deleteRow(1)
        << QByteArray(
               "<row r=\"1\" ht=\"20\"><c r=\"A1\"><v>1</v></c></row>\n\n<row r=\"2\" "
               "spans=\"1:2\"><c r=\"A2\" s=\"4\"><v>3</v></c><c r=\"B2\"><v>5</v></c></row>");
    QTest::newRow("a formatted row takes its first cell")
        << QByteArray("<row r=\"1\" s=\"2\" customFormat=\"1\"/>")
        << SheetChange::setCell(0, 2, 1.25)
        << QByteArray("<row r=\"1\" s=\"2\" customFormat=\"1\"><c r=\"C1\"><v>1.25</v></c></row>");
    QTest::newRow("emptied cell keeps its style, a bare one goes")
        << QByteArray("<row r=\"1\"><c r=\"A1\" s=\"3\"><f>1+1</f><v>2</v></c><c r=\"B1\"><v>1</v>"
                      "</c></row>")
        << SheetChange::setCell(0, 0, EditValue())
        << QByteArray("<row r=\"1\"><c r=\"A1\" s=\"3\"/><c r=\"B1\"><v>1</v></c></row>");
}

void TestXlsxWriter::sheetPart() {
    QFETCH(QByteArray, rows);
    QFETCH(SheetChange, change);
    QFETCH(QByteArray, expected);
    const QByteArray head = "<worksheet xmlns=\"urn:main\"><sheetData>";
    const QByteArray tail = "</sheetData></worksheet>";
    xlsx::SheetEditor editor(head + rows + tail);
    editor.apply(change, [] { return QStringList(); });
    QCOMPARE(editor.result(), head + expected + tail);
}

// What a formula's text says about the cells it reads: references at all, and to sheet1.
void TestXlsxWriter::formulaReferences_data() {
    QTest::addColumn<QString>("formula");
    QTest::addColumn<bool>("references");
    QTest::addColumn<bool>("namesSheet1");
    QTest::newRow("constants") << "1+2*3.5E+2" << false << false;
    QTest::newRow("a function of constants") << "SUM(1, 2) & TRUE" << false << false;
    QTest::newRow("text that looks like a reference") << "\"Sheet1!A1\" & \"B2\"" << false << false;
    QTest::newRow("a cell") << "A2*2" << true << false;
    QTest::newRow("rows") << "SUM(1:3)" << true << false;
    QTest::newRow("a name") << "Places*2" << true << false;
    QTest::newRow("sheet1 plainly") << "Sheet1!A2+1" << true << true;
    QTest::newRow("sheet1 quoted, another case") << "SUM('SHEET1'!$A$2:$A$5)" << true << true;
    QTest::newRow("another sheet") << "Other!A1" << true << false;
    QTest::newRow("a quoted name with a quote") << "'it''s'!A1" << true << false;
    QTest::newRow("a 3-D reference") << "SUM(Sheet0:Sheet2!A1)" << true << true;
    QTest::newRow("this workbook by number") << "[0]Sheet1!A1" << true << true;
    QTest::newRow("another workbook") << "[1]Sheet1!A1" << true << false;
}

void TestXlsxWriter::formulaReferences() {
    QFETCH(QString, formula);
    QFETCH(bool, references);
    QFETCH(bool, namesSheet1);
    QCOMPARE(xlsx::formulaHasReferences(formula), references);
    QCOMPARE(xlsx::formulaNamesSheet(formula, QStringLiteral("Sheet1")), namesSheet1);
}

// One changed cell: the part around its row is the same bytes.
void TestXlsxWriter::keepsTheRestOfThePart() {
    QTemporaryDir dir;
    const OpenedCopy book = openCopy(fixture("xlsx", "libreoffice-mixed.xlsx"),
                                     dir.filePath(QStringLiteral("book.xlsx")));
    QVERIFY(book.ok);
    const QByteArray before = part(book.bytes, "xl/worksheets/sheet2.xml");
    xlsx::writeSheetChanges(book.path, book.identity,
                            {SheetChange::setCell(2, 1, QStringLiteral("新 "))});
    const QByteArray after = part(readFile(book.path), "xl/worksheets/sheet2.xml");
    const qsizetype rowStart = before.indexOf("<row r=\"3\"");
    const qsizetype rowEnd = before.indexOf("</row>", rowStart) + 6;
    const qsizetype tail = before.size() - rowEnd;
    QCOMPARE(after.left(rowStart), before.left(rowStart));
    QCOMPARE(after.right(tail), before.right(tail));
    const QByteArray row = after.mid(rowStart, after.size() - tail - rowStart);
    QCOMPARE(row, before.mid(rowStart, rowEnd - rowStart)
                      .replace("<c r=\"B3\" s=\"1\" t=\"n\"><v>31.23973873</v></c>",
                               "<c r=\"B3\" s=\"1\" t=\"inlineStr\"><is><t xml:space=\"preserve\">"
                               "新 </t></is></c>"));
}

// Overwriting a formula drops the calculation chain with its relationship and content type;
// formulas reading the sheet are marked for recalculation.
void TestXlsxWriter::calculationChain() {
    QTemporaryDir dir;
    OpenedCopy book =
        openCopy(fixture("xlsx", "crafted-chain.xlsx"), dir.filePath(QStringLiteral("book.xlsx")));
    QVERIFY(book.ok);
    xlsx::writeSheetChanges(book.path, book.identity, {SheetChange::setCell(1, 2, 5.0)});
    const QByteArray written = readFile(book.path);
    QVERIFY(!zip::Archive(written).find("xl/calcChain.xml"));
    QVERIFY(!part(written, "xl/_rels/workbook.xml.rels").contains("calcChain"));
    QVERIFY(part(written, "xl/_rels/workbook.xml.rels").contains("sharedStrings"));
    QVERIFY(!part(written, "[Content_Types].xml").contains("calcChain"));
    QVERIFY(part(written, "xl/workbook.xml").contains("<calcPr fullCalcOnLoad=\"1\"/></workbook>"));
    const QString differ =
        untouchedDiffer(book.bytes, written,
                        {"xl/worksheets/part1.xml", "xl/workbook.xml", "xl/calcChain.xml",
                         "xl/_rels/workbook.xml.rels", "[Content_Types].xml"});
    QVERIFY2(differ.isEmpty(), qPrintable(differ));
    QVERIFY(part(written, "xl/worksheets/part1.xml").contains("<f>A2*2</f>"));

    // A number into a cell without a formula keeps the chain.
    QVERIFY(QFile::remove(book.path) &&
            QFile::copy(fixture("xlsx", "crafted-chain.xlsx"), book.path));
    QVERIFY(readSheet(book.path, book.sheet, book.identity));
    xlsx::writeSheetChanges(book.path, book.identity, {SheetChange::setCell(1, 0, 7.0)});
    QVERIFY(zip::Archive(readFile(book.path)).find("xl/calcChain.xml"));
}

void TestXlsxWriter::refusals_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<SheetChange>("change");
    QTest::addColumn<QString>("message");
    const QString rows = QStringLiteral("Rows of sheet1 cannot be deleted while %1 refer to row "
                                        "positions; clear the row's cells instead");
    const SheetChange deleteRow = SheetChange::deleteRow(2);
    QTest::newRow("notes") << "libreoffice-note.xlsx" << deleteRow << rows.arg("notes");
    QTest::newRow("hyperlinks") << "libreoffice-hyperlink.xlsx" << deleteRow
                                << rows.arg("hyperlinks");
    QTest::newRow("conditional formats")
        << "libreoffice-condformat.xlsx" << deleteRow << rows.arg("conditional formats");
    QTest::newRow("data validations")
        << "libreoffice-validation.xlsx" << deleteRow << rows.arg("data validations");
    QTest::newRow("defined names")
        << "libreoffice-name.xlsx" << deleteRow << rows.arg("defined names");
    QTest::newRow("filters") << "libreoffice-filter.xlsx" << deleteRow
                             << rows.arg("filters and defined names");
    QTest::newRow("page breaks") << "libreoffice-pagebreak.xlsx" << deleteRow
                                 << rows.arg("page breaks");
    QTest::newRow("formulas on sheet1")
        << "libreoffice-shared.xlsx" << deleteRow << rows.arg("formulas on sheet1");
    QTest::newRow("merged cells") << "openpyxl-merged.xlsx" << deleteRow
                                  << rows.arg("merged cells");
    QTest::newRow("comments") << "openpyxl-comment.xlsx" << deleteRow << rows.arg("notes");
    QTest::newRow("validation") << "openpyxl-validation.xlsx" << deleteRow
                                << rows.arg("data validations");
    QTest::newRow("charts") << "openpyxl-chart.xlsx" << deleteRow << rows.arg("charts");
    QTest::newRow("formulas elsewhere")
        << "openpyxl-1904.xlsx" << deleteRow
        << rows.arg("formulas on sheet1 and formulas on sheet Refs");
    QTest::newRow("array formula")
        << "libreoffice-shared.xlsx" << SheetChange::setCell(10, 0, 1.0)
        << "Cell A11 of sheet1 is part of an array formula or data table and cannot be changed "
           "on its own";
    QTest::newRow("shared formula's first cell")
        << "crafted-shared.xlsx" << SheetChange::setCell(1, 2, 1.0)
        << "Cell C2 of sheet1 holds a formula that other cells share and cannot be changed on its "
           "own";
    QTest::newRow("outside the sheet")
        << "crafted-kinds.xlsx" << SheetChange::setCell(1048576, 0, 1.0)
        << "There is no cell at row 1048577, column 1 of sheet1; a sheet has 1048576 rows and "
           "16384 columns";
    QTest::newRow("sheet full") << "crafted-full.xlsx" << SheetChange::appendRow({1.0})
                                << "sheet1 is full: it cannot hold more than 1048576 rows";
    addLimitRefusals(QStringLiteral("crafted-kinds.xlsx"), 16384);
}

void TestXlsxWriter::refusals() {
    QFETCH(QString, file);
    QFETCH(SheetChange, change);
    QFETCH(QString, message);
    checkRefused(fixture("xlsx", file), QStringLiteral("book.xlsx"), change, message,
                 xlsx::writeSheetChanges);
}

// A part the editor and the reader understand differently (a row element whose cells name
// another row): a write that would not read back as the change makes it is refused and the file
// kept; one that does is written.
void TestXlsxWriter::readBack_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<SheetChange>("change");
    QTest::addColumn<QString>("message"); // empty: written, and read back as the change makes it
    const QString differs = QStringLiteral("The workbook cannot be changed safely: cell %1 of "
                                           "sheet1 would read back as %2 instead of %3");
    const QString misnamed = QStringLiteral("crafted-misnamed.xlsx");
    QTest::newRow("a new row element before the misnamed cells, which win")
        << misnamed << SheetChange::setCell(0, 0, QStringLiteral("Lon"))
        << differs.arg("A1", "\"经度\"", "\"Lon\"");
    QTest::newRow("an edit of the misnamed row element, which would rename its cells")
        << misnamed << SheetChange::setCell(1, 0, 5.0)
        << "The workbook is damaged and cannot be changed";
    QTest::newRow("the misnamed row element deleted, and the cells read in row 1 with it")
        << misnamed << SheetChange::deleteRow(1) << differs.arg("A1", "empty", "\"经度\"");
    QTest::newRow("an ordinary row of the same sheet")
        << misnamed << SheetChange::setCell(2, 1, 41.0) << QString();
    QTest::newRow("appended after the misnamed rows")
        << misnamed << SheetChange::appendRow({118.0, QStringLiteral("新")}) << QString();
    QTest::newRow("a delete that moves rows as read")
        << "libreoffice-plain.xlsx" << SheetChange::deleteRow(3) << QString();
}

void TestXlsxWriter::readBack() {
    QFETCH(QString, file);
    QFETCH(SheetChange, change);
    QFETCH(QString, message);
    if (!message.isEmpty()) {
        checkRefused(fixture("xlsx", file), QStringLiteral("book.xlsx"), change, message,
                     xlsx::writeSheetChanges);
        return;
    }
    QTemporaryDir dir;
    OpenedCopy book = openCopy(fixture("xlsx", file), dir.filePath(QStringLiteral("book.xlsx")));
    QVERIFY(book.ok);
    const WriteResult result = xlsx::writeSheetChanges(book.path, book.identity, {change});
    Model model = modelOf(book.sheet);
    applyToModel(model, {change}, result.rows);
    SheetData after;
    QVERIFY(readSheet(book.path, after, book.identity));
    QVERIFY(modelOf(after) == model);
}

QTEST_GUILESS_MAIN(TestXlsxWriter)
#include "tst_xlsxwriter.moc"
