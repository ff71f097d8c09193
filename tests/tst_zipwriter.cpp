// The one-file zip archive as two independent readers see it: python3's zipfile and unzip -t,
// with and without zip64 records.
#include "common/zip/zipwriter.h"
#include "zipreading.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestZipWriter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readBack_data();
    void readBack();
    void headerAnnouncesZip64ForLargeFile();
    void failedOutputFails();
};

namespace {

const QDateTime Modified(QDate(2024, 6, 11), QTime(13, 45, 31));

QByteArray text(qsizetype size) {
    QByteArray out;
    for (int i = 0; out.size() < size; ++i)
        out += "<Placemark><name>" + QByteArray::number(i) + "</name></Placemark>\r\n";
    out.truncate(size);
    return out;
}

// Writes the archive of content to a file; empty when the writer failed.
QString archive(const QTemporaryDir &dir, const QByteArray &content, std::uint64_t sizeBound,
                zip::ZipWriter::Zip64 zip64, QByteArray *bytes = nullptr) {
    QByteArray out;
    zip::ZipWriter zip(
        [&out](const char *data, qsizetype size) {
            out.append(data, size);
            return true;
        },
        "doc.kml", sizeBound, zip64, Modified);
    for (qsizetype at = 0; at < content.size(); at += 100000)
        if (!zip.write(content.constData() + at, qMin<qsizetype>(100000, content.size() - at)))
            return {};
    if (!zip.finish())
        return {};
    const QString path = dir.filePath(QStringLiteral("out.zip"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size())
        return {};
    if (bytes)
        *bytes = out;
    return path;
}

quint64 little(const QByteArray &b, qsizetype at, int size) {
    quint64 v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = v << 8 | quint8(b[at + i]);
    return v;
}

quint16 u16(const QByteArray &b, qsizetype at) {
    return quint16(little(b, at, 2));
}

// The data descriptor after the member's data, as a reader that walks the local headers finds
// it: CRC, compressed and uncompressed size (8 bytes each after a zip64 local header).
QList<quint64> descriptor(const QByteArray &b, qint64 compressed) {
    const qsizetype at = 30 + u16(b, 26) + u16(b, 28) + compressed;
    if (little(b, at, 4) != 0x08074b50)
        return {};
    const int size = u16(b, 4) == 45 ? 8 : 4;
    return {little(b, at + 4, 4), little(b, at + 8, size), little(b, at + 8 + size, size)};
}

} // namespace

void TestZipWriter::readBack_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("always64");
    QTest::newRow("empty") << 0 << false;
    QTest::newRow("text") << 3000000 << false;
    QTest::newRow("empty, zip64 records") << 0 << true;
    QTest::newRow("text, zip64 records") << 3000000 << true;
}

void TestZipWriter::readBack() {
    QFETCH(int, size);
    QFETCH(bool, always64);
    QTemporaryDir dir;
    const QByteArray content = text(size);
    QByteArray bytes;
    const QString path =
        archive(dir, content, std::uint64_t(size),
                always64 ? zip::ZipWriter::Zip64::Always : zip::ZipWriter::Zip64::AsNeeded, &bytes);
    QVERIFY(!path.isEmpty());
    const zipreading::Archive a = zipreading::read(path);
    QVERIFY2(a.read, qPrintable(a.error));
    QCOMPARE(a.members.size(), 1);
    const zipreading::Member &m = a.members[0];
    QCOMPARE(m.name, u"doc.kml"_qs);
    QCOMPARE(m.method, 8); // deflated
    QCOMPARE(m.size, qint64(size));
    QCOMPARE(m.data, content);
    QCOMPARE(m.flags & 0x8, 0x8); // sizes in a data descriptor
    QCOMPARE(descriptor(bytes, m.compressed),
             (QList<quint64>{m.crc, quint64(m.compressed), quint64(m.size)}));
    QCOMPARE(m.dateTime, (QJsonArray{2024, 6, 11, 13, 45, 30}));
    QCOMPARE(a.zip64, always64);
    if (size > 0)
        QVERIFY(m.compressed < m.size / 4);
    if (zipreading::unzipAvailable())
        QCOMPARE(zipreading::unzipTest(path), QString());
}

// A file that may pass 4 GiB has zip64 sizes from its local header on, whatever it comes to;
// readers that walk the local headers then take 8-byte sizes from its data descriptor.
void TestZipWriter::headerAnnouncesZip64ForLargeFile() {
    QTemporaryDir dir;
    QByteArray bytes;
    const QByteArray content = text(5000);
    const QString path =
        archive(dir, content, std::uint64_t(5) << 30, zip::ZipWriter::Zip64::AsNeeded, &bytes);
    QVERIFY(!path.isEmpty());
    QCOMPARE(u16(bytes, 4), quint16(45));              // version needed: zip64
    QCOMPARE(bytes.mid(18, 8), QByteArray(8, '\xFF')); // sizes in the extra field
    QCOMPARE(u16(bytes, 28), quint16(20));             // extra field length
    QCOMPARE(u16(bytes, 30 + 7), quint16(1));          // the zip64 extra field
    const zipreading::Archive a = zipreading::read(path);
    QVERIFY2(a.read, qPrintable(a.error));
    QCOMPARE(a.members.size(), 1);
    QCOMPARE(a.members[0].data, content);
    QCOMPARE(descriptor(bytes, a.members[0].compressed),
             (QList<quint64>{a.members[0].crc, quint64(a.members[0].compressed), 5000}));
    if (zipreading::unzipAvailable())
        QCOMPARE(zipreading::unzipTest(path), QString());
}

void TestZipWriter::failedOutputFails() {
    int calls = 0;
    zip::ZipWriter zip(
        [&calls](const char *, qsizetype) {
            ++calls;
            return false;
        },
        "doc.kml", 100);
    QVERIFY(!zip.write("abc", 3));
    QVERIFY(!zip.finish());
    QCOMPARE(calls, 1); // the local header, then nothing
}

QTEST_GUILESS_MAIN(TestZipWriter)
#include "tst_zipwriter.moc"
