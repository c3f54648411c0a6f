#pragma once

#include <array>
#include <cstdint>

// Decimal to extended precision without a library call, for the numbers that
// allow it: a significand of at most 19 digits (below 2^64, so exact in a
// 64-bit significand) scaled by 10^s with |s| <= 27. Every power of ten up to
// 10^27 is exact too (5^27 < 2^64), so the value is one correctly rounded
// multiplication or division of exact operands: the correctly rounded value,
// as strtold would give it.

constexpr int maxExactPowerOfTen = 27;
constexpr int maxFastDigits = 19;

inline constexpr std::array<long double, maxExactPowerOfTen + 1> exactPowersOfTen = [] {
    std::array<long double, maxExactPowerOfTen + 1> powers{};
    long double power = 1;
    for (long double& p : powers) {
        p = power;
        power *= 10;
    }
    return powers;
}();

// significand * 10^scale when that is one exact operation; false otherwise.
inline bool scaleExactly(std::uint64_t significand, long scale, bool negative, long double& value) {
    if (significand == 0) {
        value = negative ? -0.0L : 0.0L;
        return true;
    }
    if (scale < -maxExactPowerOfTen || scale > maxExactPowerOfTen) return false;
    // Most significands fit the signed conversion, which needs no correction step.
    long double const m = significand <= INT64_MAX
                              ? static_cast<long double>(static_cast<std::int64_t>(significand))
                              : static_cast<long double>(significand);
    long double const magnitude = scale == 0  ? m
                                  : scale > 0 ? m * exactPowersOfTen[scale]
                                              : m / exactPowersOfTen[-scale];
    value = negative ? -magnitude : magnitude;
    return true;
}

inline bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// Parses a decimal number at p, [sign] digits [. digits] [e [sign] digits],
// that lies wholly before `end` (*end must be a byte that is not part of a
// number, such as a NUL). Returns the position after it, or nullptr (nothing
// consumed) for anything the fast conversion does not cover: hexadecimal,
// inf, nan, more than 19 significant digits, a scale beyond 10^+-27, text that
// is not a number at all, or a number that reaches `end` and so may go on in
// the next block. The general reader handles those.
inline char const* parseShortDecimal(char const* p, char const* end, long double& value) {
    bool const negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    char const* const digitsStart = p;
    // Plain integers of up to 18 digits, the commonest coordinates, are exact
    // as they stand: no scaling, no look at points or exponents.
    if (isDecimalDigit(*p)) {
        std::uint64_t whole = static_cast<unsigned>(*p - '0');
        char const* q = p + 1;
        while (isDecimalDigit(*q) && q - p < 18) whole = whole * 10 + static_cast<unsigned>(*q++ - '0');
        char const after = *q;
        bool const goesOn =
            isDecimalDigit(after) || after == '.' || (after | 0x20) == 'e' || (after | 0x20) == 'x';
        if (!goesOn && q != end) {
            long double const magnitude = static_cast<long double>(static_cast<std::int64_t>(whole));
            value = negative ? -magnitude : magnitude;
            return q;
        }
    }
    while (*p == '0') ++p;
    if (*p == 'x' || *p == 'X') return nullptr;
    std::uint64_t significand = 0;
    char const* const significantStart = p;
    while (isDecimalDigit(*p)) significand = significand * 10 + static_cast<unsigned>(*p++ - '0');
    long significantDigits = p - significantStart;
    long fractionDigits = 0;
    if (*p == '.') {
        char const* const fractionStart = ++p;
        if (significand == 0) {
            while (*p == '0') ++p;  // zeros right after the point are not significant
        }
        char const* const fractionDigitsStart = p;
        while (isDecimalDigit(*p)) significand = significand * 10 + static_cast<unsigned>(*p++ - '0');
        significantDigits += p - fractionDigitsStart;
        fractionDigits = p - fractionStart;
        if (p == fractionStart && fractionStart - 1 == digitsStart) return nullptr;  // "." alone
    } else if (p == digitsStart) {
        return nullptr;  // no digits
    }
    if (significantDigits > maxFastDigits) return nullptr;  // the significand may have wrapped
    long exponent = 0;
    if ((*p | 0x20) == 'e') {
        ++p;
        bool const negativeExponent = *p == '-';
        if (*p == '-' || *p == '+') ++p;
        char const* const exponentStart = p;
        while (isDecimalDigit(*p) && p - exponentStart < 6) exponent = exponent * 10 + (*p++ - '0');
        if (p == exponentStart || isDecimalDigit(*p)) return nullptr;
        if (negativeExponent) exponent = -exponent;
    }
    if (p == end) return nullptr;
    if (!scaleExactly(significand, exponent - fractionDigits, negative, value)) return nullptr;
    return p;
}
