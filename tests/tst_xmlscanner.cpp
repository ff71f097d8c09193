// The XML scanner reads documents as QXmlStreamReader does (tags, namespaces, decoded attributes
// and text) and refuses what the workbook readers must not take: DTDs, deep nesting, documents
// that are not well-formed, with an error and never a crash or a hang.
#include "common/zip/ziparchive.h"
#include "testsupport.h"
#include "workbook/xml/xmlscanner.h"
#include "workbook/zippackagewriter.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <QXmlStreamReader>

using workbook::xml::Scanner;
using workbook::xml::XmlError;

namespace {

// A token stream in words: "S{uri}name a=value", "E{uri}name", "T text" (adjacent text joined),
// text outside the root left out.
QStringList scanned(const QByteArray &doc) {
    QStringList out;
    Scanner s(doc);
    QString text;
    auto flush = [&] {
        if (!text.isEmpty())
            out << QStringLiteral("T ") + text;
        text.clear();
    };
    for (;;) {
        const Scanner::Token t = s.next();
        if (t == Scanner::Token::EndDocument)
            break;
        if (t == Scanner::Token::Text) {
            s.appendText(text);
            continue;
        }
        flush();
        const QString name =
            u'{' + QString::fromUtf8(s.namespaceUri()) + u'}' + QString::fromUtf8(s.name());
        if (t == Scanner::Token::EndElement) {
            out << QStringLiteral("E") + name;
            continue;
        }
        QString line = QStringLiteral("S") + name;
        for (const Scanner::Attribute &a : s.attributes())
            if (!a.name.startsWith("xmlns"))
                line += u' ' + QString::fromUtf8(a.name) + u'=' + s.decodeAttribute(a.raw);
        out << line;
    }
    return out;
}

QStringList readByQt(const QByteArray &doc) {
    QStringList out;
    QXmlStreamReader r(doc);
    QString text;
    int depth = 0;
    auto flush = [&] {
        if (!text.isEmpty())
            out << QStringLiteral("T ") + text;
        text.clear();
    };
    while (!r.atEnd()) {
        switch (r.readNext()) {
        case QXmlStreamReader::Characters:
            if (depth > 0)
                text += r.text();
            break;
        case QXmlStreamReader::StartElement: {
            flush();
            ++depth;
            QString line = QStringLiteral("S{") + r.namespaceUri() + u'}' + r.qualifiedName();
            for (const QXmlStreamAttribute &a : r.attributes())
                line += u' ' + a.qualifiedName() + u'=' + a.value();
            out << line;
            break;
        }
        case QXmlStreamReader::EndElement:
            flush();
            --depth;
            out << QStringLiteral("E{") + r.namespaceUri() + u'}' + r.qualifiedName();
            break;
        default:
            break;
        }
    }
    if (r.hasError())
        out << QStringLiteral("error: ") + r.errorString();
    return out;
}

QString errorOf(const QByteArray &doc) {
    try {
        scanned(doc);
    } catch (const XmlError &e) {
        return e.text();
    }
    return QString();
}

} // namespace

class TestXmlScanner : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readsAsQt_data();
    void readsAsQt();
    void fixturePartsReadAsQt();
    void offsets();
    void refused_data();
    void refused();
    void damageNeverCrashes();
    void manyAttributesInLinearTime_data();
    void manyAttributesInLinearTime();
};

void TestXmlScanner::readsAsQt_data() {
    QTest::addColumn<QByteArray>("doc");
    QTest::newRow("declaration, comment, PI")
        << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<!-- c -->"
                      "<a><?pi x?><b/></a>\n<!-- after -->\n");
    QTest::newRow("namespaces and prefixes")
        << QByteArray("<w:ws xmlns:w=\"urn:w\" xmlns=\"urn:d\"><row r=\"1\"><w:c w:r=\"A1\"/>"
                      "</row><x xmlns=\"urn:x\"><y/></x><z/></w:ws>");
    QTest::newRow("entities and character references")
        << QByteArray("<a t=\"&lt;&gt;&amp;&quot;&apos;&#65;&#x4E2D;&#x1F600;\">"
                      "x &lt; y &amp;&amp; &#x41;&#10;</a>");
    QTest::newRow("attribute white space normalized")
        << QByteArray("<a v=\"1\t2\n3\r\n4&#10;5\" w='single \"quoted\"'/>");
    QTest::newRow("line ends in text") << QByteArray("<a>1\r\n2\r3\n</a>");
    QTest::newRow("CDATA") << QByteArray("<a>x<![CDATA[<b>&amp;</b>]]>y</a>");
    QTest::newRow("UTF-8 text and names") << QByteArray("<表 名=\"经度\">东经 116°</表>");
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF<a>x</a>");
    QTest::newRow("spaces inside tags") << QByteArray("<a  b = \"1\"  ><c\n/></a >");
    QTest::newRow("prefixes bound again inside, as before after")
        << QByteArray("<a xmlns:p=\"urn:1\" xmlns=\"urn:d\"><p:b xmlns:p=\"urn:2\" "
                      "xmlns=\"urn:e\"><p:c/><d/></p:b><p:d/><e/></a>");
    QByteArray many = "<a";
    for (int i = 0; i < 40; ++i)
        many += " xmlns:p" + QByteArray::number(i) + "=\"urn:" + QByteArray::number(i) + "\" v" +
                QByteArray::number(i) + "=\"" + QByteArray::number(i) + '"';
    many += '>';
    for (int i = 39; i >= 0; --i)
        many += "<p" + QByteArray::number(i) + ":b/>";
    QTest::newRow("forty attributes and forty prefixes") << many + "</a>";
}

