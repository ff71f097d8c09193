// The compound file layer keeps every stream, storage, CLSID and time through a rewrite.
#include "workbook/xls/biffrecords.h"
#include "workbook/xls/compoundfile.h"

#include <QRandomGenerator>
#include <QTest>

using workbook::xls::CompoundFile;
using workbook::xls::OleEntry;

class TestCompoundFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrip();
    void viewedStreams();
    void rejectsOtherFiles_data();
    void rejectsOtherFiles();
    void records();
    void streamEntries_data();
    void streamEntries();
};

namespace {

OleEntry stream(const QString &name, qsizetype size, quint32 seed) {
    OleEntry e;
    e.name = name;
    e.data.resize(size);
    QRandomGenerator rng(seed);
    for (char &c : e.data)
        c = char(rng.bounded(256));
    return e;
}

void compare(const OleEntry &a, const OleEntry &b) {
    QCOMPARE(a.name, b.name);
    QCOMPARE(a.isStorage, b.isStorage);
    QCOMPARE(a.data, b.data);
    if (a.isStorage)
        QCOMPARE(a.clsid, b.clsid);
    QCOMPARE(a.modifiedUnixTime, b.modifiedUnixTime);
    QCOMPARE(a.children.size(), b.children.size());
    for (size_t i = 0; i < a.children.size(); ++i)
        compare(a.children[i], b.children[i]);
}

bool insideOf(const QByteArray &view, const QByteArray &bytes) {
    return view.constData() >= bytes.constData() &&
           view.constData() + view.size() <= bytes.constData() + bytes.size();
}

quint32 le32(const QByteArray &b, qsizetype at) {
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8 |
           quint32(uchar(b[at + 2])) << 16 | quint32(uchar(b[at + 3])) << 24;
}

void putLe32(QByteArray &b, qsizetype at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i));
}

// Swaps the second and third sectors of the named stream, in the file and in its sector chain:
// the stream reads the same, but its sectors no longer follow each other. 512-byte sectors and
// a FAT within the header's list, as libgsf writes a small file.
QByteArray withStreamOutOfOrder(QByteArray file, const QString &name) {
    const auto sector = [](quint32 s) { return 512 + qsizetype(s) * 512; };
    const auto fatEntry = [&](quint32 s) {
        return sector(le32(file, 0x4C + 4 * qsizetype(s / 128))) + 4 * qsizetype(s % 128);
    };
    quint32 start = 0xFFFFFFFF;
    for (quint32 dir = le32(file, 0x30); dir < 0xFFFFFFFA && start == 0xFFFFFFFF;
         dir = le32(file, fatEntry(dir)))
        for (int e = 0; e < 4; ++e) {
            const qsizetype at = sector(dir) + 128 * e;
            const int chars = (uchar(file[at + 0x40]) | uchar(file[at + 0x41]) << 8) / 2 - 1;
            if (chars == name.size() &&
                QString::fromUtf16(reinterpret_cast<const char16_t *>(file.constData() + at),
                                   chars) == name)
                start = le32(file, at + 0x74);
        }
    const quint32 a = le32(file, fatEntry(start)), b = le32(file, fatEntry(a));
    const quint32 after = le32(file, fatEntry(b));
    const QByteArray sectorA = file.mid(sector(a), 512);
    file.replace(sector(a), 512, file.mid(sector(b), 512));
    file.replace(sector(b), 512, sectorA);
    putLe32(file, fatEntry(start), b);
    putLe32(file, fatEntry(b), a);
    putLe32(file, fatEntry(a), after);
    return file;
}

} // namespace

