// Edits the cells of sheet1 inside a BIFF8 Workbook stream and rebuilds the stream, changing
// nothing but sheet1's cell table, the shared strings and the records that hold stream offsets.
#pragma once

#include "workbook/sheetchange.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace workbook::xls {

class SheetEditor {
public:
    // Takes a Workbook stream. Throws CommandError when it cannot be changed: encrypted,
    // Excel 5.0/95, damaged, or without a worksheet named sheet1.
    explicit SheetEditor(const QByteArray &stream);
    // Throws the CommandError that the constructor would, without preparing any edit: whether
    // a workbook can be changed is asked of every workbook opened.
    static void check(const QByteArray &stream);
    ~SheetEditor();
    SheetEditor(const SheetEditor &) = delete;
    SheetEditor &operator=(const SheetEditor &) = delete;

    // The last row holding a cell record of any kind (formatted blanks too); -1 when none.
    int lastRow() const;

    // Each throws CommandError and changes nothing when it refuses.
    void setCell(int row, int column, const EditValue &value);
    // Writes the values into the row after lastRow() and returns that row; empty values write
    // no cell, so a row of empty values leaves the sheet as it was.
    int appendRow(const QList<EditValue> &values);
    // Removes the row and moves the rows below it up by one.
    void deleteRow(int row);
    // Returns the row the change addressed.
    int apply(const SheetChange &change);

    bool isChanged() const;
    // The stream with the changes; the original bytes when there are none.
    QByteArray stream() const;
    // The same bytes handed to put a piece at a time, in order, never made one buffer: a big
    // stream goes straight into the file being written. False as soon as put refuses a piece.
    bool writeStream(const std::function<bool(QByteArrayView)> &put) const;
    // The stream rebuilt from its parts even when nothing changed, which gives the original
    // bytes back for a file whose offsets were right to begin with.
    QByteArray serialize() const;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace workbook::xls
