// The package is read again, sheet1 edited inside the content part, and the archive written
// anew through the zip layer, which copies every entry it is not given a change for.
#include "workbook/ods/odswriter.h"

#include "common/commanderror.h"
#include "workbook/ods/odscontenteditor.h"
#include "workbook/ods/odsreferences.h"
#include "workbook/packagewriter.h"

#include <optional>

namespace workbook::ods {

namespace {

[[noreturn]] void damaged() {
    throw CommandError(QStringLiteral("The workbook is damaged and cannot be changed"));
}

// What f returns; a package, part or XML that cannot be read is a damaged workbook.
template <typename F> auto readingPackage(F &&f) -> decltype(f()) {
    try {
        return f();
    } catch (const Damaged &) {
    } catch (const zip::ZipError &) {
    } catch (const xml::XmlError &) {
    }
    damaged();
}

void checkPackage(const Package &package) {
    if (package.isEncrypted())
        throw CommandError(
            QStringLiteral("The workbook is protected by a password and cannot be changed"));
    const zip::Entry *content = package.archive().find("content.xml");
    if (!content)
        damaged();
    if (content->method != 0 && content->method != 8)
        damaged();
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

} // namespace

void checkWritable(QByteArrayView bytes) {
    readingPackage([&] { checkPackage(Package(bytes)); });
}

QByteArray applyChanges(QByteArrayView bytes, const std::vector<SheetChange> &changes,
                        WriteResult &result) {
    return readingPackage([&] {
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
        ContentEditor editor(original, styles);
        for (const SheetChange &change : changes)
            result.rows.append(editor.apply(change, users));
        if (!editor.isChanged())
            return QByteArray();
        // Formulas that read sheet1 keep their cached results: OpenDocument has no setting that
        // asks for a recalculation on load, and LibreOffice and Gnumeric recalculate such
        // files when they open them.
        QByteArray out;
        out.reserve(bytes.size() + bytes.size() / 8 + 4096);
        zip::rewrite(package.archive(), {{"content.xml", editor.result()}},
                     [&](QByteArrayView piece) {
                         out.append(piece);
                         return true;
                     });
        return out;
    });
}

WriteResult writeSheetChanges(const QString &path, const FileIdentity &opened,
                              const std::vector<SheetChange> &changes) {
    return writeChangedPackage(path, opened, changes, applyChanges, ".ods.tmp");
}

} // namespace workbook::ods
