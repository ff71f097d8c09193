// The extended type done in integers: results known from the x87 unit, which hold on every
// architecture, and on x86 its four operations and its rounding to double against the x87 unit
// itself over millions of operands of every range.
#include "common/softextended.h"

#include <QRandomGenerator>
#include <QTest>
#include <cmath>
#include <cstring>
#include <limits>

Q_DECLARE_METATYPE(SoftExtended)
Q_DECLARE_METATYPE(SoftExtended::Bits)

class TestSoftExtended : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void knownResults_data();
    void knownResults();
    void toDouble_data();
    void toDouble();
    void integersExact();
#if KMLMAKER_X87_LONG_DOUBLE
    void agreesWithX87_data();
    void agreesWithX87();
#endif
};

namespace {

SoftExtended value(bool negative, std::uint16_t exponent, std::uint64_t significand) {
    return SoftExtended::fromBits({negative, exponent, significand});
}

QString describe(const SoftExtended::Bits &b) {
    return QStringLiteral("%1 %2 %3")
        .arg(b.negative ? QChar(u'-') : QChar(u'+'))
        .arg(b.exponent, 4, 16, QLatin1Char('0'))
        .arg(b.significand, 16, 16, QLatin1Char('0'));
}

const SoftExtended One(1);
const SoftExtended MinSubnormal = value(false, 0, 1);
const SoftExtended MinNormal = value(false, 1, std::uint64_t(1) << 63);
const SoftExtended Max = value(false, 0x7FFE, ~std::uint64_t(0));

SoftExtended power2(int n) {
    return SoftExtended::scaledBits(1, n);
}

} // namespace

void TestSoftExtended::knownResults_data() {
    QTest::addColumn<SoftExtended>("result");
    QTest::addColumn<SoftExtended::Bits>("expected");
    const SoftExtended three(3), ten(10);
    auto row = [](const char *name, SoftExtended r, bool negative, std::uint16_t exponent,
                  std::uint64_t significand) {
        QTest::newRow(name) << r << SoftExtended::Bits{negative, exponent, significand};
    };
    row("1/3", One / three, false, 0x3FFD, 0xAAAAAAAAAAAAAAABULL);
    row("2/3", (One + One) / three, false, 0x3FFE, 0xAAAAAAAAAAAAAAABULL);
    row("0.1", One / ten, false, 0x3FFB, 0xCCCCCCCCCCCCCCCDULL);
    row("-1/3", -One / three, true, 0x3FFD, 0xAAAAAAAAAAAAAAABULL);
    row("half the smallest, a tie to even 0", MinSubnormal / SoftExtended(2), false, 0, 0);
    row("0.75 of the smallest rounds up", MinSubnormal * SoftExtended(3) / SoftExtended(4), false,
        0, 1);
    row("1.5 of the smallest, a tie to even 2", MinSubnormal * (SoftExtended(3) / SoftExtended(2)),
        false, 0, 2);
    row("subnormal quotient", SoftExtended::scaledBits(1, -16380) / SoftExtended(1000), false, 0,
        0x0083126E978D4FDFULL);
    row("smallest normal less the smallest", MinNormal - MinSubnormal, false, 0,
        0x7FFFFFFFFFFFFFFFULL);
    row("subnormals add exactly", MinSubnormal + MinSubnormal, false, 0, 2);
    row("largest", Max, false, 0x7FFE, 0xFFFFFFFFFFFFFFFFULL);
    row("largest doubled overflows", Max * SoftExtended(2), false, 0x7FFF, 0x8000000000000000ULL);
    row("largest and half a place overflows", Max + power2(16383 - 64), false, 0x7FFF,
        0x8000000000000000ULL);
    row("1 + 2^-64, a tie to even 1", One + power2(-64), false, 0x3FFF, 0x8000000000000000ULL);
    row("1 + 3 × 2^-65 rounds up", One + SoftExtended::scaledBits(3, -65), false, 0x3FFF,
        0x8000000000000001ULL);
    row("1 - 2^-65, a tie to even 1", One - power2(-65), false, 0x3FFF, 0x8000000000000000ULL);
    row("1 - 2^-66", One - power2(-66), false, 0x3FFF, 0x8000000000000000ULL);
    row("1 - 2^-64 exact", One - power2(-64), false, 0x3FFE, 0xFFFFFFFFFFFFFFFFULL);
    row("a far smaller term only rounds", One - MinSubnormal, false, 0x3FFF, 0x8000000000000000ULL);
    row("x - x is +0", One - One, false, 0, 0);
    row("-0 + -0 is -0", -SoftExtended() + -SoftExtended(), true, 0, 0);
    row("-0 + 0 is +0", -SoftExtended() + SoftExtended(), false, 0, 0);
    row("by zero", -One / SoftExtended(), true, 0x7FFF, 0x8000000000000000ULL);
    row("infinity less infinity", SoftExtended::infinity() - SoftExtended::infinity(), true, 0x7FFF,
        0xC000000000000000ULL);
}

