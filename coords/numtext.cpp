// The reading and writing rules for number text, done by hand so that neither depends on the C
// library's locale: only the configured separator ever acts as a decimal point.
#include "coords/numtext.h"

#include "common/commanderror.h"

#include <QLocale>
#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

static_assert(std::numeric_limits<long double>::digits == 64,
              "the reading rule needs the x87 80-bit extended type");

namespace numtext {

namespace {

std::atomic<char16_t> g_separator{u'.'};

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// A uint64 holds 19 decimal digits exactly; the extended type holds any uint64 exactly.
constexpr int MantissaDigits = 19;
// An exponent whose magnitude is beyond this cannot bring a 19-digit mantissa into range.
constexpr std::int64_t ExponentLimit = 5000;
// The exponent value at which taking exponent digits stops.
constexpr int ExponentDigitLimit = 500;

// 10^n for 0 <= n <= ExponentLimit: exact up to 10^27 (5^27 still fits 64 bits), beyond that a
// product of at most nine correctly rounded factors, and infinite past the extended range.
long double powerOfTen(std::int64_t n) {
    static const std::array<long double, 32> small = [] {
        std::array<long double, 32> table{};
        long double p = 1;
        for (std::size_t i = 0; i < 28; ++i, p *= 10)
            table[i] = p;
        table[28] = 1e28L;
        table[29] = 1e29L;
        table[30] = 1e30L;
        table[31] = 1e31L;
        return table;
    }();
    static constexpr long double large[] = {1e32L,  1e64L,   1e128L,  1e256L,
                                            1e512L, 1e1024L, 1e2048L, 1e4096L};
    if (n >= 8192)
        return std::numeric_limits<long double>::infinity();
    long double result = small[static_cast<std::size_t>(n % 32)];
    std::size_t bit = 0;
    for (std::int64_t k = n / 32; k > 0; k >>= 1, ++bit) {
        if (k & 1)
            result *= large[bit];
    }
    return result;
}

// mantissa × 10^exponent in extended precision: infinite when too large, 0 when too small.
long double scaled(std::uint64_t mantissa, std::int64_t exponent) {
    long double v = static_cast<long double>(mantissa);
    if (mantissa == 0)
        return 0;
    if (exponent >= 0) {
        if (exponent > ExponentLimit)
            return std::numeric_limits<long double>::infinity();
        return v * powerOfTen(exponent);
    }
    std::int64_t n = -exponent;
    if (n > ExponentLimit)
        return 0;
    // Dividing (rather than multiplying by a reciprocal) keeps small powers exact; two steps keep
    // the divisor finite where the quotient is a subnormal.
    constexpr std::int64_t Step = 4900;
    if (n > Step) {
        v /= powerOfTen(Step);
        n -= Step;
    }
    return v / powerOfTen(n);
}

} // namespace

QChar decimalSeparator() {
    return QChar(g_separator.load());
}

void setDecimalSeparator(QChar c) {
    g_separator.store(c.unicode());
}

void readDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    setDecimalSeparator(point.size() == 1 ? point.front() : QChar(u'.'));
}

bool TextToFloat(const QString &text, long double &value) {
    const char16_t separator = g_separator.load();
    const QChar *p = text.constData();
    const QChar *const end = p + text.size();
    auto at = [&] { return p < end ? p->unicode() : char16_t(0); };

    while (p < end && at() == u' ')
        ++p;
    bool negative = false;
    if (p < end && (at() == u'+' || at() == u'-')) {
        negative = at() == u'-';
        ++p;
    }

    std::uint64_t mantissa = 0;
    int significant = 0;
    std::int64_t exponent = 0;
    bool fraction = false;
    bool seen = false;
    bool roundUp = false;
    for (; p < end; ++p) {
        const char16_t c = at();
        if (isDigit(c)) {
            seen = true;
            const unsigned digit = c - u'0';
            if (significant < MantissaDigits) {
                if (mantissa != 0 || digit != 0) {
                    mantissa = mantissa * 10 + digit;
                    ++significant;
                }
                if (fraction)
                    --exponent;
            } else {
                // Past the digits the mantissa holds: the first one rounds, the rest only move
                // the decimal point.
                if (significant == MantissaDigits) {
                    roundUp = digit >= 5;
                    ++significant;
                }
                if (!fraction)
                    ++exponent;
            }
        } else if (c == separator && !fraction) {
            seen = true;
            fraction = true;
        } else {
            break;
        }
    }
    if (!seen)
        return false;
    if (roundUp)
        ++mantissa; // at most 10^19, still within 64 bits

    if (p < end && (at() == u'E' || at() == u'e')) {
        ++p;
        bool negativeExponent = false;
        if (p < end && (at() == u'+' || at() == u'-')) {
            negativeExponent = at() == u'-';
            ++p;
        }
        std::int64_t e = 0;
        while (p < end && isDigit(at()) && e < ExponentDigitLimit) {
            e = e * 10 + (at() - u'0');
            ++p;
        }
        // A leftover digit of a positive exponent makes the text invalid (it is not consumed, so
        // the end test below fails). In a negative exponent further digits only make the value
        // smaller, down to 0, so they are taken.
        if (negativeExponent) {
            for (; p < end && isDigit(at()); ++p)
                e = std::min<std::int64_t>(e * 10 + (at() - u'0'), 10 * ExponentLimit);
        }
        exponent += negativeExponent ? -e : e;
    }

    while (p < end && at() == u' ')
        ++p;
    if (p != end)
        return false;

    const long double magnitude = scaled(mantissa, exponent);
    if (std::isinf(magnitude))
        return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

long double StrToFloat(const QString &text) {
    long double value = 0;
    if (!TextToFloat(text, value))
        throw CommandError(QStringLiteral("'") + text +
                           QStringLiteral("' is not a valid floating point value"));
    return value;
}

QString FloatToStr(double value) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (value == 0)
        return QStringLiteral("0");

    // The first 18 significant digits, correctly rounded: "d.ddddddddddddddddde-XXX".
    constexpr int Digits18 = 18;
    constexpr int Precision = 15;
    char buffer[40];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                       std::chars_format::scientific, Digits18 - 1);
    char digits[Digits18];
    digits[0] = buffer[0];
    std::copy(buffer + 2, buffer + 1 + Digits18, digits + 1);
    const char *e = buffer + 2 + Digits18; // past the 'e'
    if (*e == '+')
        ++e;
    int scientific = 0;
    std::from_chars(e, written.ptr, scientific);
    int E = scientific + 1; // the value is 0.d1d2... × 10^E

    // Round to 15 digits, halves away from zero.
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

    const QChar separator = decimalSeparator();
    QString out;
    out.reserve(Precision + 8);
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

} // namespace numtext
