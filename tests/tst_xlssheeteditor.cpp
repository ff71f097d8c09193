// Editing sheet1 in a Workbook stream, checked record by record: what a change writes, what it
// keeps, the stream offsets it corrects, and every refusal with its exact message.
#include "workbook/xls/sstwriter.h"
#include "workbook/xls/xlssheeteditor.h"
#include "workbooktesting.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <tuple>

using namespace workbook;
using namespace workbook::xls;
using namespace workbooktesting;

Q_DECLARE_METATYPE(workbook::EditValue)
Q_DECLARE_METATYPE(workbook::SheetChange)

class TestXlsSheetEditor : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void noOpRebuildIsIdentical_data();
    void noOpRebuildIsIdentical();
    void cellRecords_data();
    void cellRecords();
    void offsetsAfterEdits_data();
    void offsetsAfterEdits();
    void firstTextCreatesTheTable();
    void appendGoesIntoItsRowBlock();
    void deleteMovesRowsUp();
    void recalculationMark_data();
    void recalculationMark();
    void refusals_data();
    void refusals();
    void unwritableStreams_data();
    void unwritableStreams();
};

namespace {

namespace rt {
constexpr std::uint16_t DefColWidth = 0x0055;
}

// The cell records of one row of sheet1, in stream order: type, first column, XF.
using CellRecord = std::tuple<std::uint16_t, int, int>;
using CellRecords = std::vector<CellRecord>;

// Cell records of the kinds the fixtures hold, and the records that follow a formula.
bool isCell(std::uint16_t t) {
    return t == rec::Blank || t == rec::MulBlank || t == rec::Number || t == rec::Rk ||
           t == rec::MulRk || t == rec::LabelSst || t == rec::BoolErr || t == rec::Formula;
}
bool followsFormula(std::uint16_t t) {
    return t == rec::String || t == rec::Shrfmla || t == rec::Array;
}

CellRecords rowRecords(const QByteArray &stream, int row) {
    const Parsed p(stream);
    CellRecords out;
    int current = -1;
    for (int i = p.sheet1().begin; i < p.sheet1().end; ++i) {
        const BiffRecord &r = p.records[size_t(i)];
        const char *d = r.data(p.stream);
        if (isCell(r.type)) {
            current = u16(d);
            if (current == row)
                out.emplace_back(r.type, u16(d + 2), u16(d + 4));
        } else if (followsFormula(r.type) && current == row) {
            out.emplace_back(r.type, -1, -1);
        }
    }
    return out;
}

// The sheet's rows that hold cells: first and one past the last.
std::pair<std::uint32_t, std::uint32_t> cellRows(const Parsed &p) {
    std::uint32_t first = 0xFFFFFFFF, end = 0;
    for (int i = p.sheet1().begin; i < p.sheet1().end; ++i) {
        const BiffRecord &r = p.records[size_t(i)];
        if (isCell(r.type)) {
            const std::uint32_t row = u16(r.data(p.stream));
            first = std::min(first, row);
            end = std::max(end, row + 1);
        }
    }
    return {first == 0xFFFFFFFF ? 0 : first, end};
}

// Checks every stream offset in a rebuilt stream against where the records really are.
void checkOffsets(const QByteArray &stream) {
    const Parsed p(stream);
    auto typeAt = [&](std::uint32_t offset) {
        const int i = recordAt(p.records, offset);
        return i < 0 ? -1 : int(p.records[size_t(i)].type);
    };
    for (const SheetSubstream &s : p.layout.sheets) {
        QVERIFY2(s.begin >= 0, qPrintable(s.name));
        for (size_t i : p.find(rec::Index, s.begin, s.end)) {
            const char *d = p.data(i);
            const int count = (p.records[i].length - 16) / 4;
            if (u32(d + 12) != 0)
                QCOMPARE(typeAt(u32(d + 12)), int(rt::DefColWidth));
            QCOMPARE(int(p.find(rec::DbCell, s.begin, s.end).size()), count);
            for (int k = 0; k < count; ++k) {
                const std::uint32_t at = u32(d + 16 + 4 * k);
                QCOMPARE(typeAt(at), int(rec::DbCell));
                const char *db = p.data(size_t(recordAt(p.records, at)));
                if (u32(db) != 0)
                    QCOMPARE(typeAt(at - u32(db)), int(rec::Row));
            }
            if (&s == &p.sheet1()) {
                const auto rows = cellRows(p);
                QCOMPARE(u32(d + 4), rows.first);
                QCOMPARE(u32(d + 8), rows.second);
            }
        }
    }
    // DIMENSIONS of sheet1 spans its cells.
    const auto dims = p.inSheet1(rec::Dimensions);
    QCOMPARE(dims.size(), size_t(1));
    const auto rows = cellRows(p);
    QCOMPARE(u32(p.data(dims[0])), rows.first);
    QCOMPARE(u32(p.data(dims[0]) + 4), rows.second);

    // EXTSST buckets start where the strings do.
    const auto sst = p.inGlobals(rec::Sst);
    const auto ext = p.inGlobals(rec::ExtSst);
    if (sst.empty() || ext.empty())
        return;
    SstWriter strings(p.stream, p.records, int(sst[0]));
    const char *e = p.data(ext[0]);
    const std::uint32_t dsst = u16(e);
    QVERIFY(dsst > 0);
    const std::uint32_t buckets = (strings.unique() + dsst - 1) / dsst;
    QCOMPARE(std::uint32_t(p.records[ext[0]].length), 2 + 8 * buckets);
    for (std::uint32_t b = 0; b < buckets; ++b) {
        const SstWriter::Start s = strings.start(b * dsst);
        const BiffRecord &r = p.records[sst[0] + size_t(s.record)];
        QCOMPARE(u32(e + 2 + 8 * b), r.offset + 4 + s.offset);
        QCOMPARE(u16(e + 6 + 8 * b), std::uint16_t(4 + s.offset));
    }
}

int labelCount(const Parsed &p) {
    return int(p.find(rec::LabelSst, 0, int(p.records.size())).size());
}

const QStringList biff8Fixtures = {
    "xlwt-mixed.xls",         "gnumeric-mixed.xls",     "libreoffice-mixed.xls",
    "xlwt-rows2000.xls",      "gnumeric-rows2000.xls",  "libreoffice-rows2000.xls",
    "xlwt-plain.xls",         "gnumeric-plain.xls",     "libreoffice-plain.xls",
    "gnumeric-dual.xls",      "xlwt-merged.xls",        "libreoffice-note.xls",
    "libreoffice-shared.xls", "libreoffice-filter.xls", "libreoffice-hyperlink.xls",
    "xlwt-numbers.xls",       "gnumeric-numbers.xls",   "libreoffice-numbers.xls"};

} // namespace

