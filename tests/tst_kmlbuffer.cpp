// The saved bytes of both document shapes, and what a failed save leaves behind.
#include "common/commanderror.h"
#include "kml/kmlbuffer.h"
#include "kml/kmldocument.h"
#include "sources/singleplacemark.h"
#include "testsupport.h"
#include "zipreading.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

using namespace testsupport;

class TestKmlBuffer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void singlePlacemarkWithUsageNotice();
    void folderDocuments_data();
    void folderDocuments();
    void emptyPlacemarkEntry();
    void sharedTextValues();
    void appendKeepsEveryEntry();
    void saveReplacesWholeFile();
    void saveThroughLinkReplacesTarget();
    void failedSaveLeavesOldFile();
    void readOnlyFileIsKept();
    void cannotCreateMessage_data();
    void cannotCreateMessage();
    void utf8AndKmz_data();
    void utf8AndKmz();
    void utf8OfEveryKind();
    void kmzByName_data();
    void kmzByName();
    void failedKmzSaveLeavesOldFile();
};

namespace {

// The usage notice of the first page, as its box holds it.
QString usageNotice() {
    return QStringLiteral(
        "使用说明：\n1.软件用于将经纬度转换为GOOGLE "
        "EARTH的KML格式;\n2.软件包括单点和多点两个系统；\n"
        "3.单点系统只能对单个点生成KML；\n4.Excel数据库KML多点系统则可以利用EXCEL进行操作;\n"
        "5.本软件为免费软件，欢迎自由使用和传播，作者不承担任何使用责任；\n"
        "6.主页：http://www.pinfold.example/ 使用说明：http://www.pinfold.example/help/\n");
}

} // namespace

void TestKmlBuffer::singlePlacemarkWithUsageNotice() {
    const QString notice = usageNotice();
    KmlBuffer buffer;
    buffer.Add(QStringLiteral("Memo2"));
    kml::fillSinglePlacemark(buffer,
                             {singleplacemark::withCrLf(notice), QStringLiteral("地点标注标题"),
                              QStringLiteral("116.3920388"), QStringLiteral("39.91120332")});
    QCOMPARE(buffer.count(), 16);
    QCOMPARE(buffer.bytes(), golden("single-notice.kml"));
}

void TestKmlBuffer::folderDocuments_data() {
    QTest::addColumn<QList<kml::Placemark>>("placemarks");
    QTest::addColumn<QString>("goldenFile");
    QTest::newRow("empty folder") << QList<kml::Placemark>{} << "folder-empty.kml";
    QTest::newRow("plain, empty and markup values")
        << QList<kml::Placemark>{{u"中国古代帝王宫殿，位于中国北京市"_qs, u"紫禁城"_qs,
                                  u"116.3920388"_qs, u"39.91120332"_qs},
                                 {},
                                 {u"<b>粗体</b><br/>"_qs, u"A&B"_qs, u"1"_qs, u"2"_qs}}
        << "folder-three.kml";
}

void TestKmlBuffer::folderDocuments() {
    QFETCH(QList<kml::Placemark>, placemarks);
    QFETCH(QString, goldenFile);
    KmlBuffer buffer;
    kml::beginFolder(buffer);
    for (const kml::Placemark &p : placemarks)
        buffer.Add(kml::folderPlacemarkEntry(p.description, p.name, p.longitude, p.latitude));
    kml::endFolder(buffer);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.kml"));
    buffer.SaveToFile(path, KmlFileFormat::Utf16);
    QCOMPARE(readFile(path), golden(goldenFile));
}

void TestKmlBuffer::emptyPlacemarkEntry() {
    QCOMPARE(kml::folderPlacemarkEntry({}, {}, {}, {}),
             u"<Placemark><description></description><name></name><LookAt><longitude></longitude>"
             "<latitude></latitude><range>20000</range><tilt>0</tilt><heading>3</heading>"
             "</LookAt><Point><coordinates>,,0</coordinates></Point></Placemark>"_qs);
}