void TestSoftExtended::knownResults() {
    QFETCH(SoftExtended, result);
    QFETCH(SoftExtended::Bits, expected);
    QCOMPARE(describe(result.bits()), describe(expected));
}

void TestSoftExtended::toDouble_data() {
    QTest::addColumn<SoftExtended>("x");
    QTest::addColumn<double>("expected");
    constexpr double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("1/3") << One / SoftExtended(3) << 1.0 / 3;
    QTest::newRow("tie to even below") << SoftExtended((1ULL << 53) + 1) << 9007199254740992.0;
    QTest::newRow("tie to even above") << SoftExtended((1ULL << 53) + 3) << 9007199254740996.0;
    QTest::newRow("0.75 of the smallest subnormal")
        << SoftExtended::scaledBits(3, -1076) << std::numeric_limits<double>::denorm_min();
    QTest::newRow("half the smallest subnormal") << power2(-1075) << 0.0;
    QTest::newRow("largest") << SoftExtended::scaledBits((1ULL << 53) - 1, 971)
                             << std::numeric_limits<double>::max();
    QTest::newRow("half a place above the largest")
        << SoftExtended::scaledBits((1ULL << 54) - 1, 970) << inf;
    QTest::newRow("beyond double") << power2(2000) << inf;
    QTest::newRow("negative beyond double") << -power2(2000) << -inf;
    QTest::newRow("below double") << -MinNormal << -0.0;
}

void TestSoftExtended::toDouble() {
    QFETCH(SoftExtended, x);
    QFETCH(double, expected);
    const double d = x.toDouble();
    QCOMPARE(d, expected);
    QCOMPARE(std::signbit(d), std::signbit(expected));
}

void TestSoftExtended::integersExact() {
    QRandomGenerator random(7);
    for (int i = 0; i < 100000; ++i) {
        const std::uint64_t n = random.generate64() >> random.bounded(64);
        const SoftExtended x(n);
        const SoftExtended::Bits b = x.bits();
        if (n == 0) {
            QVERIFY(x.isZero());
            continue;
        }
        const int leading = __builtin_clzll(n);
        QCOMPARE(b.significand, n << leading);
        QCOMPARE(int(b.exponent), 16383 + 63 - leading);
    }
}

