// The .ods format: an OpenDocument spreadsheet, a zip package whose first entry, mimetype,
// names it; LibreOffice's own. Read, and written back in its content part.
#pragma once

#include "workbook/workbookformat.h"

namespace workbook::ods {

class OdsFormat : public WorkbookFormat {
public:
    SheetRead read(QByteArray bytes, const QString &fileName,
                   const QString &sheetName) const override;
    QString whyReadOnly(const SheetRead &read) const override;
    WriteResult write(const QString &path, const FileIdentity &opened,
                      const std::vector<SheetChange> &changes) const override;
};

} // namespace workbook::ods