Q_DECLARE_METATYPE(CellRecords)

void TestXlsSheetEditor::noOpRebuildIsIdentical_data() {
    QTest::addColumn<QString>("file");
    for (const QString &f : biff8Fixtures)
        QTest::newRow(qPrintable(f)) << f;
}

void TestXlsSheetEditor::noOpRebuildIsIdentical() {
    QFETCH(QString, file);
    const QByteArray stream = fixtureStream(file);
    QVERIFY(!stream.isEmpty());
    SheetEditor editor(stream);
    QVERIFY(!editor.isChanged());
    QCOMPARE(editor.stream(), stream);
    QCOMPARE(editor.serialize(), stream);
    // Clearing a cell that holds nothing changes nothing.
    editor.setCell(60000, 200, EditValue{});
    QVERIFY(!editor.isChanged());
}

void TestXlsSheetEditor::cellRecords_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<EditValue>("value");
    QTest::addColumn<CellRecords>("expected");
    const std::uint16_t N = rec::Number, R = rec::Rk, L = rec::LabelSst, B = rec::Blank;
    QTest::newRow("number into MULRK's first cell splits it")
        << "xlwt-plain.xls" << 1 << 0 << EditValue(5.5)
        << CellRecords{{N, 0, 17}, {R, 1, 17}, {L, 2, 17}, {L, 3, 17}};
    QTest::newRow("text into MULRK's last cell splits it")
        << "libreoffice-plain.xls" << 1 << 1 << EditValue(QStringLiteral("文字"))
        << CellRecords{{R, 0, 21}, {L, 1, 21}, {L, 2, 21}, {L, 3, 21}};
    QTest::newRow("empty keeps the format as BLANK")
        << "gnumeric-plain.xls" << 1 << 2 << EditValue()
        << CellRecords{{N, 0, 21}, {R, 1, 21}, {B, 2, 21}, {L, 3, 21}};
    QTest::newRow("formula overwritten loses its STRING")
        << "gnumeric-plain.xls" << 2 << 5 << EditValue(1.0)
        << CellRecords{{N, 0, 21}, {R, 1, 21}, {L, 2, 21}, {L, 3, 21}, {N, 5, 21}};
    QTest::newRow("new cell takes its column's format")
        << "gnumeric-mixed.xls" << 1 << 7 << EditValue(2.0)
        << CellRecords{{N, 0, 21}, {N, 1, 21}, {L, 2, 21}, {L, 3, 21}, {R, 4, 21}, {N, 7, 21}};
    QTest::newRow("new cell without row or column format takes XF 15")
        << "xlwt-plain.xls" << 2 << 4 << EditValue(QStringLiteral("x"))
        << CellRecords{
               {rec::MulRk, 0, 17}, {L, 2, 17}, {L, 3, 17}, {L, 4, 15}, {rec::Formula, 5, 17}};
    QTest::newRow("shared formula's member may be overwritten")
        << "libreoffice-shared.xls" << 3 << 2 << EditValue(7.0)
        << CellRecords{{rec::MulRk, 0, 15}, {N, 2, 15}};
}

