// The zip layer reads what libzip reads, copies untouched entries byte for byte when it writes
// an archive again, and turns every kind of damage into an error naming it.
#include "common/zip/ziparchive.h"
#include "libzipreading.h"
#include "testsupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <QtEndian>

#include <map>

using zip::Archive;
using zip::Entry;
using zip::EntryChange;

namespace {

// An archive of tests/data/zip.
QByteArray archiveFile(const char *name) {
    return testsupport::readFile(
        testsupport::dataFile(QStringLiteral("zip/") + QLatin1String(name)));
}

std::map<QByteArray, QByteArray> readByUs(const QByteArray &bytes) {
    std::map<QByteArray, QByteArray> out;
    const Archive archive(bytes);
    for (const Entry &e : archive.entries())
        out[e.name] = archive.read(e);
    return out;
}

QByteArray rewritten(const QByteArray &bytes, const std::vector<EntryChange> &changes) {
    const Archive archive(bytes);
    QByteArray out;
    const bool ok = zip::rewrite(archive, changes, [&](QByteArrayView piece) {
        out.append(piece);
        return true;
    });
    return ok ? out : QByteArray();
}

quint32 le32(const QByteArray &b, qsizetype at) {
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8 |
           quint32(uchar(b[at + 2])) << 16 | quint32(uchar(b[at + 3])) << 24;
}
void putLe16(QByteArray &b, qsizetype at, quint16 v) {
    b[at] = char(v);
    b[at + 1] = char(v >> 8);
}
void putLe32(QByteArray &b, qsizetype at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i));
}

// Where the central record and the local header of the named entry are.
qsizetype centralOf(const QByteArray &zip, const QByteArray &name) {
    const Archive archive(zip);
    return qsizetype(archive.find(name)->centralOffset);
}
qsizetype localOf(const QByteArray &zip, const QByteArray &name) {
    const Archive archive(zip);
    return qsizetype(archive.find(name)->localOffset);
}

QString errorOf(const QByteArray &bytes) {
    try {
        readByUs(bytes);
    } catch (const DamagedFile &e) {
        return e.why;
    }
    return QString();
}

} // namespace

class TestZipArchive : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readsAsLibzip_data();
    void readsAsLibzip();
    void rewriteKeepsUntouchedEntries_data();
    void rewriteKeepsUntouchedEntries();
    void rewriteWritesZip64OnlyWhereNeeded();
    void readsAcrossItsFirstRoom_data();
    void readsAcrossItsFirstRoom();
    void readRefusesBeyondItsLimit();
    void damaged_data();
    void damaged();
    void damageNeverCrashes();
};

void TestZipArchive::readsAsLibzip_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("stored, deflated, UTF-8 name, comment") << QByteArray("plain.zip");
    QTest::newRow("data descriptors") << QByteArray("descriptor.zip");
    QTest::newRow("zip64 headers") << QByteArray("zip64.zip");
}

void TestZipArchive::readsAsLibzip() {
    QFETCH(QByteArray, file);
    const QByteArray bytes = archiveFile(file.constData());
    QVERIFY(!bytes.isEmpty());
    const auto expected = readByLibzip(bytes);
    QVERIFY(!expected.empty());
    QVERIFY(readByUs(bytes) == expected);
}

void TestZipArchive::rewriteKeepsUntouchedEntries_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("changed");
    QTest::addColumn<QByteArray>("removed");
    QTest::newRow("plain: a deflated part")
        << QByteArray("plain.zip") << QByteArray("part/text.xml") << QByteArray();
    QTest::newRow("plain: stored first entry, another removed")
        << QByteArray("plain.zip") << QByteArray("mimetype") << QByteArray("名前/空.txt");
    QTest::newRow("descriptors") << QByteArray("descriptor.zip") << QByteArray("a.xml")
                                 << QByteArray();
    QTest::newRow("zip64") << QByteArray("zip64.zip") << QByteArray("second.xml")
                           << QByteArray("first.txt");
    QTest::newRow("zip64, name in another case")
        << QByteArray("zip64.zip") << QByteArray("SECOND.xml") << QByteArray();
}

