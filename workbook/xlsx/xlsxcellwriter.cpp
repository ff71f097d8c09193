// Text goes in as the reader reads it back: control characters as Excel's _xHHHH_ escapes.
#include "workbook/xlsx/xlsxcellwriter.h"

#include "workbook/xlsx/xlsxpackage.h"
#include "workbook/xml/xmlelement.h"
#include "workbook/xml/xmlvalues.h"

#include <cctype>

namespace workbook::xlsx {

namespace {

// Text for a cell: XML cannot hold most control characters, which Excel writes as _xHHHH_; a
// literal "_x0041_" must then be kept from reading as "A" by escaping its underscore.
QByteArray cellTextXml(const QString &text) {
    QString escaped;
    escaped.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool control = c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r';
        const bool escapeLike = c == u'_' && i + 6 < text.size() + 0 && text[i + 1] == u'x' &&
                                text[i + 6] == u'_' && [&] {
                                    for (int k = 2; k < 6; ++k)
                                        if (!isxdigit(text[i + k].toLatin1()))
                                            return false;
                                    return true;
                                }();
        if (control || escapeLike || c == u'\xFFFE' || c == u'\xFFFF')
            escaped += QStringLiteral("_x%1_")
                           .arg(c.unicode(), 4, 16, QChar(u'0'))
                           .toUpper()
                           .replace(QStringLiteral("_X"), QStringLiteral("_x"));
        else
            escaped += c;
    }
    QByteArray out;
    xml::appendEscaped(out, escaped.toUtf8(), false);
    return out;
}

} // namespace

QByteArray newCell(const QByteArray &prefix, const QByteArray *old, int row, int column,
                   const EditValue &value) {
    std::vector<xml::Attr> attrs;
    QByteArray name = prefix + 'c';
    if (old) {
        xml::Scanner s(*old);
        s.next();
        name = s.name().toByteArray();
        attrs = xml::attributesOf(s);
    }
    xml::setAttr(attrs, "r", cellName(row, column), true);
    xml::removeAttr(attrs, "t");
    xml::removeAttr(attrs, "cm"); // cell metadata of a dynamic array formula, gone with the formula
    if (std::holds_alternative<std::monostate>(value))
        return xml::startTag(name, attrs) + "/>";
    if (const double *number = std::get_if<double>(&value))
        return xml::startTag(name, attrs) + "><" + prefix + "v>" + xml::numberText(*number) + "</" +
               prefix + "v></" + name + '>';
    attrs.push_back(xml::Attr{"t", "inlineStr"});
    const QString &text = std::get<QString>(value);
    const bool blanks = !text.isEmpty() && (text.front().isSpace() || text.back().isSpace());
    return xml::startTag(name, attrs) + "><" + prefix + "is><" + prefix + 't' +
           (blanks ? QByteArray(" xml:space=\"preserve\"") : QByteArray()) + '>' +
           cellTextXml(text) + "</" + prefix + "t></" + prefix + "is></" + name + '>';
}

} // namespace workbook::xlsx
