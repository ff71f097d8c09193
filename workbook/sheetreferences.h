// What every format's scan of a workbook reports before an edit: what refers to the row
// positions of sheet1 (a delete would leave it pointing at the wrong rows, so the delete is
// refused) and whether formulas read its cells; and the piece of formula text the scans of the
// .xlsx and .ods formulas both step over.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace workbook {

struct SheetReferences {
    // What refers to row positions of sheet1, in words for the refusal ("merged cells"); empty
    // when rows may be deleted.
    QStringList rowPositionUsers;
    // Formulas (on sheet1 or elsewhere) may read sheet1's cells, so their cached results go stale
    // when a cell changes.
    bool formulasReadSheet = false;
};

// Adds what to the users of row positions unless it is there already: the refusal names each
// once, in the order the scan found them.
void addUser(QStringList &users, const QString &what);

// The index of the quote that closes the text constant whose opening quote stands at quote in a
// formula's text ("" standing for a quote inside it); the formula's size when none closes it.
qsizetype endOfTextConstant(QStringView formula, qsizetype quote);

} // namespace workbook
