// A number style counts as money by the rule Excel's format strings follow (numberformat.h):
// its literal texts are put together as the quoted parts of such a string, so that a currency
// symbol among them decides as it does there.
#include "workbook/ods/odsstyles.h"

#include <algorithm>

namespace workbook::ods {

namespace {

using xml::Scanner;
using Token = Scanner::Token;

// The data style element the scanner stands on; it then stands on its end tag.
void readDataStyle(Scanner &s, const Names &names, QByteArrayView local, DataKind &kind,
                   QByteArray &currency, bool &money) {
    kind = local == "date-style"         ? DataKind::Date
           : local == "time-style"       ? DataKind::Time
           : local == "currency-style"   ? DataKind::Currency
           : local == "percentage-style" ? DataKind::Percentage
           : local == "boolean-style"    ? DataKind::Boolean
                                         : DataKind::Plain;
    if (s.isEmptyElement()) {
        s.next();
        return;
    }
    QString format;
    const int depth = s.depth();
    while (!(s.next() == Token::EndElement && s.depth() < depth)) {
        if (s.token() != Token::StartElement)
            continue;
        if (names.is(s.name(), Ns::Number, "currency-symbol")) {
            QByteArrayView language, country;
            names.attribute(s, Ns::Number, "language", language);
            names.attribute(s, Ns::Number, "country", country);
            const QString symbol = s.isEmptyElement() ? QString() : s.readElementText();
            if (currency.isEmpty())
                currency = symbol.trimmed().toUtf8();
            if (kind == DataKind::Plain)
                kind = DataKind::Currency;
        } else if (names.is(s.name(), Ns::Number, "text")) {
            format += u'"' + (s.isEmptyElement() ? QString() : s.readElementText()) + u'"';
        } else if (!s.isEmptyElement()) {
            s.skipElement();
        }
    }
    // A number style with a symbol among its texts shows money, and its cells stay floats.
    money = kind == DataKind::Currency ||
            (kind == DataKind::Plain && classifyFormatString(format) == NumberClass::Currency);
}

} // namespace

void CellStyles::read(Scanner &s, const Names &names, bool automatic) {
    if (s.isEmptyElement()) {
        s.next();
        return;
    }
    const int depth = s.depth();
    while (!(s.next() == Token::EndElement && s.depth() < depth)) {
        if (s.token() != Token::StartElement)
            continue;
        const QByteArrayView name = s.name();
        QByteArrayView styleName;
        if (names.is(name, Ns::Style, "style")) {
            QByteArrayView family, data, parent;
            if (names.attribute(s, Ns::Style, "family", family) && family == "table-cell" &&
                names.attribute(s, Ns::Style, "name", styleName)) {
                names.attribute(s, Ns::Style, "data-style-name", data);
                names.attribute(s, Ns::Style, "parent-style-name", parent);
                (automatic ? m_automatic : m_common)
                    .insert(styleName.toByteArray(),
                            CellStyle{data.toByteArray(), parent.toByteArray()});
            }
            if (!s.isEmptyElement())
                s.skipElement();
        } else if (names.of(name.first(std::max<qsizetype>(0, name.indexOf(':')))) == Ns::Number &&
                   localPart(name).endsWith("-style") &&
                   names.attribute(s, Ns::Style, "name", styleName)) {
            DataStyle style;
            const QByteArray key = styleName.toByteArray();
            readDataStyle(s, names, localPart(name), style.kind, style.currency, style.money);
            m_data.insert(key, style);
        } else if (!s.isEmptyElement()) {
            s.skipElement();
        }
    }
}

void CellStyles::readDocument(QByteArrayView xml) {
    Scanner s(xml);
    Names names;
    while (s.next() != Token::EndDocument) {
        if (s.token() != Token::StartElement)
            continue;
        if (s.depth() == 1) {
            names.readRoot(s);
            continue;
        }
        const bool common = names.is(s.name(), Ns::Office, "styles");
        if (common || names.is(s.name(), Ns::Office, "automatic-styles"))
            read(s, names, !common);
        else if (!s.isEmptyElement())
            s.skipElement();
    }
}

const CellStyles::DataStyle *CellStyles::dataStyleOf(QByteArrayView cellStyle) const {
    const QByteArray key = cellStyle.toByteArray();
    auto it = m_automatic.constFind(key);
    const CellStyle *style = it != m_automatic.constEnd() ? &*it : nullptr;
    if (!style) {
        it = m_common.constFind(key);
        style = it != m_common.constEnd() ? &*it : nullptr;
    }
    // Parents are common styles; a chain that goes round ends here.
    for (int hops = 0; style && hops < 32; ++hops) {
        if (!style->dataStyle.isEmpty()) {
            const auto data = m_data.constFind(style->dataStyle);
            return data != m_data.constEnd() ? &*data : nullptr;
        }
        it = m_common.constFind(style->parent);
        style = it != m_common.constEnd() ? &*it : nullptr;
    }
    return nullptr;
}

DataKind CellStyles::dataKindOf(QByteArrayView cellStyle) const {
    const DataStyle *data = dataStyleOf(cellStyle);
    return data ? data->kind : DataKind::Plain;
}

NumberClass CellStyles::classOf(QByteArrayView cellStyle) const {
    const DataStyle *data = dataStyleOf(cellStyle);
    if (!data)
        return NumberClass::Plain;
    if (data->kind == DataKind::Date || data->kind == DataKind::Time)
        return NumberClass::Date;
    return data->money ? NumberClass::Currency : NumberClass::Plain;
}

void ColumnStyles::read(const Scanner &s, const Names &names) {
    std::int64_t count = 1;
    QByteArrayView raw;
    if (names.attribute(s, Ns::Table, "number-columns-repeated", raw))
        parseCount(raw, JumboColumns, count);
    if (names.attribute(s, Ns::Table, "default-cell-style-name", raw))
        m_runs.push_back({m_count, raw.toByteArray()});
    else if (!m_runs.empty() && !m_runs.back().second.isEmpty())
        m_runs.push_back({m_count, QByteArray()});
    m_count =
        int(std::min<std::int64_t>(m_count + std::max<std::int64_t>(count, 1), JumboColumns + 1));
}

QByteArrayView ColumnStyles::at(std::int64_t column) const {
    auto it = std::upper_bound(
        m_runs.begin(), m_runs.end(), column,
        [](std::int64_t c, const std::pair<int, QByteArray> &run) { return c < run.first; });
    return it == m_runs.begin() ? QByteArrayView() : QByteArrayView((it - 1)->second);
}

QByteArray CellStyles::currencyOf(QByteArrayView cellStyle) const {
    const DataStyle *data = dataStyleOf(cellStyle);
    return data ? data->currency : QByteArray();
}

} // namespace workbook::ods
