// The output line buffer that every export fills and saves as a UTF-16LE KML file.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <cstdint>
#include <initializer_list>

// A line made of fixed texts with values between them: fixed[0], a value, fixed[1], ..., a
// value, fixed[gaps]. value[i] says which of the line's values fills gap i, so a value may come
// twice. The fixed texts are string literals, which live as long as the program.
struct KmlTemplate {
    static constexpr int MaxGaps = 8;
    static constexpr int MaxValues = 4;
    int gaps;
    std::array<QStringView, MaxGaps + 1> fixed;
    std::array<int, MaxGaps> value;

    // The line with these values, as one text.
    QString filled(std::initializer_list<QStringView> values) const;
};

class KmlBuffer {
public:
    void Clear();
    void Add(const QString &entry);
    void Add(QString &&entry);
    // Adds one entry made of the pieces in order, without joining them first.
    void Add(std::initializer_list<QStringView> pieces);
    // Adds the form's line with these values. Only the values are stored: a long document of
    // such lines takes a fraction of the memory its text would.
    void Add(const KmlTemplate &form, std::initializer_list<QStringView> values);
    // Keeps text with the buffer (Qt shares it, nothing is copied): template values that lie
    // within it are then kept as places in it rather than as copies. An export whose values
    // are mostly a workbook's own texts stores little of its own. Until Clear().
    void shareText(const QString &text);
    void reserve(qsizetype entries);
    // Room for this many UTF-16 code units of stored text: plain entries and template values.
    void reserveText(qsizetype units);

    // Writes a byte-order mark and every entry in UTF-16LE, each followed by CR LF. The file is
    // replaced atomically: on any failure the previous file stays as it was. Throws CommandError.
    void SaveToFile(const QString &fileName) const;

    // The bytes SaveToFile writes.
    QByteArray bytes() const;

    const QStringList &entries() const;
    qsizetype count() const { return m_entries.size(); }

private:
    struct Entry {
        const KmlTemplate *form; // null for an entry stored whole
        qsizetype start;         // where its text or its first own value begins in m_text
        // Of the text, or of each value. An entry stored whole may be longer than a value:
        // its size is size[0] + size[1] * 2^31.
        std::array<std::int32_t, KmlTemplate::MaxValues> size;
        // Per value: 0 when kept in m_text (the entry's own values follow each other there),
        // else 1 + the index of the shared text that holds it, at offset at[value].
        std::array<std::uint8_t, KmlTemplate::MaxValues> source;
        std::array<std::uint32_t, KmlTemplate::MaxValues> at;

        qsizetype wholeSize() const { return size[0] + (qsizetype(size[1]) << 31); }
    };

    qsizetype length(const Entry &entry) const;
    // Writes the entry's text at out and returns the end.
    char16_t *write(const Entry &entry, char16_t *out) const;
    void store(std::initializer_list<QStringView> pieces);

    QString m_text;
    QList<QString> m_shared;
    QList<Entry> m_entries;
    mutable QStringList m_materialized;
    mutable bool m_materializedValid = true;
};
