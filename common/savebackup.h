// The copy of a file's old content that a save in place keeps until the new content is whole
// (common/replacingfile), and what the program makes of such a copy that a killed save left.
//
// The copy is an ordinary file beside the file, named after it with the same extension
// ("book.xlsx" keeps "book.kmlmaker-backup.xlsx"), so that whoever finds it knows what it is and
// can open it as it is; only where the file's folder takes no new files does it go to the
// temporary folder under the same name. Once it is whole and flushed it carries a record (an
// extended attribute): the file it backs, and the new content's size and CRC-32, so that a
// later look can tell whether the file holds its old content, its new content, or neither. Where
// the file system keeps no extended attributes the copy goes without, and a look tells only the
// old content, or a copy cut short before the file was touched, from neither.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

#include <sys/types.h>

namespace savebackup {

// The copy's name in folder for the file target: its name before the extension, then
// ".kmlmaker-backup", then the extension.
QByteArray copyName(const QByteArray &folder, const QByteArray &target);
// Where a copy goes when the file's folder takes no new files.
QByteArray temporaryFolder();

// What the copy records of the save it belongs to.
struct Record {
    QByteArray file; // the file it backs: its absolute path, a symbolic link followed
    dev_t device = 0;
    ino_t inode = 0;
    qint64 newSize = 0;
    quint32 newChecksum = 0; // CRC-32
};
// Records r on the open copy; true also where the file system keeps no extended attributes,
// where the copy goes without. False with errno otherwise.
bool writeRecord(int fd, const Record &r);
// The CRC-32 of size bytes.
quint32 checksum(const char *data, qint64 size);

// Writes all size bytes at offset at; false with errno.
bool writeAll(int fd, const char *data, size_t size, off_t at);
// The first size bytes of one file over the start of another, in the kernel where it can;
// false with errno.
bool copyContent(int from, int to, off_t size);

// A file that a killed save left neither as it was nor as it was to be, with the copy of its old
// content; both as messages name them.
struct Interrupted {
    QString file;
    QString copy;
};

// Looks for a copy that a save of fileName left. Where the file is whole (it holds the content
// the copy keeps, or the content the save wrote, or the copy was never finished before the file
// was touched) the copy is removed and nothing is returned; else what was found. For a file of
// several names the copies that saves by its other names kept beside it count too. A copy that
// records another file is not this file's, and is left alone.
std::optional<Interrupted> find(const QString &fileName);
// Puts the old content back from the copy into the file itself (its owner, links and permissions
// stay) and removes the copy. Throws CommandError when it cannot.
void restore(const Interrupted &found);
// The message that names both.
QString interruptedMessage(const Interrupted &found);

// The window's question whether to put the old content back: true for yes.
using Question = std::function<bool(const Interrupted &)>;
void setQuestion(Question question);

// What the program does before it opens, posts into or saves over fileName: find(), and for a
// file found neither old nor new the question; the old content is put back when it is answered
// yes, else the command ends with interruptedMessage() (CommandError), both files as they are.
void settle(const QString &fileName);

} // namespace savebackup
