// A sheet as lines of text for tests that compare what readers make of workbooks: the used
// range, then every cell of it by kind and field text, one line per row; or the reader's
// message with the file's path as <file>.
#pragma once

#include "testsupport.h"
#include "workbook/fieldtext.h"
#include "workbook/formatregistry.h"
#include "workbook/sheetdata.h"

#include <QStringList>

namespace sheetdump {

inline QString describe(const workbook::SheetData &sheet, int row, int column) {
    const workbook::Cell *c = sheet.cell(row, column);
    if (!c)
        return QStringLiteral("-");
    static const char *const kinds[] = {"empty", "num", "date", "money", "text", "bool", "error"};
    return QLatin1String(kinds[int(c->kind)]) + u':' +
           workbook::fieldtext::cellText(sheet, c, u'.').replace(u'\n', QStringLiteral("\\n"));
}

inline QStringList dump(const workbook::SheetData &s) {
    QStringList rows;
    rows << QStringLiteral("range %1,%2 %3x%4 1904:%5")
                .arg(s.firstRow())
                .arg(s.firstColumn())
                .arg(s.rowCount())
                .arg(s.columnCount())
                .arg(s.date1904);
    for (int r = s.firstRow(); r < s.firstRow() + s.rowCount(); ++r) {
        QStringList cells;
        for (int c = s.firstColumn(); c < s.firstColumn() + s.columnCount(); ++c)
            cells << describe(s, r, c);
        rows << cells.join(u" | ");
    }
    return rows;
}

// The sheet named sheet1 of bytes read as a file named fileName, as the dataset reads it: its
// format by its content, then the format's read.
inline QStringList readBytes(const QByteArray &bytes, const QString &fileName) {
    try {
        return dump(*workbook::formatOf(bytes, fileName)
                         .read(bytes, fileName, QStringLiteral("sheet1"))
                         .sheet);
    } catch (const CommandError &e) {
        return {QString(e.message()).replace(displayPath(fileName), QStringLiteral("<file>"))};
    }
}

// The same of a file.
inline QStringList read(const QString &path) {
    return readBytes(testsupport::readFile(path), path);
}

} // namespace sheetdump
