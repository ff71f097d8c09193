// Output line buffer and its file formats: FF FE, then each entry in UTF-16LE followed by CR LF;
// or the same text in UTF-8 after an XML declaration, plain or as the one file of a KMZ archive.
// All entries share one text: an entry stored whole keeps its characters there, a template line
// only its values. A document of a million placemarks thus costs no allocation per entry and a
// third of the memory of its file, and is written from one small chunk that is filled again.
#include "kml/kmlbuffer.h"

#include "common/commanderror.h"
#include "common/hugepages.h"
#include "common/replacingfile.h"
#include "common/savebackup.h"
#include "common/zip/zipwriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include <unistd.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr qsizetype ChunkBytes = 1024 * 1024;

// The first line of a UTF-8 document; a UTF-16 one needs none, its byte-order mark says it.
constexpr char16_t Utf8Declaration[] = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
constexpr char16_t ByteOrderMark[] = u"\uFEFF";
// The document's name in a KMZ archive, where the globe viewer looks for it.

char16_t *put(char16_t *out, QStringView text) {
    if (!text.isEmpty()) // an empty view may have no characters at all to point at
        std::memcpy(out, text.utf16(), size_t(text.size()) * 2);
    return out + text.size();
}

// The text in UTF-8 at out, at most three bytes for each code unit; returns the end. A lone
// surrogate, which no value holds once made safe, becomes U+FFFD.
char *put(char *out, QStringView text) {
    const char16_t *p = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
#ifdef __SSE2__
        // ASCII sixteen or eight units at a time: most of a document is markup and digits.
        const __m128i nonAscii = _mm_set1_epi16(short(0xFF80));
        const auto ascii = [&](__m128i v) {
            const __m128i high = _mm_and_si128(v, nonAscii);
            return _mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) == 0xFFFF;
        };
        while (i + 16 <= n) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i + 8));
            if (!ascii(_mm_or_si128(a, b)))
                break;
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(a, b));
            out += 16;
            i += 16;
        }
        if (i + 8 <= n) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
            if (ascii(a)) {
                _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(a, a));
                out += 8;
                i += 8;
                continue;
            }
        }
#endif
        // One by one to the end of the eight units that held other characters, or of the text.
        for (const qsizetype end = qMin(n, i + 8); i < end;) {
            const char32_t c = p[i++];
            if (c < 0x80) {
                *out++ = char(c);
            } else if (c < 0x800) {
                *out++ = char(0xC0 | (c >> 6));
                *out++ = char(0x80 | (c & 0x3F));
            } else if (c < 0xD800 || c >= 0xE000) { // the rest of the BMP: CJK text
                *out++ = char(0xE0 | (c >> 12));
                *out++ = char(0x80 | ((c >> 6) & 0x3F));
                *out++ = char(0x80 | (c & 0x3F));
            } else if (c < 0xDC00 && i < n && QChar::isLowSurrogate(p[i])) {
                const char32_t u = QChar::surrogateToUcs4(char16_t(c), p[i++]);
                *out++ = char(0xF0 | (u >> 18));
                *out++ = char(0x80 | ((u >> 12) & 0x3F));
                *out++ = char(0x80 | ((u >> 6) & 0x3F));
                *out++ = char(0x80 | (u & 0x3F));
            } else {
                *out++ = char(0xEF); // U+FFFD
                *out++ = char(0xBF);
                *out++ = char(0xBD);
            }
        }
    }
    return out;
}

template <typename Unit> Unit *lineEnd(Unit *out) {
    out[0] = Unit('\r');
    out[1] = Unit('\n');
    return out + 2;
}

QString cannotCreate(const QString &fileName, const QString &reason) {
    return QStringLiteral("Cannot create file \"%1\". %2")
        .arg(QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath()),
             withoutFinalPeriod(reason));
}

// The reason a file cannot be created there, in the system's words.
QString creationFailure(const QString &fileName) {
    const QFileInfo info(fileName);
    const QFileInfo dir(info.absolutePath());
    if (fileName.isEmpty() || !dir.exists())
        return systemErrorText(ENOENT);
    if (info.isDir())
        return systemErrorText(EISDIR);
    if (!dir.isDir())
        return systemErrorText(ENOTDIR);
    // An existing file is rewritten in place where its folder takes no new files. The system's
    // own answer names a read-only file system as such.
    const QString writable = info.exists() ? info.absoluteFilePath() : dir.absoluteFilePath();
    if (::access(QFile::encodeName(writable).constData(), W_OK) != 0)
        return systemErrorText(errno);
    return QString();
}

} // namespace