// Values that lie in a shared text are kept as places in it: the document is the same as with
// copies, and stays so when the text's owner changes or drops its text.
void TestKmlBuffer::sharedTextValues() {
    auto pool = std::make_unique<QString>(u"紫禁城<b>粗体</b>116.3920388A&B"_qs);
    const QString keep = *pool;
    const QStringView all(*pool);
    const QStringView name = all.left(3), description = all.mid(3, 11), x = all.mid(14, 11);
    const QStringView escaped = all.mid(25); // "A&B" is made safe: a copy of its own
    KmlBuffer shared, copied;
    kml::beginFolder(shared);
    kml::beginFolder(copied);
    shared.shareText(*pool);
    kml::addFolderPlacemark(shared, description, name, x, u"39.9");
    kml::addFolderPlacemark(shared, {}, escaped, x.left(3), x);
    kml::addFolderPlacemark(copied, description.toString(), name.toString(), x.toString(), u"39.9");
    kml::addFolderPlacemark(copied, {}, escaped.toString(), x.left(3).toString(), x.toString());
    kml::endFolder(shared);
    kml::endFolder(copied);
    pool->replace(0, 3, u"改名了"_qs);
    pool.reset();
    QCOMPARE(shared.entries(), copied.entries());
    QCOMPARE(shared.bytes(), copied.bytes());
    QTemporaryDir dir;
    shared.SaveToFile(dir.filePath(QStringLiteral("shared.kml")), KmlFileFormat::Utf16);
    QCOMPARE(readFile(dir.filePath(QStringLiteral("shared.kml"))), copied.bytes());
    shared.Clear();
    QCOMPARE(shared.count(), 0);
    QCOMPARE(keep, u"紫禁城<b>粗体</b>116.3920388A&B"_qs);
}

// Another buffer's entries, whole and template lines, with values in a text both share, in a
// text only the other shares, and of their own, come out as if added here; the other buffer
// may go away.
void TestKmlBuffer::appendKeepsEveryEntry() {
    const QString both = u"紫禁城<b>粗体</b>"_qs;
    auto only = std::make_unique<QString>(u"116.3920388天坛"_qs);
    KmlBuffer joined, direct;
    kml::beginFolder(joined);
    kml::beginFolder(direct);
    joined.shareText(both);
    direct.shareText(both);
    kml::addFolderPlacemark(joined, QStringView(both).mid(3), QStringView(both).left(3), u"1",
                            u"2");
    kml::addFolderPlacemark(direct, QStringView(both).mid(3), QStringView(both).left(3), u"1",
                            u"2");
    {
        KmlBuffer other;
        other.shareText(*only);
        other.shareText(both);
        const QStringView x = QStringView(*only).left(11), name = QStringView(*only).mid(11);
        kml::addFolderPlacemark(other, QStringView(both).mid(3), name, x, u"39.9");
        other.Add(u"<!-- 整行 -->"_qs);
        kml::addFolderPlacemark(other, {}, QStringView(both).left(3), u"-0.5", x);
        joined.append(other);
    }
    kml::addFolderPlacemark(direct, u"<b>粗体</b>", u"天坛", u"116.3920388", u"39.9");
    direct.Add(u"<!-- 整行 -->"_qs);
    kml::addFolderPlacemark(direct, {}, u"紫禁城", u"-0.5", u"116.3920388");
    only->fill(u'x');
    only.reset();
    kml::endFolder(joined);
    kml::endFolder(direct);
    QCOMPARE(joined.count(), direct.count());
    QCOMPARE(joined.entries(), direct.entries());
    QCOMPARE(joined.bytes(), direct.bytes());
}

void TestKmlBuffer::saveReplacesWholeFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.kml"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(100000, 'x'));
    f.close();
    KmlBuffer buffer;
    kml::beginFolder(buffer);
    kml::endFolder(buffer);
    buffer.SaveToFile(path, KmlFileFormat::Utf16);
    QCOMPARE(readFile(path), golden("folder-empty.kml"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{u"old.kml"_qs});
}

// A symbolic link stays a link; its target gets the new content, with the target's
// permissions, and no file is left beside it.
void TestKmlBuffer::saveThroughLinkReplacesTarget() {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("real.kml"));
    const QString link = dir.filePath(QStringLiteral("link.kml"));
    QFile f(target);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(300000, 'x'));
    f.close();
    const auto permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    QVERIFY(QFile::setPermissions(target, permissions));
    QVERIFY(QFile::link(target, link));
    KmlBuffer buffer;
    kml::beginFolder(buffer);
    kml::endFolder(buffer);
    buffer.SaveToFile(link, KmlFileFormat::Utf16);
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readFile(target), golden("folder-empty.kml"));
    QCOMPARE(QFile::permissions(target) & (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                           QFile::WriteGroup | QFile::ReadOther),
             permissions);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             (QStringList{u"link.kml"_qs, u"real.kml"_qs}));
}

