// The .ods format's calls, over its reader and its write-back, and its declaration.
#include "workbook/ods/odsformat.h"

#include "common/zip/ziparchive.h"
#include "workbook/ods/odspackage.h"
#include "workbook/ods/odsreader.h"
#include "workbook/ods/odswriter.h"

#include <optional>

namespace workbook::ods {

namespace {

const WorkbookFormat &format() {
    static const OdsFormat ods;
    return ods;
}

// A zip whose first entry is a mimetype naming an OpenDocument spreadsheet; or an archive too
// damaged to be read whose first entry is named mimetype, so that the reader names the damage.
bool isOwnFile(const QByteArray &bytes) {
    if (!zip::Archive::hasSignature(bytes))
        return false;
    std::optional<zip::Archive> archive;
    try {
        archive.emplace(bytes);
    } catch (const DamagedFile &) {
        return zip::firstLocalName(bytes) == "mimetype";
    }
    return Package::isSpreadsheet(*archive);
}

} // namespace

OdsFormat::OdsFormat()
    : FunctionsFormat(ods::sheetNames, readSheet, checkWritable, writeSheetChanges) {}

// Asked before .xlsx: a zip's first entry says what it is before any other part is read.
const FormatDeclaration Declaration{"ods", "OpenDocument spreadsheet", "*.ods", 200, isOwnFile,
                                    format};

} // namespace workbook::ods