QString KmlTemplate::filled(std::initializer_list<QStringView> values) const {
    Q_ASSERT(values.size() <= MaxValues);
    const QStringView *v = values.begin();
    qsizetype n = fixed[0].size();
    for (int g = 0; g < gaps; ++g)
        n += v[value[g]].size() + fixed[g + 1].size();
    QString line(n, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(line.data());
    out = put(out, fixed[0]);
    for (int g = 0; g < gaps; ++g)
        out = put(put(out, v[value[g]]), fixed[g + 1]);
    return line;
}

void KmlBuffer::Clear() {
    m_text.clear();
    m_shared.clear();
    m_entries.clear();
    m_materialized.clear();
    m_materializedValid = true;
}

void KmlBuffer::store(std::initializer_list<QStringView> pieces) {
    qsizetype n = 0;
    for (QStringView piece : pieces)
        n += piece.size();
    const qsizetype at = m_text.size();
    m_text.resize(at + n); // grows geometrically, so a long document adds in linear time
    char16_t *out = reinterpret_cast<char16_t *>(m_text.data()) + at;
    for (QStringView piece : pieces)
        out = put(out, piece);
}

void KmlBuffer::Add(const QString &entry) {
    Add({QStringView(entry)});
}

void KmlBuffer::Add(QString &&entry) {
    Add({QStringView(entry)});
}

void KmlBuffer::Add(std::initializer_list<QStringView> pieces) {
    const qsizetype start = m_text.size();
    store(pieces);
    const qsizetype size = m_text.size() - start;
    constexpr qsizetype Low = (qsizetype(1) << 31) - 1;
    m_entries.append(
        Entry{nullptr, start, {std::int32_t(size & Low), std::int32_t(size >> 31), 0, 0}, {}, {}});
    m_materializedValid = false;
}

void KmlBuffer::Add(const KmlTemplate &form, std::initializer_list<QStringView> values) {
    Q_ASSERT(values.size() <= KmlTemplate::MaxValues);
    for (QStringView v : values) {
        if (v.size() > std::numeric_limits<std::int32_t>::max()) {
            Add(form.filled(values)); // a value beyond the compact sizes: kept as its line
            return;
        }
    }
    Entry entry{&form, m_text.size(), {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
    std::array<QStringView, KmlTemplate::MaxValues> own;
    int owned = 0;
    int i = 0;
    for (QStringView v : values) {
        entry.size[i] = std::int32_t(v.size());
        for (qsizetype k = 0; k < m_shared.size() && !v.isEmpty(); ++k) {
            const QChar *begin = m_shared[k].constData();
            const QChar *p = v.data();
            if (p >= begin && p + v.size() <= begin + m_shared[k].size() && k < 255 &&
                p - begin <= std::numeric_limits<std::uint32_t>::max()) {
                entry.source[i] = std::uint8_t(k + 1);
                entry.at[i] = std::uint32_t(p - begin);
                break;
            }
        }
        if (entry.source[i] == 0)
            own[owned++] = v;
        ++i;
    }
    const qsizetype start = m_text.size();
    qsizetype n = 0;
    for (int k = 0; k < owned; ++k)
        n += own[k].size();
    m_text.resize(start + n);
    char16_t *out = reinterpret_cast<char16_t *>(m_text.data()) + start;
    for (int k = 0; k < owned; ++k)
        out = put(out, own[k]);
    m_entries.append(entry);
    m_materializedValid = false;
}

void KmlBuffer::append(const KmlBuffer &other) {
    reserve(count() + other.count());
    for (const Entry &entry : other.m_entries) {
        if (!entry.form) {
            Add({QStringView(other.m_text.utf16() + entry.start, entry.wholeSize())});
            continue;
        }
        std::array<QStringView, KmlTemplate::MaxValues> v;
        other.valuesOf(entry, v);
        Add(*entry.form, {v[0], v[1], v[2], v[3]});
    }
}

void KmlBuffer::shareText(const QString &text) {
    m_shared.append(text);
}

// A long export fills what it reserves right away: in 2 MiB pages it costs few page faults.
void KmlBuffer::reserve(qsizetype entries) {
    m_entries.reserve(entries);
    preferHugePages(m_entries.constData(), std::size_t(m_entries.capacity()) * sizeof(Entry));
}

void KmlBuffer::reserveText(qsizetype units) {
    m_text.reserve(units);
    preferHugePages(m_text.constData(), std::size_t(m_text.capacity()) * 2);
}

qsizetype KmlBuffer::length(const Entry &entry) const {
    if (!entry.form)
        return entry.wholeSize();
    const KmlTemplate &form = *entry.form;
    qsizetype n = form.fixed[0].size();
    for (int g = 0; g < form.gaps; ++g)
        n += entry.size[form.value[g]] + form.fixed[g + 1].size();
    return n;
}

// The fixed texts of the templates in UTF-8, made once a save: each line then copies them.
class KmlBuffer::Utf8Forms {
public:
    const std::array<QByteArray, KmlTemplate::MaxGaps + 1> &of(const KmlTemplate *form) {
        if (form != m_last.first) {
            auto known = std::find_if(m_forms.begin(), m_forms.end(),
                                      [form](const Form &f) { return f.first == form; });
            if (known == m_forms.end()) {
                Form made{form, {}};
                for (int i = 0; i <= form->gaps; ++i)
                    made.second[size_t(i)] = form->fixed[size_t(i)].toUtf8();
                known = m_forms.insert(m_forms.end(), made);
            }
            m_last = *known;
        }
        return m_last.second;
    }

private:
    using Form = std::pair<const KmlTemplate *, std::array<QByteArray, KmlTemplate::MaxGaps + 1>>;
    std::vector<Form> m_forms;
    Form m_last{nullptr, {}};
};

void KmlBuffer::valuesOf(const Entry &entry,
                         std::array<QStringView, KmlTemplate::MaxValues> &values) const {
    const char16_t *text = reinterpret_cast<const char16_t *>(m_text.utf16()) + entry.start;
    for (int i = 0; i < KmlTemplate::MaxValues; ++i) {
        if (entry.source[i] != 0) {
            values[i] =
                QStringView(m_shared[entry.source[i] - 1].constData() + entry.at[i], entry.size[i]);
            continue;
        }
        values[i] = QStringView(text, entry.size[i]);
        text += entry.size[i];
    }
}

template <typename Value, typename Fixed>
void KmlBuffer::forEachPiece(const Entry &entry, Value &&value, Fixed &&fixed) const {
    if (!entry.form) {
        const char16_t *text = reinterpret_cast<const char16_t *>(m_text.utf16()) + entry.start;
        value(QStringView(text, entry.wholeSize()));
        return;
    }
    std::array<QStringView, KmlTemplate::MaxValues> values;
    valuesOf(entry, values);
    const KmlTemplate &form = *entry.form;
    fixed(0);
    for (int g = 0; g < form.gaps; ++g) {
        value(values[form.value[g]]);
        fixed(g + 1);
    }
}

char16_t *KmlBuffer::write(const Entry &entry, char16_t *out) const {
    forEachPiece(
        entry, [&out](QStringView piece) { out = put(out, piece); },
        [&out, &entry](int i) { out = put(out, entry.form->fixed[size_t(i)]); });
    return out;
}

char *KmlBuffer::write(const Entry &entry, char *out, Utf8Forms &forms) const {
    const std::array<QByteArray, KmlTemplate::MaxGaps + 1> *fixed =
        entry.form ? &forms.of(entry.form) : nullptr;
    forEachPiece(
        entry, [&out](QStringView piece) { out = put(out, piece); },
        [&out, fixed](int i) {
            const QByteArray &text = (*fixed)[size_t(i)];
            std::memcpy(out, text.constData(), size_t(text.size()));
            out += text.size();
        });
    return out;
}

const QStringList &KmlBuffer::entries() const {
    if (!m_materializedValid) {
        m_materialized.clear();
        m_materialized.reserve(m_entries.size());
        for (const Entry &entry : m_entries) {
            QString line(length(entry), Qt::Uninitialized);
            write(entry, reinterpret_cast<char16_t *>(line.data()));
            m_materialized.append(line);
        }
        m_materializedValid = true;
    }
    return m_materialized;
}

QByteArray KmlBuffer::bytes() const {
    qsizetype units = 1;
    for (const Entry &entry : m_entries)
        units += length(entry) + 2;
    QString text(units, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    *out++ = 0xFEFF;
    for (const Entry &entry : m_entries)
        out = lineEnd(write(entry, out));
    QByteArray le(units * 2, Qt::Uninitialized);
    qToLittleEndian<quint16>(text.utf16(), units, le.data());
    return le;
}

qsizetype KmlBuffer::units() const {
    qsizetype n = 0;
    for (const Entry &entry : m_entries)
        n += length(entry) + 2;
    return n;
}

template <typename Unit, typename Put>
bool KmlBuffer::forEachChunk(QStringView start, Put &&consume) const {
    // The text is made a chunk at a time in one small buffer that stays in the cache, and
    // handed on from there: a million placemarks never exist as one text. A UTF-16 code unit
    // takes at most three bytes of UTF-8.
    constexpr qsizetype Expansion = sizeof(Unit) == 1 ? 3 : 1;
    qsizetype capacity = qMax(ChunkBytes / qsizetype(sizeof(Unit)), Expansion * start.size());
    std::unique_ptr<Unit[]> chunk(new Unit[size_t(capacity)]);
    [[maybe_unused]] Utf8Forms forms;
    qsizetype used = put(chunk.get(), start) - chunk.get();
    for (const Entry &entry : m_entries) {
        const qsizetype n = Expansion * length(entry) + 2;
        if (used + n > capacity) {
            if (!consume(chunk.get(), used))
                return false;
            used = 0;
            if (n > capacity) {
                capacity = n;
                chunk.reset(new Unit[size_t(capacity)]);
            }
        }
        if constexpr (sizeof(Unit) == 1)
            used = lineEnd(write(entry, chunk.get() + used, forms)) - chunk.get();
        else
            used = lineEnd(write(entry, chunk.get() + used)) - chunk.get();
    }
    return consume(chunk.get(), used);
}

bool KmlBuffer::writeDocument(ReplacingFile &file, KmlFileFormat format) const {
    const auto toFile = [&file](const char *bytes, qsizetype size) {
        return file.write(bytes, size);
    };
    switch (format) {
    case KmlFileFormat::Utf16:
        return forEachChunk<char16_t>(ByteOrderMark, [&](char16_t *text, qsizetype count) {
            if constexpr (Q_BYTE_ORDER != Q_LITTLE_ENDIAN)
                qToLittleEndian<quint16>(text, count, text);
            return toFile(reinterpret_cast<const char *>(text), count * 2);
        });
    case KmlFileFormat::Utf8:
        return forEachChunk<char>(Utf8Declaration, toFile);
    case KmlFileFormat::Kmz: {
        const std::uint64_t bound = 3 * std::uint64_t(units() + std::size(Utf8Declaration));
        zip::ZipWriter zip(toFile, KmzDocumentName, bound);
        return forEachChunk<char>(
                   Utf8Declaration,
                   [&zip](const char *bytes, qsizetype size) { return zip.write(bytes, size); }) &&
               zip.finish();
    }
    }
    return false;
}

void saveKmlFile(const QString &fileName, const char *temporarySuffix,
                 const std::function<bool(ReplacingFile &)> &write) {
    const QString early = creationFailure(fileName);
    if (!early.isEmpty())
        throw CommandError(cannotCreate(fileName, early));
    savebackup::settle(fileName);

    ReplacingFile file(fileName, temporarySuffix);
    if (file.error() != 0)
        throw CommandError(cannotCreate(fileName, systemErrorText(file.error())));

    if (!write(file))
        throw CommandError(streamWriteError(file.writeError()));
    if (!file.close())
        throw CommandError(streamWriteError(errno));
    if (!file.commit()) {
        const int error = errno;
        throw CommandError(file.failureNote().isEmpty()
                               ? cannotCreate(fileName, systemErrorText(error))
                               : streamWriteError(error) + file.failureNote());
    }
}

void KmlBuffer::SaveToFile(const QString &fileName, KmlFileFormat chosen) const {
    const KmlFileFormat format =
        fileName.endsWith(u".kmz", Qt::CaseInsensitive) ? KmlFileFormat::Kmz : chosen;
    saveKmlFile(fileName, format == KmlFileFormat::Kmz ? ".kmz.tmp" : ".kml.tmp",
                [&](ReplacingFile &file) { return writeDocument(file, format); });
}
