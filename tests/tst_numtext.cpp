// The number text rules (reading and writing, under "." and ",") and the degrees-minutes-seconds
// conversion built on them.
#include "common/commanderror.h"
#include "common/numtext.h"
#include "common/softextended.h"
#include "coords/dms.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QTest>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

Q_DECLARE_METATYPE(long double)

class TestNumText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reading_data();
    void reading();
    void strToFloatMessage_data();
    void strToFloatMessage();
    void writing_data();
    void writing();
    void writingAgreesWithReference_data();
    void writingAgreesWithReference();
    void formatFloatWritesInPlace();
    void writeThenReadKeeps15Digits();
    void shortestTextReadsWithinOneUnit();
    void readsSystemSeparator();
    void dms_data();
    void dms();
    void dmsErrors_data();
    void dmsErrors();
#if KMLMAKER_X87_LONG_DOUBLE
    void readingPathsAgree_data() {
        reading_data();
    }
    void readingPathsAgree();
    void dmsPathsAgree_data() {
        dms_data();
    }
    void dmsPathsAgree();
    void dmsErrorsPathsAgree_data() {
        dmsErrors_data();
    }
    void dmsErrorsPathsAgree() {
        dmsPathsAgree();
    }
    void pathsAgreeOnRandomTexts_data();
    void pathsAgreeOnRandomTexts();
    void pathsAgreeOnRandomTriples_data();
    void pathsAgreeOnRandomTriples();
#endif
};

namespace {

double bitsToDouble(quint64 bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// Finite doubles spread over every exponent, the same run after run.
QList<double> randomDoubles(int count) {
    QRandomGenerator random(20240611);
    QList<double> values;
    while (values.size() < count) {
        const double d = bitsToDouble(random.generate64());
        if (std::isfinite(d))
            values << d;
    }
    return values;
}

// The writing rule as first written: the 18 digits come from the standard library for every
// value. The program's own writer takes a faster exact route; both must give the same text.
QString referenceFloatToStr(double value, QChar separator = u'.') {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (value == 0)
        return QStringLiteral("0");
    constexpr int Digits18 = 18;
    constexpr int Precision = 15;
    char buffer[40];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                       std::chars_format::scientific, Digits18 - 1);
    char digits[Digits18];
    digits[0] = buffer[0];
    std::copy(buffer + 2, buffer + 1 + Digits18, digits + 1);
    const char *e = buffer + 2 + Digits18;
    if (*e == '+')
        ++e;
    int scientific = 0;
    std::from_chars(e, written.ptr, scientific);
    int E = scientific + 1;
    if (digits[Precision] >= '5') {
        int k = Precision - 1;
        while (k >= 0 && digits[k] == '9')
            digits[k--] = '0';
        if (k >= 0) {
            ++digits[k];
        } else {
            digits[0] = '1';
            ++E;
        }
    }
    int length = Precision;
    while (length > 1 && digits[length - 1] == '0')
        --length;
    QString out;
    if (value < 0)
        out += u'-';
    auto append = [&](int from, int to) {
        for (int i = from; i < to; ++i)
            out += QLatin1Char(digits[i]);
    };
    if (E >= -3 && E <= Precision) {
        if (E <= 0) {
            out += u'0';
            out += separator;
            out += QString(-E, u'0');
            append(0, length);
        } else {
            for (int i = 0; i < E; ++i)
                out += QLatin1Char(i < length ? digits[i] : '0');
            if (length > E) {
                out += separator;
                append(E, length);
            }
        }
    } else {
        out += QLatin1Char(digits[0]);
        if (length > 1) {
            out += separator;
            append(1, length);
        }
        out += u'E';
        out += QString::number(E - 1);
    }
    return out;
}

// The value read as a long double, which holds it exactly on x86 and where long double is IEEE
// quad precision.
[[maybe_unused]] long double asLongDouble(long double x) {
    return x;
}
#if KMLMAKER_LONG_DOUBLE_HOLDS_EXTENDED
[[maybe_unused]] long double asLongDouble(const SoftExtended &x) {
    return x.toLongDouble();
}
#endif

QString errorOf(const QString &degrees, const QString &minutes, const QString &seconds) {
    try {
        DmsToDecimal(degrees, minutes, seconds, u'.');
    } catch (const CommandError &e) {
        return e.message();
    }
    return QString();
}

} // namespace

