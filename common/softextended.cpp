// The extended type's arithmetic done exactly in 128-bit integers and rounded once, as the x87
// unit rounds each operation.
#include "common/softextended.h"

#include <cmath>
#include <cstring>

namespace {

__extension__ typedef unsigned __int128 Wide;

// A finite value is significand × 2^exponent: the smallest exponent is that of the subnormals,
// the largest that of a 64-bit significand just below 2^16384.
constexpr int MinExponent = -16445;
constexpr int MaxExponent = 16320;
// The format's exponent field of a normal value is its exponent plus this bias.
constexpr int FieldBias = 16446;
constexpr std::uint16_t InfinityField = 0x7FFF;
constexpr std::uint64_t TopBit = std::uint64_t(1) << 63;
// The x87 unit's default NaN, the "real indefinite".
constexpr std::uint64_t IndefiniteSignificand = 0xC000000000000000ULL;

int bitLength(Wide v) {
    const auto high = std::uint64_t(v >> 64);
    if (high)
        return 128 - __builtin_clzll(high);
    const auto low = std::uint64_t(v);
    return low ? 64 - __builtin_clzll(low) : 0;
}

enum class Outcome { Zero, Finite, Inf };

struct Rounded {
    Outcome outcome;
    std::uint64_t significand;
    int exponent;
};

// value × 2^exponent, with sticky for nonzero bits below value's last, rounded to nearest (ties
// to even) into precision bits with exponents from minExponent (subnormals) to maxExponent. A
// sticky value must carry at least two bits below the rounding point, which every caller's
// exact intermediate does.
Rounded roundWide(Wide value, int exponent, bool sticky, int precision, int minExponent,
                  int maxExponent) {
    const int length = bitLength(value);
    if (length == 0)
        return {Outcome::Zero, 0, 0};
    int shift = length - precision;
    if (exponent + shift < minExponent)
        shift = minExponent - exponent;
    std::uint64_t significand;
    if (shift <= 0) {
        significand = std::uint64_t(value << -shift);
    } else if (shift > 128) {
        significand = 0; // the whole value lies below half the last place
    } else {
        significand = shift == 128 ? 0 : std::uint64_t(value >> shift);
        const bool half = (value >> (shift - 1)) & 1;
        const bool below = sticky || (value & ((Wide(1) << (shift - 1)) - 1)) != 0;
        if (half && (below || (significand & 1))) {
            ++significand;
            const std::uint64_t full =
                precision == 64 ? 0 : std::uint64_t(1) << precision; // 2^64 wraps to 0
            if (significand == full) {
                significand = std::uint64_t(1) << (precision - 1);
                ++shift;
            }
        }
    }
    if (significand == 0)
        return {Outcome::Zero, 0, 0};
    if (exponent + shift > maxExponent)
        return {Outcome::Inf, 0, 0};
    return {Outcome::Finite, significand, exponent + shift};
}

// The significand's top bit set, the exponent lowered to match (below MinExponent for a
// subnormal).
void normalize(std::uint64_t &significand, int &exponent) {
    const int leading = __builtin_clzll(significand);
    significand <<= leading;
    exponent -= leading;
}

} // namespace

SoftExtended SoftExtended::rounded(bool negative, Wide value, int exponent, bool sticky) {
    const Rounded r = roundWide(value, exponent, sticky, 64, MinExponent, MaxExponent);
    SoftExtended x;
    x.m_negative = negative;
    switch (r.outcome) {
    case Outcome::Zero:
        x.m_kind = Kind::Zero;
        break;
    case Outcome::Inf:
        x.m_kind = Kind::Inf;
        break;
    case Outcome::Finite:
        x.m_kind = Kind::Finite;
        x.m_significand = r.significand;
        x.m_exponent = r.exponent;
        break;
    }
    return x;
}

SoftExtended SoftExtended::scaledBits(std::uint64_t significand, int exponent) {
    return rounded(false, significand, exponent, false);
}

