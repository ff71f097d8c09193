// The .xls format's failures that several of its parts report, each worded in one place.
#pragma once

#include <QString>

namespace workbook::xls {

// The reader's: the workbook named by path (as displayPath() gives it) is damaged, and how ("a
// record runs past the end of the workbook stream").
[[noreturn]] void damaged(const QString &path, const char *why);

// The write-back's, which never names the file: the workbook read without complaint, yet its
// records are not what an edit could be written into without harm.
[[noreturn]] void damagedForWriting();
// An Excel 5.0/95 workbook, which is read but never written.
[[noreturn]] void olderFormatForWriting();

} // namespace workbook::xls
