// The output line buffer that every export fills and saves as a UTF-16LE KML file.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <initializer_list>

class KmlBuffer {
public:
    void Clear();
    void Add(const QString &entry);
    void Add(QString &&entry);
    // Adds one entry made of the pieces in order, without joining them first.
    void Add(std::initializer_list<QStringView> pieces);
    void reserve(qsizetype entries);
    // Room for text of this many UTF-16 code units in all, line breaks included.
    void reserveText(qsizetype units);

    // Writes a byte-order mark and every entry in UTF-16LE, each followed by CR LF. The file is
    // replaced atomically: on any failure the previous file stays as it was. Throws CommandError.
    void SaveToFile(const QString &fileName) const;

    // The bytes SaveToFile writes.
    QByteArray bytes() const;

    const QStringList &entries() const;
    qsizetype count() const { return m_ends.size(); }

private:
    // The document as the file holds it, each entry followed by CR LF, so that saving is a
    // single write however many entries there are.
    QString m_text;
    QList<qsizetype> m_ends; // where each entry ends in m_text, before its CR LF
    mutable QStringList m_entries;
    mutable bool m_entriesValid = true;
};
