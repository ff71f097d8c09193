// The .xlsx format: an Office Open XML spreadsheet, a zip package whose [Content_Types].xml names
// a workbook part. Read, written back part by part.
#pragma once

#include "workbook/workbookformat.h"

namespace workbook::xlsx {

class XlsxFormat : public WorkbookFormat {
public:
    SheetRead read(QByteArray bytes, const QString &fileName,
                   const QString &sheetName) const override;
    QString whyReadOnly(const SheetRead &read) const override;
    WriteResult write(const QString &path, const FileIdentity &opened,
                      const std::vector<SheetChange> &changes) const override;
};

} // namespace workbook::xlsx
