// The reading and writing rules for number text, done by hand so that neither depends on the C
// library's locale: only the configured separator ever acts as a decimal point.
#include "common/numtext.h"

#include "common/commanderror.h"
#include "common/softextended.h"

#include <QLocale>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

namespace numtext {

namespace {

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// A uint64 holds 19 decimal digits exactly; the extended type holds any uint64 exactly.
constexpr int MantissaDigits = 19;
// An exponent whose magnitude is beyond this cannot bring a 19-digit mantissa into range.
constexpr std::int64_t ExponentLimit = 5000;
// The exponent value at which taking exponent digits stops.
constexpr int ExponentDigitLimit = 500;

// The powers of ten that the extended type does not hold exactly, as the compiler rounds them on
// x86: 10^28 to 10^31, then 10^32, 10^64, ... 10^4096.
template <class Real> struct InexactPowers;

#if KMLMAKER_X87_LONG_DOUBLE
template <> struct InexactPowers<long double> {
    static constexpr long double small[] = {1e28L, 1e29L, 1e30L, 1e31L};
    static constexpr long double large[] = {1e32L,  1e64L,   1e128L,  1e256L,
                                            1e512L, 1e1024L, 1e2048L, 1e4096L};
};
#endif

// The same values as significand and power of two (tests compare them with the x87 constants).
template <> struct InexactPowers<SoftExtended> {
    struct Parts {
        std::uint64_t significand;
        int exponent;
    };
    static constexpr Parts smallParts[] = {{0x813F3978F8940984ULL, 30},
                                           {0xA18F07D736B90BE5ULL, 33},
                                           {0xC9F2C9CD04674EDFULL, 36},
                                           {0xFC6F7C4045812296ULL, 39}};
    static constexpr Parts largeParts[] = {
        {0x9DC5ADA82B70B59EULL, 43},   {0xC2781F49FFCFA6D5ULL, 149},  {0x93BA47C980E98CE0ULL, 362},
        {0xAA7EEBFB9DF9DE8EULL, 787},  {0xE319A0AEA60E91C7ULL, 1637}, {0xC976758681750C17ULL, 3338},
        {0x9E8B3B5DC53D5DE5ULL, 6740}, {0xC46052028A20979BULL, 13543}};
    template <std::size_t N> static std::array<SoftExtended, N> make(const Parts (&parts)[N]) {
        std::array<SoftExtended, N> values;
        for (std::size_t i = 0; i < N; ++i)
            values[i] = SoftExtended::scaledBits(parts[i].significand, parts[i].exponent);
        return values;
    }
    static inline const std::array<SoftExtended, 4> small = make(smallParts);
    static inline const std::array<SoftExtended, 8> large = make(largeParts);
};

template <class Real> Real infinity() {
    if constexpr (std::is_same_v<Real, SoftExtended>)
        return SoftExtended::infinity();
    else
        return std::numeric_limits<Real>::infinity();
}

// 10^n for 0 <= n <= ExponentLimit: exact up to 10^27 (5^27 still fits 64 bits), beyond that a
// product of at most nine correctly rounded factors, and infinite past the extended range.
template <class Real> Real powerOfTen(std::int64_t n) {
    static const std::array<Real, 32> small = [] {
        std::array<Real, 32> table{};
        Real p(1);
        for (std::size_t i = 0; i < 28; ++i, p *= Real(10))
            table[i] = p;
        for (std::size_t i = 28; i < 32; ++i)
            table[i] = InexactPowers<Real>::small[i - 28];
        return table;
    }();
    const auto &large = InexactPowers<Real>::large;
    if (n >= 8192)
        return infinity<Real>();
    Real result = small[static_cast<std::size_t>(n % 32)];
    std::size_t bit = 0;
    for (std::int64_t k = n / 32; k > 0; k >>= 1, ++bit) {
        if (k & 1)
            result *= large[bit];
    }
    return result;
}

// mantissa × 10^exponent in extended precision: infinite when too large, 0 when too small.
template <class Real> Real scaled(std::uint64_t mantissa, std::int64_t exponent) {
    Real v(mantissa);
    if (mantissa == 0)
        return Real(0);
    if (exponent >= 0) {
        if (exponent > ExponentLimit)
            return infinity<Real>();
        return v * powerOfTen<Real>(exponent);
    }
    std::int64_t n = -exponent;
    if (n > ExponentLimit)
        return Real(0);
    // Dividing (rather than multiplying by a reciprocal) keeps small powers exact; two steps keep
    // the divisor finite where the quotient is a subnormal.
    constexpr std::int64_t Step = 4900;
    if (n > Step) {
        v /= powerOfTen<Real>(Step);
        n -= Step;
    }
    return v / powerOfTen<Real>(n);
}

// A number text taken apart: its sign, up to 19 significant digits (the 20th rounding them) and
// the power of ten that scales them.
struct NumberParts {
    bool negative = false;
    std::uint64_t mantissa = 0;
    std::int64_t exponent = 0;
};

} // namespace

QChar systemDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    return point.size() == 1 ? point.front() : QChar(u'.');
}