SoftExtended SoftExtended::infinity(bool negative) {
    SoftExtended x;
    x.m_kind = Kind::Inf;
    x.m_negative = negative;
    return x;
}

SoftExtended SoftExtended::fromBits(const Bits &bits) {
    SoftExtended x;
    x.m_negative = bits.negative;
    if (bits.exponent == InfinityField) {
        x.m_kind = bits.significand << 1 ? Kind::NaN : Kind::Inf;
        return x;
    }
    if (bits.significand == 0)
        return x.m_negative ? -SoftExtended() : SoftExtended();
    const int exponent = bits.exponent == 0 ? MinExponent : bits.exponent - FieldBias;
    return rounded(bits.negative, bits.significand, exponent, false);
}

SoftExtended::Bits SoftExtended::bits() const {
    switch (m_kind) {
    case Kind::Zero:
        return {m_negative, 0, 0};
    case Kind::Inf:
        return {m_negative, InfinityField, TopBit};
    case Kind::NaN:
        return {m_negative, InfinityField, IndefiniteSignificand};
    case Kind::Finite:
        break;
    }
    if (!(m_significand & TopBit))
        return {m_negative, 0, m_significand};
    return {m_negative, std::uint16_t(m_exponent + FieldBias), m_significand};
}

SoftExtended operator+(const SoftExtended &a, const SoftExtended &b) {
    using Kind = SoftExtended::Kind;
    if (a.m_kind == Kind::NaN || b.m_kind == Kind::NaN)
        return a.m_kind == Kind::NaN ? a : b;
    if (a.m_kind == Kind::Inf || b.m_kind == Kind::Inf) {
        if (a.m_kind == Kind::Inf && b.m_kind == Kind::Inf && a.m_negative != b.m_negative) {
            SoftExtended nan;
            nan.m_kind = Kind::NaN;
            nan.m_negative = true;
            return nan;
        }
        return a.m_kind == Kind::Inf ? a : b;
    }
    if (a.m_kind == Kind::Zero && b.m_kind == Kind::Zero) {
        SoftExtended zero;
        zero.m_negative = a.m_negative && b.m_negative; // -0 only from two, rounding to nearest
        return zero;
    }
    if (a.m_kind == Kind::Zero)
        return b;
    if (b.m_kind == Kind::Zero)
        return a;

    std::uint64_t as = a.m_significand, bs = b.m_significand;
    int ae = a.m_exponent, be = b.m_exponent;
    normalize(as, ae);
    normalize(bs, be);
    const bool aLarger = ae > be || (ae == be && as >= bs);
    const std::uint64_t xs = aLarger ? as : bs, ys = aLarger ? bs : as;
    const int xe = aLarger ? ae : be, ye = aLarger ? be : ae;
    const bool negative = aLarger ? a.m_negative : b.m_negative;
    // Both significands put 62 bits up, the smaller one shifted down to the larger's scale; the
    // bits shifted out of it are folded into its last bit, which rounds as they would.
    const unsigned gap = unsigned(xe - ye);
    const Wide x = Wide(xs) << 62;
    Wide y = Wide(ys) << 62;
    if (gap >= 128) {
        y = 1;
    } else if (gap > 0) {
        const bool lost = (y & ((Wide(1) << gap) - 1)) != 0;
        y = (y >> gap) | Wide(lost);
    }
    if (a.m_negative == b.m_negative)
        return SoftExtended::rounded(negative, x + y, xe - 62, false);
    if (x == y)
        return SoftExtended(); // an exact difference of 0 is +0 when rounding to nearest
    return SoftExtended::rounded(negative, x - y, xe - 62, false);
}