void TestNumText::reading_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<long double>("expected");

    const QChar dot(u'.');
    const QChar comma(u',');
    auto ok = [](const char *name, const QString &text, QChar sep, long double v) {
        QTest::newRow(name) << text << sep << true << v;
    };
    auto bad = [](const char *name, const QString &text, QChar sep) {
        QTest::newRow(name) << text << sep << false << 0.0L;
    };

    ok("integer", "116", dot, 116);
    ok("fraction", "31.34", dot, 31.34L);
    ok("zero", "0", dot, 0);
    ok("leading zeros", "000.0500", dot, 0.05L);
    bad("empty", "", dot);
    bad("spaces only", "   ", dot);
    ok("spaces around", " 7 ", dot, 7);
    bad("leading tab", "\t7", dot);
    bad("trailing tab", "7\t", dot);
    bad("no-break space", u"\u00a07"_qs, dot);
    bad("trailing line break", "7\n", dot);
    bad("nul inside", QString::fromUtf16(u"7\0", 2), dot);
    ok("plus", "+5", dot, 5);
    ok("minus", "-5", dot, -5);
    ok("minus zero", "-0", dot, -0.0L);
    ok("spaces and sign", "  -5  ", dot, -5);
    bad("space after sign", "- 5", dot);
    bad("two signs", "+-5", dot);
    bad("sign alone", "-", dot);
    bad("sign after", "5-", dot);
    ok("trailing separator", "5.", dot, 5);
    ok("leading separator", ".5", dot, 0.5L);
    ok("separator alone", ".", dot, 0);
    ok("signed separator", "-.", dot, -0.0L);
    bad("two separators", "1.2.3", dot);
    bad("space inside", "1 000", dot);
    bad("comma under dot", "1,5", dot);
    ok("comma", "116,5", comma, 116.5L);
    bad("dot under comma", "116.5", comma);
    ok("comma alone", ",", comma, 0);
    ok("comma with exponent", "1,5e1", comma, 15);
    bad("arabic digit", u"\u0661"_qs, dot);
    bad("fullwidth digit", u"\uff11"_qs, dot);
    bad("hexadecimal", "0x10", dot);
    bad("infinity word", "inf", dot);

    ok("exponent", "1E3", dot, 1000);
    ok("small e", "2.5e2", dot, 250);
    ok("exponent plus", "1e+3", dot, 1000);
    ok("exponent minus", "1e-3", dot, 0.001L);
    ok("empty exponent", "1e", dot, 1);
    ok("signed empty exponent", "1e-", dot, 1);
    ok("separator with exponent", ".e7", dot, 0);
    bad("exponent without number", "e5", dot);
    bad("space before exponent", "1 e5", dot);
    bad("space in exponent", "1e 5", dot);
    bad("separator in exponent", "1e1.5", dot);
    ok("exponent 500", "1e500", dot, 1e500L);
    ok("exponent 0500", "1e0500", dot, 1e500L);
    bad("exponent 5000", "1e5000", dot);
    bad("zero with exponent 5000", "0e5000", dot);
    ok("exponent -500", "1e-500", dot, 1e-500L);
    ok("exponent -5000", "1e-5000", dot, 0);
    ok("exponent -5000 negative", "-1e-5000", dot, -0.0L);
    ok("below the smallest", "1e-4952", dot, 0);
    ok("subnormal", "1e-4950", dot, 1e-4950L);
    ok("largest decade", "1e4931", dot, 1e4931L);
    ok("near the largest", "1.1e4932", dot, 1.1e4932L);
    bad("beyond the largest", "1.2e4932", dot);
    bad("beyond, negative", "-1e4999", dot);
    ok("zero with exponent 4999", "0e4999", dot, 0);
    ok("fraction moves into range", "0.001e4934", dot, 1e4931L);

    ok("more than 19 digits", "123456789012345678901234567890", dot,
       123456789012345678901234567890.0L);
    ok("20th digit rounds", "0.99999999999999999999", dot, 1);
    ok("long fraction", "0." + QString(40, u'0') + "25", dot, 25e-42L);
    ok("long integer", "1" + QString(6000, u'0') + "e-5990", dot, 1e10L);
    bad("too many digits", "1" + QString(5000, u'0'), dot);
}

