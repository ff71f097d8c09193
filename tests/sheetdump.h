// A sheet as lines of text for tests that compare what readers make of workbooks: the used
// range, then every cell of it by kind and field text, one line per row.
#pragma once

#include "sources/workbook/fieldtext.h"
#include "sources/workbook/workbookreader.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace sheetdump {

inline QString describe(const workbook::SheetData &sheet, int row, int column) {
    const workbook::Cell *c = sheet.cell(row, column);
    if (!c)
        return QStringLiteral("-");
    static const char *const kinds[] = {"empty", "num", "date", "money", "text", "bool", "error"};
    return QLatin1String(kinds[int(c->kind)]) + u':' +
           workbook::fieldtext::cellText(sheet, c).replace(u'\n', QStringLiteral("\\n"));
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

// The sheet named sheet1 of a file, or the reader's message with the file's path as <file>.
inline QStringList read(const QString &path) {
    workbook::WorkbookReader reader;
    if (!reader.readFile(path, QStringLiteral("sheet1"))) {
        QString message = reader.errorString();
        return {message.replace(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()),
                                QStringLiteral("<file>"))};
    }
    return dump(reader.sheet());
}

} // namespace sheetdump
