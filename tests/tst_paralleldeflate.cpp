// The deflate stream made on several threads: zlib's inflate reads it back whole, for any
// number of threads and chunks, and its checksum and sizes are those of the input.
#include "common/paralleldeflate.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QTest>

#include <zlib.h>

class TestParallelDeflate : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void failedOutputStops();
};

namespace {

// The raw deflate stream's content, or a null array when zlib finds it broken or unfinished.
QByteArray inflated(const QByteArray &stream) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK)
        return {};
    QByteArray out(0, Qt::Uninitialized);
    out.reserve(stream.size() * 4 + 64);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(stream.constData()));
    z.avail_in = uInt(stream.size());
    char buffer[65536];
    int r = Z_OK;
    while (r == Z_OK) {
        z.next_out = reinterpret_cast<Bytef *>(buffer);
        z.avail_out = sizeof buffer;
        r = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
    }
    const bool whole = r == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    return whole ? out : QByteArray();
}

// Text that repeats across chunk boundaries, as a KML document does, with some noise that does
// not compress.
QByteArray sample(qsizetype size) {
    QRandomGenerator rng(7);
    QByteArray out;
    out.reserve(size + 200);
    while (out.size() < size) {
        out += "<Placemark><name>";
        out += QByteArray::number(rng.generate(), 36);
        out += "</name><coordinates>116.39,39.91,0</coordinates></Placemark>\r\n";
    }
    out.truncate(size);
    return out;
}

} // namespace

void TestParallelDeflate::roundTrip_data() {
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("chunk");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("piece"); // bytes handed over a write at a time
    QTest::newRow("empty") << 2 << 65536 << 0 << 1;
    QTest::newRow("less than a chunk") << 2 << 65536 << 1000 << 1000;
    QTest::newRow("exactly one chunk") << 2 << 65536 << 65536 << 65536;
    QTest::newRow("one byte more") << 2 << 65536 << 65537 << 4096;
    QTest::newRow("many chunks, one thread") << 1 << 40000 << 1000000 << 7777;
    QTest::newRow("many chunks, three threads") << 3 << 40000 << 1000000 << 100000;
    QTest::newRow("chunks smaller than the window") << 2 << 5000 << 200000 << 333;
}

void TestParallelDeflate::roundTrip() {
    QFETCH(int, threads);
    QFETCH(int, chunk);
    QFETCH(int, size);
    QFETCH(int, piece);
    const QByteArray input = sample(size);
    QByteArray stream;
    qsizetype calls = 0;
    ParallelDeflate deflate(
        [&](const char *data, qsizetype n) {
            stream.append(data, n);
            ++calls;
            return true;
        },
        threads, chunk);
    for (qsizetype at = 0; at < input.size(); at += piece)
        QVERIFY(deflate.write(input.constData() + at, qMin<qsizetype>(piece, input.size() - at)));
    QVERIFY(deflate.finish());
    QCOMPARE(inflated(stream), input);
    QCOMPARE(deflate.crc(), quint32(crc32(0, reinterpret_cast<const Bytef *>(input.constData()),
                                          uInt(input.size()))));
    QCOMPARE(deflate.sizeIn(), quint64(input.size()));
    QCOMPARE(deflate.sizeOut(), quint64(stream.size()));
    QCOMPARE(calls, qMax<qsizetype>(1, (input.size() + chunk - 1) / chunk));
    if (size >= 200000) // priming keeps the cuts from costing much
        QVERIFY(stream.size() < input.size() / 2);
}

// A failed write of the output ends the work: no more output, and false from then on.
void TestParallelDeflate::failedOutputStops() {
    const QByteArray input = sample(500000);
    int calls = 0;
    ParallelDeflate deflate(
        [&](const char *, qsizetype) {
            ++calls;
            return false;
        },
        2, 20000);
    bool written = true;
    for (qsizetype at = 0; at < input.size() && written; at += 10000)
        written = deflate.write(input.constData() + at, 10000);
    QVERIFY(!written);
    QVERIFY(!deflate.finish());
    QCOMPARE(calls, 1);
}

QTEST_GUILESS_MAIN(TestParallelDeflate)
#include "tst_paralleldeflate.moc"
