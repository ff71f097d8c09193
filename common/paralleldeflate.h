// One raw deflate stream made on every core: the input is cut into chunks that are compressed
// at the same time and joined in order into a single stream that any inflater reads.
#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class ParallelDeflate {
public:
    // Receives the compressed stream in order; false stops the work (a write that failed).
    using Output = std::function<bool(const char *data, qsizetype size)>;

    static constexpr qsizetype DefaultChunkBytes = qsizetype(1) << 20;

    // At the fastest level, which for text such as KML still saves some nine tenths. threads:
    // how many compress at once, 0 for one per core. Throws std::bad_alloc when the compressor
    // cannot have its memory.
    explicit ParallelDeflate(Output output, int threads = 0,
                             qsizetype chunkBytes = DefaultChunkBytes);
    ~ParallelDeflate();
    ParallelDeflate(const ParallelDeflate &) = delete;
    ParallelDeflate &operator=(const ParallelDeflate &) = delete;

    // Adds input. False once the output has failed.
    bool write(const char *data, qsizetype size);
    // Ends the stream and hands out the rest of it. False when the output failed.
    bool finish();

    // Of all the input: its CRC-32 and size; and the size of the stream. Complete after finish().
    std::uint32_t crc() const { return m_crc; }
    std::uint64_t sizeIn() const { return m_sizeIn; }
    std::uint64_t sizeOut() const { return m_sizeOut; }

private:
    struct Chunk;
    class Stream;

    Chunk &filling() { return *m_ring[size_t(m_filling)]; }
    void submit(bool last);
    bool oldestDone();
    // Waits for the oldest submitted chunk, hands out its stream and frees its place.
    bool collectOldest();
    void work();

    Output m_output;
    qsizetype m_chunkBytes;
    // Chunks in input order, round the ring: from m_oldest, m_pending submitted ones, then the
    // one being filled.
    std::vector<std::unique_ptr<Chunk>> m_ring;
    qsizetype m_oldest = 0;
    qsizetype m_pending = 0;
    qsizetype m_filling = 0;
    std::uint32_t m_crc = 0;
    std::uint64_t m_sizeIn = 0;
    std::uint64_t m_sizeOut = 0;
    bool m_failed = false;
    bool m_finished = false;

    std::mutex m_mutex;
    std::condition_variable m_work; // a chunk waits to be compressed, or the end has come
    std::condition_variable m_done; // a chunk is compressed
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
    std::unique_ptr<Stream> m_ownStream; // compresses on the calling thread when none started
};