void TestXlsSheetEditor::cellRecords() {
    QFETCH(QString, file);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(EditValue, value);
    QFETCH(CellRecords, expected);
    SheetEditor editor(fixtureStream(file));
    editor.setCell(row, column, value);
    QVERIFY(editor.isChanged());
    const QByteArray out = editor.stream();
    QCOMPARE(rowRecords(out, row), expected);
    checkOffsets(out);
    // The value itself: NUMBER holds the double; LABELSST points at the text.
    const Parsed p(out);
    for (int i = p.sheet1().begin; i < p.sheet1().end; ++i) {
        const BiffRecord &r = p.records[size_t(i)];
        const char *d = r.data(p.stream);
        if (!(r.type == rec::Number || r.type == rec::LabelSst) || u16(d) != row ||
            u16(d + 2) != column)
            continue;
        if (const double *number = std::get_if<double>(&value))
            QCOMPARE(f64(d + 6), *number);
        if (const QString *text = std::get_if<QString>(&value)) {
            SstWriter sst(p.stream, p.records, int(p.inGlobals(rec::Sst).at(0)));
            QCOMPARE(sst.text(u32(d + 6)), *text);
        }
    }
}

void TestXlsSheetEditor::offsetsAfterEdits_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("deletes");
    for (const QString &f : biff8Fixtures)
        QTest::newRow(qPrintable(f)) << f << f.contains(QLatin1String("plain"));
}

void TestXlsSheetEditor::offsetsAfterEdits() {
    QFETCH(QString, file);
    QFETCH(bool, deletes);
    const QByteArray original = fixtureStream(file);
    const Parsed before(original);
    SheetEditor editor(original);
    editor.setCell(1, 1, QStringLiteral("移动了所有的表"));
    editor.setCell(2, 3, QString(QStringLiteral("长描述")).repeated(4000)); // across CONTINUEs
    editor.setCell(3, 0, 42.0);
    const int appended = editor.appendRow({116.5, 39.5, QStringLiteral("新地点"), EditValue()});
    QCOMPARE(appended, editor.lastRow());
    if (deletes)
        editor.deleteRow(4);
    const QByteArray out = editor.stream();
    checkOffsets(out);
    const Parsed after(out);
    // Three new strings, none of them in the table before.
    const auto oldSst = before.inGlobals(rec::Sst);
    SstWriter oldStrings(before.stream, before.records, oldSst.empty() ? -1 : int(oldSst[0]));
    SstWriter newStrings(after.stream, after.records, int(after.inGlobals(rec::Sst).at(0)));
    QCOMPARE(newStrings.unique(), oldStrings.unique() + 3);
    QCOMPARE(newStrings.text(oldStrings.unique() + 1),
             QString(QStringLiteral("长描述")).repeated(4000));
    QCOMPARE(int(newStrings.total() - oldStrings.total()), labelCount(after) - labelCount(before));
    for (size_t i : after.find(rec::Continue, 0, int(after.records.size())))
        QVERIFY(after.records[i].length <= MaxRecordData);
    // Sheets other than sheet1 are byte for byte what they were.
    for (size_t s = 0; s < before.layout.sheets.size(); ++s) {
        if (int(s) == before.layout.sheet1)
            continue;
        const SheetSubstream &a = before.layout.sheets[s], &b = after.layout.sheets[s];
        QCOMPARE(b.end - b.begin, a.end - a.begin);
        for (int k = 0; k < a.end - a.begin; ++k) {
            const BiffRecord &ra = before.records[size_t(a.begin + k)];
            const BiffRecord &rb = after.records[size_t(b.begin + k)];
            QCOMPARE(rb.type, ra.type);
            if (ra.type != rec::Index)
                QCOMPARE(QByteArray(rb.data(out), rb.length),
                         QByteArray(ra.data(original), ra.length));
        }
    }
}

