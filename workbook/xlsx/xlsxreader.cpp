// The package is followed from its relationships to the sheet's part (never guessed from its
// name); the shared strings and the styles' number formats are read first, then the sheet's
// cells in one pass over its XML.
#include "workbook/xlsx/xlsxreader.h"

#include "workbook/xlsx/xlsxpackage.h"

#include <QDate>
#include <QDateTime>

#include <charconv>
#include <cmath>
#include <unordered_map>

namespace workbook::xlsx {

namespace {

using xml::Scanner;
using Token = Scanner::Token;

struct Failure {
    QString message;
};

[[noreturn]] void damaged(const char *why) {
    throw PackageError{QString::fromLatin1(why)};
}

bool is(QByteArrayView name, const char *what) {
    return name == QByteArrayView(what);
}

QByteArrayView trimmed(QByteArrayView v) {
    while (!v.isEmpty() &&
           (v.front() == ' ' || v.front() == '\n' || v.front() == '\r' || v.front() == '\t'))
        v = v.sliced(1);
    while (!v.isEmpty() &&
           (v.back() == ' ' || v.back() == '\n' || v.back() == '\r' || v.back() == '\t'))
        v.chop(1);
    return v;
}

bool parseNumber(QByteArrayView raw, double &value) {
    raw = trimmed(raw);
    if (!raw.isEmpty() && raw.front() == '+')
        raw = raw.sliced(1);
    if (raw.isEmpty())
        return false;
    const auto r = std::from_chars(raw.data(), raw.data() + raw.size(), value);
    return r.ec == std::errc() && r.ptr == raw.data() + raw.size();
}

bool parseIndex(QByteArrayView raw, std::uint32_t &value) {
    raw = trimmed(raw);
    const auto r = std::from_chars(raw.data(), raw.data() + raw.size(), value);
    return r.ec == std::errc() && r.ptr == raw.data() + raw.size() && !raw.isEmpty();
}

std::uint8_t errorCode(QByteArrayView text) {
    text = trimmed(text);
    if (text == "#NULL!")
        return 0x00;
    if (text == "#DIV/0!")
        return 0x07;
    if (text == "#VALUE!")
        return 0x0F;
    if (text == "#REF!")
        return 0x17;
    if (text == "#NAME?")
        return 0x1D;
    if (text == "#NUM!")
        return 0x24;
    return 0x2A; // #N/A, and the errors of later Excel versions
}

// An ISO 8601 date and time (cells of type "d") as a serial day of the date system.
bool isoSerial(QByteArrayView raw, bool date1904, double &serial) {
    const QString text = QString::fromLatin1(trimmed(raw));
    QDateTime at = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!at.isValid()) {
        const QDate day = QDate::fromString(text, Qt::ISODate);
        if (!day.isValid())
            return false;
        at = QDateTime(day, QTime(0, 0));
    }
    const QDate epoch = date1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
    serial = double(epoch.daysTo(at.date())) + at.time().msecsSinceStartOfDay() / 86400000.0;
    if (!date1904 && serial < 61)
        serial -= 1; // before the 1900 system's non-existent 29 February
    return true;
}

// Appends the text of a string item (<si> or <is>): <t> directly inside it or inside its rich
// text runs, without phonetic runs (<rPh>). Ends on the item's end tag.
void stringItem(Scanner &s, QString &out) {
    const int depth = s.depth();
    if (s.isEmptyElement()) {
        s.next();
        return;
    }
    for (;;) {
        const Token t = s.next();
        if (t == Token::EndElement && s.depth() < depth)
            return;
        if (t != Token::StartElement)
            continue;
        const QByteArrayView name = s.localName();
        if (is(name, "t")) {
            if (s.isEmptyElement()) {
                s.next();
                continue;
            }
            while (s.next() == Token::Text)
                s.appendText(out);
            // the end of <t>, or an element inside it, which is skipped
            if (s.token() == Token::StartElement) {
                s.skipElement();
                s.skipElement(); // to the end of <t>
            }
        } else if (!is(name, "r")) {
            s.skipElement(); // rPh, phoneticPr, rPr and anything unknown
        }
    }
}

void readSharedStrings(const QByteArray &doc, SheetData &sheet, std::vector<std::uint32_t> &sst) {
    Scanner s(doc);
    QString text;
    while (s.next() != Token::EndDocument) {
        if (s.token() != Token::StartElement)
            continue;
        if (is(s.localName(), "sst")) {
            QByteArrayView v;
            std::uint32_t count = 0;
            // Each string takes at least eight bytes: never trust the count for a reservation.
            if (s.attribute("uniqueCount", v) && parseIndex(v, count))
                sst.reserve(std::min<std::size_t>(count, std::size_t(doc.size()) / 8 + 1));
            sheet.strings.reserveChars(std::size_t(doc.size()) / 2);
        } else if (is(s.localName(), "si")) {
            text.clear();
            stringItem(s, text);
            decodeEscapes(text);
            sst.push_back(sheet.strings.add(text));
        }
    }
}

std::unordered_map<int, QString> numberFormats(Scanner &s) {
    std::unordered_map<int, QString> formats;
    const int depth = s.depth();
    while (!(s.next() == Token::EndElement && s.depth() < depth)) {
        QByteArrayView id, code;
        std::uint32_t index;
        if (s.token() == Token::StartElement && is(s.localName(), "numFmt") &&
            s.attribute("numFmtId", id) && s.attribute("formatCode", code) && parseIndex(id, index))
            formats[int(std::min<std::uint32_t>(index, 1u << 30))] = s.decodeAttribute(code);
    }
    return formats;
}

class SheetParser {
public:
    SheetParser(SheetData &sheet, const std::vector<std::uint32_t> &sst,
                const std::vector<NumberClass> &classes)
        : m_sheet(sheet), m_sst(sst), m_classes(classes) {}

