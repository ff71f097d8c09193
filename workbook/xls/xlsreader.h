// Reads one worksheet of an Excel 97-2003 (BIFF8) or Excel 5.0/95 (BIFF5/7) workbook into memory:
// every cell with a value, its kind and its sheet position, and the file's identity. Every
// length and offset in the file is checked; a damaged file gives an error, never a crash.
#pragma once

#include "workbook/fileidentity.h"
#include "workbook/sheetdata.h"

#include <QByteArray>
#include <QString>

namespace workbook::xls {

class WorkbookReader {
public:
    // Reads the file and the named sheet (compared without regard to case). False on failure,
    // with the reason in errorString().
    bool readFile(const QString &fileName, const QString &sheetName);
    // The same from bytes already in memory; fileName only names the file in messages.
    bool readBytes(const QByteArray &bytes, const QString &fileName, const QString &sheetName);

    const QString &errorString() const { return m_error; }
    const FileIdentity &identity() const { return m_identity; }
    SheetData &sheet() { return m_sheet; }
    int biffVersion() const { return m_biffVersion; } // 8, or 5 for Excel 5.0/95

private:
    QString m_error;
    int m_biffVersion = 8;
    FileIdentity m_identity;
    SheetData m_sheet;
};

// Reads a file whole and identifies its bytes as write-back does; false (with errno set) when it
// cannot be read.
bool readWholeFile(const QString &fileName, QByteArray &bytes, FileIdentity &identity);

} // namespace workbook::xls
