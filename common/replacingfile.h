// Replacing a file in one step: the new content goes into a file of its own beside the old one,
// which then takes the old one's name. Both savers of the program (the KML file, a changed
// workbook) write this way.
#pragma once

#include <QByteArray>
#include <QString>

class ReplacingFile {
public:
    // Creates the new file, empty, in the folder of the file it is to replace (a symbolic link
    // stays a link: its target is replaced). suffix ends the new file's hidden name, such as
    // ".kml.tmp". error() is the errno of a failure, 0 when the file was made.
    ReplacingFile(const QString &fileName, const char *suffix);
    // Removes the new file unless it has taken the old one's place.
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    int error() const { return m_error; }
    // The new file, open for reading and writing; -1 once closed.
    int descriptor() const { return m_fd; }

    // Appends the bytes; false (with errno) when not all could be written.
    bool write(const char *data, qsizetype size);
    bool close();

    // Puts the new file in the old one's place; errno tells why when it fails. An old file of
    // the same name keeps its permissions in the new one.
    //
    // The data is not forced to disk first: that would keep the window waiting on the disk
    // for a long document, and the rename alone never leaves a mixture of old and new content
    // under the name. (On ext4, Debian's default, a rename that replaces a file also has the new
    // file's data written before the rename is.) The old file's pages are given back on a
    // second thread: for a file of tens of megabytes still being written back to the disk that
    // takes longer than writing the new one.
    bool commit();

private:
    QByteArray m_target;
    QByteArray m_path;
    int m_fd = -1;
    int m_error = 0;
    bool m_committed = false;
};