namespace {

// The reading rule's text: false when it is not a number.
bool parseNumber(const QString &text, char16_t separator, NumberParts &parts) {
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
    parts.negative = negative;
    parts.mantissa = mantissa;
    parts.exponent = exponent;
    return true;
}

} // namespace

template <class Real> bool readNumber(const QString &text, QChar separator, Real &value) {
    NumberParts parts;
    if (!parseNumber(text, separator.unicode(), parts))
        return false;
    const Real magnitude = scaled<Real>(parts.mantissa, parts.exponent);
    using std::isinf;
    if (isinf(magnitude))
        return false;
    value = parts.negative ? -magnitude : magnitude;
    return true;
}

template <class Real> Real strToFloat(const QString &text, QChar separator) {
    Real value(0);
    if (!readNumber(text, separator, value))
        throw CommandError(QStringLiteral("'") + text +
                           QStringLiteral("' is not a valid floating point value"));
    return value;
}

template bool readNumber(const QString &, QChar, SoftExtended &);
template SoftExtended strToFloat(const QString &, QChar);
#if KMLMAKER_X87_LONG_DOUBLE
template bool readNumber(const QString &, QChar, long double &);
template long double strToFloat(const QString &, QChar);
#endif

bool TextToFloat(const QString &text, QChar separator, Extended &value) {
    return readNumber(text, separator, value);
}

Extended StrToFloat(const QString &text, QChar separator) {
    return strToFloat<Extended>(text, separator);
}

namespace {

__extension__ typedef unsigned __int128 Uint128;

constexpr std::uint64_t Ten14 = 100000000000000ULL, Ten15 = 10 * Ten14, Ten17 = 100 * Ten15,
                        Ten18 = 10 * Ten17;

// 10^k for 0 <= k <= 22: the largest power that still leaves a 53-bit mantissa times it within
// 128 bits.
constexpr int MostExactPower = 22;
constexpr std::array<Uint128, MostExactPower + 1> PowersOfTen = [] {
    std::array<Uint128, MostExactPower + 1> table{};
    Uint128 p = 1;
    for (auto &entry : table) {
        entry = p;
        p *= 10;
    }
    return table;
}();

constexpr double ExactDoublePowers[MostExactPower + 1] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The first 18 significant digits of a positive finite value, correctly rounded with ties to
// even, as an integer from 10^17 up to 10^18 (reached only by rounding up), and the exponent E
// for which the value is 0.d1d2... × 10^E. This is exact integer arithmetic on the value's
// binary form, for values from about 10^-5 up to 10^18: the range that plain notation needs.
// False outside it.
bool exactDigits18(double value, std::uint64_t &digits, int &E) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased = int(bits >> 52);
    if (biased == 0)
        return false; // subnormal: far outside the range
    const std::uint64_t mantissa = (bits & ((std::uint64_t(1) << 52) - 1)) | std::uint64_t(1) << 52;
    const int e = biased - 1075; // value = mantissa × 2^e
    // floor(log10(2^p)) + 1 for the value's binary magnitude p; off by at most one, which an
    // exact power of ten (up to 10^22 a double is one) mostly settles before any division.
    E = ((biased - 1023) * 78913 >> 18) + 1;
    if (E >= 0 && E <= MostExactPower && value >= ExactDoublePowers[std::size_t(E)])
        ++E;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int k = 18 - E;
        if (k < 0 || k > MostExactPower || e > 64 || e < -127)
            return false;
        Uint128 q;
        Uint128 rest = 0, half = 0;
        if (e >= 0) {
            q = (Uint128(mantissa) << e) * PowersOfTen[std::size_t(k)];
        } else {
            const Uint128 product = Uint128(mantissa) * PowersOfTen[std::size_t(k)];
            q = product >> -e;
            rest = product - (q << -e);
            half = Uint128(1) << (-e - 1);
        }
        if (q >= Ten18) {
            ++E;
            continue;
        }
        if (q < Ten17) {
            --E;
            continue;
        }
        digits = std::uint64_t(q);
        if (rest > half || (rest == half && half != 0 && (digits & 1)))
            ++digits;
        return true;
    }
    return false;
}