void TestKmlBuffer::failedSaveLeavesOldFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("keep.kml"));
    QVERIFY(writeFile(path, "old"));

    // A file-size limit makes the write fail part way, as a full disk would.
    KmlBuffer buffer;
    for (int i = 0; i < 20000; ++i)
        buffer.Add(kml::folderPlacemarkEntry(u"描述"_qs, u"名"_qs, u"1"_qs, u"2"_qs));
    const QString message =
        errorUnderFileSizeLimit(256 * 1024, [&] { buffer.SaveToFile(path, KmlFileFormat::Utf16); });

    QCOMPARE(message, u"Stream write error"_qs);
    QCOMPARE(readFile(path), QByteArray("old"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"keep.kml"_qs});
}

void TestKmlBuffer::readOnlyFileIsKept() {
    if (geteuid() == 0)
        QSKIP("root may write read-only files");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("keep.kml"));
    QVERIFY(writeFile(path, "old"));
    QFile::setPermissions(path, QFile::ReadOwner);
    KmlBuffer buffer;
    buffer.Add(QStringLiteral("new"));
    QCOMPARE(errorOf([&] { buffer.SaveToFile(path, KmlFileFormat::Utf16); }),
             u"Cannot create file \"%1\". Permission denied"_qs.arg(path));
    QCOMPARE(readFile(path), QByteArray("old"));
}

void TestKmlBuffer::cannotCreateMessage_data() {
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing folder") << "no/such/dir/x.kml"
                                    << "No such file or directory";
    QTest::newRow("a folder's name") << "sub"
                                     << "Is a directory";
}

void TestKmlBuffer::cannotCreateMessage() {
    QFETCH(QString, relative);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    const QString path = dir.filePath(relative);
    KmlBuffer buffer;
    buffer.Add(QStringLiteral("x"));
    QCOMPARE(errorOf([&] { buffer.SaveToFile(path, KmlFileFormat::Utf16); }),
             u"Cannot create file \"%1\". %2"_qs.arg(path, reason));
    QCOMPARE(buffer.count(), 1);
}

void TestKmlBuffer::utf8AndKmz_data() {
    QTest::addColumn<bool>("single"); // the single-placemark document with the usage notice
    QTest::addColumn<QList<kml::Placemark>>("placemarks");
    QTest::addColumn<KmlFileFormat>("format");
    QTest::addColumn<QString>("goldenFile");
    const QList<kml::Placemark> three{{u"中国古代帝王宫殿，位于中国北京市"_qs, u"紫禁城"_qs,
                                       u"116.3920388"_qs, u"39.91120332"_qs},
                                      {},
                                      {u"<b>粗体</b><br/>"_qs, u"A&B"_qs, u"1"_qs, u"2"_qs}};
    for (const KmlFileFormat format : {KmlFileFormat::Utf8, KmlFileFormat::Kmz}) {
        const char *f = format == KmlFileFormat::Utf8 ? "UTF-8: " : "KMZ: ";
        QTest::addRow("%sempty folder", f)
            << false << QList<kml::Placemark>{} << format << "folder-empty-utf8.kml";
        QTest::addRow("%sthree placemarks", f)
            << false << three << format << "folder-three-utf8.kml";
        QTest::addRow("%ssingle placemark", f)
            << true << QList<kml::Placemark>{} << format << "single-notice-utf8.kml";
    }
}