void TestCompoundFile::roundTrip() {
    CompoundFile file;
    OleEntry &root = file.root();
    root.isStorage = true;
    root.clsid = {0x10, 0x08, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    // Sizes on both sides of the small-stream limit, the limit itself, and an empty stream.
    root.children.push_back(stream(QStringLiteral("\u0005SummaryInformation"), 200, 1));
    root.children.push_back(stream(QStringLiteral("Workbook"), 70000, 2));
    OleEntry vba;
    vba.name = QStringLiteral("_VBA_PROJECT_CUR");
    vba.isStorage = true;
    vba.clsid[0] = 0x42;
    vba.modifiedUnixTime = 1700000000;
    vba.children.push_back(stream(QStringLiteral("exact"), 4096, 3));
    vba.children.push_back(stream(QStringLiteral("empty"), 0, 4));
    root.children.push_back(vba);

    const QByteArray bytes = file.serialize();
    QVERIFY(workbook::xls::hasCompoundFileSignature(bytes));
    CompoundFile back;
    QVERIFY(back.parse(bytes));
    // libgsf lists siblings in directory order: shorter names first.
    QCOMPARE(back.root().children.size(), size_t(3));
    for (const OleEntry &original : root.children) {
        const OleEntry *copy = back.root().child(original.name);
        QVERIFY(copy);
        if (!original.isStorage) {
            compare(original, *copy);
            continue;
        }
        QCOMPARE(copy->clsid, original.clsid);
        QCOMPARE(copy->modifiedUnixTime, original.modifiedUnixTime);
        for (const OleEntry &inner : original.children) {
            const OleEntry *innerCopy = copy->child(inner.name);
            QVERIFY(innerCopy);
            compare(inner, *innerCopy);
        }
    }
    QCOMPARE(back.root().clsid, root.clsid);
    QVERIFY(back.root().child(QStringLiteral("WORKBOOK")));
    QVERIFY(back.root().removeChild(QStringLiteral("workbook")));
    QVERIFY(!back.root().child(QStringLiteral("Workbook")));
}

// Viewed parsing gives the same tree and bytes as copying; a stream whose sectors follow each
// other is a view of the file, any other a copy that outlives it.
void TestCompoundFile::viewedStreams() {
    CompoundFile file;
    file.root().isStorage = true;
    file.root().children.push_back(stream(QStringLiteral("\u0005SummaryInformation"), 200, 1));
    file.root().children.push_back(stream(QStringLiteral("Workbook"), 70000, 2));
    const QByteArray bytes = file.serialize();

    CompoundFile copied, viewed;
    QVERIFY(copied.parse(bytes));
    QVERIFY(viewed.parse(bytes, CompoundFile::StreamBytes::Viewed));
    compare(copied.root(), viewed.root());
    QVERIFY(insideOf(viewed.root().child(QStringLiteral("Workbook"))->data, bytes));
    // A small stream lives in the mini stream, read through libgsf's own buffer.
    QVERIFY(
        !insideOf(viewed.root().child(QStringLiteral("\u0005SummaryInformation"))->data, bytes));

    QByteArray shuffled = withStreamOutOfOrder(bytes, QStringLiteral("Workbook"));
    QVERIFY(shuffled != bytes);
    CompoundFile fragmented;
    QVERIFY(fragmented.parse(shuffled, CompoundFile::StreamBytes::Viewed));
    const QByteArray data = fragmented.root().child(QStringLiteral("Workbook"))->data;
    QVERIFY(!insideOf(data, shuffled));
    shuffled.fill('\0');
    compare(copied.root(), fragmented.root());
}

void TestCompoundFile::rejectsOtherFiles_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("name,lon,lat\n");
    QByteArray header = QByteArray::fromHex("d0cf11e0a1b11ae1");
    QTest::newRow("signature only") << header;
    header.append(QByteArray(600, '\xff'));
    QTest::newRow("garbage after signature") << header;
}

void TestCompoundFile::rejectsOtherFiles() {
    QFETCH(QByteArray, bytes);
    CompoundFile file;
    QVERIFY(!file.parse(bytes));
    QVERIFY(!file.parse(bytes, CompoundFile::StreamBytes::Viewed));
}