#if KMLMAKER_X87_LONG_DOUBLE
namespace {

SoftExtended::Bits x87Bits(long double v) {
    return SoftExtended::fromLongDouble(v).bits();
}

long double fromBits(const SoftExtended::Bits &b) {
    unsigned char bytes[sizeof(long double)] = {};
    std::memcpy(bytes, &b.significand, 8);
    const unsigned top = unsigned(b.exponent) | unsigned(b.negative) << 15;
    bytes[8] = std::uint8_t(top);
    bytes[9] = std::uint8_t(top >> 8);
    long double v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

enum class Spread { Anywhere, Near, SubnormalRange, Integers };

// Operand pairs: of any exponent, close together (cancelling, adding within a place), near the
// subnormal range, and small whole numbers as the conversion's 60 and 3600.
QList<std::pair<SoftExtended::Bits, SoftExtended::Bits>> operands(Spread spread, int count,
                                                                  quint32 seed) {
    QRandomGenerator random(seed);
    auto significand = [&] {
        const std::uint64_t s = random.generate64() | std::uint64_t(1) << 63;
        // Some significands with long runs of zeros or ones, where rounding ties live.
        switch (random.bounded(4)) {
        case 0:
            return s & ~((std::uint64_t(1) << random.bounded(63)) - 1);
        case 1:
            return s | ((std::uint64_t(1) << random.bounded(63)) - 1);
        default:
            return s;
        }
    };
    QList<std::pair<SoftExtended::Bits, SoftExtended::Bits>> pairs;
    while (pairs.size() < count) {
        SoftExtended::Bits a{random.bounded(2) == 1, 0, significand()};
        SoftExtended::Bits b{random.bounded(2) == 1, 0, significand()};
        switch (spread) {
        case Spread::Anywhere:
            a.exponent = std::uint16_t(random.bounded(1, 0x7FFF));
            b.exponent = std::uint16_t(random.bounded(1, 0x7FFF));
            break;
        case Spread::Near:
            a.exponent = std::uint16_t(random.bounded(200, 0x7FFF - 200));
            b.exponent = std::uint16_t(a.exponent + random.bounded(-70, 71));
            if (random.bounded(4) == 0)
                b.significand = a.significand ^ (random.generate64() >> random.bounded(1, 64));
            break;
        case Spread::SubnormalRange:
            a.exponent = std::uint16_t(random.bounded(0, 140));
            b.exponent = std::uint16_t(random.bounded(0x3FFF - 70, 0x3FFF + 70));
            if (a.exponent == 0)
                a.significand >>= random.bounded(1, 64);
            break;
        case Spread::Integers:
            a = SoftExtended(random.generate64() >> random.bounded(64)).bits();
            b = SoftExtended(random.bounded(1, 4000)).bits();
            break;
        }
        pairs.append({a, b});
    }
    return pairs;
}

} // namespace

void TestSoftExtended::agreesWithX87_data() {
    QTest::addColumn<int>("spread");
    QTest::newRow("anywhere") << int(Spread::Anywhere);
    QTest::newRow("near each other") << int(Spread::Near);
    QTest::newRow("subnormal range") << int(Spread::SubnormalRange);
    QTest::newRow("integers") << int(Spread::Integers);
}

// Each pair both ways round, through the four operations, and each result stored as a double.
void TestSoftExtended::agreesWithX87() {
    QFETCH(int, spread);
    const auto pairs = operands(Spread(spread), 250000, 20251208 + quint32(spread));
    for (const auto &[ab, bb] : pairs) {
        const long double a = fromBits(ab), b = fromBits(bb);
        const SoftExtended sa = SoftExtended::fromBits(ab), sb = SoftExtended::fromBits(bb);
        const std::pair<long double, SoftExtended> results[] = {
            {a + b, sa + sb}, {a - b, sa - sb}, {b - a, sb - sa}, {a * b, sa * sb},
            {a / b, sa / sb}, {b / a, sb / sa}, {a, sa}};
        for (const auto &[x87, soft] : results) {
            if (x87Bits(x87) != soft.bits())
                QFAIL(qPrintable(QStringLiteral("%1 and %2: %3, x87 %4")
                                     .arg(describe(ab), describe(bb), describe(soft.bits()),
                                          describe(x87Bits(x87)))));
            const double d = double(x87);
            const double sd = soft.toDouble();
            if (std::memcmp(&d, &sd, sizeof d) != 0)
                QFAIL(qPrintable(QStringLiteral("%1 as double: %2, x87 %3")
                                     .arg(describe(soft.bits()), QString::number(sd, 'g', 17),
                                          QString::number(d, 'g', 17))));
        }
    }
}
#endif

QTEST_APPLESS_MAIN(TestSoftExtended)
#include "tst_softextended.moc"
