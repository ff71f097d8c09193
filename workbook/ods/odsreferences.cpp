// References in OpenDocument name their sheet in cell range addresses ("$Sheet1.$A$1:.$B$5",
// ODF 1.2 Part 1 9.2.5) and in OpenFormula references between brackets ("[$Sheet1.A1]",
// ODF 1.2 Part 2 5.8). One pass over the content part looks at every sheet's formulas, links
// and charts, sheet1's position-bound elements, and the spreadsheet's names and ranges; the
// charts' own parts are read for their series.
#include "workbook/ods/odsreferences.h"

namespace workbook::ods {

namespace {

using xml::Scanner;
using Token = Scanner::Token;

bool sameSheet(const QString &a, const QString &b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The sheet an address part names ("$'My sheet'.A1" → My sheet); empty when it names none.
QString sheetOf(QStringView part) {
    if (part.startsWith(u'$'))
        part = part.mid(1);
    if (part.startsWith(u'\'')) {
        QString name;
        for (qsizetype i = 1; i < part.size(); ++i) {
            if (part[i] == u'\'') {
                if (i + 1 < part.size() && part[i + 1] == u'\'') {
                    name += u'\'';
                    ++i;
                    continue;
                }
                return name;
            }
            name += part[i];
        }
        return name;
    }
    const qsizetype dot = part.indexOf(u'.');
    return dot > 0 ? part.first(dot).toString() : QString();
}

// Splits at a separator outside single quotes.
QList<QStringView> splitOutsideQuotes(QStringView text, QChar separator) {
    QList<QStringView> parts;
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\'')
            quoted = !quoted;
        else if (text[i] == separator && !quoted) {
            parts.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    parts.append(text.mid(start));
    return parts;
}

} // namespace

bool addressNamesSheet(QStringView addresses, const QString &sheet, const QString &contextSheet) {
    for (QStringView address : splitOutsideQuotes(addresses.trimmed(), u' ')) {
        if (address.isEmpty() || address.contains(u'#'))
            continue; // another file's cells
        QString current = contextSheet;
        QStringList sheets;
        for (QStringView part : splitOutsideQuotes(address, u':')) {
            const QString name = sheetOf(part);
            if (!name.isEmpty())
                current = name;
            sheets.append(current);
        }
        // A range from one sheet to another (a 3-D range) may cover any sheet between.
        for (const QString &s : sheets)
            if (sameSheet(s, sheet) || !sameSheet(s, sheets.first()))
                return true;
    }
    return false;
}

FormulaReferences formulaReferences(QStringView f, const QString &sheet,
                                    const QString &contextSheet) {
    FormulaReferences out;
    const qsizetype colon = f.indexOf(u':'), equals = f.indexOf(u'=');
    if (colon >= 0 && (equals < 0 || colon < equals) && !f.first(colon).contains(u'['))
        f = f.mid(colon + 1); // "of:", "oooc:"
    const qsizetype n = f.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = f[i];
        if (c == u'"') { // a text, "" standing for a quote
            i = endOfTextConstant(f, i);
            continue;
        }
        if (c == u'[') {
            qsizetype end = i + 1;
            bool quoted = false;
            while (end < n && (quoted || f[end] != u']')) {
                if (f[end] == u'\'')
                    quoted = !quoted;
                ++end;
            }
            out.any = true;
            out.sheet =
                out.sheet || addressNamesSheet(f.mid(i + 1, end - i - 1), sheet, contextSheet);
            i = end;
            continue;
        }
        if (c == u'#') { // an error constant: #REF!, #N/A, #DIV/0!
            while (i + 1 < n && (f[i + 1].isLetterOrNumber() || f[i + 1] == u'/' ||
                                 f[i + 1] == u'!' || f[i + 1] == u'?'))
                ++i;
            continue;
        }
        if (c.isDigit() || c == u'.') {
            while (i + 1 < n && (f[i + 1].isLetterOrNumber() || f[i + 1] == u'.'))
                ++i;
            continue;
        }
        if (c.isLetter() || c == u'_') {
            qsizetype end = i;
            while (end < n && (f[end].isLetterOrNumber() || f[end] == u'_' || f[end] == u'.'))
                ++end;
            const QStringView word = f.mid(i, end - i);
            qsizetype after = end;
            while (after < n && f[after] == u' ')
                ++after;
            if (!(after < n && f[after] == u'(') &&
                word.compare(u"TRUE", Qt::CaseInsensitive) != 0 &&
                word.compare(u"FALSE", Qt::CaseInsensitive) != 0)
                out.any = true; // a named range or expression
            i = end - 1;
        }
    }
    return out;
}

SheetReferences findReferences(const Package &package, const QByteArray &content,
                               const QString &sheetName) {
    SheetReferences out;
    QStringList &reasons = out.rowPositionUsers;
    Scanner s(content);
    Names names;
    QString table;
    int tableDepth = 0, cellDepth = 0;
    bool inSheet = false;
    auto attribute = [&](Ns ns, const char *local, QString &value) {
        QByteArrayView raw;
        if (!names.attribute(s, ns, local, raw))
            return false;
        value = s.decodeAttribute(raw);
        return true;
    };
    while (s.next() != Token::EndDocument) {
        if (s.token() == Token::EndElement) {
            if (s.depth() < tableDepth)
                tableDepth = 0, inSheet = false, table.clear();
            if (s.depth() < cellDepth)
                cellDepth = 0;
            continue;
        }
        if (s.token() != Token::StartElement)
            continue;
        if (s.depth() == 1) {
            names.readRoot(s);
            continue;
        }
        const QByteArrayView name = s.name();
        const Ns ns = names.of(name.first(std::max<qsizetype>(name.indexOf(':'), 0)));
        const QByteArrayView local = localPart(name);
        QString value, base;
        if (ns == Ns::Table && local == "table" && tableDepth == 0) {
            attribute(Ns::Table, "name", table);
            inSheet = sameSheet(table, sheetName);
            tableDepth = s.depth();
            continue;
        }
        if (tableDepth > 0 && ns == Ns::Table &&
            (local == "table-cell" || local == "covered-table-cell")) {
            cellDepth = s.depth();
            if (attribute(Ns::Table, "formula", value)) {
                const FormulaReferences f = formulaReferences(value, sheetName, table);
                if (inSheet && f.any) {
                    addUser(reasons, QStringLiteral("formulas on sheet1"));
                    out.formulasReadSheet = true;
                } else if (f.sheet) {
                    addUser(reasons, QStringLiteral("formulas on sheet %1").arg(table));
                    out.formulasReadSheet = true;
                } else if (f.any) {
                    out.formulasReadSheet = true; // a name may mean sheet1's cells
                }
            }
            if (inSheet) {
                if ((attribute(Ns::Table, "number-columns-spanned", value) && value != u"1") ||
                    (attribute(Ns::Table, "number-rows-spanned", value) && value != u"1"))
                    addUser(reasons, QStringLiteral("merged cells"));
                if (attribute(Ns::Table, "content-validation-name", value))
                    addUser(reasons, QStringLiteral("data validations"));
            }
            continue;
        }
        if (attribute(Ns::Table, "end-cell-address", value) &&
            (inSheet || addressNamesSheet(value, sheetName, table)))
            addUser(reasons, QStringLiteral("drawing objects"));
        if (ns == Ns::Draw && local == "object" &&
            attribute(Ns::Draw, "notify-on-update-of-ranges", value) &&
            addressNamesSheet(value, sheetName, table))
            addUser(reasons, QStringLiteral("charts"));
        if (inSheet) {
            if (ns == Ns::Office && local == "annotation")
                addUser(reasons, QStringLiteral("notes"));
            else if (ns == Ns::Text && local == "a")
                addUser(reasons, QStringLiteral("hyperlinks"));
            else if (ns == Ns::Draw && cellDepth > 0)
                addUser(reasons, QStringLiteral("drawing objects"));
            else if (ns == Ns::Calcext && local == "conditional-format")
                addUser(reasons, QStringLiteral("conditional formats"));
        } else if (ns == Ns::Text && local == "a" && attribute(Ns::Xlink, "href", value) &&
                   value.startsWith(u'#') &&
                   addressNamesSheet(QStringView(value).mid(1), sheetName, table)) {
            addUser(reasons, QStringLiteral("hyperlinks"));
        }
        // Named ranges and expressions, of the spreadsheet or of a sheet.
        if (ns == Ns::Table && (local == "named-range" || local == "named-expression")) {
            attribute(Ns::Table, "base-cell-address", base);
            const QString context = base.isEmpty() ? table : sheetOf(base);
            // A name of sheet1's own refers to its cells by any reference it holds.
            bool refers = false;
            if (attribute(Ns::Table, "cell-range-address", value))
                refers = inSheet || addressNamesSheet(value, sheetName, context);
            if (attribute(Ns::Table, "expression", value)) {
                const FormulaReferences f = formulaReferences(value, sheetName, context);
                refers = refers || f.sheet || (inSheet && f.any);
            }
            if (refers) {
                addUser(reasons, QStringLiteral("defined names"));
                out.formulasReadSheet = true;
            }
            continue;
        }
        if (tableDepth == 0 && ns == Ns::Table) {
            if (local == "database-range" && attribute(Ns::Table, "target-range-address", value) &&
                addressNamesSheet(value, sheetName, QString())) {
                QString buttons;
                attribute(Ns::Table, "display-filter-buttons", buttons);
                bool filter = buttons == u"true";
                if (!s.isEmptyElement()) {
                    const int depth = s.depth();
                    while (!(s.next() == Token::EndElement && s.depth() < depth))
                        filter = filter || (s.token() == Token::StartElement &&
                                            names.is(s.name(), Ns::Table, "filter"));
                }
                addUser(reasons, filter ? QStringLiteral("filters") : QStringLiteral("tables"));
            } else if (local == "data-pilot-table" || local == "source-cell-range") {
                if ((attribute(Ns::Table, "target-range-address", value) &&
                     addressNamesSheet(value, sheetName, QString())) ||
                    (attribute(Ns::Table, "cell-range-address", value) &&
                     addressNamesSheet(value, sheetName, QString())))
                    addUser(reasons, QStringLiteral("pivot tables"));
            } else if (local == "content-validation") {
                attribute(Ns::Table, "base-cell-address", base);
                if (attribute(Ns::Table, "condition", value) &&
                    formulaReferences(value, sheetName, sheetOf(base)).sheet)
                    addUser(reasons, QStringLiteral("data validations"));
            } else if (local == "consolidation" &&
                       attribute(Ns::Table, "source-cell-range-addresses", value) &&
                       addressNamesSheet(value, sheetName, QString())) {
                addUser(reasons, QStringLiteral("consolidations"));
            } else if (local == "label-range" &&
                       ((attribute(Ns::Table, "label-cell-range-address", value) &&
                         addressNamesSheet(value, sheetName, QString())) ||
                        (attribute(Ns::Table, "data-cell-range-address", value) &&
                         addressNamesSheet(value, sheetName, QString())))) {
                addUser(reasons, QStringLiteral("label ranges"));
            } else if (local == "tracked-changes" && !s.isEmptyElement()) {
                addUser(reasons, QStringLiteral("tracked changes"));
            }
        }
    }

    // Charts: their series name the cells they show, in their own parts.
    for (const zip::Entry &e : package.archive().entries()) {
        if (!e.name.endsWith("/content.xml") || reasons.contains(QStringLiteral("charts")))
            continue;
        const QByteArray xml = package.part(e.name);
        Scanner chart(xml);
        while (chart.next() != Token::EndDocument) {
            if (chart.token() != Token::StartElement)
                continue;
            for (const Scanner::Attribute &a : chart.attributes())
                if ((a.localName().endsWith("cell-range-address") ||
                     a.localName().endsWith("cell-address")) &&
                    addressNamesSheet(chart.decodeAttribute(a.raw), sheetName, QString())) {
                    addUser(reasons, QStringLiteral("charts"));
                    break;
                }
        }
    }
    return out;
}

} // namespace workbook::ods