void TestCompoundFile::records() {
    std::vector<workbook::xls::BiffRecord> out;
    const QByteArray twoRecords = QByteArray::fromHex("0908020006000a000000");
    QVERIFY(workbook::xls::splitRecords(twoRecords, out));
    QCOMPARE(out.size(), size_t(2));
    QCOMPARE(out[0].type, workbook::xls::rec::Bof);
    QCOMPARE(out[0].length, 2);
    QCOMPARE(out[1].offset, 6u);
    QVERIFY(workbook::xls::splitRecords(twoRecords + QByteArray(37, '\0'), out));
    QCOMPARE(out.size(), size_t(2));
    QVERIFY(!workbook::xls::splitRecords(QByteArray::fromHex("09080800060000"), out));
    QVERIFY(!workbook::xls::splitRecords(twoRecords + QByteArray::fromHex("000001"), out));

    // The same verdicts without the list, and where the records end.
    std::uint32_t end = 0;
    QVERIFY(workbook::xls::recordChainEnd(twoRecords, end));
    QCOMPARE(end, 10u);
    QVERIFY(workbook::xls::recordChainEnd(twoRecords + QByteArray(37, '\0'), end));
    QCOMPARE(end, 10u);
    QVERIFY(workbook::xls::recordChainEnd(twoRecords + QByteArray(3, '\0'), end));
    QCOMPARE(end, 10u);
    QVERIFY(!workbook::xls::recordChainEnd(QByteArray::fromHex("09080800060000"), end));
    QVERIFY(!workbook::xls::recordChainEnd(twoRecords + QByteArray::fromHex("000001"), end));
    QVERIFY(!workbook::xls::recordChainEnd(twoRecords + QByteArray::fromHex("01"), end));
    QVERIFY(workbook::xls::recordChainEnd(QByteArray(), end));
    QCOMPARE(end, 0u);

    // Padding records between records are passed over and not listed; a record after them
    // must still lie within the stream. FORMULA under its BIFF3/4 number is listed as FORMULA.
    const QByteArray padding(4, '\0');
    const QByteArray padded = QByteArray::fromHex("090802000600") + padding + padding +
                              QByteArray::fromHex("06040000") + padding +
                              QByteArray::fromHex("0a000000") + padding;
    QVERIFY(workbook::xls::splitRecords(padded, out));
    QCOMPARE(out.size(), size_t(3));
    QCOMPARE(out[1].type, workbook::xls::rec::Formula);
    QCOMPARE(out[1].offset, 14u);
    QCOMPARE(out[2].offset, 22u);
    QVERIFY(workbook::xls::recordChainEnd(padded, end));
    QCOMPARE(end, 26u);
    QVERIFY(
        !workbook::xls::splitRecords(twoRecords + padding + QByteArray::fromHex("0302ff00"), out));
    QVERIFY(!workbook::xls::recordChainEnd(twoRecords + padding + QByteArray::fromHex("0302ff00"),
                                           end));
}

void TestCompoundFile::streamEntries_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("found");
    QTest::newRow("a stream") << "EncryptedPackage" << true;
    QTest::newRow("without regard to case") << "encryptedpackage" << true;
    QTest::newRow("the start of a name") << "Encrypted" << false;
    QTest::newRow("a storage") << "DataSpaces" << false;
    QTest::newRow("a stream inside a storage") << "Version" << true;
    QTest::newRow("none") << "Workbook" << false;
    QTest::newRow("longer than any name") << QString(32, u'x') << false;
}

// Directory entries are found where the full read is not asked: here in a sound file, and in
// the same file cut short, whose streams can no longer be read whole.
void TestCompoundFile::streamEntries() {
    QFETCH(QString, name);
    QFETCH(bool, found);
    CompoundFile file;
    OleEntry info, package, storage, version;
    info.name = QStringLiteral("EncryptionInfo");
    info.data = QByteArray(200, '\1');
    package.name = QStringLiteral("EncryptedPackage");
    package.data = QByteArray(9000, '\2');
    version.name = QStringLiteral("Version");
    version.data = QByteArray(76, '\3');
    storage.name = QStringLiteral("DataSpaces");
    storage.isStorage = true;
    storage.children = {version};
    file.root().children = {storage, info, package};
    const QByteArray bytes = file.serialize();
    QCOMPARE(workbook::xls::hasStreamEntry(bytes, name), found);
    QByteArray cut = bytes;
    cut.remove(1024, 4096); // sectors of the package: the directory comes after them
    QVERIFY(!CompoundFile().parse(cut));
    QCOMPARE(workbook::xls::hasStreamEntry(cut, name), found);
}

QTEST_GUILESS_MAIN(TestCompoundFile)
#include "tst_compoundfile.moc"
