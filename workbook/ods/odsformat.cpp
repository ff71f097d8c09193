// The .ods format's three calls, over its reader and its write-back.
#include "workbook/ods/odsformat.h"

#include "workbook/ods/odsreader.h"
#include "workbook/ods/odswriter.h"

namespace workbook::ods {

OdsFormat::OdsFormat() : FunctionsFormat(readSheet, checkWritable, writeSheetChanges) {}

} // namespace workbook::ods