void TestXmlScanner::readsAsQt() {
    QFETCH(QByteArray, doc);
    QCOMPARE(scanned(doc), readByQt(doc));
}

// Every XML part of every zip fixture (the .xlsx and .ods workbooks among them).
void TestXmlScanner::fixturePartsReadAsQt() {
    int parts = 0;
    QDirIterator it(QStringLiteral(KML_TEST_DATA), {"*.xlsx", "*.ods", "*.zip"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        try {
            const zip::Archive archive(bytes);
            // A password-protected package's parts are ciphertext.
            const zip::Entry *manifest = archive.find("META-INF/manifest.xml");
            if (manifest && archive.read(*manifest).contains("encryption-data"))
                continue;
            for (const auto &e : archive.entries()) {
                if (!e.name.endsWith(".xml") && !e.name.endsWith(".rels"))
                    continue;
                // The zip tests' bombs: parts that inflate to hundreds of megabytes of filler.
                if (e.size > (std::uint64_t(16) << 20))
                    continue;
                const QByteArray raw = archive.read(e);
                const QStringList ours = scanned(workbook::xml::toUtf8(raw));
                const QStringList qt = readByQt(raw); // Qt reads UTF-16 parts by themselves
                if (ours != qt)
                    QFAIL(qPrintable(f.fileName() + u' ' + QString::fromUtf8(e.name)));
                ++parts;
            }
        } catch (const DamagedFile &) {
            // the damaged archives of the zip tests
        }
    }
    QVERIFY(parts > 0);
}

// Where tokens lie: a writer copies the document between them.
void TestXmlScanner::offsets() {
    const QByteArray doc("<a><b x=\"1\"/>text<c>y</c></a>");
    Scanner s(doc);
    QStringList pieces;
    while (s.next() != Scanner::Token::EndDocument)
        pieces << QString::fromUtf8(doc.mid(s.tokenBegin(), s.tokenEnd() - s.tokenBegin()));
    QCOMPARE(pieces, QStringList({"<a>", "<b x=\"1\"/>", "", "text", "<c>", "y", "</c>", "</a>"}));
}

void TestXmlScanner::refused_data() {
    QTest::addColumn<QByteArray>("doc");
    QTest::addColumn<QString>("message");
    QTest::newRow("entity expansion")
        << QByteArray("<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [<!ENTITY lol \"lol\">"
                      "<!ENTITY lol2 \"&lol;&lol;&lol;&lol;\">]>\n<a>&lol2;</a>")
        << "line 2: the document declares a document type, which is not allowed";
    QByteArray deep;
    for (int i = 0; i < 300; ++i)
        deep += "<a>";
    QTest::newRow("deep nesting") << deep << "line 1: elements nest deeper than 256 levels";
    QTest::newRow("undefined entity")
        << QByteArray("<a>&nbsp;</a>") << "line 1: the entity \"nbsp\" is not defined";
    QTest::newRow("unclosed reference")
        << QByteArray("<a>&amp</a>") << "line 1: a reference is not closed by \";\"";
    QTest::newRow("reference to no character") << QByteArray("<a>&#0;</a>")
                                               << "line 1: a character reference names no "
                                                  "character";
    QTest::newRow("mismatched end tag")
        << QByteArray("<a>\n<b></a></b>") << "line 2: an end tag does not match its start tag";
    QTest::newRow("cut short") << QByteArray("<a><b>")
                               << "line 1: the document ends inside an element";
    QTest::newRow("cut inside a tag")
        << QByteArray("<a><b x=\"1") << "line 1: an attribute value is not closed";
    QTest::newRow("unquoted attribute")
        << QByteArray("<a x=1/>") << "line 1: an attribute value is not quoted";
    QTest::newRow("repeated attribute")
        << QByteArray("<a x=\"1\" x=\"2\"/>") << "line 1: an attribute appears twice in one tag";
    QByteArray manyOnce = "<a";
    for (int i = 0; i < 30; ++i)
        manyOnce += " v" + QByteArray::number(i) + "=\"1\"";
    QTest::newRow("repeated attribute among many")
        << manyOnce + " v3=\"2\"/>"
        << "line 1: an attribute appears twice in one tag";
    QTest::newRow("attributes run together") << QByteArray("<a x=\"1\"y=\"2\"/>")
                                             << "line 1: attributes are not separated by white "
                                                "space";
    QTest::newRow("second root") << QByteArray("<a/><b/>")
                                 << "line 1: there is a second root element";
    QTest::newRow("text outside the root")
        << QByteArray("<a/>x") << "line 1: there is text outside the root element";
    QTest::newRow("empty document")
        << QByteArray("  ") << "line 1: the document has no root element";
    QTest::newRow("stray end tag")
        << QByteArray("</a>") << "line 1: there is an end tag without a start tag";
    QTest::newRow("unclosed comment")
        << QByteArray("<a><!-- x</a>") << "line 1: a comment is not closed";
    QTest::newRow("less-than in attribute")
        << QByteArray("<a x=\"<\"/>") << "line 1: an attribute value holds \"<\"";
}

void TestXmlScanner::refused() {
    QFETCH(QByteArray, doc);
    QFETCH(QString, message);
    QCOMPARE(errorOf(doc), message);
    // A part's XML error is a damaged file: a write-back refuses it with the one message.
    QCOMPARE(testsupport::errorOf([&] { workbook::damageRefusesWriting([&] { scanned(doc); }); }),
             QStringLiteral("The workbook is damaged and cannot be changed"));
}

// A sheet-like document cut at every length and with bytes overwritten at random: an error or a
// reading, and always an end.
void TestXmlScanner::damageNeverCrashes() {
    QByteArray doc("<?xml version=\"1.0\"?><worksheet xmlns=\"urn:s\"><sheetData>");
    for (int r = 1; r <= 20; ++r)
        doc += "<row r=\"" + QByteArray::number(r) + "\"><c r=\"A" + QByteArray::number(r) +
               "\" t=\"inlineStr\"><is><t>x &amp; &#x41;</t></is></c><c><v>1.5</v></c></row>";
    doc += "</sheetData><![CDATA[x]]></worksheet>";
    for (qsizetype n = 0; n < doc.size(); ++n)
        errorOf(doc.left(n));
    QRandomGenerator rng(7);
    const char alphabet[] = "<>/&;=\"' ax#!?[]-";
    for (int round = 0; round < 5000; ++round) {
        QByteArray b = doc;
        for (int k = 0; k < 1 + round % 3; ++k)
            b[rng.bounded(int(b.size()))] = alphabet[rng.bounded(int(sizeof alphabet - 1))];
        errorOf(b);
    }
}

// A small part may declare a hundred thousand attributes on one tag, or as many prefixes: each
// is checked against those before it and each element's prefix is looked up at a cost that does
// not grow with their number (by their square, a 239 KB part took 13.7 s).
void TestXmlScanner::manyAttributesInLinearTime_data() {
    QTest::addColumn<QByteArray>("doc");
    QTest::addColumn<QString>("message");
    const int n = 100000;
    QByteArray attributes = "<a", repeated, prefixes = "<a", elements;
    for (int i = 0; i < n; ++i) {
        const QByteArray k = QByteArray::number(i, 36);
        attributes += " v" + k + "=\"\"";
        prefixes += " xmlns:p" + k + "=\"urn:" + k + '"';
        elements += "<p" + k + ":b/>";
    }
    QTest::newRow("distinct attributes") << attributes + "/>" << QString();
    QTest::newRow("the last one repeated") << attributes + " v0=\"\"/>"
                                           << "line 1: an attribute appears twice in one tag";
    QTest::newRow("prefixes, each used once") << prefixes + '>' + elements + "</a>" << QString();
}

void TestXmlScanner::manyAttributesInLinearTime() {
    QFETCH(QByteArray, doc);
    QFETCH(QString, message);
    QElapsedTimer timer;
    timer.start();
    QString error;
    try {
        Scanner s(doc);
        while (s.next() != Scanner::Token::EndDocument)
            if (s.token() == Scanner::Token::StartElement)
                QVERIFY(!s.namespaceUri().isEmpty() || s.depth() == 1);
    } catch (const XmlError &e) {
        error = e.text();
    }
    QCOMPARE(error, message);
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
}

QTEST_GUILESS_MAIN(TestXmlScanner)
#include "tst_xmlscanner.moc"
