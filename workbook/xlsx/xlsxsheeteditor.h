// Edits the XML of one worksheet part: sets cells, appends rows, deletes a row. Rows no change
// touches are copied as their bytes stand; a changed row is written anew from its own parts, so
// that its other cells, its attributes and every element around the sheet data stay as they
// were. A written cell keeps its style; text goes in as an inline string, so the shared
// strings part need not change; the sheet's dimension stays true.
#pragma once

#include "workbook/sheetchange.h"

#include <QByteArray>
#include <QStringList>

#include <functional>
#include <memory>

namespace workbook::xlsx {

class SheetEditor {
public:
    // Takes the part's XML (UTF-8). Throws DamagedFile (xml::XmlError among them) when it cannot be
    // read.
    explicit SheetEditor(QByteArray xml);
    ~SheetEditor();
    SheetEditor(const SheetEditor &) = delete;
    SheetEditor &operator=(const SheetEditor &) = delete;

    // The last row holding a cell of any kind (formatted blanks too); -1 when none.
    int lastRow() const;

    // Each throws CommandError, with the .xls editor's messages, and changes nothing when it
    // refuses.
    void setCell(int row, int column, const EditValue &value);
    int appendRow(const QList<EditValue> &values);
    // rowPositionUsers says what refers to row positions (nothing: the row may go); it is asked
    // only when the row exists.
    void deleteRow(int row, const std::function<QStringList()> &rowPositionUsers);
    int apply(const SheetChange &change, const std::function<QStringList()> &rowPositionUsers);

    bool isChanged() const;
    // Whether some formula cell lost its formula: a calculation chain naming it is then stale.
    bool formulaRemoved() const;
    // Whether the sheet holds any formula.
    bool hasFormulas() const;
    // The part with the changes.
    QByteArray result() const;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace workbook::xlsx
