// The rebuilt Workbook stream as a plan: ranges of the original stream and bytes made anew, in
// order, with a map from old offsets to new for copied records, and patches over copied bytes
// (the stream offsets that moved). It becomes bytes only as it is written out, a piece at a
// time, so that a stream of many megabytes is not copied into a buffer of its own first.
#pragma once

#include "workbook/xls/biffrecords.h"

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

namespace workbook::xls {

class StreamPlan {
public:
    // The original stream and its records; both must outlive the plan.
    StreamPlan(const QByteArray &src, const std::vector<BiffRecord> &records)
        : m_src(src), m_records(records) {}

    // The size of the stream planned so far: where the next record goes.
    std::uint32_t pos() const { return m_size; }

    // Copies the original records [from, to).
    void copy(int from, int to) {
        if (from >= to)
            return;
        const BiffRecord &last = m_records[size_t(to - 1)];
        copyBytes(m_records[size_t(from)].offset, last.offset + 4 + last.length);
    }
    // Copies the original bytes [begin, end).
    void copyBytes(std::uint32_t begin, std::uint32_t end);
    // Adds a record made anew; returns where its header goes.
    std::uint32_t record(std::uint16_t type, const QByteArray &data);
    void append(const char *data, std::uint32_t size);

    // Where the byte at an old offset went; offsets in records written anew move with the
    // copied record before them.
    std::uint32_t map(std::uint32_t old) const;

    // Changes bytes of the planned stream at a new offset.
    void patch16(std::uint32_t at, std::uint16_t v);
    void patch32(std::uint32_t at, std::uint32_t v);

    // Hands the stream to put a piece at a time, in order; false as soon as put refuses one.
    bool write(const std::function<bool(QByteArrayView)> &put) const;
    QByteArray bytes() const;

private:
    struct Piece {
        std::uint32_t at; // in the new stream
        std::uint32_t size;
        std::uint32_t from; // in the old stream, or in m_made
        bool copied;
    };
    struct Patch {
        std::uint32_t at;
        char value;
    };

    void patch(std::uint32_t at, const char *bytes, int n);

    const QByteArray &m_src;
    const std::vector<BiffRecord> &m_records;
    std::vector<Piece> m_pieces;
    std::vector<std::size_t> m_copied; // the copied pieces, in order of their old offsets
    QByteArray m_made;
    std::vector<Patch> m_patches; // in the order made: a later one wins
    std::uint32_t m_size = 0;
};

// The small steps a plan is made of, inline: a plan of a big stream takes thousands of them.

inline void StreamPlan::copyBytes(std::uint32_t begin, std::uint32_t end) {
    if (begin >= end)
        return;
    // A range that goes on where the last one ended, with nothing between, extends it:
    // a sheet of a row per block is copied in one piece, not in one per row.
    if (!m_pieces.empty() && m_pieces.back().copied &&
        m_pieces.back().from + m_pieces.back().size == begin) {
        m_pieces.back().size += end - begin;
    } else {
        m_copied.push_back(m_pieces.size());
        m_pieces.push_back({m_size, end - begin, begin, true});
    }
    m_size += end - begin;
}

inline std::uint32_t StreamPlan::record(std::uint16_t type, const QByteArray &data) {
    const std::uint32_t at = pos();
    char header[4];
    put16(header, type);
    put16(header + 2, std::uint16_t(data.size()));
    append(header, 4);
    append(data.constData(), std::uint32_t(data.size()));
    return at;
}

inline void StreamPlan::append(const char *data, std::uint32_t size) {
    if (size == 0)
        return;
    if (m_pieces.empty() || m_pieces.back().copied)
        m_pieces.push_back({m_size, 0, std::uint32_t(m_made.size()), false});
    m_made.append(data, size);
    m_pieces.back().size += size;
    m_size += size;
}

inline std::uint32_t StreamPlan::map(std::uint32_t old) const {
    auto it = std::upper_bound(
        m_copied.begin(), m_copied.end(), old,
        [this](std::uint32_t v, std::size_t piece) { return v < m_pieces[piece].from; });
    if (it == m_copied.begin())
        return old;
    const Piece &p = m_pieces[*(it - 1)];
    return p.at + (old - p.from);
}

inline void StreamPlan::patch16(std::uint32_t at, std::uint16_t v) {
    char b[2];
    put16(b, v);
    patch(at, b, 2);
}

inline void StreamPlan::patch32(std::uint32_t at, std::uint32_t v) {
    char b[4];
    put32(b, v);
    patch(at, b, 4);
}

// Bytes made anew are changed where they lie; copied ones keep a patch for the writing.
inline void StreamPlan::patch(std::uint32_t at, const char *bytes, int n) {
    for (int i = 0; i < n; ++i, ++at) {
        auto it = std::upper_bound(m_pieces.begin(), m_pieces.end(), at,
                                   [](std::uint32_t v, const Piece &p) { return v < p.at; });
        if (it == m_pieces.begin() || at >= m_size)
            continue; // outside the stream: nothing there to patch
        const Piece &p = *(it - 1);
        if (p.copied)
            m_patches.push_back({at, bytes[i]});
        else
            m_made[qsizetype(p.from + (at - p.at))] = bytes[i];
    }
}

} // namespace workbook::xls
