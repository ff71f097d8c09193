// The output line buffer that every export fills and saves as a KML file: UTF-16LE by default,
// or UTF-8, or a KMZ archive.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <cstdint>
#include <functional>
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

// The kinds of file SaveToFile writes. Each holds the same document, every entry followed by
// CR LF.
enum class KmlFileFormat {
    Utf16, // FF FE, then the document in UTF-16LE: the program's own
    Utf8,  // an XML declaration naming UTF-8, then the document in UTF-8; no byte-order mark
    Kmz,   // a zip archive whose one file, doc.kml, is the UTF-8 document, deflated
};

// The one file a KMZ archive holds.
inline constexpr char KmzDocumentName[] = "doc.kml";

class ReplacingFile;

// The save every export makes: the file at fileName created or replaced whole through a
// ReplacingFile (a save killed part way leaves the old file, or its copy beside it), write
// filling it; a file left by an earlier killed save settled first. The new content is written
// beside the old under its name and temporarySuffix (".kml.tmp"). Throws CommandError with the
// exports' messages: the file that cannot be created, or the write that failed (write returning
// false, with the file's write error).
void saveKmlFile(const QString &fileName, const char *temporarySuffix,
                 const std::function<bool(ReplacingFile &)> &write);

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
    // Adds another buffer's entries after this one's, in their order (the placemarks a second
    // thread made of part of a long export): values within a text both share stay shared.
    void append(const KmlBuffer &other);
    void reserve(qsizetype entries);
    // Room for this many UTF-16 code units of stored text: plain entries and template values.
    void reserveText(qsizetype units);

    // Writes the document in the file format (a name ending in ".kmz" always gets a KMZ
    // archive). The file is replaced atomically: on any failure the previous file stays as it
    // was. Throws CommandError.
    void SaveToFile(const QString &fileName, KmlFileFormat format) const;

    // The bytes SaveToFile writes in UTF-16LE.
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
    class Utf8Forms;

    // A template line's values, wherever they are kept.
    void valuesOf(const Entry &entry,
                  std::array<QStringView, KmlTemplate::MaxValues> &values) const;
    // Hands out the entry's text in pieces, in order: value(QStringView) with a value or a text
    // stored whole, fixed(i) with fixed text i of the entry's template.
    template <typename Value, typename Fixed>
    void forEachPiece(const Entry &entry, Value &&value, Fixed &&fixed) const;
    // Writes the entry's text at out and returns the end: in UTF-16, or in UTF-8 with the
    // templates' fixed texts from forms.
    char16_t *write(const Entry &entry, char16_t *out) const;
    char *write(const Entry &entry, char *out, Utf8Forms &forms) const;
    void store(std::initializer_list<QStringView> pieces);
    // Calls put(Unit *text, qsizetype count) with start and then the document's text, in order,
    // a chunk at a time, until put returns false; returns the last put's answer. Unit char16_t
    // gives UTF-16, char UTF-8.
    template <typename Unit, typename Put> bool forEachChunk(QStringView start, Put &&put) const;
    // The document's length in UTF-16 code units, line ends included.
    qsizetype units() const;
    // Writes the document in the format; false when a write failed. Throws std::bad_alloc.
    bool writeDocument(ReplacingFile &file, KmlFileFormat format) const;

    QString m_text;
    QList<QString> m_shared;
    QList<Entry> m_entries;
    mutable QStringList m_materialized;
    mutable bool m_materializedValid = true;
};
