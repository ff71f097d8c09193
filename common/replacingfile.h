// Replacing a file's content in one step, so that a failed save leaves the old content intact
// and no temporary file behind, and the file stays what it was apart from its content: the
// same owner, group, permission bits, ACLs and extended attributes, the same hard links. Both
// savers of the program (the KML file, a changed workbook) write this way.
//
// The new content goes into a file of its own. Where that file can be given everything the old
// one has (the saver's own file, or any file for root; the group settable; a single link; a
// folder that takes new files), it takes the old one's name by a rename. Otherwise the old file
// is rewritten in place: first a complete copy of its content is made and flushed, visible beside
// it (common/savebackup), then the new content is written over it in one call; if that fails
// part way, the old content is put back from the copy. A save killed in the middle leaves the
// copy, which the next open or save of the file settles.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

#include <sys/stat.h>

class ReplacingFile {
public:
    // Flushed: the new content is on the disk before it replaces the old, and the replacement
    // is on the disk when commit() returns, so that a power cut leaves either the old or the new
    // content. A workbook needs it; a KML file can be made again, so it is saved faster without.
    // A save in place flushes either way: its copy is on the disk before the file is touched,
    // and the new content before the copy goes.
    enum class Durability { Unflushed, Flushed };

    // Creates the new file, empty, for the file it is to replace (a symbolic link stays a link:
    // its target is replaced). suffix ends the hidden name the new file may carry for a moment
    // beside the old one, such as ".kml.tmp". error() is the errno of a failure, 0 when the new
    // file was made. Ignores SIGXFSZ, so that a file-size limit fails a write as a full disk
    // does instead of ending the program half way through a save.
    ReplacingFile(const QString &fileName, const char *suffix,
                  Durability durability = Durability::Unflushed);
    // Removes the new file unless it has taken the old one's place.
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    int error() const { return m_error; }
    // The new file, open for reading and writing and seekable; -1 once closed.
    int descriptor() const { return m_closed ? -1 : m_fd; }

    // Appends the bytes; false (with errno) when not all could be written.
    bool write(const char *data, qsizetype size);
    // The errno of the first write that failed, 0 while none has.
    int writeError() const { return m_writeError; }
    // Ends the writing; false (with errno) when the content cannot be kept.
    bool close();

    // The old file as it was read (its stat), for a last look just before it is replaced: when
    // it is no longer that file, of that size and time, commit() leaves it alone and fails with
    // changedMeanwhile() set.
    void expectOldFile(const struct stat &seen);
    bool changedMeanwhile() const { return m_changedMeanwhile; }

    // Puts the new content in the old one's place; false with errno when it fails, and then
    // failureNote() says what became of the old content when the file itself had been touched.
    // Without flushing, the old file's pages are given back on a second thread: for a file of
    // tens of megabytes still being written to the disk that takes longer than the save.
    bool commit();
    // After a failed commit that had begun to rewrite the file in place: a sentence to follow
    // the error's own ("Stream write error"), beginning with ". ", naming the file and saying
    // that its old content was put back, or where a copy of it is kept. Empty otherwise.
    const QString &failureNote() const { return m_failureNote; }
    // Whether this save rewrites the file in place rather than renaming a new one over it.
    bool inPlace() const { return m_inPlace; }

    // The file a save of fileName replaces: a symbolic link's target, else the file itself.
    static QString replacedPath(const QString &fileName);

    // Where a save stands, for tests that stop it there: the new content closed (nothing
    // replaced yet); in place, the copy begun (empty), the copy kept (whole, flushed and
    // recorded; the file not yet touched), the new content written over the old, the file cut to
    // its new length (the copy not yet removed).
    enum class Step { Closed, CopyBegun, CopyKept, ContentWritten, Truncated };
    static void setStepHook(std::function<void(Step)> hook);

private:
    bool prepareRename();
    bool prepareInPlace();
    bool commitRename();
    bool commitInPlace();
    bool oldFileUnchanged() const;

    QString m_shownName; // the name as given, absolute, for messages
    QByteArray m_target; // the file whose content is replaced
    QByteArray m_folder; // its folder
    QByteArray m_suffix;
    QByteArray m_named;  // the new file's name beside the old one, while it has one
    int m_fd = -1;       // the new file
    int m_targetFd = -1; // the old file, open for rewriting in place
    bool m_flush = false;
    bool m_exists = false;  // an old file is there to be replaced
    bool m_unnamed = false; // the new file has no name until commit() (O_TMPFILE)
    bool m_inPlace = false;
    bool m_closed = false;
    bool m_committed = false;
    int m_error = 0;
    int m_writeError = 0;
    bool m_expectOld = false;
    struct stat m_seen {};
    bool m_changedMeanwhile = false;
    QString m_failureNote;
};
