// Every value keeps the document well-formed; valid markup passes unchanged.
#include "kml/kmlbuffer.h"
#include "kml/kmldocument.h"
#include "kml/xmlsafe.h"

#include <QRandomGenerator>
#include <QTest>
#include <QXmlStreamReader>

class TestXmlSafe : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void values_data();
    void values();
    void documentsParse_data();
    void documentsParse();
    void markupAsTheParserSees_data();
    void markupAsTheParserSees();
    void randomMarkupAsTheParserSees();
    void viewsMatchStrings();
    void specialCharacterAtEveryOffset_data();
    void specialCharacterAtEveryOffset();
};

namespace {

// The rule itself, asked of the XML parser directly: what the quick path must agree with.
bool parserAccepts(const QString &value) {
    QXmlStreamReader reader(u"<r>" + value + u"</r>");
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::EntityReference)
            return false;
    }
    return !reader.hasError();
}

} // namespace

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

void TestXmlSafe::markupAsTheParserSees_data() {
    QTest::addColumn<QString>("value");
    const char16_t *values[] = {u"<b>x</b>",
                                u"<br/>",
                                u"<br />",
                                u"<br>",
                                u"x<br>y",
                                u"</b>",
                                u"<b></B>",
                                u"<a href=\"x\">y</a>",
                                u"<a href='x'>y</a>",
                                u"<a href=x>y</a>",
                                u"<a href=\"x<y\">z</a>",
                                u"<a href=\"a&amp;b\"></a>",
                                u"<a href=\"a&b\"></a>",
                                u"<a href=\"x\">",
                                u"<a b=\"1\" b=\"2\"/>",
                                u"<a b=\"1\"c=\"2\"/>",
                                u"<a b/>",
                                u"<input disabled>",
                                u"a < b",
                                u"a<3",
                                u"<中>x</中>",
                                u"<a:b>x</a:b>",
                                u"<a xmlns:a=\"u\"><a:b/></a>",
                                u"<a xmlns=\"u\"/>",
                                u"&amp;&lt;&gt;&quot;&apos;",
                                u"&nbsp;",
                                u"&#65;",
                                u"&#x41;",
                                u"&#X41;",
                                u"&#0;",
                                u"&#xD800;",
                                u"&#x110000;",
                                u"&#x10FFFF;",
                                u"&#;",
                                u"&#x;",
                                u"&",
                                u"&amp",
                                u"a & b",
                                u"&中;",
                                u"&a:b;",
                                u"<!-- c -->",
                                u"<!-- a -- b -->",
                                u"<![CDATA[<x>]]>",
                                u"]]>",
                                u"a]]>b",
                                u"a]>b",
                                u"<?pi x?>",
                                u"<?xml version=\"1.0\"?>",
                                u"<",
                                u"<b",
                                u"<b x=\"1\"",
                                u"<b/",
                                u"</",
                                u"</ b>",
                                u"<a></a></r><r>",
                                u"x</r>y<r>",
                                u"<r>",
                                u"<_a.b-c>x</_a.b-c>",
                                u"<a\tb\n=\r'1'\n/>",
                                u"<a b = \"1\" >x</a >",
                                u"<a title=\"中文\">x</a>",
                                u"<1a/>",
                                u"<-a/>",
                                u"<.a/>",
                                u"<a.b/>",
                                u"<xml/>",
                                u"<xmlns/>",
                                u"<a xml:lang=\"zh\"/>",
                                u"<a b=\"]]>\"/>",
                                u"<a b=\">\"/>",
                                u"<a\u00A0b=\"1\"/>",
                                u"<a b=\"&#0;\"/>",
                                u"<a b=\"&#x4e2d;\">&#20013;</a>",
                                u"<b><i>x</b></i>",
                                u"<b><i>x</i></b>",
                                u"<a/ >",
                                u"<a b=\"1\"/><a b=\"1\"/>",
                                u"<b>x</b><br/>y",
                                u"<a href=\"http://x/?a=1&amp;b=2\" target='_blank'>link</a>",
                                u"<a  b = \"1\"\tc='2' >t</a >",
                                u"<a-b.c_d>x</a-b.c_d>",
                                u"a &lt; b &gt; c &quot;&apos; &#20013; &#x4e2d;",
                                u"<a></b>",
                                u"<a><b></a></b>",
                                u"<a>",
                                u"</a>",
                                u"<a b=1>",
                                u"<a b=\"<\">x</a>",
                                u"<a b=\"x>",
                                u"<ab>",
                                u"< a>",
                                u"&unknown;",
                                u"<a xmlns=\"urn:x\">x</a>",
                                u"<a xmlns:p=\"urn:x\"><p:b/></a>",
                                u"<p:b/>",
                                u"x ]]> y",
                                u"<a/><b></b>text",
                                u"<r>x</r></r>"};
    for (const char16_t *v : values)
        QTest::newRow(QString::fromUtf16(v).toUtf8().constData()) << QString::fromUtf16(v);
}

