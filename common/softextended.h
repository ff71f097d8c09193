// The x87 80-bit extended type computed with integers: a 64-bit significand, the same exponent
// range and subnormals, each operation correctly rounded to nearest (ties to even) as the x87
// unit rounds at its default precision. The reading rule and the degrees-minutes-seconds
// conversion compute in it where long double is not that type, so that they give there, bit for
// bit, what they give on x86. It needs GCC's 128-bit integer, which every 64-bit target has (the
// number writing rule uses it too).
#pragma once

#ifndef __SIZEOF_INT128__
#error "SoftExtended needs a 128-bit integer type (unsigned __int128)"
#endif

#include <cfloat>
#include <cstdint>

// Whether long double is the x87 80-bit type, which the program's numbers were first computed in.
#if LDBL_MANT_DIG == 64 && LDBL_MAX_EXP == 16384
#define KMLMAKER_X87_LONG_DOUBLE 1
#else
#define KMLMAKER_X87_LONG_DOUBLE 0
#endif

// Whether long double can hold every value of the extended type exactly (x87, and IEEE quad
// precision where long double is that), so that tests can compare with long double constants.
#if LDBL_MANT_DIG >= 64 && LDBL_MAX_EXP >= 16384
#define KMLMAKER_LONG_DOUBLE_HOLDS_EXTENDED 1
#else
#define KMLMAKER_LONG_DOUBLE_HOLDS_EXTENDED 0
#endif

class SoftExtended {
public:
    // The x87 format's parts: sign, 15-bit biased exponent, 64-bit significand with its integer
    // bit, as they lie in the first ten bytes of an x87 long double.
    struct Bits {
        bool negative;
        std::uint16_t exponent;
        std::uint64_t significand;
        bool operator==(const Bits &o) const {
            return negative == o.negative && exponent == o.exponent && significand == o.significand;
        }
        bool operator!=(const Bits &o) const { return !(*this == o); }
    };

    constexpr SoftExtended() = default;
    // Exact: every 64-bit integer is a value of the type.
    explicit SoftExtended(std::uint64_t n) : m_kind(n ? Kind::Finite : Kind::Zero) {
        if (n)
            *this = rounded(false, n, 0, false);
    }
    // significand × 2^exponent, rounded into the type.
    static SoftExtended scaledBits(std::uint64_t significand, int exponent);
    static SoftExtended infinity(bool negative = false);

    static SoftExtended fromBits(const Bits &bits);
    Bits bits() const;

    SoftExtended operator-() const {
        SoftExtended r = *this;
        r.m_negative = !r.m_negative;
        return r;
    }
    friend SoftExtended operator+(const SoftExtended &a, const SoftExtended &b);
    friend SoftExtended operator-(const SoftExtended &a, const SoftExtended &b) { return a + -b; }
    friend SoftExtended operator*(const SoftExtended &a, const SoftExtended &b);
    friend SoftExtended operator/(const SoftExtended &a, const SoftExtended &b);
    SoftExtended &operator*=(const SoftExtended &b) { return *this = *this * b; }
    SoftExtended &operator/=(const SoftExtended &b) { return *this = *this / b; }

    // Rounded to the nearest double, ties to even, as an x87 store to a double rounds.
    double toDouble() const;
#if KMLMAKER_LONG_DOUBLE_HOLDS_EXTENDED
    long double toLongDouble() const;
#endif
#if KMLMAKER_X87_LONG_DOUBLE
    static SoftExtended fromLongDouble(long double value);
#endif

    bool isInf() const {
        return m_kind == Kind::Inf;
    }
    bool isNaN() const {
        return m_kind == Kind::NaN;
    }
    bool isZero() const {
        return m_kind == Kind::Zero;
    }
    bool signBit() const {
        return m_negative;
    }

private:
    enum class Kind : std::uint8_t { Zero, Finite, Inf, NaN };
    __extension__ typedef unsigned __int128 Wide;

    // value × 2^exponent, with sticky standing for nonzero bits below value's last, rounded
    // into the type.
    static SoftExtended rounded(bool negative, Wide value, int exponent, bool sticky);

    Kind m_kind = Kind::Zero;
    bool m_negative = false;
    // A finite value is m_significand × 2^m_exponent; the significand's top bit is set except
    // for subnormals, whose exponent is the smallest.
    std::uint64_t m_significand = 0;
    int m_exponent = 0;

    friend bool signbit(const SoftExtended &x) {
        return x.m_negative;
    }
    friend bool isinf(const SoftExtended &x) {
        return x.isInf();
    }
    friend double toDouble(const SoftExtended &x) {
        return x.toDouble();
    }
};

// What the templates that compute in either type call to store a result.
inline double toDouble(long double x) {
    return static_cast<double>(x);
}