void TestXlsSheetEditor::firstTextCreatesTheTable() {
    // LibreOffice writes no SST for a workbook without text; it comes before the globals' end.
    const QByteArray original = fixtureStream(QStringLiteral("libreoffice-numbers.xls"));
    QVERIFY(Parsed(original).inGlobals(rec::Sst).empty());
    SheetEditor editor(original);
    editor.setCell(0, 2, QStringLiteral("标注"));
    editor.setCell(1, 2, QStringLiteral("标注"));
    const Parsed p(editor.stream());
    const auto sst = p.inGlobals(rec::Sst);
    QCOMPARE(sst.size(), size_t(1));
    QCOMPARE(p.inGlobals(rec::ExtSst).size(), size_t(1));
    QCOMPARE(p.inGlobals(rec::ExtSst)[0], sst[0] + 1);
    SstWriter strings(p.stream, p.records, int(sst[0]));
    QCOMPARE(strings.unique(), 1u);
    QCOMPARE(strings.total(), 2u);
    QCOMPARE(strings.text(0), u"标注"_qs);
    checkOffsets(p.stream);
}

void TestXlsSheetEditor::appendGoesIntoItsRowBlock() {
    // Gnumeric writes 32-row blocks with DBCELLs: rows 1984-2000 are the last, 17 rows.
    SheetEditor editor(fixtureStream(QStringLiteral("gnumeric-rows2000.xls")));
    const int dbCells = int(Parsed(editor.serialize()).inSheet1(rec::DbCell).size());
    for (int k = 0; k < 15; ++k)
        QCOMPARE(editor.appendRow({double(k)}), 2001 + k);
    Parsed p(editor.stream());
    QCOMPARE(int(p.inSheet1(rec::DbCell).size()), dbCells);
    checkOffsets(p.stream);
    editor.appendRow({1.0}); // row 2016 opens a new block
    p = Parsed(editor.stream());
    QCOMPARE(int(p.inSheet1(rec::DbCell).size()), dbCells + 1);
    checkOffsets(p.stream);
    // The DBCELL of the last block: one offset per ROW, each from the previous row's first cell
    // (the first from the end of the first ROW).
    const auto db = p.inSheet1(rec::DbCell).back();
    const BiffRecord &cell = p.records[db];
    const std::uint32_t firstRow = cell.offset - u32(p.data(db));
    QCOMPARE(int(p.records[size_t(recordAt(p.records, firstRow))].type), int(rec::Row));
    std::uint32_t at = firstRow + 20;
    for (int k = 0; k < (cell.length - 4) / 2; ++k) {
        at += u16(p.data(db) + 4 + 2 * k);
        const int i = recordAt(p.records, at);
        QVERIFY(i >= 0);
        QCOMPARE(int(u16(p.data(size_t(i)))), 2016 + k);
    }
    // Empty values write nothing at all.
    SheetEditor untouched(fixtureStream(QStringLiteral("xlwt-plain.xls")));
    QCOMPARE(untouched.appendRow({EditValue(), EditValue()}), 301);
    QVERIFY(!untouched.isChanged());
}

void TestXlsSheetEditor::deleteMovesRowsUp() {
    const QByteArray original = fixtureStream(QStringLiteral("libreoffice-plain.xls"));
    SheetEditor editor(original);
    const CellRecords row6 = rowRecords(original, 6);
    editor.deleteRow(5);
    QCOMPARE(editor.lastRow(), 299);
    const QByteArray out = editor.stream();
    QCOMPARE(rowRecords(out, 5), row6);
    const Parsed p(out);
    int rowRecordsSeen = 0, previous = -1;
    for (size_t i : p.inSheet1(rec::Row)) {
        const int r = u16(p.data(i));
        QVERIFY(r > previous);
        previous = r;
        ++rowRecordsSeen;
    }
    QCOMPARE(rowRecordsSeen, int(Parsed(original).inSheet1(rec::Row).size()) - 1);
    checkOffsets(out);
    // Deleting the last row, then a row past the end.
    editor.deleteRow(299);
    QCOMPARE(editor.lastRow(), 298);
    QCOMPARE(errorOf([&] { editor.deleteRow(299); }), u"Row 300 of sheet1 does not exist"_qs);
}