void TestZipArchive::rewriteKeepsUntouchedEntries() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, changed);
    QFETCH(QByteArray, removed);
    const QByteArray bytes = archiveFile(file.constData());
    QByteArray content = "<new>" + QByteArray(5000, 'x') + "</new>";
    std::vector<EntryChange> changes{{changed, content}};
    if (!removed.isEmpty())
        changes.push_back({removed, std::nullopt});
    const QByteArray out = rewritten(bytes, changes);
    QVERIFY(!out.isEmpty());

    auto expected = readByLibzip(bytes);
    const Archive before(bytes);
    const QByteArray changedName = before.find(changed)->name;
    expected[changedName] = content;
    if (!removed.isEmpty())
        expected.erase(removed);
    QVERIFY(readByLibzip(out) == expected);
    QVERIFY(readByUs(out) == expected);

    // Untouched entries: the same local header and data, the same central record but for its
    // offset, in the same order; the changed one keeps its place and its way of compression.
    const Archive after(out);
    std::vector<QByteArray> orderBefore, orderAfter;
    for (const Entry &e : before.entries())
        if (e.name != removed)
            orderBefore.push_back(e.name);
    for (const Entry &e : after.entries())
        orderAfter.push_back(e.name);
    QVERIFY(orderBefore == orderAfter);
    for (const Entry &e : after.entries()) {
        const Entry &old = *before.find(e.name);
        if (e.name == changedName) {
            QCOMPARE(e.method, old.method);
            continue;
        }
        QCOMPARE(after.raw(e), before.raw(old));
        QByteArray central = after.centralRecord(e).toByteArray();
        QByteArray oldCentral = before.centralRecord(old).toByteArray();
        putLe32(central, 42, 0);
        putLe32(oldCentral, 42, 0);
        QCOMPARE(central, oldCentral);
    }
    QCOMPARE(after.comment(), before.comment());
}

// An entry whose old local header had zip64 sizes gets plain ones when its new sizes fit 32
// bits, in its header and its directory record alike.
void TestZipArchive::rewriteWritesZip64OnlyWhereNeeded() {
    const QByteArray out =
        rewritten(archiveFile("zip64.zip"), {{"second.xml", QByteArray(70000, 'y')}});
    QVERIFY(!out.isEmpty());
    const Archive after(out);
    const Entry &e = *after.find("second.xml");
    QCOMPARE(e.size, 70000u);
    const QByteArrayView local = after.raw(e);
    const QByteArrayView central = after.centralRecord(e);
    auto hasZip64 = [](QByteArrayView extra) {
        for (qsizetype at = 0; at + 4 <= extra.size();
             at += 4 + qFromLittleEndian<quint16>(extra.data() + at + 2))
            if (qFromLittleEndian<quint16>(extra.data() + at) == 1)
                return true;
        return false;
    };
    QCOMPARE(qFromLittleEndian<quint32>(local.data() + 18), quint32(e.compressedSize));
    QCOMPARE(qFromLittleEndian<quint32>(local.data() + 22), 70000u);
    QVERIFY(!hasZip64(local.sliced(30 + qFromLittleEndian<quint16>(local.data() + 26),
                                   qFromLittleEndian<quint16>(local.data() + 28))));
    QCOMPARE(qFromLittleEndian<quint32>(central.data() + 24), 70000u);
    QVERIFY(!hasZip64(central.sliced(46 + qFromLittleEndian<quint16>(central.data() + 28),
                                     qFromLittleEndian<quint16>(central.data() + 30))));
    QCOMPARE(qFromLittleEndian<quint16>(local.data() + 4), quint16(20)); // version needed
    QVERIFY(readByLibzip(out)["second.xml"] == QByteArray(70000, 'y'));
}

// An entry bigger than the room its inflating starts with (64 MiB) grows into the size it
// states; a stated size one byte off either way is refused however far the data has come.
void TestZipArchive::readsAcrossItsFirstRoom_data() {
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("stated"); // the size its records give, relative to its true size
    const qint64 firstRoom = qint64(64) << 20;
    QTest::newRow("the first room exactly") << firstRoom << qint64(0);
    QTest::newRow("past the first room") << firstRoom + 4099 << qint64(0);
    QTest::newRow("states a byte less") << firstRoom + 4099 << qint64(-1);
    QTest::newRow("states a byte more") << firstRoom + 4099 << qint64(1);
    QTest::newRow("states the first room, holds a byte more") << firstRoom + 1 << qint64(-1);
}

void TestZipArchive::readsAcrossItsFirstRoom() {
    QFETCH(qint64, size);
    QFETCH(qint64, stated);
    QByteArray content(size, '\0');
    for (qint64 i = 0; i < size; ++i)
        content[i] = char('a' + (i * 7 + i / 4093) % 26);
    QByteArray out = rewritten(archiveFile("plain.zip"), {{"part/text.xml", content}});
    QVERIFY(!out.isEmpty());
    if (stated != 0) {
        const qsizetype local = localOf(out, "part/text.xml");
        const qsizetype central = centralOf(out, "part/text.xml");
        putLe32(out, local + 22, quint32(size + stated));
        putLe32(out, central + 24, quint32(size + stated));
    }
    const Archive archive(out);
    const Entry &e = *archive.find("part/text.xml");
    QString error;
    QByteArray read;
    try {
        read = archive.read(e);
    } catch (const DamagedFile &z) {
        error = z.why;
    }
    if (stated == 0) {
        QCOMPARE(error, QString());
        QVERIFY(read == content);
    } else {
        QCOMPARE(error, u"the entry \"part/text.xml\" has wrong sizes"_qs);
    }
}

