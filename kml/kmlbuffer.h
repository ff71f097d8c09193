// The output line buffer that every export fills and saves as a UTF-16LE KML file.
#pragma once

#include <QString>
#include <QStringList>

class KmlBuffer {
public:
    void Clear();
    void Add(const QString &entry);
    void Add(QString &&entry);
    void reserve(qsizetype entries);

    // Writes a byte-order mark and every entry in UTF-16LE, each followed by CR LF. The file is
    // replaced atomically: on any failure the previous file stays as it was. Throws CommandError.
    void SaveToFile(const QString &fileName) const;

    // The bytes SaveToFile writes.
    QByteArray bytes() const;

    const QStringList &entries() const { return m_entries; }
    qsizetype count() const { return m_entries.size(); }

private:
    QStringList m_entries;
};
