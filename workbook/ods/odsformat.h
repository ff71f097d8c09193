// The .ods format: an OpenDocument spreadsheet (LibreOffice's own), a zip package whose first
// entry, mimetype, names it. Read, and written back in its content part.
#pragma once

#include "workbook/workbookformat.h"

namespace workbook::ods {

class OdsFormat : public WorkbookFormat {
public:
    // The table named like sheetName in content.xml, its data styles from styles.xml too.
    SheetRead read(QByteArray bytes, const QString &fileName,
                   const QString &sheetName) const override;
    // Refuses a password-protected package, and a content part missing or stored otherwise.
    QString whyReadOnly(const SheetRead &read) const override;
    // Rewrites content.xml; the mimetype stays first and stored, every other entry as it was.
    WriteResult write(const QString &path, const FileIdentity &opened,
                      const std::vector<SheetChange> &changes) const override;
};

} // namespace workbook::ods
