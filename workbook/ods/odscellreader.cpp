// A cell's kind comes from its value type (office:value-type, or LibreOffice's calcext one for
// errors), a float's from the data style of its own, its row's or its column's cell style.
#include "workbook/ods/odscellreader.h"

#include "workbook/ods/odsvalues.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace workbook::ods {

namespace {

using xml::Scanner;
using Token = Scanner::Token;

[[noreturn]] void damaged(const char *why) {
    throw DamagedFile(QString::fromLatin1(why));
}

// A cell's text is checked as it is read, piece by piece: before a piece is decoded, by the
// least it can come to, and after; a refused text costs no more than a few times the longest.
void tooLong(const QString &text) {
    if (text.size() > MaxCellText)
        textTooLong();
}

void tooLong(const QString &text, QByteArrayView nextRaw) {
    if (text.size() + nextRaw.size() / Scanner::MaxBytesPerUnit > MaxCellText)
        textTooLong();
}

// A date of days since 1899-12-30 as a Date cell holds it. LibreOffice writes a time typed into
// a date-time cell on its day zero, the default null date (1899-12-30T12:30:00): a time of day,
// as time-only cells hold it. Any other day before the 1900 system's first is a date all the
// same. (Under a null date of 1904 such a time is on 1904-01-01, which the sheet shows as that
// date, as Excel's 1904 system does.)
void setDate(Cell &c, double days, double nullDays) {
    c.kind = CellKind::Date;
    const double day = std::floor(days);
    if (day == 0 && nullDays == 0) {
        c.number = days - day;
        return;
    }
    c.number = serialFromDays(days);
    c.code = c.number < 0 ? EarlyDate : 0;
}

} // namespace

CellReader::CellReader(const CellReader &other, StringPool &strings)
    : m_styles(other.m_styles), m_strings(&strings), m_names(other.m_names),
      m_nullDays(other.m_nullDays), m_columns(other.m_columns) {
    for (int i = 0; i < int(Attr::Count); ++i)
        m_cellAttributes[i] = other.m_cellAttributes[i];
}

void CellReader::readRoot(const Scanner &root) {
    m_names.readRoot(root);
    static const std::pair<Ns, const char *> attributes[] = {
        {Ns::Office, "value-type"},   {Ns::Calcext, "value-type"}, {Ns::Office, "value"},
        {Ns::Office, "date-value"},   {Ns::Office, "time-value"},  {Ns::Office, "boolean-value"},
        {Ns::Office, "string-value"}, {Ns::Table, "style-name"},   {Ns::Table, "formula"},
        {Ns::Gnumeric, "error-value"}};
    for (int i = 0; i < int(Attr::Count); ++i)
        m_cellAttributes[i] = m_names.qualified(attributes[i].first, attributes[i].second);
}

void CellReader::addExpandedSpaces(qsizetype count) {
    m_expanded += count;
    if (m_expanded > MaxExpandedSpaces)
        damaged("its texts repeat more spaces than any sheet holds");
}

