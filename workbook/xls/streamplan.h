// The rebuilt Workbook stream as a plan: ranges of the original stream and bytes made anew, in
// order, with a map from old offsets to new for copied records, and patches over copied bytes
// (the stream offsets that moved). It becomes bytes only as it is written out, a piece at a
// time, so that a stream of many megabytes is not copied into a buffer of its own first.
#pragma once

#include "workbook/xls/biffrecords.h"

#include <QByteArray>
#include <QByteArrayView>

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

} // namespace workbook::xls
