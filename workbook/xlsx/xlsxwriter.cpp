// The package is read again, sheet1's part edited, and the archive written anew through the zip
// layer, which copies every entry it is not given a change for.
#include "workbook/xlsx/xlsxwriter.h"

#include "common/commanderror.h"
#include "workbook/xlsx/xlsxpackage.h"
#include "workbook/xlsx/xlsxreferences.h"
#include "workbook/xlsx/xlsxsheeteditor.h"

#include <optional>

namespace workbook::xlsx {

namespace {

using xml::Scanner;
using Token = Scanner::Token;

[[noreturn]] void damaged() {
    throw CommandError(QStringLiteral("The workbook is damaged and cannot be changed"));
}

const SheetEntry &sheet1(const Package &package) {
    const SheetEntry *entry = package.sheet(QStringLiteral("sheet1"));
    if (!entry || entry->part.isEmpty() || !entry->type.endsWith("/worksheet") ||
        !package.hasPart(entry->part))
        throw CommandError(QStringLiteral("The workbook has no worksheet named sheet1"));
    return *entry;
}

// The part's bytes as UTF-8; a part in UTF-16 cannot be written back as it was.
QByteArray sheetXml(const Package &package, const SheetEntry &entry) {
    const zip::Entry *e = package.archive().find(entry.part);
    bool converted = false;
    QByteArray xml = xml::toUtf8(package.archive().read(*e), &converted);
    if (converted)
        throw CommandError(
            QStringLiteral("The workbook's sheet1 is stored in UTF-16 and cannot be changed"));
    return xml;
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
            QByteArray tag = doc.mid(s.tokenBegin(), s.tokenEnd() - s.tokenBegin());
            QByteArrayView old;
            QByteArray out = doc.left(s.tokenBegin());
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
        damaged();
    return doc.left(insertAt) + '<' + prefix + "calcPr fullCalcOnLoad=\"1\"/>" + doc.mid(insertAt);
}

} // namespace

void checkWritable(QByteArrayView bytes) {
    try {
        const Package package(bytes);
        const SheetEntry &entry = sheet1(package);
        const zip::Entry *e = package.archive().find(entry.part);
        if (e->flags & 1)
            throw CommandError(QStringLiteral("The workbook is encrypted and cannot be changed"));
        if (e->method != 0 && e->method != 8)
            damaged();
    } catch (const PackageError &) {
        damaged();
    } catch (const zip::ZipError &) {
        damaged();
    } catch (const xml::XmlError &) {
        damaged();
    }
}

QByteArray applyChanges(QByteArrayView bytes, const std::vector<SheetChange> &changes,
                        WriteResult &result) {
    try {
        const Package package(bytes);
        const SheetEntry &entry = sheet1(package);
        const QByteArray original = sheetXml(package, entry);
        std::optional<SheetReferences> references;
        auto refs = [&]() -> const SheetReferences & {
            if (!references)
                references = findReferences(package, entry, original);
            return *references;
        };
        SheetPartEditor editor(original);
        auto users = [&] { return refs().rowPositionUsers; };
        for (const SheetChange &change : changes)
            result.rows.append(editor.apply(change, users));
        if (!editor.isChanged())
            return QByteArray();

        std::vector<zip::EntryChange> parts;
        parts.push_back({entry.part, editor.result()});
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
        QByteArray out;
        out.reserve(bytes.size() + bytes.size() / 8 + 4096);
        zip::rewrite(package.archive(), parts, [&](QByteArrayView piece) {
            out.append(piece);
            return true;
        });
        return out;
    } catch (const PackageError &) {
        damaged();
    } catch (const zip::ZipError &) {
        damaged();
    } catch (const xml::XmlError &) {
        damaged();
    }
}

} // namespace workbook::xlsx