void TestXlsSheetEditor::recalculationMark_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("marked");
    QTest::newRow("formulas on sheet1, no RECALCID") << "xlwt-mixed.xls" << true;
    QTest::newRow("formulas on sheet1, RECALCID") << "libreoffice-mixed.xls" << true;
    QTest::newRow("formula on another sheet") << "gnumeric-rows2000.xls" << true;
    QTest::newRow("formula without references") << "xlwt-plain.xls" << false;
    QTest::newRow("no formulas") << "libreoffice-note.xls" << false;
}

void TestXlsSheetEditor::recalculationMark() {
    QFETCH(QString, file);
    QFETCH(bool, marked);
    const QByteArray original = fixtureStream(file);
    const auto before = Parsed(original).inGlobals(rec::RecalcId);
    SheetEditor editor(original);
    editor.setCell(1, 0, 1.25);
    const Parsed p(editor.stream());
    const auto recalc = p.inGlobals(rec::RecalcId);
    if (!marked) {
        QCOMPARE(recalc.size(), before.size());
        return;
    }
    QCOMPARE(recalc.size(), size_t(1));
    QCOMPARE(u32(p.data(recalc[0]) + 4), 0u); // dwBuild 0: recalculate everything on loading
    // Before the SST, after the sheets' names, as the globals' order wants it.
    QVERIFY(recalc[0] < p.inGlobals(rec::Sst).at(0));
    QVERIFY(recalc[0] > p.inGlobals(rec::BoundSheet).back());
    checkOffsets(p.stream);
}

void TestXlsSheetEditor::refusals_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<SheetChange>("change");
    QTest::addColumn<QString>("message");
    const QString plain = QStringLiteral("xlwt-plain.xls");
    QTest::newRow("text too long")
        << plain << SheetChange::setCell(3, 3, QString(32768, u'x'))
        << "The text for cell D4 has 32768 characters; a cell holds at most 32767";
    QTest::newRow("text too long in an appended row")
        << plain << SheetChange::appendRow({1.0, QString(40000, u'字')})
        << "The text for cell B302 has 40000 characters; a cell holds at most 32767";
    QTest::newRow("row past the sheet")
        << plain << SheetChange::setCell(65536, 0, 1.0)
        << "There is no cell at row 65537, column 1 of sheet1; a sheet has 65536 rows and 256 "
           "columns";
    QTest::newRow("column past the sheet")
        << plain << SheetChange::setCell(0, 256, 1.0)
        << "There is no cell at row 1, column 257 of sheet1; a sheet has 65536 rows and 256 "
           "columns";
    QTest::newRow("the largest row and column numbers")
        << plain << SheetChange::setCell(2147483647, 2147483647, 1.0)
        << "There is no cell at row 2147483648, column 2147483648 of sheet1; a sheet has 65536 "
           "rows and 256 columns";
    QTest::newRow("the largest row number deleted")
        << plain << SheetChange::deleteRow(2147483647) << "Row 2147483648 of sheet1 does not exist";
    QTest::newRow("negative row") << plain << SheetChange::setCell(-1, 0, EditValue())
                                  << "There is no cell at row 0, column 1 of sheet1; a sheet "
                                     "has 65536 rows and 256 columns";
    QTest::newRow("too many values") << plain << SheetChange::appendRow(QList<EditValue>(257, 1.0))
                                     << "A row of sheet1 holds at most 256 cells; 257 were given";
    QTest::newRow("not a number") << plain
                                  << SheetChange::setCell(1, 0,
                                                          std::numeric_limits<double>::quiet_NaN())
                                  << "Cell A2 cannot hold an infinite or undefined number";
    QTest::newRow("infinity") << plain
                              << SheetChange::setCell(1, 0, std::numeric_limits<double>::infinity())
                              << "Cell A2 cannot hold an infinite or undefined number";
    QTest::newRow("delete past the end")
        << plain << SheetChange::deleteRow(301) << "Row 302 of sheet1 does not exist";
    QTest::newRow("shared formula's anchor")
        << "libreoffice-shared.xls" << SheetChange::setCell(1, 2, 1.0)
        << "Cell C2 of sheet1 holds a formula that other cells share and cannot be changed on "
           "its own";
    QTest::newRow("array formula's anchor")
        << "libreoffice-shared.xls" << SheetChange::setCell(9, 0, EditValue())
        << "Cell A10 of sheet1 is part of an array formula or data table and cannot be changed "
           "on its own";
    QTest::newRow("array formula's other cell")
        << "libreoffice-shared.xls" << SheetChange::setCell(10, 0, QStringLiteral("x"))
        << "Cell A11 of sheet1 is part of an array formula or data table and cannot be changed "
           "on its own";
}