bool CellReader::read(const Attribute *attributes, int count, Content &s, std::int64_t column,
                      QByteArrayView rowStyle, Cell &c) {
    QByteArrayView found[int(Attr::Count)];
    bool present[int(Attr::Count)] = {};
    for (int k = 0; k < count; ++k) {
        const Attribute &a = attributes[k];
        for (int i = 0; i < int(Attr::Count); ++i) {
            const QByteArray &name = m_cellAttributes[i];
            if (a.name.size() == name.size() &&
                std::memcmp(a.name.data(), name.constData(), size_t(name.size())) == 0) {
                found[i] = a.raw;
                present[i] = true;
                break;
            }
        }
    }
    QByteArrayView type = found[int(Attr::Type)];
    const QByteArrayView calcType = found[int(Attr::CalcType)];
    const QByteArrayView stringValue = found[int(Attr::String)],
                         gnumericError = found[int(Attr::GnumericError)],
                         formulaText = found[int(Attr::Formula)];
    const bool formula = present[int(Attr::Formula)], hasString = present[int(Attr::String)];
    if (type.isEmpty())
        type = calcType;
    const bool error = calcType == "error" || !gnumericError.isEmpty();
    const bool textual = error || type == "string" || (type.isEmpty() && !formula);
    c = Cell();
    c.column = std::uint16_t(std::min<std::int64_t>(column, JumboColumns - 1));
    if (!textual) {
        s.skipNumber();
        if (type.isEmpty())
            return false; // a formula without a cached result
        // LibreOffice converts an Excel truth value into such a formula with a float result.
        if (formulaText == "of:=TRUE()" || formulaText == "of:=FALSE()") {
            c.kind = CellKind::Bool;
            c.code = formulaText == "of:=TRUE()" ? 1 : 0;
            return true;
        }
        return typedValue(c, type, found, column, rowStyle);
    }
    // A text's value is its paragraphs unless office:string-value says otherwise; an error's,
    // the text shown for it (LibreOffice writes an empty string value).
    m_text.clear();
    auto decoded = [&s](QByteArrayView raw) {
        tooLong(QString(), raw);
        return s.decodeAttribute(raw);
    };
    if (error && !gnumericError.isEmpty())
        m_text = decoded(gnumericError);
    else if (hasString && !error)
        m_text = decoded(stringValue);
    if (m_text.isEmpty() && !(hasString && !error) && !s.isEmpty())
        s.paragraphs(m_text);
    else
        s.skip();
    if (error && m_text.isEmpty() && hasString)
        m_text = decoded(stringValue);
    if (m_text.isEmpty())
        return false;
    tooLong(m_text);
    // Gnumeric writes a formula's error as its text alone.
    if (error || formula) {
        if (const std::optional<std::uint8_t> code = errorCode(m_text)) {
            c.kind = CellKind::Error;
            c.code = *code;
            return true;
        }
    }
    c.kind = CellKind::Text;
    c.text = m_strings->add(m_text);
    return true;
}

bool CellReader::typedValue(Cell &c, QByteArrayView type, const QByteArrayView *found,
                            std::int64_t column, QByteArrayView rowStyle) {
    double number = 0;
    if (type == "float" || type == "percentage" || type == "currency") {
        if (!parseNumber(found[int(Attr::Value)], number))
            damaged("a number cell does not hold a number");
        if (!std::isfinite(number)) {
            c.kind = CellKind::Error;
            c.code = 0x24; // #NUM!
            return true;
        }
        NumberClass cls = NumberClass::Plain;
        if (type == "currency") {
            cls = NumberClass::Currency;
        } else if (type == "float") {
            QByteArrayView style = found[int(Attr::Style)];
            if (style.isEmpty())
                style = rowStyle.isEmpty() ? m_columns.at(column) : rowStyle;
            cls = style.isEmpty() ? NumberClass::Plain : classOf(style);
        }
        if (cls == NumberClass::Date) {
            setDate(c, number + m_nullDays, m_nullDays);
            return true;
        }
        c.kind = cls == NumberClass::Currency ? CellKind::Currency : CellKind::Number;
        c.number = number;
    } else if (type == "date") {
        if (!parseDate(found[int(Attr::Date)], number))
            damaged("a date cell does not hold a date");
        setDate(c, number, m_nullDays);
    } else if (type == "time") {
        if (!parseDuration(found[int(Attr::Time)], number))
            damaged("a time cell does not hold a duration");
        c.kind = CellKind::Date;
        c.number = number; // a time alone: serial 0 is no day in the 1900 system
    } else if (type == "boolean") {
        const QByteArrayView boolean = found[int(Attr::Boolean)];
        c.kind = CellKind::Bool;
        c.code = boolean == "true" || boolean == "1" ? 1 : 0;
    } else {
        return false; // "void" or unknown: no value
    }
    return true;
}

NumberClass CellReader::classOf(QByteArrayView style) {
    if (style != m_lastStyle) {
        m_lastStyle = style.toByteArray();
        m_lastClass = m_styles.classOf(style);
    }
    return m_lastClass;
}

void CellReader::Scanned::skip() {
    if (m_s.isEmptyElement())
        m_s.next();
    else
        m_s.skipElement();
}

