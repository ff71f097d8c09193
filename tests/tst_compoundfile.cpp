// The compound file layer keeps every stream, storage, CLSID and time through a rewrite.
#include "sources/workbook/biffrecords.h"
#include "sources/workbook/compoundfile.h"

#include <QRandomGenerator>
#include <QTest>

using workbook::CompoundFile;
using workbook::OleEntry;

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

} // namespace

class TestCompoundFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrip();
    void rejectsOtherFiles_data();
    void rejectsOtherFiles();
    void records();
};

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
    QVERIFY(workbook::hasCompoundFileSignature(bytes));
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
}

void TestCompoundFile::records() {
    std::vector<workbook::BiffRecord> out;
    const QByteArray twoRecords = QByteArray::fromHex("0908020006000a000000");
    QVERIFY(workbook::splitRecords(twoRecords, out));
    QCOMPARE(out.size(), size_t(2));
    QCOMPARE(out[0].type, workbook::rec::Bof);
    QCOMPARE(out[0].length, 2);
    QCOMPARE(out[1].offset, 6u);
    QVERIFY(workbook::splitRecords(twoRecords + QByteArray(37, '\0'), out));
    QCOMPARE(out.size(), size_t(2));
    QVERIFY(!workbook::splitRecords(QByteArray::fromHex("09080800060000"), out));
    QVERIFY(!workbook::splitRecords(twoRecords + QByteArray::fromHex("000001"), out));
}

QTEST_GUILESS_MAIN(TestCompoundFile)
#include "tst_compoundfile.moc"