void TestNumText::reading() {
    QFETCH(QString, text);
    QFETCH(QChar, separator);
    QFETCH(bool, valid);
    QFETCH(long double, expected);
    numtext::Extended read(12345);
    QCOMPARE(numtext::TextToFloat(text, separator, read), valid);
    if (!valid)
        return;
    const long double value = asLongDouble(read);
    // Within the extended type's precision: relative for normal values, its smallest subnormal
    // for subnormal ones (a long double that is wider, as on arm64, holds the constant closer).
    const long double smallest = std::ldexp(1.0L, -16445);
    QVERIFY2(std::fabs(value - expected) <= std::max(std::fabs(expected) * 1e-18L, smallest),
             qPrintable(QString::number(double(value / expected - 1), 'g', 3)));
    QCOMPARE(std::signbit(value), std::signbit(expected));
}

void TestNumText::strToFloatMessage_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("blanks kept") << " 1x ";
    QTest::newRow("quote") << "'";
    QTest::newRow("percent") << "%1 %s";
    QTest::newRow("chinese") << u"一"_qs;
}

void TestNumText::strToFloatMessage() {
    QFETCH(QString, text);
    try {
        numtext::StrToFloat(text, u'.');
        QFAIL("no error");
    } catch (const CommandError &e) {
        QCOMPARE(e.message(), "'" + text + "' is not a valid floating point value");
    }
    QCOMPARE(toDouble(numtext::StrToFloat(u" -2.5"_qs, u'.')), -2.5);
}

void TestNumText::writing_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("text");
    const QChar dot(u'.');

    QTest::newRow("zero") << 0.0 << dot << "0";
    QTest::newRow("negative zero") << -0.0 << dot << "0";
    QTest::newRow("one") << 1.0 << dot << "1";
    QTest::newRow("negative") << -2.5 << dot << "-2.5";
    QTest::newRow("converted longitude") << 116 + 1411.34 / 3600 << dot << "116.392038888889";
    QTest::newRow("converted latitude") << 39 + 3280.332 / 3600 << dot << "39.9112033333333";
    QTest::newRow("comma") << 116.5 << QChar(u',') << "116,5";
    QTest::newRow("comma in exponent form") << 1.5e-7 << QChar(u',') << "1,5E-7";
    QTest::newRow("0.1") << 0.1 << dot << "0.1";
    QTest::newRow("one third") << 1.0 / 3 << dot << "0.333333333333333";
    QTest::newRow("minus two thirds") << -2.0 / 3 << dot << "-0.666666666666667";

    QTest::newRow("0.0001 plain") << 0.0001 << dot << "0.0001";
    QTest::newRow("0.00012345 plain") << 0.00012345 << dot << "0.00012345";
    QTest::newRow("0.00001 exponent") << 0.00001 << dot << "1E-5";
    QTest::newRow("rounds up to 0.0001") << std::nextafter(0.0001, 0.0) << dot << "0.0001";
    QTest::newRow("1e14 plain") << 1e14 << dot << "100000000000000";
    QTest::newRow("15 nines") << 999999999999999.0 << dot << "999999999999999";
    QTest::newRow("below half") << 999999999999999.4 << dot << "999999999999999";
    QTest::newRow("1e15 exponent") << 1e15 << dot << "1E15";
    QTest::newRow("rounds up to 1e15") << 999999999999999.5 << dot << "1E15";
    QTest::newRow("18 digits") << 123456789012345678.0 << dot << "1.23456789012346E17";
    QTest::newRow("large") << 1e100 << dot << "1E100";
    QTest::newRow("largest") << std::numeric_limits<double>::max() << dot << "1.79769313486232E308";
    QTest::newRow("small") << -1.5e-300 << dot << "-1.5E-300";
    QTest::newRow("smallest subnormal")
        << std::numeric_limits<double>::denorm_min() << dot << "4.94065645841247E-324";

    // Halves go away from zero, not to even.
    QTest::newRow("half, odd") << 1234567890123455.0 << dot << "1.23456789012346E15";
    QTest::newRow("half, even") << 1234567890123445.0 << dot << "1.23456789012345E15";
    QTest::newRow("half, negative") << -1234567890123445.0 << dot << "-1.23456789012345E15";
    // 41.049075756042149976…: 18 digits give …4215000, which is a half at 15 digits.
    QTest::newRow("half after 18 digits") << 41.04907575604215 << dot << "41.0490757560422";
}

