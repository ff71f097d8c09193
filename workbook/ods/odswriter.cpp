// The package is read again, sheet1 edited inside the content part, and the archive written
// anew through the zip layer, which copies every entry it is not given a change for.
#include "workbook/ods/odswriter.h"

#include "common/commanderror.h"
#include "workbook/ods/odsreader.h"
#include "workbook/ods/odsreferences.h"
#include "workbook/ods/odssheeteditor.h"
#include "workbook/readbackcheck.h"
#include "workbook/zippackagewriter.h"

#include <optional>

namespace workbook::ods {

namespace {

void checkPackage(const Package &package) {
    if (package.isEncrypted())
        encryptedForWriting();
    const zip::Entry *content = package.archive().find("content.xml");
    if (!content || (content->method != 0 && content->method != 8))
        damagedForWriting();
}

// The part's bytes as UTF-8; a part in UTF-16 cannot be written back as it was.
QByteArray contentXml(const Package &package) {
    bool converted = false;
    QByteArray xml =
        xml::toUtf8(package.archive().read(*package.archive().find("content.xml")), &converted);
    if (converted)
        throw CommandError(
            QStringLiteral("The workbook's content is stored in UTF-16 and cannot be changed"));
    return xml;
}

// The new package's sheet1 as the reader reads it, against what the changes must give; with the
// sheet as it was read before when rows moved. A text reads back with its line breaks as the
// paragraphs they were written as. Throws CommandError on a difference.
void checkReadBack(QByteArrayView bytes, const QByteArray &out,
                   const std::vector<SheetChange> &changes, const QList<int> &rows) {
    const ReadBackCheck check(changes, rows, [](QString text) {
        return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    });
    checkPackageReadBack(
        check,
        [](const QByteArray &package) {
            return readSheet(package, QString(), QStringLiteral("sheet1"));
        },
        bytes, out);
}

} // namespace

void checkWritable(QByteArrayView bytes) {
    damageRefusesWriting([&] { checkPackage(Package(bytes)); });
}

QByteArray applyChanges(QByteArrayView bytes, const std::vector<SheetChange> &changes,
                        WriteResult &result) {
    return damageRefusesWriting([&] {
        const Package package(bytes);
        checkPackage(package);
        CellStyles styles;
        if (package.hasPart("styles.xml"))
            styles.readDocument(package.part("styles.xml"));
        const QByteArray original = contentXml(package);
        std::optional<SheetReferences> references;
        auto users = [&] {
            if (!references)
                references = findReferences(package, original);
            return references->rowPositionUsers;
        };
        SheetEditor editor(original, styles);
        for (const SheetChange &change : changes)
            result.rows.append(editor.apply(change, users));
        if (!editor.isChanged())
            return QByteArray();
        // Formulas that read sheet1 keep their cached results: OpenDocument has no setting that
        // asks for a recalculation on load, and LibreOffice and Gnumeric recalculate such
        // files when they open them.
        QByteArray out = rewrittenPackage(package.archive(), {{"content.xml", editor.result()}});
        checkReadBack(bytes, out, changes, result.rows);
        return out;
    });
}

WriteResult writeSheetChanges(const QString &path, const FileIdentity &opened,
                              const std::vector<SheetChange> &changes) {
    return writeChangedPackage(path, opened, changes, applyChanges, ".ods.tmp");
}

} // namespace workbook::ods
