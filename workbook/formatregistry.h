// The format registry: the one place that names the workbook formats. It chooses a file's format
// by its content and gives the open dialog its filter; above every format folder, below the
// dataset and the window, which reach the formats only through it and workbookformat.h.
#pragma once

#include "workbook/workbookformat.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace workbook {

// The registered formats in the registry's order, which is the open dialog's.
const std::vector<const FormatDeclaration *> &registeredFormats();

// The format of a file decided by its content, never by its name: the formats are asked in
// their priority's order (FormatDeclaration). With the formats registered today: an OLE2
// compound file is .xls (whose read names an Office document encrypted with a password as such);
// a zip whose first entry is a mimetype naming an OpenDocument spreadsheet is .ods; a zip whose
// [Content_Types].xml names a workbook part is .xlsx. A zip too damaged to be read goes to the
// format its first entry points to, whose read names the damage. Throws CommandError naming the
// file ("The file "<path>" is not an Excel workbook") when no format knows it.
const WorkbookFormat &formatOf(const QByteArray &bytes, const QString &fileName);

// The open dialog's filter as label(patterns)|patterns pairs: the first format's first, then all
// workbooks together, then each other format's in the registry's order.
QString openDialogFilter();
// The table page's open dialog: allLabel with every pattern, delimited text's first, then one
// pair for each format in that same order.
QString tableDialogFilter(const QString &allLabel);

// The open dialog's default extension: the first format's first pattern ("*.xls").
QString openDialogDefaultExt();

} // namespace workbook