void TestNumText::writing() {
    QFETCH(double, value);
    QFETCH(QChar, separator);
    QFETCH(QString, text);
    QCOMPARE(numtext::FloatToStr(value, separator), text);
}

void TestNumText::writingAgreesWithReference_data() {
    QTest::addColumn<QList<double>>("values");
    QRandomGenerator random(20250301);
    auto make = [&](int count, auto next) {
        QList<double> values;
        while (values.size() < count) {
            const double d = next();
            values << d << -d;
        }
        return values;
    };
    QTest::newRow("any bit pattern") << randomDoubles(200000);
    // Longitudes and latitudes with up to 12 decimals, as typed into workbooks.
    QTest::newRow("coordinates") << make(200000, [&] {
        const double scale = std::pow(10.0, int(random.bounded(13)));
        return double(random.bounded(Q_INT64_C(360) * Q_INT64_C(1000000000000))) / (1e12 / scale) /
               scale;
    });
    QTest::newRow("sums of small parts") << make(200000, [&] {
        const int r = int(random.bounded(1, 65536));
        return 73.5 + (r % 6000) / 100.0 + r / 1e7;
    });
    // The exact arithmetic covers about 1e-5 to 1e18; both sides of each end, and decades.
    QTest::newRow("decades and their neighbours") << [] {
        QList<double> values;
        for (int p = -12; p <= 22; ++p) {
            double x = std::pow(10.0, p);
            for (int i = 0; i < 40; ++i)
                x = std::nextafter(x, 0.0);
            for (int i = 0; i < 80; ++i, x = std::nextafter(x, 1e300))
                values << x << x * 0.5 << x * 0.9999999999999995 << x * 1.0000000000000005;
        }
        return values;
    }();
    // Dyadic values end exactly on a 5 at the 19th digit: ties at 18 digits go to even.
    QTest::newRow("ties at 18 digits") << [&] {
        QList<double> values;
        for (int shift = 1; shift <= 70; ++shift)
            for (int i = 0; i < 2000; ++i)
                values << std::ldexp(double(random.generate64() >> 11 | 1), -shift);
        return values;
    }();
    // Halves at the 16th digit, seen through 18 digits: "...5000", "...4999", "...5001".
    QTest::newRow("halves at 15 digits") << [&] {
        QList<double> values;
        for (int i = 0; i < 100000; ++i) {
            const double base = double(random.bounded(Q_INT64_C(1000000000000000))) + 0.5;
            const double x = base * std::pow(10.0, int(random.bounded(-20, 20)));
            values << x << std::nextafter(x, 0.0) << std::nextafter(x, 1e308);
        }
        return values;
    }();
    QTest::newRow("integers") << make(
        100000, [&] { return double(random.generate64() >> int(random.bounded(0, 64))); });
}