void TestXmlSafe::markupAsTheParserSees() {
    QFETCH(QString, value);
    const bool accepted = parserAccepts(value);
    QCOMPARE(xmlsafe::isWellFormedContent(value), accepted);
    if (accepted)
        QCOMPARE(xmlsafe::description(value), value);
    else
        QVERIFY(xmlsafe::description(value).startsWith(u"<![CDATA["));
}

void TestXmlSafe::randomMarkupAsTheParserSees() {
    const char16_t *tokens[] = {u"<a>",   u"</a>",      u"<b x='1'>", u"</b>",  u"<br/>",  u"<br>",
                                u"&amp;", u"&",         u"&#65;",     u"&x;",   u"<",      u">",
                                u"]]>",   u"]",         u"text",      u"中",    u" ",      u"<a",
                                u"\"",    u"'",         u"=",         u"/",     u"<!--",   u"-->",
                                u"</",    u"<![CDATA[", u"x:y",       u"<c:d>", u"</c:d>", u"b",
                                u"x",     u"<a b=\"",   u"\">",       u"/>",    u"&#x",    u";"};
    QRandomGenerator rng(4242);
    for (int i = 0; i < 20000; ++i) {
        QString value;
        const int n = 1 + int(rng.bounded(8));
        for (int k = 0; k < n; ++k)
            value += QString::fromUtf16(tokens[rng.bounded(int(std::size(tokens)))]);
        if (xmlsafe::isWellFormedContent(value) != parserAccepts(value))
            QFAIL(qPrintable(u"disagrees with the parser on " + value));
    }
}

void TestXmlSafe::viewsMatchStrings() {
    for (const QString &value : {u"plain"_qs, u"<b>x</b>"_qs, u"A&B"_qs, u"a\u0001b"_qs}) {
        QString storage;
        QCOMPARE(xmlsafe::description(QStringView(value), storage).toString(),
                 xmlsafe::description(value));
        QCOMPARE(xmlsafe::text(QStringView(value), storage).toString(), xmlsafe::text(value));
        KmlBuffer buffer;
        kml::addFolderPlacemark(buffer, value, value, value, value);
        QCOMPARE(buffer.entries(),
                 QStringList{kml::folderPlacemarkEntry(value, value, value, value)});
    }
}

void TestXmlSafe::specialCharacterAtEveryOffset_data() {
    QTest::addColumn<QString>("special");
    QTest::addColumn<QString>("asText");
    QTest::addColumn<bool>("wellFormed");
    QTest::newRow("ampersand") << "&"
                               << "&amp;" << false;
    QTest::newRow("less than") << "<"
                               << "&lt;" << false;
    QTest::newRow("cdata end") << "]]>"
                               << "]]&gt;" << false;
    QTest::newRow("control character") << "\x01" << u"\uFFFD"_qs << false;
    // XML 1.0 has no place for these, though Qt's reader lets them pass.
    QTest::newRow("lone high surrogate") << QString(QChar(0xD800)) << u"\uFFFD"_qs << false;
    QTest::newRow("lone low surrogate") << QString(QChar(0xDC00)) << u"\uFFFD"_qs << false;
    QTest::newRow("U+FFFF") << QString(QChar(0xFFFF)) << u"\uFFFD"_qs << false;
    QTest::newRow("surrogate pair") << u"\U0001F30F"_qs << u"\U0001F30F"_qs << true;
    QTest::newRow("full-width comma") << u"，"_qs << u"，"_qs << true;
    QTest::newRow("lone greater than") << ">"
                                       << ">" << true;
    QTest::newRow("tab") << "\t"
                         << "\t" << true;
}

// Values are scanned in blocks: a character that matters must be seen at any offset.
void TestXmlSafe::specialCharacterAtEveryOffset() {
    QFETCH(QString, special);
    QFETCH(QString, asText);
    QFETCH(bool, wellFormed);
    for (int k = 0; k <= 24; ++k) {
        const QString before(k, u'a');
        const QString after(24 - k, u'中');
        QCOMPARE(xmlsafe::text(before + special + after), before + asText + after);
        QCOMPARE(xmlsafe::isWellFormedContent(before + special + after), wellFormed);
    }
}

QTEST_GUILESS_MAIN(TestXmlSafe)
#include "tst_xmlsafe.moc"
