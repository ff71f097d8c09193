// A KML document's bytes made straight from UTF-16: each text the bytes QString::toUtf8 gives,
// lone surrogates included, escaped as character data or as an attribute's value.
#include "table/kmltext.h"

#include <QTest>

using table::KmlText;

class TestKmlText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void escaped_data();
    void escaped();
    void grows();
};

void TestKmlText::escaped_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("attribute");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("markup") << QStringLiteral("a<b>&\"c\"") << false
                            << QByteArray("a&lt;b&gt;&amp;\"c\"");
    QTest::newRow("quote in an attribute")
        << QStringLiteral("\"A&B\"") << true << QByteArray("&quot;A&amp;B&quot;");
    QTest::newRow("control characters left out")
        << QStringLiteral("a\x01\tb\r\n\x1f") << false << QByteArray("a\tb\r\n");
    QTest::newRow("two and three bytes")
        << QStringLiteral("é站点") << false << QString::fromUtf8("é站点").toUtf8();
    QTest::newRow("surrogate pair")
        << QString::fromUcs4(U"𝄞x", 2) << false << QByteArray("\xf0\x9d\x84\x9ex");
    // What Qt's encoder makes of a surrogate without its other half, wherever it stands.
    const QString lone = QString(QChar(0xd834)) + u"<" + QChar(0xdd1e) + u"z" + QChar(0xd834);
    QTest::newRow("lone surrogates")
        << lone << false
        << QString(QChar(0xd834)).toUtf8() + "&lt;" + QString(QChar(0xdd1e)).toUtf8() + "z" +
               QString(QChar(0xd834)).toUtf8();
}

void TestKmlText::escaped() {
    QFETCH(QString, text);
    QFETCH(bool, attribute);
    QFETCH(QByteArray, bytes);
    KmlText out;
    out.append("[");
    out.appendEscaped(text, attribute);
    QCOMPARE(out.bytes().toByteArray(), "[" + bytes);
    // Unescaped, the text is as Qt encodes it.
    KmlText plain;
    plain.appendUtf8(text);
    QCOMPARE(plain.bytes().toByteArray(), text.toUtf8());
}

// Appends past the first room keep what came before, and a cleared buffer starts again.
void TestKmlText::grows() {
    KmlText out;
    QByteArray expected;
    for (int i = 0; i < 5000; ++i) {
        out.appendNumber(i + 0.5);
        out.append(',');
        expected += QByteArray::number(i + 0.5) + ',';
    }
    QCOMPARE(out.bytes().toByteArray(), expected);
    out.clear();
    out.appendUtf8(u"站");
    QCOMPARE(out.bytes().toByteArray(), QByteArray("\xe7\xab\x99"));
}

QTEST_GUILESS_MAIN(TestKmlText)
#include "tst_kmltext.moc"