    void run(const QByteArray &doc) {
        Scanner s(doc);
        std::vector<Cell> cells;
        // A cell takes at least some 20 bytes of XML: a reservation that is never far off.
        cells.reserve(std::size_t(doc.size()) / 48);
        int row = -1;
        int nextColumn = 0;
        bool inData = false;
        while (s.next() != Token::EndDocument) {
            if (s.token() == Token::EndElement) {
                if (inData && is(s.localName(), "sheetData"))
                    inData = false;
                continue;
            }
            if (s.token() != Token::StartElement)
                continue;
            const QByteArrayView name = s.localName();
            if (!inData) {
                if (is(name, "sheetData"))
                    inData = !s.isEmptyElement();
                continue;
            }
            if (is(name, "row")) {
                QByteArrayView r;
                std::uint32_t number = 0;
                if (s.attribute("r", r)) {
                    if (!parseIndex(r, number) || number < 1 || number > SheetRows)
                        damaged("a row lies outside the sheet");
                    row = int(number) - 1;
                } else {
                    if (++row >= SheetRows)
                        damaged("a row lies outside the sheet");
                }
                nextColumn = 0;
            } else if (is(name, "c")) {
                if (row < 0)
                    row = 0; // a cell outside any row: Excel never writes one
                cell(s, row, nextColumn, cells);
            } else {
                s.skipElement();
            }
        }
        m_sheet.setCells(std::move(cells));
    }

private:
    void cell(Scanner &s, int row, int &nextColumn, std::vector<Cell> &cells) {
        int column = nextColumn;
        QByteArrayView type, style, ref;
        for (const Scanner::Attribute &a : s.attributes()) {
            if (a.name == "r")
                ref = a.raw;
            else if (a.name == "t")
                type = a.raw;
            else if (a.name == "s")
                style = a.raw;
        }
        if (!ref.isEmpty()) {
            int r;
            if (!parseCellName(ref, r, column))
                damaged("a cell lies outside the sheet");
            row = r;
        }
        if (column >= SheetColumns)
            damaged("a cell lies outside the sheet");
        nextColumn = column + 1;
        if (s.isEmptyElement()) {
            s.next();
            return;
        }
        m_value.clear();
        m_text.clear();
        bool hasValue = false, inlineText = false;
        const int depth = s.depth();
        for (;;) {
            const Token t = s.next();
            if (t == Token::EndElement && s.depth() < depth)
                break;
            if (t != Token::StartElement)
                continue;
            const QByteArrayView name = s.localName();
            if (is(name, "v")) {
                hasValue = true;
                if (s.isEmptyElement())
                    continue;
                while (s.next() == Token::Text) {
                    if (s.rawText().contains('&') || s.isCData() || !m_value.isEmpty()) {
                        // rare: keep the decoded text
                        QString decoded;
                        s.appendText(decoded);
                        m_value += decoded.toUtf8();
                    } else {
                        m_value = s.rawText().toByteArray();
                    }
                }
                if (s.token() == Token::StartElement) {
                    s.skipElement();
                    s.skipElement();
                }
            } else if (is(name, "is")) {
                inlineText = true;
                stringItem(s, m_text);
            } else {
                s.skipElement(); // <f>, <extLst>
            }
        }
        Cell c;
        c.row = row;
        c.column = std::uint16_t(column);
        if (type == "inlineStr" || (type.isEmpty() && inlineText && !hasValue)) {
            text(c, m_text, cells);
            return;
        }
        // A formula without a cached result (openpyxl writes an empty <v>), or a formatted blank.
        if (!hasValue || (type != "str" && trimmed(m_value).isEmpty()))
            return;
        if (type == "s") {
            std::uint32_t index;
            if (!parseIndex(m_value, index) || index >= m_sst.size())
                damaged("a text cell refers to a shared string that does not exist");
            c.text = m_sst[index];
            c.kind = m_sheet.strings.length(c.text) ? CellKind::Text : CellKind::Empty;
            if (c.kind != CellKind::Empty)
                cells.push_back(c);
        } else if (type == "str") {
            text(c, QString::fromUtf8(m_value), cells);
        } else if (type == "b") {
            c.kind = CellKind::Bool;
            c.code = trimmed(m_value) == "1" || trimmed(m_value) == "true" ? 1 : 0;
            cells.push_back(c);
        } else if (type == "e") {
            c.kind = CellKind::Error;
            c.code = errorCode(m_value);
            cells.push_back(c);
        } else if (type == "d") {
            double serial;
            if (!isoSerial(m_value, m_sheet.date1904, serial))
                damaged("a date cell does not hold a date");
            c.kind = CellKind::Date;
            c.number = serial;
            cells.push_back(c);
        } else {
            double value;
            if (!parseNumber(m_value, value))
                damaged("a number cell does not hold a number");
            number(c, value, style);
            cells.push_back(c);
        }
    }