void TestXlsSheetEditor::refusals() {
    QFETCH(QString, file);
    QFETCH(SheetChange, change);
    QFETCH(QString, message);
    const QByteArray original = fixtureStream(file);
    SheetEditor editor(original);
    QCOMPARE(errorOf([&] { editor.apply(change); }), message);
    QVERIFY(!editor.isChanged());
    QCOMPARE(editor.serialize(), original);
}

void TestXlsSheetEditor::unwritableStreams_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("message");
    const QString damaged = QStringLiteral("The workbook is damaged and cannot be changed");
    const QByteArray good = fixtureStream(QStringLiteral("xlwt-mixed.xls"));
    const Parsed p(good);

    workbook::xls::CompoundFile biff7;
    QVERIFY(biff7.parse(readFile(fixture(QStringLiteral("gnumeric-biff7.xls")))));
    QTest::newRow("Excel 5.0/95") << biff7.root().child(QStringLiteral("Book"))->data
                                  << OlderFormatRefused;

    QByteArray encrypted = good;
    const std::uint32_t afterBof = p.records[1].offset;
    encrypted.insert(afterBof, QByteArray::fromHex("2f003600010001000100") + QByteArray(48, 'k'));
    QTest::newRow("encrypted") << encrypted << EncryptedRefused;

    QByteArray renamed = good;
    const size_t sheet1Bound = size_t(p.sheet1().boundSheet);
    const int nameAt = int(p.records[sheet1Bound].offset) + 4 + 8;
    QCOMPARE(renamed.mid(nameAt, 6), QByteArray("Sheet1"));
    renamed[nameAt + 5] = '9';
    QTest::newRow("no sheet1") << renamed << "The workbook has no worksheet named sheet1";

    QTest::newRow("empty") << QByteArray() << damaged;
    QTest::newRow("cut short") << good.left(good.size() / 2 + 3) << damaged;
    QByteArray moved = good;
    put32(moved.data() + p.records[sheet1Bound].offset + 4, 7);
    QTest::newRow("sheet1 offset points nowhere") << moved << damaged;
    QByteArray strings = good;
    const std::uint32_t sst = p.records[p.inGlobals(rec::Sst).at(0)].offset;
    put32(strings.data() + sst + 8, u32(good.constData() + sst + 8) + 1);
    QTest::newRow("one string more than the table holds") << strings << damaged;
    QByteArray cells = good;
    const size_t mulrk = p.inSheet1(rec::MulRk).at(0);
    put16(cells.data() + p.records[mulrk].offset + 4 + p.records[mulrk].length - 2, 9);
    QTest::newRow("MULRK whose last column disagrees") << cells << damaged;

    // xlwt writes a block per row (ROW, then its cells); one that goes back to an earlier row
    // leaves rows that could not be found by their number.
    QByteArray rows = fixtureStream(QStringLiteral("xlwt-rows2000.xls"));
    const Parsed r(rows);
    int seen = 0;
    for (size_t i = size_t(r.sheet1().begin); i < size_t(r.sheet1().end); ++i) {
        const std::uint16_t type = r.records[i].type;
        if (type == rec::Row && ++seen > 6)
            break;
        if (seen == 6 && (type == rec::Row || type == rec::Number || type == rec::LabelSst ||
                          type == rec::Rk || type == rec::Label))
            put16(rows.data() + r.records[i].offset + 4, 2);
    }
    QTest::newRow("a row block going back") << rows << damaged;
}

void TestXlsSheetEditor::unwritableStreams() {
    QFETCH(QByteArray, stream);
    QFETCH(QString, message);
    QCOMPARE(errorOf([&] { SheetEditor editor(stream); }), message);
    // The check alone, as made of every workbook opened, says the same.
    QCOMPARE(errorOf([&] { SheetEditor::check(stream); }), message);
}

QTEST_GUILESS_MAIN(TestXlsSheetEditor)
#include "tst_xlssheeteditor.moc"