void TestNumText::writingAgreesWithReference() {
    QFETCH(QList<double>, values);
    for (const QChar separator : {QChar(u'.'), QChar(u',')}) {
        for (const double x : values) {
            const QString expected = referenceFloatToStr(x, separator);
            const QString text = numtext::FloatToStr(x, separator);
            if (text != expected)
                QFAIL(qPrintable(QStringLiteral("%1: %2, expected %3")
                                     .arg(QString::number(x, 'g', 17), text, expected)));
        }
    }
}

void TestNumText::formatFloatWritesInPlace() {
    const double values[] = {0.0,
                             -0.0,
                             std::numeric_limits<double>::quiet_NaN(),
                             -std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::max(),
                             -std::numeric_limits<double>::denorm_min(),
                             -0.000123456789012345,
                             -999999999999999.0};
    for (const double x : values) {
        char16_t buffer[numtext::FloatTextCapacity + 1];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        const char16_t *end = numtext::formatFloat(x, u'.', buffer);
        QVERIFY(end > buffer && end <= buffer + numtext::FloatTextCapacity);
        QCOMPARE(buffer[numtext::FloatTextCapacity], u'#');
        QCOMPARE(QString::fromUtf16(buffer, end - buffer), referenceFloatToStr(x));
    }
}

void TestNumText::writeThenReadKeeps15Digits() {
    for (const QChar separator : {QChar(u'.'), QChar(u',')}) {
        for (const double x : randomDoubles(20000)) {
            const QString text = numtext::FloatToStr(x, separator);
            numtext::Extended read(0);
            QVERIFY2(numtext::TextToFloat(text, separator, read), qPrintable(text));
            const long double back = asLongDouble(read);
            QCOMPARE(numtext::FloatToStr(double(back), separator), text);
            if (std::fabs(x) >= std::numeric_limits<double>::min())
                QVERIFY2(std::fabs(back - x) <= std::fabs(x) * 5.0000001e-15L, qPrintable(text));
        }
    }
}

void TestNumText::shortestTextReadsWithinOneUnit() {
    constexpr double inf = std::numeric_limits<double>::infinity();
    for (const double x : randomDoubles(20000)) {
        char buffer[40];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, x).ptr;
        const QString text = QString::fromLatin1(buffer, end - buffer);
        numtext::Extended back(0);
        QVERIFY2(numtext::TextToFloat(text, u'.', back), qPrintable(text));
        const double d = toDouble(back);
        QVERIFY2(d == x || d == std::nextafter(x, inf) || d == std::nextafter(x, -inf),
                 qPrintable(text));
    }
}

void TestNumText::readsSystemSeparator() {
    // main() sets a German locale, whose separator is ",".
    QCOMPARE(QLocale::system().decimalPoint(), u","_qs);
    const QChar separator = numtext::systemDecimalSeparator();
    QCOMPARE(separator, QChar(u','));
    numtext::Extended value(0);
    QVERIFY(numtext::TextToFloat(u"116,5"_qs, separator, value));
    QCOMPARE(toDouble(value), 116.5);
}

