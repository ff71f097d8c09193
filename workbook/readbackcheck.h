// A write checked on its own result before it replaces the file: the new sheet1 read back by the
// format's own reader (the code an open runs) and compared with what the batch of changes must
// leave there. An editor and a reader may understand a part differently (a row element whose
// cells name another row, a prefix bound to another vocabulary than the one written); the write
// would then report success and the edit be lost, or land elsewhere. The check refuses it.
//
// It catches whatever makes the written sheet read otherwise than the batch says, whatever the
// cause: a cell that another one of the same position overrides (the later wins, as in Excel),
// rows or cells placed by counting where a new row breaks the count, a repeated row split wrong,
// a text whose escapes or blanks read back otherwise, a number that does not come back whole, a
// delete that moves the wrong rows or leaves its own, and new bytes the reader refuses (a part
// that is no longer well-formed, a broken package). It sees sheet1 only as our reader does: not
// the other sheets or the formats, and, in a batch that moves no rows, not the cells the batch
// did not write (reading the sheet as it was would cost a second read on every post).
#pragma once

#include "workbook/sheetchange.h"
#include "workbook/sheetdata.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace workbook {

class ReadBackCheck {
public:
    // What the format's reader gives back for a text written into a cell, where the writer
    // changes it on its way (.ods writes every kind of line break as a new paragraph).
    using TextAsRead = std::function<QString(const QString &)>;

    // The batch as it was applied, and rows, the row each change addressed (WriteResult::rows;
    // for an append, the row written).
    ReadBackCheck(const std::vector<SheetChange> &changes, const QList<int> &rows,
                  TextAsRead asRead = {});

    // Whether the batch moves rows (it deletes one): the cells of sheet1 as read before the
    // write are then needed, to be compared where they must now stand.
    bool movesRows() const { return !m_deleted.empty(); }

    // Throws CommandError (writtenDiffers) at the first cell of written, the sheet read back,
    // that is not what the batch must give: a cell the batch wrote, a row it appended (which
    // holds nothing else), and, when before is given (sheet1 as read before the write), every
    // other cell, where the rows deleted have moved it.
    void check(const SheetData &written, const SheetData *before) const;

private:
    using Position = std::pair<int, int>; // row, column
    struct Moved {
        bool gone = false;
        int row = 0;
    };
    // Where a row of the sheet before the batch stands after it.
    Moved after(int row) const;
    // Which row of the sheet before the batch stands at a row after it; -1 for none.
    int beforeRow(int row) const;

    std::map<Position, EditValue> m_written; // where the batch leaves them
    std::set<int> m_newRows;                 // rows appended, where the batch leaves them
    std::vector<int> m_deleted;              // in order, each as the batch saw the rows then
};

// The new sheet1 as read, for the check: read is the format's read of the new bytes. A new file
// that the reader refuses refuses the write (unreadableAfterWriting) rather than be written.
std::unique_ptr<SheetData> readBack(const std::function<std::unique_ptr<SheetData>()> &read);

// A zip package's write checked: readSheet1 reads sheet1 of a package; written is the new
// package, and before the old one, read as well when the batch moves rows. Throws CommandError.
void checkPackageReadBack(
    const ReadBackCheck &check,
    const std::function<std::unique_ptr<SheetData>(const QByteArray &)> &readSheet1,
    QByteArrayView before, const QByteArray &written);

} // namespace workbook