SoftExtended operator*(const SoftExtended &a, const SoftExtended &b) {
    using Kind = SoftExtended::Kind;
    const bool negative = a.m_negative != b.m_negative;
    SoftExtended special;
    special.m_negative = negative;
    if (a.m_kind == Kind::NaN || b.m_kind == Kind::NaN ||
        (a.m_kind == Kind::Inf && b.m_kind == Kind::Zero) ||
        (a.m_kind == Kind::Zero && b.m_kind == Kind::Inf)) {
        special.m_kind = Kind::NaN;
        return special;
    }
    if (a.m_kind == Kind::Inf || b.m_kind == Kind::Inf) {
        special.m_kind = Kind::Inf;
        return special;
    }
    if (a.m_kind == Kind::Zero || b.m_kind == Kind::Zero)
        return special;
    return SoftExtended::rounded(negative, Wide(a.m_significand) * b.m_significand,
                                 a.m_exponent + b.m_exponent, false);
}

SoftExtended operator/(const SoftExtended &a, const SoftExtended &b) {
    using Kind = SoftExtended::Kind;
    const bool negative = a.m_negative != b.m_negative;
    SoftExtended special;
    special.m_negative = negative;
    if (a.m_kind == Kind::NaN || b.m_kind == Kind::NaN ||
        (a.m_kind == b.m_kind && (a.m_kind == Kind::Inf || a.m_kind == Kind::Zero))) {
        special.m_kind = Kind::NaN;
        return special;
    }
    if (a.m_kind == Kind::Inf || b.m_kind == Kind::Zero) {
        special.m_kind = Kind::Inf;
        return special;
    }
    if (a.m_kind == Kind::Zero || b.m_kind == Kind::Inf)
        return special;
    std::uint64_t as = a.m_significand, bs = b.m_significand;
    int ae = a.m_exponent, be = b.m_exponent;
    normalize(as, ae);
    normalize(bs, be);
    // 64 quotient bits or 65, then two more: at least two below the rounding point, and the
    // remainder says whether anything lies below them.
    const Wide numerator = Wide(as) << 64;
    Wide quotient = numerator / bs;
    Wide rest = numerator % bs;
    rest <<= 2;
    quotient = quotient << 2 | rest / bs;
    rest %= bs;
    return SoftExtended::rounded(negative, quotient, ae - be - 66, rest != 0);
}

double SoftExtended::toDouble() const {
    switch (m_kind) {
    case Kind::Zero:
        return m_negative ? -0.0 : 0.0;
    case Kind::Inf:
        return m_negative ? -HUGE_VAL : HUGE_VAL;
    case Kind::NaN:
        return std::nan("");
    case Kind::Finite:
        break;
    }
    const Rounded r = roundWide(m_significand, m_exponent, false, 53, -1074, 971);
    double magnitude = 0;
    if (r.outcome == Outcome::Inf)
        magnitude = HUGE_VAL;
    else if (r.outcome == Outcome::Finite)
        magnitude = std::ldexp(double(r.significand), r.exponent); // exact: already rounded
    return m_negative ? -magnitude : magnitude;
}

#if KMLMAKER_LONG_DOUBLE_HOLDS_EXTENDED
long double SoftExtended::toLongDouble() const {
    switch (m_kind) {
    case Kind::Zero:
        return m_negative ? -0.0L : 0.0L;
    case Kind::Inf:
        return m_negative ? -HUGE_VALL : HUGE_VALL;
    case Kind::NaN:
        return std::nanl("");
    case Kind::Finite:
        break;
    }
    const long double magnitude = std::ldexp((long double)m_significand, m_exponent);
    return m_negative ? -magnitude : magnitude;
}
#endif

#if KMLMAKER_X87_LONG_DOUBLE
SoftExtended SoftExtended::fromLongDouble(long double value) {
    unsigned char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    Bits bits;
    std::memcpy(&bits.significand, bytes, 8);
    const unsigned top = unsigned(bytes[8]) | unsigned(bytes[9]) << 8;
    bits.negative = top >> 15;
    bits.exponent = std::uint16_t(top & 0x7FFF);
    return fromBits(bits);
}
#endif
