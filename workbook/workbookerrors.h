// The messages every workbook format gives alike, each worded once: a file that cannot be read
// (damaged, protected, without the sheet), a workbook that cannot be written, and a file that
// changed or went since it was read. Each throws CommandError.
#pragma once

#include "common/filedamage.h"

#include <QByteArrayView>
#include <QString>

namespace workbook {

// What is wrong with a workbook file, in words that complete "The workbook "<path>" is damaged:
// ": what a format's parts throw where they do not know the file's name. The format's read names
// the file (damaged() below); its write refuses (damagedForWriting()). The zip layer's
// zip::ZipError is the same type.
using Damage = FileDamage;
[[noreturn]] void damage(const QString &why);
[[noreturn]] void damage(const char *why);
// The why of a part of a package that is not well-formed XML; error says where and how.
QString notWellFormed(QByteArrayView part, const QString &error);
// Throws the Damage of a cell's text longer than any sheet holds (32,767 characters, Excel's
// limit, which every format's reader keeps).
[[noreturn]] void textTooLong();

// Reading; path names the file as displayPath() gives it.
[[noreturn]] void damaged(const QString &path, const QString &why);
[[noreturn]] void damaged(const QString &path, const char *why);
[[noreturn]] void protectedByPassword(const QString &path);
[[noreturn]] void noSuchSheet(const QString &path, const QString &sheetName);
// sheetName as the workbook spells it.
[[noreturn]] void notAWorksheet(const QString &path, const QString &sheetName);

// Writing, which never names the file: the workbook read without complaint, yet what an edit
// would be written into is not what the writer can change without harm.
[[noreturn]] void damagedForWriting();
[[noreturn]] void encryptedForWriting();
[[noreturn]] void noSheet1ForWriting();
// The new content, read back as an open reads it, is not what the changes must give: the cell at
// row and column (0-based) holds found where the changes leave expected, each as the refusal
// shows a value ("empty", a text in quotes, a number). Nothing was written.
[[noreturn]] void writtenDiffers(int row, int column, const QString &found,
                                 const QString &expected);
// The new content would not open again. Nothing was written.
[[noreturn]] void unreadableAfterWriting();

// The file at path is not the one that was read: gone, or changed by another program.
[[noreturn]] void noLongerThere(const QString &path);
[[noreturn]] void changedOnDisk(const QString &path);

} // namespace workbook
