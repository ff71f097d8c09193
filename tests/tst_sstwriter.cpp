// Strings appended to the shared string table follow the CONTINUE rules: header and first
// character together, a flag byte before continued characters, none before a new string, no
// split surrogate pair, 8224 bytes a record; found strings are reused.
#include "workbook/xls/sstwriter.h"
#include "workbooktesting.h"

#include <QTest>

using namespace workbook;
using namespace workbook::xls;
using namespace workbooktesting;

class TestSstWriter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void appendsByTheRules_data();
    void appendsByTheRules();
    void reusesStrings();
    void startsATable();

private:
    QByteArray m_stream;
    std::vector<BiffRecord> m_records;
    int m_sst = -1;
};

namespace {

// The table of xlwt-mixed.xls: one SST record of 773 bytes.
constexpr int SstLength = 773;

// Decodes count strings from (record, offset) on, as a reader following the rules would.
QStringList decode(const std::vector<QByteArray> &records, int k, int p, int count) {
    QStringList out;
    for (int i = 0; i < count; ++i) {
        if (p == records[size_t(k)].size()) {
            ++k;
            p = 0;
        }
        const char *d = records[size_t(k)].constData();
        const int cch = u16(d + p);
        bool wide = d[p + 2] & 1;
        p += 3;
        QString s;
        while (s.size() < cch) {
            if (p == records[size_t(k)].size()) {
                d = records[size_t(++k)].constData();
                wide = d[0] & 1;
                p = 1;
            }
            s.append(wide ? QChar(u16(d + p)) : QChar(uchar(d[p])));
            p += wide ? 2 : 1;
        }
        out.append(s);
    }
    return out;
}

} // namespace

void TestSstWriter::initTestCase() {
    m_stream = fixtureStream(QStringLiteral("xlwt-mixed.xls"));
    QVERIFY(splitRecords(m_stream, m_records));
    for (size_t i = 0; i < m_records.size() && m_sst < 0; ++i)
        if (m_records[i].type == rec::Sst)
            m_sst = int(i);
    QCOMPARE(int(m_records[size_t(m_sst)].length), SstLength);
}

void TestSstWriter::appendsByTheRules_data() {
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<int>>("recordSizes"); // the SST's last record, then new ones
    const int room = MaxRecordData - SstLength;  // 7451
    const QString cjk = QStringLiteral("地");
    QTest::newRow("short Latin") << QStringList{u"abc"_qs} << QList<int>{SstLength + 6};
    QTest::newRow("fills the record, next string starts the next without a flag")
        << QStringList{QString(room - 3, u'a'), u"next"_qs} << QList<int>{MaxRecordData, 7};
    QTest::newRow("header and first character do not fit")
        << QStringList{QString(room - 5, u'a'), u"ab"_qs} << QList<int>{MaxRecordData - 2, 5};
    QTest::newRow("UTF-16 across two CONTINUEs")
        << QStringList{cjk.repeated(9000)}
        << QList<int>{MaxRecordData, 1 + 2 * 4111, 1 + 2 * (9000 - 3724 - 4111)};
    QTest::newRow("surrogate pair at the record end stays whole")
        << QStringList{cjk.repeated(3723) + u"😀"_qs + cjk}
        << QList<int>{MaxRecordData - 2, 1 + 2 * 3};
    QTest::newRow("Latin-1 takes one byte a character")
        << QStringList{u"café ÿ"_qs} << QList<int>{SstLength + 3 + 6};
    QTest::newRow("one character past U+00FF makes it UTF-16")
        << QStringList{u"café 地"_qs} << QList<int>{SstLength + 3 + 12};
    QTest::newRow("empty string") << QStringList{QString()} << QList<int>{SstLength + 3};
    QTest::newRow("Latin across a CONTINUE, then UTF-16")
        << QStringList{QString(12000, u'L'), cjk.repeated(10)}
        << QList<int>{MaxRecordData, 1 + (12000 - (room - 3)) + 3 + 20};
}

void TestSstWriter::appendsByTheRules() {
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, recordSizes);
    SstWriter sst(m_stream, m_records, m_sst);
    const std::uint32_t before = sst.unique();
    for (int i = 0; i < texts.size(); ++i)
        QCOMPARE(sst.indexOf(texts[i]), before + std::uint32_t(i));
    QCOMPARE(sst.unique(), before + std::uint32_t(texts.size()));

    std::vector<QByteArray> records{QByteArray(m_records[size_t(m_sst)].data(m_stream), SstLength) +
                                    sst.tail()};
    for (const QByteArray &r : sst.newRecords())
        records.push_back(r);
    QList<int> sizes;
    for (const QByteArray &r : records) {
        QVERIFY(r.size() <= MaxRecordData);
        sizes.append(int(r.size()));
    }
    QCOMPARE(sizes, recordSizes);

    const SstWriter::Start start = sst.start(before);
    QCOMPARE(decode(records, start.record, int(start.offset), int(texts.size())), texts);
    for (int i = 0; i < texts.size(); ++i)
        QCOMPARE(sst.text(before + std::uint32_t(i)), texts[i]);
    // A record that the characters continue from never ends in half a surrogate pair.
    if (records.size() > 1 && (u16(records[1].constData()) & 0xFF) == 1) {
        const QByteArray &r = records[0];
        QVERIFY(!QChar(u16(r.constData() + r.size() - 2)).isHighSurrogate());
    }
}

void TestSstWriter::reusesStrings() {
    SstWriter sst(m_stream, m_records, m_sst);
    const std::uint32_t unique = sst.unique();
    std::uint32_t palace = unique;
    for (std::uint32_t i = 0; i < unique; ++i)
        if (sst.text(i) == u"紫禁城"_qs)
            palace = i;
    QVERIFY(palace < unique);
    QCOMPARE(sst.indexOf(u"紫禁城"_qs), palace);
    QCOMPARE(sst.unique(), unique);
    QVERIFY(!sst.stringsAdded());
    const std::uint32_t added = sst.indexOf(u"新的"_qs);
    QCOMPARE(sst.indexOf(u"新的"_qs), added);
    QCOMPARE(sst.unique(), unique + 1);
    // The count of references never goes below zero.
    sst.countReferences(-int(sst.total()) - 5);
    QCOMPARE(sst.total(), 0u);
    QVERIFY(sst.headerChanged());
}

void TestSstWriter::startsATable() {
    SstWriter sst(m_stream, m_records, -1);
    QVERIFY(!sst.existed());
    QCOMPARE(sst.indexOf(u"第一"_qs), 0u);
    QCOMPARE(sst.indexOf(u"第二"_qs), 1u);
    QCOMPARE(sst.newRecords().size(), size_t(1));
    const QByteArray &first = sst.newRecords()[0];
    QCOMPARE(first.left(8), QByteArray(8, '\0')); // counts are set when the table is written
    QCOMPARE(sst.start(0).offset, 8u);
    QCOMPARE(decode(sst.newRecords(), 0, 8, 2), (QStringList{u"第一"_qs, u"第二"_qs}));
}

QTEST_GUILESS_MAIN(TestSstWriter)
#include "tst_sstwriter.moc"