// The same digits through the standard library, for any positive finite value.
void libraryDigits18(double value, std::uint64_t &digits, int &E) {
    // "d.ddddddddddddddddde-XXX": 18 significant digits, correctly rounded.
    char buffer[40];
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 17);
    digits = std::uint64_t(buffer[0] - '0');
    for (int i = 2; i < 19; ++i)
        digits = digits * 10 + std::uint64_t(buffer[i] - '0');
    const char *e = buffer + 20; // past the 'e'
    if (*e == '+')
        ++e;
    int scientific = 0;
    std::from_chars(e, written.ptr, scientific);
    E = scientific + 1;
}

// Writes v as exactly count decimal digits, with leading zeros.
void putDigits(std::uint32_t v, char16_t *out, int count) {
    static constexpr char Pairs[] = "00010203040506070809101112131415161718192021222324"
                                    "25262728293031323334353637383940414243444546474849"
                                    "50515253545556575859606162636465666768697071727374"
                                    "75767778798081828384858687888990919293949596979899";
    while (count >= 2) {
        const std::uint32_t pair = v % 100;
        v /= 100;
        count -= 2;
        out[count] = char16_t(Pairs[2 * pair]);
        out[count + 1] = char16_t(Pairs[2 * pair + 1]);
    }
    if (count == 1)
        out[0] = char16_t(u'0' + v);
}

char16_t *putAscii(char16_t *out, const char *text) {
    while (*text)
        *out++ = char16_t(*text++);
    return out;
}

} // namespace

char16_t *formatFloat(double value, QChar decimalSeparator, char16_t *out) {
    if (std::isnan(value))
        return putAscii(out, "NAN");
    if (std::isinf(value))
        return putAscii(out, value < 0 ? "-INF" : "INF");
    if (value == 0)
        return putAscii(out, "0");

    const double magnitude = std::fabs(value);
    std::uint64_t digits18;
    int E;
    if (!exactDigits18(magnitude, digits18, E))
        libraryDigits18(magnitude, digits18, E);

    // Round the 18 digits to 15, halves away from zero: only the 16th digit decides.
    constexpr int Precision = 15;
    std::uint64_t rounded = digits18 / 1000;
    if (digits18 / 100 % 10 >= 5)
        ++rounded;
    if (rounded >= Ten15) { // 999...9 rounded up, or 18 digits that were rounded up to 10^18
        rounded /= 10;
        ++E;
    }
    // Two independent halves of 7 and 8 digits, two digits a step: a column of numbers spends
    // its time here.
    char16_t digits[Precision];
    putDigits(std::uint32_t(rounded / 100000000), digits, 7);
    putDigits(std::uint32_t(rounded % 100000000), digits + 7, 8);
    int length = Precision;
    while (length > 1 && digits[length - 1] == u'0')
        --length;

    const char16_t separator = decimalSeparator.unicode();
    auto put = [&out, &digits](int from, int to) {
        for (int i = from; i < to; ++i)
            *out++ = digits[i];
    };
    if (value < 0)
        *out++ = u'-';
    if (E >= -3 && E <= Precision) {
        if (E <= 0) {
            *out++ = u'0';
            *out++ = separator;
            for (int i = 0; i < -E; ++i)
                *out++ = u'0';
            put(0, length);
        } else {
            for (int i = 0; i < E; ++i)
                *out++ = i < length ? digits[i] : u'0';
            if (length > E) {
                *out++ = separator;
                put(E, length);
            }
        }
    } else {
        *out++ = digits[0];
        if (length > 1) {
            *out++ = separator;
            put(1, length);
        }
        *out++ = u'E';
        int exponent = E - 1;
        if (exponent < 0) {
            *out++ = u'-';
            exponent = -exponent;
        }
        char text[8];
        const auto end = std::to_chars(text, text + sizeof text, exponent).ptr;
        for (const char *c = text; c < end; ++c)
            *out++ = char16_t(*c);
    }
    return out;
}

QString FloatToStr(double value, QChar separator) {
    char16_t buffer[FloatTextCapacity];
    const char16_t *end = formatFloat(value, separator, buffer);
    return QString(reinterpret_cast<const QChar *>(buffer), qsizetype(end - buffer));
}

} // namespace numtext
