// The .xlsx format: an Office Open XML spreadsheet, a zip package whose [Content_Types].xml names
// a workbook part. Read, and written back in sheet1's part (with the workbook part and the
// calculation chain where formulas need it).
#pragma once

#include "workbook/workbookformat.h"

namespace workbook::xlsx {

class XlsxFormat : public WorkbookFormat {
public:
    // The sheet's part found through the package's relationships, never by its name.
    SheetRead read(QByteArray bytes, const QString &fileName,
                   const QString &sheetName) const override;
    // Refuses an encrypted sheet part, or one neither stored nor deflated.
    QString whyReadOnly(const SheetRead &read) const override;
    // Rewrites sheet1's part; every other entry keeps its compressed bytes.
    WriteResult write(const QString &path, const FileIdentity &opened,
                      const std::vector<SheetChange> &changes) const override;
};

} // namespace workbook::xlsx