// The same documents as in UTF-16: converted by iconv and declared UTF-8; in a KMZ archive as
// its one file, doc.kml.
void TestKmlBuffer::utf8AndKmz() {
    QFETCH(bool, single);
    QFETCH(QList<kml::Placemark>, placemarks);
    QFETCH(KmlFileFormat, format);
    QFETCH(QString, goldenFile);
    KmlBuffer buffer;
    if (single) {
        const QString notice = usageNotice();
        kml::fillSinglePlacemark(buffer,
                                 {singleplacemark::withCrLf(notice), QStringLiteral("地点标注标题"),
                                  QStringLiteral("116.3920388"), QStringLiteral("39.91120332")});
    } else {
        kml::beginFolder(buffer);
        for (const kml::Placemark &p : placemarks)
            buffer.Add(kml::folderPlacemarkEntry(p.description, p.name, p.longitude, p.latitude));
        kml::endFolder(buffer);
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.kml"));
    buffer.SaveToFile(path, format);
    const QByteArray expected = golden(goldenFile);
    QVERIFY(expected.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<kml "));
    if (format == KmlFileFormat::Utf8) {
        QCOMPARE(readFile(path), expected);
        return;
    }
    QCOMPARE(zipreading::onlyMember(path, u"doc.kml"_qs), expected);
    if (zipreading::unzipAvailable())
        QCOMPARE(zipreading::unzipTest(path), QString());
}

// Every width of UTF-8 character, at every place in and around the runs of eight and sixteen
// ASCII characters that are converted at once, as Qt's own encoder writes them; a lone surrogate
// (which only an entry stored whole can hold) becomes U+FFFD.
void TestKmlBuffer::utf8OfEveryKind() {
    const QString odd[] = {u"é"_qs, u"中"_qs, u"😀"_qs, QString(QChar(0xD800)),
                           QString(QChar(0xDC00))};
    KmlBuffer buffer;
    QByteArray expected("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n");
    for (const QString &c : odd) {
        for (int at = 0; at < 40; ++at) {
            const QString entry = QString(at, u'a') + c + QString(39 - at, u'b');
            buffer.Add(entry);
            kml::addFolderPlacemark(buffer, entry, c, QString(at, u'1'), u"2"_qs);
        }
    }
    for (const QString &entry : buffer.entries()) {
        QString replaced = entry;
        for (QChar &ch : replaced) {
            const qsizetype i = &ch - replaced.data();
            if (ch.isHighSurrogate() &&
                !(i + 1 < replaced.size() && replaced[i + 1].isLowSurrogate()))
                ch = QChar::ReplacementCharacter;
            else if (ch.isLowSurrogate() && !(i > 0 && entry[i - 1].isHighSurrogate()))
                ch = QChar::ReplacementCharacter;
        }
        expected += replaced.toUtf8() + "\r\n";
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("every.kml"));
    buffer.SaveToFile(path, KmlFileFormat::Utf8);
    QCOMPARE(readFile(path), expected);
}

void TestKmlBuffer::kmzByName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<KmlFileFormat>("format");
    QTest::addColumn<bool>("kmz");
    QTest::newRow("kmz, UTF-16 chosen") << "a.kmz" << KmlFileFormat::Utf16 << true;
    QTest::newRow("KMZ in capitals, UTF-8 chosen") << "a.KMZ" << KmlFileFormat::Utf8 << true;
    QTest::newRow("kml, KMZ chosen") << "a.kml" << KmlFileFormat::Kmz << true;
    QTest::newRow("kmz only inside the name") << "a.kmz.kml" << KmlFileFormat::Utf8 << false;
}

void TestKmlBuffer::kmzByName() {
    QFETCH(QString, name);
    QFETCH(KmlFileFormat, format);
    QFETCH(bool, kmz);
    KmlBuffer buffer;
    kml::beginFolder(buffer);
    kml::endFolder(buffer);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    buffer.SaveToFile(path, format);
    QCOMPARE(readFile(path).startsWith("PK\x03\x04"), kmz);
}

// A KMZ save that fails part way leaves the old file and nothing beside it, as a KML save does.
void TestKmlBuffer::failedKmzSaveLeavesOldFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("keep.kmz"));
    QVERIFY(writeFile(path, "old"));

    // Names that do not compress, so that the archive passes the file-size limit.
    KmlBuffer buffer;
    QRandomGenerator rng(3);
    for (int i = 0; i < 20000; ++i) {
        const QString name =
            QString::number(rng.generate64(), 36) + QString::number(rng.generate64(), 36);
        buffer.Add(kml::folderPlacemarkEntry(u"描述"_qs, name, u"1"_qs, u"2"_qs));
    }
    const QString message =
        errorUnderFileSizeLimit(256 * 1024, [&] { buffer.SaveToFile(path, KmlFileFormat::Utf16); });

    QCOMPARE(message, u"Stream write error"_qs);
    QCOMPARE(readFile(path), QByteArray("old"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"keep.kmz"_qs});
}

QTEST_GUILESS_MAIN(TestKmlBuffer)
#include "tst_kmlbuffer.moc"
