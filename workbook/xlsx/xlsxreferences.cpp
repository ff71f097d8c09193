// The scan reads the sheet's part for its position-bound elements, its relationships for
// comments, tables and pivot tables, every other worksheet's formulas and hyperlinks, the
// workbook's defined names, every chart's series and every pivot cache's source.
#include "workbook/xlsx/xlsxreferences.h"

#include "workbook/xml/xmlelement.h"

namespace workbook::xlsx {

namespace {

using xml::Scanner;
using Token = Scanner::Token;

using xml::is;

bool identifierChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'.' || c == u'$' || c == u'\\' || c == u'?';
}

// The element's decoded text; the scanner then stands on its end tag.
QString elementText(Scanner &s) {
    if (s.isEmptyElement()) {
        s.next();
        return QString();
    }
    return s.readElementText();
}

bool hasChildren(Scanner &s) {
    if (s.isEmptyElement()) {
        s.next();
        return false;
    }
    const int depth = s.depth();
    bool any = false;
    while (!(s.next() == Token::EndElement && s.depth() < depth))
        any = any || s.token() == Token::StartElement;
    return any;
}

// The elements of a sheet part that name cells by their positions, and what the refusal of a
// delete calls them (null: the element's own name); some count only when they hold any child.
struct PositionBound {
    QByteArrayView element;
    const char *users;
    bool onlyWithChildren;
};

constexpr PositionBound PositionBoundElements[] = {
    {"mergeCells", "merged cells", true},
    {"conditionalFormatting", "conditional formats", false},
    {"conditionalFormattings", "conditional formats", false},
    {"dataValidations", "data validations", true},
    {"hyperlinks", "hyperlinks", true},
    {"autoFilter", "filters", false},
    {"sortState", "filters", false},
    {"rowBreaks", "page breaks", true},
    {"tableParts", "tables", true},
    {"oleObjects", "drawing objects", false},
    {"controls", "drawing objects", false},
    {"protectedRanges", nullptr, false},
    {"scenarios", nullptr, false},
    {"cellWatches", nullptr, false},
    {"sparklineGroups", nullptr, false},
};

const PositionBound *positionBound(QByteArrayView name) {
    for (const PositionBound &b : PositionBoundElements)
        if (name == b.element)
            return &b;
    return nullptr;
}

} // namespace

bool formulaHasReferences(QStringView f) {
    const qsizetype n = f.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = f[i];
        if (c == u'"') { // a text constant, "" standing for a quote
            i = endOfTextConstant(f, i);
            continue;
        }
        if (c == u'\'' || c == u'!' || c == u'[')
            return true; // a sheet or workbook reference
        if (c.isDigit() || c == u'.') {
            // A number: digits, a decimal part, an exponent. "1:3" is a range of rows.
            while (i + 1 < n && (f[i + 1].isDigit() || f[i + 1] == u'.'))
                ++i;
            if (i + 1 < n && (f[i + 1] == u'E' || f[i + 1] == u'e') && i + 2 < n &&
                (f[i + 2].isDigit() || f[i + 2] == u'+' || f[i + 2] == u'-')) {
                i += 2;
                while (i + 1 < n && f[i + 1].isDigit())
                    ++i;
            }
            if (i + 1 < n && f[i + 1] == u':')
                return true;
            continue;
        }
        if (c.isLetter() || c == u'_' || c == u'$' || c == u'\\') {
            qsizetype end = i;
            while (end < n && identifierChar(f[end]))
                ++end;
            const QStringView word = f.mid(i, end - i);
            qsizetype after = end;
            while (after < n && f[after] == u' ')
                ++after;
            const bool function = after < n && f[after] == u'(';
            if (!function && word.compare(u"TRUE", Qt::CaseInsensitive) != 0 &&
                word.compare(u"FALSE", Qt::CaseInsensitive) != 0)
                return true; // a cell, a range or a name
            i = end - 1;
        }
    }
    return false;
}