// The text a number is shown as is not read: the cell's end tag is found by its bytes, and the
// scanner still checks that tag.
void CellReader::Scanned::skipNumber() {
    if (m_s.isEmptyElement()) {
        m_s.next();
        return;
    }
    // A cell's end tag or a covered cell's, as the document writes them.
    QByteArray &cellEnd = m_reader.m_cellEnd;
    const QByteArrayView name = m_s.name();
    if (cellEnd.size() != name.size() + 3 || QByteArrayView(cellEnd).sliced(2, name.size()) != name)
        cellEnd = "</" + name.toByteArray() + '>';
    const qsizetype from = m_s.position();
    const void *end = from <= m_document.size()
                          ? memmem(m_document.data() + from, std::size_t(m_document.size() - from),
                                   cellEnd.constData(), std::size_t(cellEnd.size()))
                          : nullptr;
    if (!end) {
        m_s.skipElement();
        return;
    }
    m_s.skipContentTo(static_cast<const char *>(end) - m_document.data());
    m_s.next();
}

QString CellReader::Scanned::decodeAttribute(QByteArrayView raw) const {
    return m_s.decodeAttribute(raw);
}

// The cell's paragraphs: text:p, text:h, also inside lists.
void CellReader::Scanned::paragraphs(QString &out) {
    const Names &names = m_reader.m_names;
    bool first = true;
    const int depth = m_s.depth();
    while (!(m_s.next() == Token::EndElement && m_s.depth() < depth)) {
        if (m_s.token() != Token::StartElement)
            continue;
        const QByteArrayView name = m_s.name();
        if (names.is(name, Ns::Text, "p") || names.is(name, Ns::Text, "h")) {
            if (!first)
                out += u'\n';
            first = false;
            paragraph(out);
        } else if (!names.is(name, Ns::Text, "list") && !names.is(name, Ns::Text, "list-item") &&
                   !names.is(name, Ns::Text, "list-header")) {
            m_s.skipElement(); // annotations, shapes, detective arrows
        }
    }
}

// One paragraph's text. Blanks written as such are kept as they stand: LibreOffice writes runs
// of them so in some cells and reads them back so, and Gnumeric does the same, where
// OpenDocument would collapse them. <text:s/>, <text:tab/> and <text:line-break/> stand for what
// they say.
void CellReader::Scanned::paragraph(QString &out) {
    const Names &names = m_reader.m_names;
    if (m_s.isEmptyElement()) {
        m_s.next();
        return;
    }
    const int depth = m_s.depth();
    while (!(m_s.next() == Token::EndElement && m_s.depth() < depth)) {
        if (m_s.token() == Token::Text) {
            tooLong(out, m_s.rawText());
            m_s.appendText(out);
        } else if (m_s.token() == Token::StartElement) {
            const QByteArrayView name = m_s.name();
            if (names.is(name, Ns::Text, "s")) {
                std::int64_t count = 1;
                QByteArrayView raw;
                if (names.attribute(m_s, Ns::Text, "c", raw))
                    parseCount(raw, MaxCellText, count);
                m_reader.addExpandedSpaces(qsizetype(count));
                out += QString(qsizetype(std::max<std::int64_t>(count, 1)), u' ');
                m_s.skipElement();
            } else if (names.is(name, Ns::Text, "tab")) {
                out += u'\t';
                m_s.skipElement();
            } else if (names.is(name, Ns::Text, "line-break")) {
                out += u'\n';
                m_s.skipElement();
            } else if (names.is(name, Ns::Office, "annotation") ||
                       names.is(name, Ns::Text, "note") ||
                       names.of(name.first(std::max<qsizetype>(0, name.indexOf(':')))) ==
                           Ns::Draw) {
                m_s.skipElement();
            }
            // spans, links, fields: their text counts, so the scanner goes into them
        }
        tooLong(out);
    }
}

void CellReader::Fast::paragraphs(QString &out) {
    for (int i = 0; i < m_count; ++i) {
        if (i > 0)
            out += u'\n';
        tooLong(out, m_texts[i]);
        m_reader.m_decoder.appendDecodedText(m_texts[i], out);
        tooLong(out);
    }
}

QString CellReader::Fast::decodeAttribute(QByteArrayView raw) const {
    return m_reader.m_decoder.decodeAttribute(raw);
}

} // namespace workbook::ods
