// The stream plan: pieces copied or made, the map from old offsets to new, and patches.
#include "workbook/xls/streamplan.h"

#include <algorithm>
#include <cstring>

namespace workbook::xls {

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

} // namespace workbook::xls
