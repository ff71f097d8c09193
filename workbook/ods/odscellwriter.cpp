// The value's type follows the cell's style, as LibreOffice shows it: a number in a date style is
// written as an ISO date, in a time style as a duration, in a currency or percentage style as
// such; text goes in as paragraphs.
#include "workbook/ods/odscellwriter.h"

#include "common/commanderror.h"
#include "workbook/ods/odsvalues.h"

#include <algorithm>

namespace workbook::ods {

namespace {

using xml::appendEscaped;
using xml::Attr;
using xml::attributesOf;
using xml::Scanner;
using xml::startTag;
using Token = Scanner::Token;

// Characters XML 1.0 cannot hold, which a text of an .xls or .xlsx cell may.
void checkCharacters(int row, int column, const QString &text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < text.size() &&
                          QChar::isLowSurrogate(text[i + 1].unicode());
        if (pair) {
            ++i;
            continue;
        }
        if ((c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF ||
            QChar::isSurrogate(c))
            throw CommandError(QStringLiteral("The text for cell %1 holds the character U+%2, "
                                              "which an OpenDocument spreadsheet cannot hold")
                                   .arg(workbook::cellName(row, column))
                                   .arg(QString::number(c, 16).toUpper().rightJustified(4, u'0')));
    }
}

// Paragraphs by line feeds; blanks at a paragraph's start and after a blank as <text:s/>, as
// OpenDocument's white-space rule asks; tabs as <text:tab/>.
QByteArray paragraphs(const SheetIndex &index, const QString &text) {
    const QByteArray p = index.q(Ns::Text, "p"), space = index.q(Ns::Text, "s"),
                     tab = index.q(Ns::Text, "tab"), count = index.q(Ns::Text, "c");
    QString normalized = text;
    normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    QByteArray out;
    for (const QStringView paragraph : QStringView(normalized).split(u'\n')) {
        out += '<' + p + '>';
        qsizetype i = 0;
        while (i < paragraph.size()) {
            qsizetype run = i;
            while (run < paragraph.size() && paragraph[run] != u' ' && paragraph[run] != u'\t')
                ++run;
            appendEscaped(out, paragraph.mid(i, run - i).toUtf8(), false);
            if (run == paragraph.size())
                break;
            if (paragraph[run] == u'\t') {
                out += '<' + tab + "/>";
                i = run + 1;
                continue;
            }
            qsizetype blanks = run;
            while (blanks < paragraph.size() && paragraph[blanks] == u' ')
                ++blanks;
            qsizetype n = blanks - run;
            if (run > 0) { // the first blank after a character is written as it is
                out += ' ';
                --n;
            }
            if (n == 1)
                out += '<' + space + "/>";
            else if (n > 1)
                out += '<' + space + ' ' + count + "=\"" + QByteArray::number(n) + "\"/>";
            i = blanks;
        }
        out += "</" + p + '>';
    }
    return out;
}

} // namespace

void checkValue(int row, int column, const EditValue &value, const SheetLimits &limits) {
    checkCellValue(row, column, value, limits);
    if (const QString *text = std::get_if<QString>(&value))
        checkCharacters(row, column, *text);
}

QByteArray newCell(const SheetIndex &index, const SheetRow &row, const CellItem *old, int column,
                   const EditValue &value) {
    const Names &names = index.m_names;
    auto q = [&](Ns ns, const char *local) { return index.q(ns, local); };
    auto is = [&](QByteArrayView name, Ns ns, const char *local) {
        return index.is(name, ns, local);
    };
    QByteArray name = q(Ns::Table, "table-cell");
    std::vector<Attr> attrs;
    QByteArray kept; // children that are not the cell's text
    QByteArrayView style;
    if (old) {
        Scanner s(old->xml);
        s.next();
        name = s.name().toByteArray();
        for (const Attr &a : attributesOf(s)) {
            const qsizetype colon = a.name.indexOf(':');
            const Ns ns = names.of(QByteArrayView(a.name).first(std::max<qsizetype>(colon, 0)));
            const QByteArrayView local = localPart(a.name);
            const bool valueAttr =
                (ns == Ns::Office &&
                 (local == "value-type" || local == "value" || local == "date-value" ||
                  local == "time-value" || local == "boolean-value" || local == "string-value" ||
                  local == "currency")) ||
                (ns == Ns::Calcext && local == "value-type") ||
                (ns == Ns::Table && (local == "formula" || local == "number-columns-repeated")) ||
                (ns == Ns::Gnumeric && local == "error-value");
            if (!valueAttr)
                attrs.push_back(a);
        }
        QByteArrayView raw;
        if (names.attribute(s, Ns::Table, "style-name", raw))
            style = raw; // a view of the old cell's bytes, which outlive this
        if (!s.isEmptyElement()) {
            const int depth = s.depth();
            while (!(s.next() == Token::EndElement && s.depth() < depth)) {
                if (s.token() != Token::StartElement)
                    continue;
                const qsizetype begin = s.tokenBegin();
                const bool text = is(s.name(), Ns::Text, "p") || is(s.name(), Ns::Text, "h") ||
                                  is(s.name(), Ns::Text, "list");
                s.skipElement();
                if (!text)
                    kept += QByteArrayView(old->xml).sliced(begin, s.tokenEnd() - begin);
            }
        }
    }
    if (std::holds_alternative<std::monostate>(value)) {
        if (kept.isEmpty())
            return startTag(name, attrs) + "/>";
        return startTag(name, attrs) + '>' + kept + "</" + name + '>';
    }

    if (style.isEmpty()) {
        for (const Attr &a : row.attrs)
            if (is(a.name, Ns::Table, "default-cell-style-name"))
                style = a.raw;
    }
    if (style.isEmpty())
        style = index.m_columns.at(column);
    QByteArray type, display;
    const bool calcext = !names.prefix(Ns::Calcext).isEmpty();
    if (const double *number = std::get_if<double>(&value)) {
        const DataKind kind = style.isEmpty() ? DataKind::Plain : index.m_styles.dataKindOf(style);
        // A number in a time style is a duration, however long: written as a date it would be
        // read back a day off before March 1900, where Excel's count of days and the calendar
        // part.
        const bool date = kind == DataKind::Date;
        // Serial 60 of the 1900 system is Excel's 29 February 1900, which never was; an
        // OpenDocument date is a real day.
        if (date && *number >= 60 && *number < 61)
            throw CommandError(QStringLiteral("Cell %1 cannot hold 29 February 1900, a day that "
                                              "an OpenDocument spreadsheet does not have")
                                   .arg(workbook::cellName(row.first, column)));
        if (date) {
            type = "date";
            display = isoDate(daysFromSerial(*number));
            attrs.push_back(Attr{q(Ns::Office, "value-type"), type});
            attrs.push_back(Attr{q(Ns::Office, "date-value"), display});
        } else if (kind == DataKind::Time) {
            type = "time";
            display = isoDuration(*number);
            attrs.push_back(Attr{q(Ns::Office, "value-type"), type});
            attrs.push_back(Attr{q(Ns::Office, "time-value"), display});
        } else {
            type = kind == DataKind::Currency     ? "currency"
                   : kind == DataKind::Percentage ? "percentage"
                                                  : "float";
            display = numberText(*number);
            attrs.push_back(Attr{q(Ns::Office, "value-type"), type});
            if (kind == DataKind::Currency) {
                QByteArray currency = index.m_styles.currencyOf(style);
                if (old) {
                    Scanner s(old->xml);
                    s.next();
                    QByteArrayView raw;
                    if (names.attribute(s, Ns::Office, "currency", raw))
                        currency = raw.toByteArray();
                }
                if (!currency.isEmpty())
                    attrs.push_back(Attr{q(Ns::Office, "currency"), currency});
            }
            attrs.push_back(Attr{q(Ns::Office, "value"), display});
        }
        if (calcext)
            attrs.push_back(Attr{q(Ns::Calcext, "value-type"), type});
        return startTag(name, attrs) + '>' + kept + '<' + q(Ns::Text, "p") + '>' + display + "</" +
               q(Ns::Text, "p") + "></" + name + '>';
    }
    attrs.push_back(Attr{q(Ns::Office, "value-type"), "string"});
    if (calcext)
        attrs.push_back(Attr{q(Ns::Calcext, "value-type"), "string"});
    return startTag(name, attrs) + '>' + kept + paragraphs(index, std::get<QString>(value)) + "</" +
           name + '>';
}

} // namespace workbook::ods