void TestNumText::dms_data() {
    QTest::addColumn<QString>("degrees");
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<QString>("result");

    QTest::newRow("Beijing longitude") << "116"
                                       << "23"
                                       << "31.34"
                                       << "116.392038888889";
    QTest::newRow("Beijing latitude") << "39"
                                      << "54"
                                      << "40.332"
                                      << "39.9112033333333";
    QTest::newRow("blanks") << " 7 "
                            << "0"
                            << "0"
                            << "7";
    QTest::newRow("90 minutes") << "0"
                                << "90"
                                << "0"
                                << "1.5";
    QTest::newRow("3600 seconds") << "0"
                                  << "0"
                                  << "3600"
                                  << "1";
    QTest::newRow("fractional degrees") << "10.5"
                                        << "30"
                                        << "0"
                                        << "11";
    QTest::newRow("negative degrees") << "-116"
                                      << "30"
                                      << "0"
                                      << "-116.5";
    QTest::newRow("negative zero degrees") << "-0"
                                           << "30"
                                           << "0"
                                           << "-0.5";
    QTest::newRow("negative zero alone") << "-0"
                                         << "0"
                                         << "0"
                                         << "0";
    QTest::newRow("negative seconds") << "-116"
                                      << "30"
                                      << "-1800"
                                      << "-116";
    QTest::newRow("negative minutes") << "10"
                                      << "-30"
                                      << "0"
                                      << "9.5";
    QTest::newRow("both negative") << "-10"
                                   << "-30"
                                   << "0"
                                   << "-9.5";
    QTest::newRow("tiny") << "1e-400"
                          << "0"
                          << "0"
                          << "0";
    QTest::newRow("largest double") << "1.79769313486231e308"
                                    << "0"
                                    << "0"
                                    << "1.79769313486231E308";
    QTest::newRow("large minutes") << "0"
                                   << "1e310"
                                   << "0"
                                   << "1.66666666666667E308";
}

void TestNumText::dms() {
    QFETCH(QString, degrees);
    QFETCH(QString, minutes);
    QFETCH(QString, seconds);
    QFETCH(QString, result);
    QCOMPARE(numtext::FloatToStr(DmsToDecimal(degrees, minutes, seconds, u'.'), u'.'), result);
    auto comma = [](QString text) { return text.replace(u'.', u','); };
    QCOMPARE(numtext::FloatToStr(DmsToDecimal(comma(degrees), comma(minutes), comma(seconds), u','),
                                 u','),
             comma(result));
}

void TestNumText::dmsErrors_data() {
    QTest::addColumn<QString>("degrees");
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<QString>("message");

    QTest::newRow("all empty") << ""
                               << ""
                               << ""
                               << "'' is not a valid floating point value";
    QTest::newRow("degrees first") << "abc"
                                   << "y"
                                   << "x"
                                   << "'abc' is not a valid floating point value";
    QTest::newRow("seconds before minutes") << "1"
                                            << "y"
                                            << "x"
                                            << "'x' is not a valid floating point value";
    QTest::newRow("minutes last") << "1"
                                  << "y"
                                  << "2"
                                  << "'y' is not a valid floating point value";
    QTest::newRow("tab") << "\t1"
                         << "0"
                         << "0"
                         << "'\t1' is not a valid floating point value";
    QTest::newRow("overflow") << "1e400"
                              << "0"
                              << "0"
                              << "Floating point overflow";
    QTest::newRow("negative overflow") << "-1e400"
                                       << "0"
                                       << "0"
                                       << "Floating point overflow";
    QTest::newRow("overflow from minutes") << "0"
                                           << "1e311"
                                           << "0"
                                           << "Floating point overflow";
    QTest::newRow("beyond extended in sum") << "0"
                                            << "1e4931"
                                            << "0"
                                            << "Floating point overflow";
}

void TestNumText::dmsErrors() {
    QFETCH(QString, degrees);
    QFETCH(QString, minutes);
    QFETCH(QString, seconds);
    QFETCH(QString, message);
    QCOMPARE(errorOf(degrees, minutes, seconds), message);
}

