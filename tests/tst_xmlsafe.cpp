// Every value keeps the document well-formed; valid markup passes unchanged.
#include "kml/kmlbuffer.h"
#include "kml/kmldocument.h"
#include "kml/xmlsafe.h"

#include <QTest>
#include <QXmlStreamReader>

class TestXmlSafe : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void values_data();
    void values();
    void documentsParse_data();
    void documentsParse();
};

void TestXmlSafe::values_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("asText");
    QTest::addColumn<QString>("asDescription");

    QTest::newRow("plain") << u"紫禁城 1.5"_qs << u"紫禁城 1.5"_qs << u"紫禁城 1.5"_qs;
    QTest::newRow("lone >") << u"a > b"_qs << u"a > b"_qs << u"a > b"_qs;
    QTest::newRow("ampersand") << u"A&B"_qs << u"A&amp;B"_qs << u"<![CDATA[A&B]]>"_qs;
    QTest::newRow("entity kept") << u"A&amp;B &#x4e2d;"_qs << u"A&amp;B &#x4e2d;"_qs
                                 << u"A&amp;B &#x4e2d;"_qs;
    QTest::newRow("html entity not predefined")
        << u"a&nbsp;b"_qs << u"a&amp;nbsp;b"_qs << u"<![CDATA[a&nbsp;b]]>"_qs;
    QTest::newRow("balanced markup") << u"<b>粗</b><br/><!-- c --><![CDATA[<x>]]>"_qs
                                     << u"<b>粗</b><br/><!-- c --><![CDATA[<x>]]>"_qs
                                     << u"<b>粗</b><br/><!-- c --><![CDATA[<x>]]>"_qs;
    QTest::newRow("html br") << u"一<br>二"_qs << u"一&lt;br&gt;二"_qs
                             << u"<![CDATA[一<br>二]]>"_qs;
    QTest::newRow("cdata end in text")
        << u"a]]>b<"_qs << u"a]]&gt;b&lt;"_qs << u"<![CDATA[a]]]]><![CDATA[>b<]]>"_qs;
    QTest::newRow("bare cdata end")
        << u"x]]>"_qs << u"x]]&gt;"_qs << u"<![CDATA[x]]]]><![CDATA[>]]>"_qs;
    QTest::newRow("control character") << u"a\u0001b"_qs << u"a\uFFFDb"_qs << u"a\uFFFDb"_qs;
    QTest::newRow("lone surrogate") << u"x"_qs + QChar(0xD800) << u"x\uFFFD"_qs << u"x\uFFFD"_qs;
    QTest::newRow("pair kept") << u"\U0001F30F"_qs << u"\U0001F30F"_qs << u"\U0001F30F"_qs;
    QTest::newRow("line breaks and tab") << u"a\r\nb\tc"_qs << u"a\r\nb\tc"_qs << u"a\r\nb\tc"_qs;
}

void TestXmlSafe::values() {
    QFETCH(QString, value);
    QFETCH(QString, asText);
    QFETCH(QString, asDescription);
    QCOMPARE(xmlsafe::text(value), asText);
    QCOMPARE(xmlsafe::description(value), asDescription);
}

void TestXmlSafe::documentsParse_data() {
    QTest::addColumn<QString>("value");
    for (const char16_t *v : {u"A&B", u"<br>", u"]]>", u"<![CDATA[", u"&#0;", u"<a>&lt;</a>",
                              u"</description>", u"<?pi x?>", u"&#xD800;", u"\"'"})
        QTest::newRow(QString::fromUtf16(v).toUtf8().constData()) << QString::fromUtf16(v);
}

void TestXmlSafe::documentsParse() {
    QFETCH(QString, value);
    KmlBuffer buffer;
    kml::beginFolder(buffer);
    buffer.Add(kml::folderPlacemarkEntry(value, value, value, value));
    kml::endFolder(buffer);
    QXmlStreamReader folder(buffer.bytes());
    while (!folder.atEnd())
        folder.readNext();
    QVERIFY2(!folder.hasError(), qPrintable(folder.errorString()));

    kml::fillSinglePlacemark(buffer, {value, value, value, value});
    QXmlStreamReader single(buffer.bytes());
    while (!single.atEnd())
        single.readNext();
    QVERIFY2(!single.hasError(), qPrintable(single.errorString()));
}

QTEST_GUILESS_MAIN(TestXmlSafe)
#include "tst_xmlsafe.moc"