    void text(Cell &c, QString value, std::vector<Cell> &cells) {
        if (value.isEmpty())
            return;
        decodeEscapes(value);
        c.text = m_sheet.strings.add(value);
        c.kind = CellKind::Text;
        cells.push_back(c);
    }

    void number(Cell &c, double value, QByteArrayView style) {
        if (!std::isfinite(value)) {
            c.kind = CellKind::Error;
            c.code = 0x24;
            return;
        }
        c.number = value;
        std::uint32_t xf = 0;
        NumberClass cls = NumberClass::Plain;
        if ((style.isEmpty() || parseIndex(style, xf)) && xf < m_classes.size())
            cls = m_classes[xf];
        c.kind = cls == NumberClass::Date       ? CellKind::Date
                 : cls == NumberClass::Currency ? CellKind::Currency
                                                : CellKind::Number;
    }

    SheetData &m_sheet;
    const std::vector<std::uint32_t> &m_sst;
    const std::vector<NumberClass> &m_classes;
    QByteArray m_value;
    QString m_text;
};

} // namespace

std::vector<NumberClass> cellFormatClasses(QByteArrayView stylesXml) {
    std::vector<NumberClass> classes;
    Scanner s(stylesXml);
    std::unordered_map<int, QString> formats;
    while (s.next() != Token::EndDocument) {
        if (s.token() != Token::StartElement)
            continue;
        if (is(s.localName(), "numFmts") && !s.isEmptyElement()) {
            formats = numberFormats(s);
        } else if (is(s.localName(), "cellXfs")) {
            const int depth = s.depth();
            if (s.isEmptyElement())
                continue;
            while (!(s.next() == Token::EndElement && s.depth() < depth)) {
                if (s.token() != Token::StartElement || !is(s.localName(), "xf"))
                    continue;
                QByteArrayView id;
                std::uint32_t index = 0;
                if (s.attribute("numFmtId", id))
                    parseIndex(id, index);
                const auto it = formats.find(int(std::min<std::uint32_t>(index, 1u << 30)));
                classes.push_back(it != formats.end() ? classifyFormatString(it->second)
                                                      : classifyBuiltInFormat(int(index)));
                if (!s.isEmptyElement())
                    s.skipElement();
            }
        }
    }
    return classes;
}

bool readWorkbook(QByteArrayView bytes, const QString &path, const QString &sheetName,
                  SheetData &sheet, QString &error) {
    sheet = SheetData();
    QByteArray currentPart;
    try {
        const Package package(bytes);
        const SheetEntry *entry = package.sheet(sheetName);
        if (!entry)
            throw Failure{QStringLiteral("The workbook \"%1\" has no sheet named \"%2\"")
                              .arg(path, sheetName)};
        sheet.sheetName = entry->name;
        sheet.date1904 = package.date1904();
        if (entry->part.isEmpty() || !package.hasPart(entry->part))
            damaged("the part of a sheet is missing");
        if (!entry->type.endsWith("/worksheet"))
            throw Failure{QStringLiteral("The sheet \"%1\" of the workbook \"%2\" is a chart or "
                                         "macro sheet, not a worksheet")
                              .arg(entry->name, path)};

        std::vector<NumberClass> classes;
        const Relationship styles = package.workbookRelationship("styles");
        if (!styles.target.isEmpty() && package.hasPart(styles.target)) {
            currentPart = styles.target;
            classes = cellFormatClasses(package.xmlPart(styles.target));
        }
        std::vector<std::uint32_t> sst;
        const Relationship strings = package.workbookRelationship("sharedStrings");
        if (!strings.target.isEmpty() && package.hasPart(strings.target)) {
            currentPart = strings.target;
            readSharedStrings(package.xmlPart(strings.target), sheet, sst);
        }
        currentPart = entry->part;
        SheetParser parser(sheet, sst, classes);
        parser.run(package.xmlPart(entry->part));
    } catch (const Failure &f) {
        sheet = SheetData();
        error = f.message;
        return false;
    } catch (const xml::XmlError &e) {
        sheet = SheetData();
        error = QStringLiteral("The workbook \"%1\" is damaged: its part \"%2\" is not "
                               "well-formed XML (%3)")
                    .arg(path, QString::fromUtf8(currentPart), e.text());
        return false;
    } catch (const PackageError &e) {
        sheet = SheetData();
        error = QStringLiteral("The workbook \"%1\" is damaged: %2").arg(path, e.why);
        return false;
    } catch (const zip::ZipError &e) {
        sheet = SheetData();
        error = QStringLiteral("The workbook \"%1\" is damaged: %2").arg(path, e.why);
        return false;
    }
    return true;
}

} // namespace workbook::xlsx
