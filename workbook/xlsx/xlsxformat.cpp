// The .xlsx format's calls, over its reader and its write-back, and its declaration.
#include "workbook/xlsx/xlsxformat.h"

#include "common/zip/ziparchive.h"
#include "workbook/xlsx/xlsxpackage.h"
#include "workbook/xlsx/xlsxreader.h"
#include "workbook/xlsx/xlsxwriter.h"

#include <optional>

namespace workbook::xlsx {

namespace {

const WorkbookFormat &format() {
    static const XlsxFormat xlsx;
    return xlsx;
}

// A zip whose [Content_Types].xml names a workbook part. An archive too damaged to be read, yet
// with an entry at its start, is taken too, so that the reader names the damage: the .ods format,
// asked before, has taken those that start with its mimetype.
bool isOwnFile(const QByteArray &bytes) {
    if (!zip::Archive::hasSignature(bytes))
        return false;
    std::optional<zip::Archive> archive;
    try {
        archive.emplace(bytes);
    } catch (const DamagedFile &) {
        return !zip::firstLocalName(bytes).isEmpty();
    }
    return Package::isWorkbookPackage(*archive);
}

} // namespace

XlsxFormat::XlsxFormat()
    : FunctionsFormat(xlsx::sheetNames, readSheet, checkWritable, writeSheetChanges) {}

const FormatDeclaration Declaration{"xlsx", "Excel 2007 workbook", "*.xlsx", 100, isOwnFile,
                                    format};

} // namespace workbook::xlsx