#if KMLMAKER_X87_LONG_DOUBLE
// The reading rule and the conversion computed in x87's long double and in SoftExtended, which
// the program takes where long double is another type: the same results to the bit.
namespace {

// Whether both read the text alike; the difference in words when not.
QString readingDifference(const QString &text, QChar separator) {
    long double x87 = 0;
    SoftExtended soft(0);
    const bool x87Valid = numtext::readNumber(text, separator, x87);
    const bool softValid = numtext::readNumber(text, separator, soft);
    if (x87Valid != softValid)
        return QStringLiteral("'%1': valid %2 against %3").arg(text).arg(softValid).arg(x87Valid);
    auto bits = [](const SoftExtended &x) {
        const SoftExtended::Bits b = x.bits();
        return QStringLiteral("%1%2:%3")
            .arg(b.negative ? QChar(u'-') : QChar(u'+'))
            .arg(b.exponent, 4, 16, QChar(u'0'))
            .arg(b.significand, 16, 16, QChar(u'0'));
    };
    if (x87Valid && SoftExtended::fromLongDouble(x87).bits() != soft.bits())
        return QStringLiteral("'%1': %2 against %3")
            .arg(text, bits(soft), bits(SoftExtended::fromLongDouble(x87)));
    return QString();
}

// The conversion's result as text (its bits) or its message.
template <class Real>
QString dmsOutcome(const QString &d, const QString &m, const QString &s, QChar separator) {
    try {
        const double v = dmsToDecimal<Real>(d, m, s, separator);
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        return QString::number(bits, 16);
    } catch (const CommandError &e) {
        return e.message();
    }
}

QString dmsDifference(const QString &d, const QString &m, const QString &s, QChar separator) {
    const QString x87 = dmsOutcome<long double>(d, m, s, separator);
    const QString soft = dmsOutcome<SoftExtended>(d, m, s, separator);
    if (x87 == soft)
        return QString();
    return QStringLiteral("'%1' '%2' '%3': %4 against %5").arg(d, m, s, soft, x87);
}

enum class Shape {
    Decimals,
    ManyDigits,
    AnyExponent,
    NearTheLargest,
    Subnormal,
    DoubleEdges,
    Malformed
};

QString digits(QRandomGenerator &random, int count) {
    QString text;
    for (int i = 0; i < count; ++i)
        text += QChar(u'0' + random.bounded(10));
    return text;
}

// A number text of the shape: digits with the separator somewhere, an exponent that brings the
// value where the shape wants it, signs, blanks and letters in the malformed ones.
QString randomText(QRandomGenerator &random, Shape shape, QChar separator) {
    auto mantissa = [&](int count) -> QString {
        QString m = digits(random, count);
        const int at = int(random.bounded(count + 1));
        if (random.bounded(4) != 0)
            m.insert(at, separator);
        return m;
    };
    auto sign = [&]() -> QString {
        switch (random.bounded(4)) {
        case 0:
            return QStringLiteral("-");
        case 1:
            return QStringLiteral("+");
        default:
            return QString();
        }
    };
    auto withExponent = [&](const QString &m, int e) -> QString {
        return sign() + m + (random.bounded(2) ? u'e' : u'E') + QString::number(e);
    };
    switch (shape) {
    case Shape::Decimals: {
        QString text = sign() + mantissa(int(random.bounded(1, 16)));
        if (random.bounded(8) == 0)
            text = QStringLiteral("  ") + text + QStringLiteral(" ");
        return text;
    }
    case Shape::ManyDigits: {
        QString m = mantissa(int(random.bounded(18, 45)));
        if (random.bounded(3) == 0)
            m.prepend(QString(int(random.bounded(1, 30)), u'0'));
        return random.bounded(2) ? sign() + m : withExponent(m, int(random.bounded(-400, 400)));
    }
    case Shape::AnyExponent:
        return withExponent(mantissa(int(random.bounded(1, 21))), int(random.bounded(-5100, 5100)));
    case Shape::NearTheLargest: {
        const int count = int(random.bounded(1, 22));
        return withExponent(digits(random, count), 4932 - count + int(random.bounded(-3, 3)));
    }
    case Shape::Subnormal: {
        // Below 1e-4931 down to past the smallest subnormal, 3.6e-4951, across the reading
        // rule's two-step division (10^-4900).
        const int count = int(random.bounded(1, 22));
        return withExponent(digits(random, count), int(random.bounded(-4975, -4890)) - count);
    }
    case Shape::DoubleEdges: {
        const int count = int(random.bounded(15, 21));
        const int edges[] = {308, -308, -324, -320, 0, 15, -5};
        return withExponent(mantissa(count), edges[random.bounded(7)] - int(random.bounded(-2, 3)));
    }
    case Shape::Malformed: {
        static const QString alphabet = QStringLiteral("0123456789.,eE+- x");
        QString text;
        const int length = int(random.bounded(0, 12));
        for (int i = 0; i < length; ++i)
            text += alphabet[int(random.bounded(alphabet.size()))];
        return text;
    }
    }
    return QString();
}

} // namespace