bool formulaNamesSheet(QStringView f, const QString &sheetName) {
    const qsizetype n = f.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (f[i] == u'"') {
            i = endOfTextConstant(f, i);
            continue;
        }
        if (f[i] != u'!')
            continue;
        // The sheet part before "!": quoted ('My sheet'!, '' standing for a quote) or a word.
        QString sheet;
        qsizetype j = i - 1;
        if (j >= 0 && f[j] == u'\'') {
            for (--j; j >= 0; --j) {
                if (f[j] == u'\'') {
                    if (j > 0 && f[j - 1] == u'\'') {
                        sheet.prepend(u'\'');
                        --j;
                        continue;
                    }
                    break;
                }
                sheet.prepend(f[j]);
            }
        } else {
            while (j >= 0 && (identifierChar(f[j]) || f[j] == u':' || f[j] == u']' || f[j] == u'['))
                sheet.prepend(f[j--]);
        }
        // [0] is this workbook; another number is an external workbook.
        if (sheet.startsWith(u'[')) {
            const qsizetype close = sheet.indexOf(u']');
            if (close < 0 || sheet.mid(1, close - 1) != u"0")
                continue;
            sheet = sheet.mid(close + 1);
        }
        if (sheet.contains(u':') || sheet.compare(sheetName, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool formulasReadSheet(const Package &package, const SheetEntry &sheet, bool sheetHasFormulas) {
    if (sheetHasFormulas)
        return true;
    bool formulasElsewhere = false;
    for (const SheetEntry &other : package.sheets()) {
        if (&other == &sheet || other.part.isEmpty() || !package.hasPart(other.part) ||
            !other.type.endsWith("/worksheet"))
            continue;
        const QByteArray doc = package.xmlPart(other.part);
        if (!doc.contains("<f") && !doc.contains(":f"))
            continue;
        Scanner s(doc);
        while (s.next() != Token::EndDocument) {
            if (s.token() != Token::StartElement || !is(s.localName(), "f"))
                continue;
            formulasElsewhere = true;
            if (formulaNamesSheet(elementText(s), sheet.name))
                return true;
        }
    }
    if (!formulasElsewhere)
        return false;
    const QByteArray doc = package.xmlPart(package.workbookPart());
    Scanner s(doc);
    while (s.next() != Token::EndDocument)
        if (s.token() == Token::StartElement && is(s.localName(), "definedName") &&
            formulaNamesSheet(elementText(s), sheet.name))
            return true;
    return false;
}

SheetReferences findReferences(const Package &package, const SheetEntry &sheet,
                               const QByteArray &sheetXml) {
    SheetReferences out;
    QStringList &reasons = out.rowPositionUsers;
    const QString formulasHere = QStringLiteral("formulas on sheet1");

    // The sheet's own part.
    bool drawing = false;
    {
        Scanner s(sheetXml);
        while (s.next() != Token::EndDocument) {
            if (s.token() != Token::StartElement)
                continue;
            const QByteArrayView name = s.localName();
            if (is(name, "f")) {
                QByteArrayView t;
                const bool shared = s.attribute("t", t) && t != "normal";
                const QString text = elementText(s);
                if (shared || formulaHasReferences(text)) {
                    addUser(reasons, formulasHere);
                    out.formulasReadSheet = true;
                }
            } else if (is(name, "drawing")) {
                drawing = true;
            } else if (const PositionBound *bound = positionBound(name)) {
                if (!bound->onlyWithChildren || hasChildren(s))
                    addUser(reasons, bound->users ? QString::fromUtf8(bound->users)
                                                  : QString::fromUtf8(name));
            }
        }
    }
    for (const Relationship &r : package.relationshipsOf(sheet.part)) {
        if (r.isType("comments") || r.isType("threadedComment"))
            addUser(reasons, QStringLiteral("notes"));
        else if (r.isType("table"))
            addUser(reasons, QStringLiteral("tables"));
        else if (r.isType("pivotTable"))
            addUser(reasons, QStringLiteral("pivot tables"));
        else if (r.isType("drawing") && drawing && !r.external && package.hasPart(r.target)) {
            // Shapes anchored to cells move with rows; only absolute anchors do not.
            const QByteArray doc = package.xmlPart(r.target);
            Scanner s(doc);
            while (s.next() != Token::EndDocument)
                if (s.token() == Token::StartElement &&
                    (is(s.localName(), "twoCellAnchor") || is(s.localName(), "oneCellAnchor"))) {
                    addUser(reasons, QStringLiteral("drawing objects"));
                    break;
                }
        }
    }

    // Other worksheets: formulas and hyperlinks naming sheet1.
    for (const SheetEntry &other : package.sheets()) {
        if (&other == &sheet || other.part.isEmpty() || !package.hasPart(other.part) ||
            !other.type.endsWith("/worksheet"))
            continue;
        const QByteArray doc = package.xmlPart(other.part);
        if (!doc.contains("<f") && !doc.contains(":f") && !doc.contains("hyperlink"))
            continue;
        const QString formulas = QStringLiteral("formulas on sheet %1").arg(other.name);
        Scanner s(doc);
        while (s.next() != Token::EndDocument) {
            if (s.token() != Token::StartElement)
                continue;
            if (is(s.localName(), "f")) {
                if (formulaNamesSheet(elementText(s), sheet.name)) {
                    addUser(reasons, formulas);
                    out.formulasReadSheet = true;
                }
            } else if (is(s.localName(), "hyperlink")) {
                QByteArrayView location;
                if (s.attribute("location", location) &&
                    formulaNamesSheet(s.decodeAttribute(location), sheet.name))
                    addUser(reasons, QStringLiteral("hyperlinks"));
            }
        }
    }

    // Defined names: those naming sheet1, and those of sheet1's own scope.
    {
        const QByteArray doc = package.xmlPart(package.workbookPart());
        Scanner s(doc);
        while (s.next() != Token::EndDocument) {
            if (s.token() != Token::StartElement || !is(s.localName(), "definedName"))
                continue;
            QByteArrayView scope;
            const bool local =
                s.attribute("localSheetId", scope) && scope == QByteArray::number(sheet.position);
            const QString text = elementText(s);
            if (formulaNamesSheet(text, sheet.name) || (local && formulaHasReferences(text))) {
                addUser(reasons, QStringLiteral("defined names"));
                out.formulasReadSheet = true;
            }
        }
    }

    // Charts and pivot caches anywhere in the package.
    for (const zip::Entry &e : package.archive().entries()) {
        const bool chart = e.name.startsWith("xl/charts/chart") && e.name.endsWith(".xml");
        const bool pivot = e.name.startsWith("xl/pivotCache/pivotCacheDefinition");
        if (!chart && !pivot)
            continue;
        const QByteArray doc = package.xmlPart(e.name);
        Scanner s(doc);
        while (s.next() != Token::EndDocument) {
            if (s.token() != Token::StartElement)
                continue;
            if (chart && is(s.localName(), "f")) {
                if (formulaNamesSheet(elementText(s), sheet.name)) {
                    addUser(reasons, QStringLiteral("charts"));
                    break;
                }
            } else if (pivot && is(s.localName(), "worksheetSource")) {
                QByteArrayView name;
                if (!s.attribute("sheet", name) ||
                    s.decodeAttribute(name).compare(sheet.name, Qt::CaseInsensitive) == 0)
                    addUser(reasons, QStringLiteral("pivot tables"));
            }
        }
    }
    return out;
}

} // namespace workbook::xlsx
