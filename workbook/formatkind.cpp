// The signatures: OLE2's eight bytes; a zip's local header, then the package's parts.
#include "workbook/formatkind.h"

#include "workbook/xlsx/xlsxpackage.h"
#include "workbook/zip/ziparchive.h"

namespace workbook {

namespace {

bool isOpenDocumentSpreadsheet(QByteArrayView bytes) {
    try {
        const zip::Archive archive(bytes);
        const zip::Entry *first = archive.first();
        return first && first->name == "mimetype" &&
               archive.read(*first, 256) == "application/vnd.oasis.opendocument.spreadsheet";
    } catch (const zip::ZipError &) {
        return false;
    }
}

} // namespace

FormatKind formatKind(QByteArrayView bytes) {
    if (bytes.startsWith(QByteArrayView("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)))
        return FormatKind::Xls;
    if (!zip::Archive::hasSignature(bytes))
        return FormatKind::Unknown;
    if (isOpenDocumentSpreadsheet(bytes))
        return FormatKind::Ods;
    if (xlsx::Package::isWorkbookPackage(bytes))
        return FormatKind::Xlsx;
    // A zip that cannot be read: the .xlsx reader names the damage.
    try {
        const zip::Archive archive(bytes);
    } catch (const zip::ZipError &) {
        return FormatKind::Xlsx;
    }
    return FormatKind::Unknown;
}

} // namespace workbook
