// Edits sheet1 inside an OpenDocument content part: sets cells, appends rows, deletes a row.
// Rows no change touches are copied as their bytes stand. A repeated row or cell that a change
// falls in is split, and the parts around it keep their XML with a smaller count. A written cell
// keeps its style and every attribute and child that is not its value (a comment, a validation,
// a merge); an overwritten formula goes with the old value. Everything else in the part stays
// as it was.
#pragma once

#include "workbook/ods/odsstyles.h"
#include "workbook/sheetchange.h"

#include <QByteArray>
#include <QStringList>

#include <functional>
#include <memory>

namespace workbook::ods {

class SheetEditor {
public:
    // Takes the content part (UTF-8) and the common styles of the styles part, which say in
    // which type a number is written into a cell of a style. Throws DamagedFile (xml::XmlError
    // among them) when the part cannot be read, and CommandError when it has no sheet named sheet1.
    SheetEditor(QByteArray xml, const CellStyles &commonStyles);
    ~SheetEditor();
    SheetEditor(const SheetEditor &) = delete;
    SheetEditor &operator=(const SheetEditor &) = delete;

    // The last row holding a cell with a value, a formula, a text, a comment or a shape, or one
    // covered by a merged range; -1 when none. Rows that are only formatted do not count: an
    // OpenDocument sheet repeats a formatted empty row down to its last row.
    int lastRow() const;
    // 1,024, or 16,384 when the sheet declares more columns than 1,024 (a "very large sheet").
    int columnLimit() const;

    // Each throws CommandError, with the .xls editor's messages, and changes nothing when it
    // refuses.
    void setCell(int row, int column, const EditValue &value);
    // Writes the values into the row after lastRow() and returns that row.
    int appendRow(const QList<EditValue> &values);
    // rowPositionUsers says what refers to row positions (nothing: the row may go); it is asked
    // only when the row exists.
    void deleteRow(int row, const std::function<QStringList()> &rowPositionUsers);
    int apply(const SheetChange &change, const std::function<QStringList()> &rowPositionUsers);

    bool isChanged() const;
    // The part with the changes.
    QByteArray result() const;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace workbook::ods
