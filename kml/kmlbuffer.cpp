// Output line buffer and its file format: FF FE, then each entry in UTF-16LE followed by CR LF.
// All entries share one text: an entry stored whole keeps its characters there, a template line
// only its values. A document of a million placemarks thus costs no allocation per entry and a
// third of the memory of its file, and is written from one small chunk that is filled again.
#include "kml/kmlbuffer.h"

#include "common/commanderror.h"
#include "common/replacingfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>

namespace {

constexpr qsizetype ChunkUnits = 512 * 1024;

char16_t *put(char16_t *out, QStringView text) {
    if (!text.isEmpty()) // an empty view may have no characters at all to point at
        std::memcpy(out, text.utf16(), size_t(text.size()) * 2);
    return out + text.size();
}

char16_t *lineEnd(char16_t *out) {
    out[0] = u'\r';
    out[1] = u'\n';
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
    // An existing file is rewritten in place where its folder takes no new files.
    if (info.exists() ? !info.isWritable() : !dir.isWritable())
        return systemErrorText(EACCES);
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

void KmlBuffer::shareText(const QString &text) {
    m_shared.append(text);
}

void KmlBuffer::reserve(qsizetype entries) {
    m_entries.reserve(entries);
}

void KmlBuffer::reserveText(qsizetype units) {
    m_text.reserve(units);
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

char16_t *KmlBuffer::write(const Entry &entry, char16_t *out) const {
    const char16_t *text = reinterpret_cast<const char16_t *>(m_text.utf16()) + entry.start;
    if (!entry.form)
        return put(out, QStringView(text, entry.wholeSize()));
    std::array<QStringView, KmlTemplate::MaxValues> values;
    for (int i = 0; i < KmlTemplate::MaxValues; ++i) {
        if (entry.source[i] != 0) {
            values[i] =
                QStringView(m_shared[entry.source[i] - 1].constData() + entry.at[i], entry.size[i]);
            continue;
        }
        values[i] = QStringView(text, entry.size[i]);
        text += entry.size[i];
    }
    const KmlTemplate &form = *entry.form;
    out = put(out, form.fixed[0]);
    for (int g = 0; g < form.gaps; ++g)
        out = put(put(out, values[form.value[g]]), form.fixed[g + 1]);
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

void KmlBuffer::SaveToFile(const QString &fileName) const {
    const QString early = creationFailure(fileName);
    if (!early.isEmpty())
        throw CommandError(cannotCreate(fileName, early));

    ReplacingFile file(fileName, ".kml.tmp");
    if (file.error() != 0)
        throw CommandError(cannotCreate(fileName, systemErrorText(file.error())));

    // The text is made a chunk at a time in one small buffer that stays in the cache, and
    // written from there: a million placemarks never exist as one text.
    qsizetype capacity = ChunkUnits;
    std::unique_ptr<char16_t[]> chunk(new char16_t[size_t(capacity)]);
    qsizetype used = 0;
    bool written = true;
    auto flush = [&] {
        if constexpr (Q_BYTE_ORDER != Q_LITTLE_ENDIAN)
            qToLittleEndian<quint16>(chunk.get(), used, chunk.get());
        written = written && file.write(reinterpret_cast<const char *>(chunk.get()), used * 2);
        used = 0;
    };
    chunk[used++] = 0xFEFF;
    for (const Entry &entry : m_entries) {
        const qsizetype n = length(entry) + 2;
        if (used + n > capacity) {
            flush();
            if (!written)
                break;
            if (n > capacity) {
                capacity = n;
                chunk.reset(new char16_t[size_t(capacity)]);
            }
        }
        used = lineEnd(write(entry, chunk.get() + used)) - chunk.get();
    }
    flush();
    if (!file.close() || !written)
        throw CommandError(QStringLiteral("Stream write error"));
    if (!file.commit())
        throw CommandError(file.failureNote().isEmpty()
                               ? cannotCreate(fileName, systemErrorText(errno))
                               : QStringLiteral("Stream write error") + file.failureNote());
}