// A stated size over the caller's limit is refused before anything is inflated.
void TestZipArchive::readRefusesBeyondItsLimit() {
    const QByteArray plain = archiveFile("plain.zip");
    const Archive archive(plain);
    const Entry &e = *archive.find("part/text.xml");
    QCOMPARE(archive.read(e, e.size).size(), qsizetype(e.size));
    try {
        archive.read(e, e.size - 1);
        QFAIL("read");
    } catch (const DamagedFile &z) {
        QCOMPARE(z.why, u"the entry \"part/text.xml\" is too large to be read"_qs);
    }
}

void TestZipArchive::damaged_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    const QByteArray plain = archiveFile("plain.zip");
    const qsizetype text = centralOf(plain, "part/text.xml");
    const qsizetype textLocal = localOf(plain, "part/text.xml");
    const qsizetype end = plain.lastIndexOf("PK\x05\x06");
    auto patched = [&](qsizetype at, quint32 value, int width = 4) {
        QByteArray b = plain;
        if (width == 4)
            putLe32(b, at, value);
        else
            putLe16(b, at, quint16(value));
        return b;
    };
    const QString textName = QStringLiteral("the entry \"part/text.xml\" ");

    QTest::newRow("too short") << QByteArray("PK\x03\x04") << "it is too short to be a zip archive";
    QTest::newRow("no end record")
        << plain.left(end + 10) << "the end of its zip directory is missing";
    QTest::newRow("split") << patched(end + 4, 1, 2)
                           << "it is a zip archive split over several files";
    QTest::newRow("directory outside")
        << patched(end + 16, 0x7fffffff) << "its zip directory lies outside the file";
    QTest::newRow("more entries than room")
        << patched(end + 10, 900, 2) << "its zip directory is shorter than its entries";
    QTest::newRow("directory record damaged")
        << patched(text, 0x12345678) << "an entry of its zip directory is damaged";
    QTest::newRow("name runs past the directory")
        << patched(text + 28, 0xfff0, 2)
        << "an entry of its zip directory runs past the directory's end";
    QTest::newRow("local header elsewhere")
        << patched(text + 42, 1) << textName + "is not where the zip directory says";
    QTest::newRow("compressed size past the end")
        << patched(text + 20, 0x100000) << textName + "is cut short";
    const Archive parsed(plain);
    const quint32 intoNext =
        quint32(parsed.entries()[2].localOffset - parsed.find("part/text.xml")->dataOffset + 1);
    QTest::newRow("overlapping") << patched(text + 20, intoNext)
                                 << textName + "overlaps the next one";
    QByteArray otherName = plain;
    otherName[textLocal + 30] = 'P';
    QTest::newRow("local name differs")
        << otherName << textName + "has another name in its own header";
    QTest::newRow("wrong size") << patched(text + 24, 100) << textName + "has wrong sizes";
    QTest::newRow("larger size") << patched(text + 24, 1000000) << textName + "has wrong sizes";
    const quint32 compressed = quint32(parsed.find("part/text.xml")->compressedSize);
    QTest::newRow("more than deflate reaches from its data")
        << patched(text + 24, 1032 * compressed + 1032) << textName + "has wrong sizes";
    QTest::newRow("stream cut short")
        << patched(text + 20, compressed - 2) << textName + "cannot be decompressed";
    QByteArray badData = plain;
    badData[textLocal + 30 + 13] = char(0xff);
    badData[textLocal + 30 + 14] = char(0xff);
    QTest::newRow("bad compression") << badData << textName + "cannot be decompressed";
    QTest::newRow("checksum") << patched(text + 16, 0x1234) << textName + "fails its checksum";
    QTest::newRow("encrypted") << patched(text + 8, 1, 2) << textName + "is encrypted";
    QTest::newRow("unknown method")
        << patched(text + 10, 12, 2)
        << textName + "is compressed by a method (12) that cannot be read";
    QTest::newRow("names differing in case")
        << archiveFile("duplicate.zip") << "two entries are named \"A.XML\"";
}

void TestZipArchive::damaged() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QCOMPARE(errorOf(bytes), message);
}

// Truncation at every length and random bytes overwritten: an error or a reading, never a crash
// (the sanitizer build watches the reads).
void TestZipArchive::damageNeverCrashes() {
    for (const char *name : {"plain.zip", "descriptor.zip", "zip64.zip"}) {
        const QByteArray bytes = archiveFile(name);
        for (qsizetype n = 0; n < bytes.size(); ++n)
            errorOf(bytes.left(n));
        QRandomGenerator rng(11);
        for (int round = 0; round < 3000; ++round) {
            QByteArray b = bytes;
            for (int k = 0; k < 1 + round % 4; ++k)
                b[rng.bounded(int(b.size()))] = char(rng.bounded(256));
            const QString error = errorOf(b);
            Q_UNUSED(error);
        }
    }
}

QTEST_GUILESS_MAIN(TestZipArchive)
#include "tst_ziparchive.moc"
