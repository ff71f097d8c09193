// Shared string table: a walk over the existing strings, and appending by the CONTINUE rules.
#include "workbook/xls/sstwriter.h"

#include "common/commanderror.h"
#include "workbook/xls/xlserrors.h"

#include <algorithm>

namespace workbook::xls {

namespace {

constexpr std::uint8_t Wide = 0x01, Phonetic = 0x04, Rich = 0x08;

} // namespace

SstWriter::SstWriter(const QByteArray &stream, const std::vector<BiffRecord> &records, int first)
    : m_stream(stream), m_records(records), m_first(first) {
    if (first < 0)
        return;
    m_end = first + 1;
    while (size_t(m_end) < records.size() && records[size_t(m_end)].type == rec::Continue)
        ++m_end;
    m_originalCount = m_end - first;
    int length = 0;
    const char *data = recordData(0, length);
    if (length < 8)
        damagedForWriting();
    m_originalTotal = m_total = u32(data);
    m_originalUnique = m_unique = u32(data + 4);
    // Every string is checked now; where each one starts is noted only once it is asked for
    // (a changed text, a new EXTSST), which most changes never do.
    walk(nullptr);
}

const std::vector<SstWriter::Entry> &SstWriter::entries() const {
    if (m_first >= 0 && !m_entriesKnown) {
        walk(&m_entries);
        m_entriesKnown = true;
    }
    return m_entries;
}

const char *SstWriter::recordData(int ordinal, int &length) const {
    const BiffRecord &r = m_records[size_t(m_first + ordinal)];
    length = r.length;
    return r.data(m_stream);
}

void SstWriter::walk(std::vector<Entry> *entries) const {
    int length = 0;
    const char *data = recordData(0, length);
    if (entries) {
        // Each string takes at least three bytes: never trust the count for the reservation.
        std::uint64_t bytes = 0;
        for (int k = 0; k < m_originalCount; ++k)
            bytes += m_records[size_t(m_first + k)].length;
        entries->reserve(size_t(std::min<std::uint64_t>(m_originalUnique, bytes / 3 + 1)));
    }

    int k = 0;
    int p = 8;
    auto nextRecord = [&] {
        if (++k >= m_originalCount)
            damagedForWriting();
        data = recordData(k, length);
        p = 0;
    };
    for (std::uint32_t i = 0; i < m_originalUnique; ++i) {
        if (p == length)
            nextRecord(); // a string that starts a CONTINUE has no flag byte there
        if (p + 3 > length)
            damagedForWriting();
        const std::uint16_t cch = u16(data + p);
        const std::uint8_t flags = std::uint8_t(data[p + 2]);
        Entry entry{k, std::uint32_t(p), cch, (flags & (Rich | Phonetic)) == 0};
        p += 3;
        std::uint64_t trailing = 0;
        if (flags & Rich) {
            if (p + 2 > length)
                damagedForWriting();
            trailing += 4u * u16(data + p);
            p += 2;
        }
        if (flags & Phonetic) {
            if (p + 4 > length)
                damagedForWriting();
            trailing += u32(data + p);
            p += 4;
        }
        bool wide = flags & Wide;
        int remaining = cch;
        while (remaining > 0) {
            if (p == length) {
                nextRecord();
                if (length < 1)
                    damagedForWriting();
                wide = data[0] & Wide; // characters go on behind one flag byte
                p = 1;
            }
            const int size = wide ? 2 : 1;
            const int take = std::min(remaining, (length - p) / size);
            if (take == 0)
                damagedForWriting();
            p += take * size;
            remaining -= take;
        }
        // Runs and phonetic data continue raw.
        while (trailing > 0) {
            if (p == length)
                nextRecord();
            const int take = int(std::min<std::uint64_t>(trailing, std::uint64_t(length - p)));
            p += take;
            trailing -= std::uint64_t(take);
        }
        if (entries)
            entries->push_back(entry);
    }
    // Anything after the last string would be read as the first appended one.
    if (k != m_originalCount - 1 || p != length)
        damagedForWriting();
}

QString SstWriter::text(std::uint32_t i) const {
    if (i >= m_unique)
        return QString();
    if (i >= m_originalUnique)
        return m_addedTexts[i - m_originalUnique];
    const Entry &e = entries()[i];
    int k = e.record;
    int length = 0;
    const char *data = recordData(k, length);
    int p = int(e.offset);
    const std::uint8_t flags = std::uint8_t(data[p + 2]);
    p += 3 + ((flags & Rich) ? 2 : 0) + ((flags & Phonetic) ? 4 : 0);
    bool wide = flags & Wide;
    QString out;
    out.reserve(e.length);
    while (out.size() < e.length) {
        if (p == length) {
            data = recordData(++k, length);
            wide = data[0] & Wide;
            p = 1;
        }
        const int size = wide ? 2 : 1;
        const int take = std::min(int(e.length - out.size()), (length - p) / size);
        for (int c = 0; c < take; ++c, p += size)
            out.append(wide ? QChar(u16(data + p)) : QChar(uchar(data[p])));
    }
    return out;
}

std::uint32_t SstWriter::indexOf(const QString &text) {
    const auto added = m_added.constFind(text);
    if (added != m_added.cend())
        return added.value();
    const std::vector<Entry> &known = entries();
    for (std::uint32_t i = 0; i < known.size(); ++i) {
        const Entry &e = known[i];
        if (e.plain && e.length == text.size() && this->text(i) == text)
            return i;
    }
    appendString(text);
    m_added.insert(text, m_unique);
    m_addedTexts.push_back(text);
    return m_unique++;
}

void SstWriter::countReferences(int delta) {
    const std::int64_t total = std::int64_t(m_total) + delta;
    m_total = std::uint32_t(std::clamp<std::int64_t>(total, 0, 0xFFFFFFFF));
}

SstWriter::Start SstWriter::start(std::uint32_t i) const {
    if (i < m_originalUnique)
        return {entries()[i].record, entries()[i].offset};
    return m_addedStarts[i - m_originalUnique];
}

int SstWriter::currentLength() const {
    if (!m_new.empty())
        return int(m_new.back().size());
    return m_records[size_t(m_end - 1)].length + int(m_tail.size());
}

void SstWriter::appendBytes(const char *p, int n) {
    if (m_new.empty())
        m_tail.append(p, n);
    else
        m_new.back().append(p, n);
}

void SstWriter::startRecord() {
    m_new.emplace_back();
}

void SstWriter::appendString(const QString &text) {
    if (m_first < 0 && m_new.empty())
        m_new.emplace_back(8, '\0'); // the SST itself; its counts are set when written
    const bool compressed =
        std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
    const int size = compressed ? 1 : 2;
    const int n = int(text.size());
    // The header and the first character never part; a surrogate pair stays whole.
    const int firstUnits = n == 0 ? 0 : (!compressed && n > 1 && text[0].isHighSurrogate() ? 2 : 1);
    if (currentLength() + 3 + firstUnits * size > MaxRecordData)
        startRecord();
    m_addedStarts.push_back(
        {m_originalCount + int(m_new.size()) - 1, std::uint32_t(currentLength())});
    char header[3];
    put16(header, std::uint16_t(n));
    header[2] = compressed ? 0 : Wide;
    appendBytes(header, 3);

    QByteArray chunk;
    int pos = 0;
    while (pos < n) {
        int k = std::min(n - pos, std::max(0, MaxRecordData - currentLength()) / size);
        if (k > 0 && !compressed && pos + k < n && text[pos + k - 1].isHighSurrogate())
            --k;
        if (k == 0) {
            startRecord();
            const char flag = compressed ? 0 : Wide;
            appendBytes(&flag, 1);
            continue;
        }
        chunk.resize(qsizetype(k) * size);
        for (int c = 0; c < k; ++c) {
            const char16_t u = text[pos + c].unicode();
            if (compressed) {
                chunk[c] = char(u);
            } else {
                chunk[2 * c] = char(u & 0xFF);
                chunk[2 * c + 1] = char(u >> 8);
            }
        }
        appendBytes(chunk.constData(), int(chunk.size()));
        pos += k;
    }
}

} // namespace workbook::xls
