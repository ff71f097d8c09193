// The stream plan: pieces copied or made, the map from old offsets to new, and patches.
#include "workbook/xls/streamplan.h"

#include <algorithm>
#include <cstring>

namespace workbook::xls {

void StreamPlan::copyBytes(std::uint32_t begin, std::uint32_t end) {
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

std::uint32_t StreamPlan::record(std::uint16_t type, const QByteArray &data) {
    const std::uint32_t at = pos();
    char header[4];
    put16(header, type);
    put16(header + 2, std::uint16_t(data.size()));
    append(header, 4);
    append(data.constData(), std::uint32_t(data.size()));
    return at;
}

void StreamPlan::append(const char *data, std::uint32_t size) {
    if (size == 0)
        return;
    if (m_pieces.empty() || m_pieces.back().copied)
        m_pieces.push_back({m_size, 0, std::uint32_t(m_made.size()), false});
    m_made.append(data, size);
    m_pieces.back().size += size;
    m_size += size;
}

std::uint32_t StreamPlan::map(std::uint32_t old) const {
    auto it = std::upper_bound(
        m_copied.begin(), m_copied.end(), old,
        [this](std::uint32_t v, std::size_t piece) { return v < m_pieces[piece].from; });
    if (it == m_copied.begin())
        return old;
    const Piece &p = m_pieces[*(it - 1)];
    return p.at + (old - p.from);
}

void StreamPlan::patch16(std::uint32_t at, std::uint16_t v) {
    char b[2];
    put16(b, v);
    patch(at, b, 2);
}

void StreamPlan::patch32(std::uint32_t at, std::uint32_t v) {
    char b[4];
    put32(b, v);
    patch(at, b, 4);
}

bool StreamPlan::write(const std::function<bool(QByteArrayView)> &put) const {
    std::vector<Patch> patches = m_patches;
    std::stable_sort(patches.begin(), patches.end(),
                     [](const Patch &a, const Patch &b) { return a.at < b.at; });
    auto next = patches.cbegin();
    constexpr std::uint32_t Chunk = 64 * 1024;
    char scratch[Chunk];
    for (const Piece &p : m_pieces) {
        const char *from = p.copied ? m_src.constData() + p.from : m_made.constData() + p.from;
        for (std::uint32_t done = 0; done < p.size;) {
            const std::uint32_t begin = p.at + done;
            std::uint32_t n = p.size - done;
            // Bytes without a patch go as they are; around a patch, through a small copy.
            if (next == patches.cend() || next->at >= begin + n) {
                if (!put(QByteArrayView(from + done, qsizetype(n))))
                    return false;
                done += n;
                continue;
            }
            if (next->at > begin) {
                n = next->at - begin;
                if (!put(QByteArrayView(from + done, qsizetype(n))))
                    return false;
                done += n;
                continue;
            }
            n = std::min(n, Chunk);
            std::memcpy(scratch, from + done, n);
            for (; next != patches.cend() && next->at < begin + n; ++next)
                scratch[next->at - begin] = next->value;
            if (!put(QByteArrayView(scratch, qsizetype(n))))
                return false;
            done += n;
        }
    }
    return true;
}

QByteArray StreamPlan::bytes() const {
    QByteArray out;
    out.reserve(qsizetype(m_size));
    write([&out](QByteArrayView piece) {
        out.append(piece);
        return true;
    });
    return out;
}

// Bytes made anew are changed where they lie; copied ones keep a patch for the writing.
void StreamPlan::patch(std::uint32_t at, const char *bytes, int n) {
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