void TestNumText::readingPathsAgree() {
    QFETCH(QString, text);
    QFETCH(QChar, separator);
    const QString difference = readingDifference(text, separator);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestNumText::dmsPathsAgree() {
    QFETCH(QString, degrees);
    QFETCH(QString, minutes);
    QFETCH(QString, seconds);
    for (const QChar separator : {QChar(u'.'), QChar(u',')}) {
        auto local = [&](QString text) -> QString { return text.replace(u'.', separator); };
        const QString difference =
            dmsDifference(local(degrees), local(minutes), local(seconds), separator);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }
}

void TestNumText::pathsAgreeOnRandomTexts_data() {
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("count");
    QTest::newRow("decimals") << int(Shape::Decimals) << 250000;
    QTest::newRow("many digits") << int(Shape::ManyDigits) << 150000;
    QTest::newRow("any exponent") << int(Shape::AnyExponent) << 150000;
    QTest::newRow("near the largest") << int(Shape::NearTheLargest) << 100000;
    QTest::newRow("subnormal") << int(Shape::Subnormal) << 150000;
    QTest::newRow("double's edges") << int(Shape::DoubleEdges) << 100000;
    QTest::newRow("malformed") << int(Shape::Malformed) << 100000;
}

// A million texts in all, a tenth of each shape under ",".
void TestNumText::pathsAgreeOnRandomTexts() {
    QFETCH(int, shape);
    QFETCH(int, count);
    QRandomGenerator random(20251208 + quint32(shape));
    for (int i = 0; i < count; ++i) {
        const QChar separator = i % 10 == 0 ? QChar(u',') : QChar(u'.');
        const QString text = randomText(random, Shape(shape), separator);
        const QString difference = readingDifference(text, separator);
        if (!difference.isEmpty())
            QFAIL(qPrintable(difference));
    }
}

void TestNumText::pathsAgreeOnRandomTriples_data() {
    QTest::addColumn<int>("shape");
    QTest::newRow("coordinates") << int(Shape::Decimals);
    QTest::newRow("many digits") << int(Shape::ManyDigits);
    QTest::newRow("any exponent") << int(Shape::AnyExponent);
    QTest::newRow("double's edges") << int(Shape::DoubleEdges);
}

// A million degrees-minutes-seconds triples in all; the degrees often negative or -0.
void TestNumText::pathsAgreeOnRandomTriples() {
    QFETCH(int, shape);
    QRandomGenerator random(20251209 + quint32(shape));
    for (int i = 0; i < 250000; ++i) {
        const QChar separator = i % 10 == 0 ? QChar(u',') : QChar(u'.');
        QString d = random.bounded(3) == 0 ? randomText(random, Shape(shape), separator)
                                           : QString::number(random.bounded(-180, 181));
        if (random.bounded(50) == 0)
            d = QStringLiteral("-0");
        const QString m = random.bounded(3) == 0 ? randomText(random, Shape(shape), separator)
                                                 : QString::number(random.bounded(60));
        const QString s =
            randomText(random, random.bounded(2) ? Shape::Decimals : Shape(shape), separator);
        const QString difference = dmsDifference(d, m, s, separator);
        if (!difference.isEmpty())
            QFAIL(qPrintable(difference));
    }
}
#endif

// A German system locale, so that reading the separator from it has something to find.
int main(int argc, char **argv) {
    qputenv("LC_ALL", "de_DE.UTF-8");
    QCoreApplication app(argc, argv);
    TestNumText test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_numtext.moc"
