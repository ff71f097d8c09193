// The package is read again, sheet1's part edited, and the archive written anew through the zip
// layer, which copies every entry it is not given a change for.
#include "workbook/xlsx/xlsxwriter.h"

#include "common/commanderror.h"
#include "workbook/readbackcheck.h"
#include "workbook/xlsx/xlsxpackage.h"
#include "workbook/xlsx/xlsxreader.h"
#include "workbook/xlsx/xlsxreferences.h"
#include "workbook/xlsx/xlsxsheeteditor.h"
#include "workbook/zippackagewriter.h"

#include <optional>

namespace workbook::xlsx {

namespace {

using xml::Scanner;
using Token = Scanner::Token;

const SheetEntry &sheet1(const Package &package) {
    const SheetEntry *entry = package.sheet(QStringLiteral("sheet1"));
    if (!entry || entry->part.isEmpty() || !entry->type.endsWith("/worksheet") ||
        !package.hasPart(entry->part))
        noSheet1ForWriting();
    return *entry;
}

// The part's bytes as UTF-8; converted says it was in UTF-16.
QByteArray sheetXml(const Package &package, const SheetEntry &entry, bool &converted) {
    const zip::Entry *e = package.archive().find(entry.part);
    return xml::toUtf8(package.archive().read(*e), &converted);
}

// A part read from UTF-16 is written in UTF-8, which its declaration then names.
QByteArray declaredUtf8(QByteArray doc) {
    if (!doc.startsWith("<?xml"))
        return doc;
    const qsizetype end = doc.indexOf("?>");
    const qsizetype at = doc.left(end).indexOf("encoding=");
    if (end < 0 || at < 0 || at + 10 >= end)
        return doc;
    const char quote = doc[at + 9];
    const qsizetype close = doc.indexOf(quote, at + 10);
    if (close < 0 || close > end)
        return doc;
    return doc.left(at + 10) + "UTF-8" + doc.mid(close);
}

// Cuts the elements the predicate picks out of a small part (relationships, content types).
QByteArray withoutElements(const QByteArray &doc,
                           const std::function<bool(const Scanner &)> &drop) {
    QByteArray out;
    qsizetype copied = 0;
    Scanner s(doc);
    while (s.next() != Token::EndDocument) {
        if (s.token() != Token::StartElement || !drop(s))
            continue;
        out.append(doc.constData() + copied, s.tokenBegin() - copied);
        if (!s.isEmptyElement())
            s.skipElement();
        else
            s.next();
        copied = s.tokenEnd();
    }
    out.append(doc.constData() + copied, doc.size() - copied);
    return out;
}

// The workbook part with fullCalcOnLoad="1" on its calcPr, which is added where missing.
QByteArray withFullCalcOnLoad(const QByteArray &doc) {
    Scanner s(doc);
    qsizetype insertAt = -1;
    QByteArray prefix;
    while (s.next() != Token::EndDocument) {
        if (s.token() == Token::StartElement && s.localName() == "workbook")
            prefix = s.prefix().isEmpty() ? QByteArray() : s.prefix().toByteArray() + ':';
        if (s.token() == Token::StartElement && s.localName() == "calcPr") {
            QByteArrayView old;
            if (s.attribute("fullCalcOnLoad", old)) {
                const qsizetype at = old.data() - doc.constData();
                return doc.left(at) + "1" + doc.mid(at + old.size());
            }
            const qsizetype nameEnd = s.tokenBegin() + 1 + s.name().size();
            return doc.left(nameEnd) + " fullCalcOnLoad=\"1\"" + doc.mid(nameEnd);
        }
        // calcPr follows these, and comes before everything after them.
        if (s.token() == Token::EndElement && s.depth() == 1 &&
            (s.localName() == "sheets" || s.localName() == "functionGroups" ||
             s.localName() == "externalReferences" || s.localName() == "definedNames"))
            insertAt = s.tokenEnd();
    }
    if (insertAt < 0)
        damagedForWriting();
    return doc.left(insertAt) + '<' + prefix + "calcPr fullCalcOnLoad=\"1\"/>" + doc.mid(insertAt);
}

// The new package's sheet1 as the reader reads it, against what the changes must give; with the
// sheet as it was read before when rows moved. Throws CommandError on a difference.
void checkReadBack(QByteArrayView bytes, const QByteArray &out,
                   const std::vector<SheetChange> &changes, const QList<int> &rows) {
    const ReadBackCheck check(changes, rows);
    checkPackageReadBack(
        check,
        [](const QByteArray &package) {
            return readSheet(package, QString(), QStringLiteral("sheet1"));
        },
        bytes, out);
}

} // namespace

void checkWritable(QByteArrayView bytes) {
    damageRefusesWriting([&] {
        const Package package(bytes);
        const SheetEntry &entry = sheet1(package);
        const zip::Entry *e = package.archive().find(entry.part);
        if (e->flags & 1)
            encryptedForWriting();
        if (e->method != 0 && e->method != 8)
            damagedForWriting();
    });
}

QByteArray applyChanges(QByteArrayView bytes, const std::vector<SheetChange> &changes,
                        WriteResult &result) {
    return damageRefusesWriting([&] {
        const Package package(bytes);
        const SheetEntry &entry = sheet1(package);
        bool converted = false;
        const QByteArray original = sheetXml(package, entry, converted);
        std::optional<SheetReferences> references;
        auto refs = [&]() -> const SheetReferences & {
            if (!references)
                references = findReferences(package, entry, original);
            return *references;
        };
        SheetEditor editor(original);
        auto users = [&] { return refs().rowPositionUsers; };
        for (const SheetChange &change : changes)
            result.rows.append(editor.apply(change, users));
        if (!editor.isChanged())
            return QByteArray();

        std::vector<zip::EntryChange> parts;
        parts.push_back({entry.part, converted ? declaredUtf8(editor.result()) : editor.result()});
        if (formulasReadSheet(package, entry, editor.hasFormulas()))
            parts.push_back({package.workbookPart(),
                             withFullCalcOnLoad(package.xmlPart(package.workbookPart()))});
        const Relationship chain = package.workbookRelationship("calcChain");
        if (editor.formulaRemoved() && !chain.target.isEmpty()) {
            // A chain naming a cell without a formula makes Excel repair the file: it goes, with
            // its relationship and its content type, and Excel builds it anew.
            parts.push_back({chain.target, std::nullopt});
            const QByteArray relsPart = [&]() -> QByteArray {
                const QByteArray &wb = package.workbookPart();
                const qsizetype slash = wb.lastIndexOf('/');
                return wb.left(slash + 1) + "_rels/" + wb.mid(slash + 1) + ".rels";
            }();
            parts.push_back(
                {relsPart, withoutElements(package.xmlPart(relsPart), [&](const Scanner &s) {
                     QByteArrayView id;
                     return s.localName() == "Relationship" && s.attribute("Id", id) &&
                            id == chain.id;
                 })});
            const QByteArray partName = '/' + chain.target;
            parts.push_back(
                {"[Content_Types].xml",
                 withoutElements(package.xmlPart("[Content_Types].xml"), [&](const Scanner &s) {
                     QByteArrayView name;
                     return s.localName() == "Override" && s.attribute("PartName", name) &&
                            name.compare(partName, Qt::CaseInsensitive) == 0;
                 })});
        }
        QByteArray out = rewrittenPackage(package.archive(), parts);
        checkReadBack(bytes, out, changes, result.rows);
        return out;
    });
}

WriteResult writeSheetChanges(const QString &path, const FileIdentity &opened,
                              const std::vector<SheetChange> &changes) {
    return writeChangedPackage(path, opened, changes, applyChanges, ".xlsx.tmp");
}

} // namespace workbook::xlsx
