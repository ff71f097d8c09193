// Raw inflate (RFC 1951) a piece at a time, and CRC-32 through libdeflate. A zip entry is
// inflated into room that grows as its data arrives, never sized beforehand from what its
// header says. (Deflating is ParallelDeflate's, on every core.)
#pragma once

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace rawdeflate {

// Deflate's densest code: a 258-byte match in two bits. No stream inflates to more than this
// many times its own size.
inline constexpr std::uint64_t MaxRatio = 1032;

// One deflate stream over compressed bytes that outlive it, inflated by ISA-L (zlib in a build
// without it). Throws std::bad_alloc when its state cannot have its memory.
class Inflater {
public:
    explicit Inflater(QByteArrayView compressed);
    ~Inflater();
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    enum class Status {
        Full,   // room is full and the stream goes on
        End,    // the stream has ended; produced may be less than room
        BadData // not a deflate stream, or it does not end within the input
    };
    // Inflates the next bytes of the stream into at most room bytes at out; produced says how
    // many.
    Status inflate(char *out, std::size_t room, std::size_t &produced);

private:
    struct State;
    std::unique_ptr<State> m_state;
    QByteArrayView m_rest; // input not yet handed to the state
};

std::uint32_t crc32(QByteArrayView data, std::uint32_t crc = 0);

} // namespace rawdeflate
