// The inflater's two engines behind one loop: ISA-L's, about as fast as libdeflate's
// whole-buffer one, and zlib's, half as fast, in a build without ISA-L. Both take their input
// and output in pieces of at most 32-bit sizes.
#include "common/rawdeflate.h"

#include <libdeflate.h>
#ifdef KMLMAKER_ISAL
#include <isa-l/igzip_lib.h>
#else
#include <zlib.h>
#endif

#include <algorithm>
#include <new>

namespace rawdeflate {

namespace {

constexpr std::size_t MaxPiece = std::size_t(1) << 30;

} // namespace

#ifdef KMLMAKER_ISAL

struct Inflater::State {
    inflate_state s;

    State() {
        isal_inflate_init(&s);
        s.crc_flag = ISAL_DEFLATE;
    }
    bool inputUsed() const { return s.avail_in == 0; }
    void give(QByteArrayView in) {
        s.next_in = reinterpret_cast<std::uint8_t *>(const_cast<char *>(in.data()));
        s.avail_in = std::uint32_t(in.size());
    }
    // Inflates into out; false on bad data. ended: the stream's end is met and all out.
    bool step(char *out, std::size_t room, std::size_t &produced, bool &ended) {
        s.next_out = reinterpret_cast<std::uint8_t *>(out);
        s.avail_out = std::uint32_t(room);
        const int r = isal_inflate(&s);
        produced = room - s.avail_out;
        ended = s.block_state == ISAL_BLOCK_FINISH;
        return r >= 0;
    }
};

#else

struct Inflater::State {
    z_stream s{};

    State() {
        if (inflateInit2(&s, -15) != Z_OK)
            throw std::bad_alloc();
    }
    ~State() { inflateEnd(&s); }
    bool inputUsed() const { return s.avail_in == 0; }
    void give(QByteArrayView in) {
        s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
        s.avail_in = uInt(in.size());
    }
    bool step(char *out, std::size_t room, std::size_t &produced, bool &ended) {
        s.next_out = reinterpret_cast<Bytef *>(out);
        s.avail_out = uInt(room);
        const int r = ::inflate(&s, Z_NO_FLUSH);
        produced = room - s.avail_out;
        ended = r == Z_STREAM_END;
        return r == Z_OK || r == Z_STREAM_END || r == Z_BUF_ERROR;
    }
};

#endif

Inflater::Inflater(QByteArrayView compressed)
    : m_state(std::make_unique<State>()), m_rest(compressed) {}

Inflater::~Inflater() = default;

Inflater::Status Inflater::inflate(char *out, std::size_t room, std::size_t &produced) {
    produced = 0;
    for (;;) {
        if (m_state->inputUsed() && !m_rest.isEmpty()) {
            const qsizetype piece = qsizetype(std::min(std::size_t(m_rest.size()), MaxPiece));
            m_state->give(m_rest.first(piece));
            m_rest = m_rest.sliced(piece);
        }
        const std::size_t step = std::min(room - produced, MaxPiece);
        std::size_t made = 0;
        bool ended = false;
        if (!m_state->step(out + produced, step, made, ended))
            return Status::BadData;
        produced += made;
        if (ended)
            return Status::End;
        if (produced == room)
            return Status::Full;
        if (made == 0 && m_state->inputUsed() && m_rest.isEmpty())
            return Status::BadData;
    }
}

std::uint32_t crc32(QByteArrayView data, std::uint32_t crc) {
    return std::uint32_t(libdeflate_crc32(crc, data.constData(), std::size_t(data.size())));
}

} // namespace rawdeflate
