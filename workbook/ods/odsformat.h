// The .ods format: an OpenDocument spreadsheet (LibreOffice's own), a zip package whose first
// entry, mimetype, names it. Read (odsreader) from content.xml with the data styles of
// styles.xml; written back (odswriter) in content.xml, the mimetype staying first and stored and
// every other entry as it was.
#pragma once

#include "workbook/workbookformat.h"

namespace workbook::ods {

class OdsFormat : public FunctionsFormat {
public:
    OdsFormat();
};

// The .ods format to the registry: "OpenDocument spreadsheet(*.ods)", asked before .xlsx.
extern const FormatDeclaration Declaration;

} // namespace workbook::ods
