#pragma once

#include <array>
#include <cstdint>
#include <cstring>

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

// Digits eight at a time (SWAR): one 64-bit load holds the next eight bytes,
// the first of them in the lowest byte (x86 is little-endian).

inline std::uint64_t loadEightBytes(char const* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// How many of the eight bytes, from the first, are ASCII digits (0 to 8).
// A byte is a digit when its high nibble is 3 and adding 6 leaves it 3 (low
// nibble at most 9). The addition can carry out of a byte only from a byte
// of 0xfa or more, which is not a digit, so a carry never spoils the bytes
// before the first non-digit, which are all that is counted.
inline int leadingDigitCount(std::uint64_t v) {
    constexpr std::uint64_t highNibbles = 0xf0f0f0f0f0f0f0f0u;
    constexpr std::uint64_t threes = 0x3030303030303030u;
    std::uint64_t const high = (v & highNibbles) ^ threes;
    std::uint64_t const adjusted = ((v + 0x0606060606060606u) & highNibbles) ^ threes;
    // Each byte of high | adjusted is 0 exactly for a digit; >> 4 keeps every
    // nibble in its own byte, and + 0x0f sets bit 4 of a byte exactly when the
    // byte is not 0 (at most 0x1e: nothing carries into the next byte).
    std::uint64_t const notDigit = (((high | adjusted) >> 4) + 0x0f0f0f0f0f0f0f0fu) & 0x1010101010101010u;
    return notDigit == 0 ? 8 : __builtin_ctzll(notDigit) / 8;
}

// The value of the first `count` bytes (1 to 8, all digits) as a decimal
// number. Subtracting '0' from every byte may borrow only out of a byte below
// '0', which comes after the digits; the shift moves the digits to the top
// (the bytes shifted in are leading zeros) and drops the rest. Then three
// multiplications combine pairs, quads and the two halves.
inline std::uint64_t valueOfDigits(std::uint64_t v, int count) {
    v -= 0x3030303030303030u;
    v <<= 8 * (8 - count);
    v = v * 10 + (v >> 8);  // each even byte: 10 * d(2i) + d(2i+1)
    constexpr std::uint64_t pairs = 0x000000ff000000ffu;
    return (((v & pairs) * (100 + (1000000ull << 32))) + (((v >> 16) & pairs) * (1 + (10000ull << 32)))) >>
           32;
}

inline constexpr std::uint64_t powersOfTenUpTo8[9] = {1,      10,      100,      1000,     10000,
                                                      100000, 1000000, 10000000, 100000000};

// Reads the run of digits at p into `accumulated` (which becomes
// accumulated * 10^run + the run's value, modulo 2^64) and returns the end of
// the run. Reads up to seven bytes past the run's end, which the buffers pad.
inline char const* takeDigits(char const* p, std::uint64_t& accumulated) {
    for (;;) {
        std::uint64_t const v = loadEightBytes(p);
        int const count = leadingDigitCount(v);
        if (count == 0) return p;
        accumulated = accumulated * powersOfTenUpTo8[count] + valueOfDigits(v, count);
        p += count;
        if (count < 8) return p;
    }
}

// The commonest spellings, at p after the sign: up to seven integer digits,
// then optionally a point and up to seven fraction digits, no exponent. A
// lone integer digit (frequent in small integer coordinates) is taken as it
// is, longer runs as one eight-byte word, the fraction as another; no byte
// is read twice. The significand then has at most 14 digits (below 2^63:
// exact, and the signed conversion needs no correction step), so the value
// is one exact conversion and at most one correctly rounded division by an
// exact 10^1..10^7, as in scaleExactly (a zero significand converts to +0,
// negated for "-0"). Returns nullptr, nothing consumed, for anything else.
__attribute__((always_inline)) inline char const* parseCommonDecimal(char const* p, char const* end,
                                                                     bool negative, long double& value) {
    if (!isDecimalDigit(*p)) return nullptr;
    std::uint64_t whole = static_cast<unsigned>(*p - '0');
    char const* q = p + 1;
    if (isDecimalDigit(*q)) {
        std::uint64_t const word = loadEightBytes(p);
        int const wholeDigits = leadingDigitCount(word);
        if (wholeDigits == 8) return nullptr;
        whole = valueOfDigits(word, wholeDigits);
        q = p + wholeDigits;
    }
    int fractionDigits = 0;
    if (*q == '.') {
        std::uint64_t const word = loadEightBytes(q + 1);
        fractionDigits = leadingDigitCount(word);
        if (fractionDigits == 8) return nullptr;
        if (fractionDigits > 0)
            whole = whole * powersOfTenUpTo8[fractionDigits] + valueOfDigits(word, fractionDigits);
        q += 1 + fractionDigits;
    }
    char const after = static_cast<char>(*q | 0x20);
    if (after == 'e' || after == 'x' || q == end) return nullptr;
    long double const m = static_cast<long double>(static_cast<std::int64_t>(whole));
    long double const magnitude = fractionDigits == 0 ? m : m / exactPowersOfTen[fractionDigits];
    value = negative ? -magnitude : magnitude;
    return q;
}

// Parses a decimal number at p, [sign] digits [. digits] [e [sign] digits],
// that lies wholly before `end` (*end must be a byte that is not part of a
// number, such as a NUL, and at least 8 readable bytes must follow every byte
// before end). Returns the position after it, or nullptr (nothing consumed)
// for anything the fast conversion does not cover: hexadecimal, inf, nan,
// more than 19 digits (leading zeros included: the general reader strips
// them), a scale beyond 10^+-27, text that is not a number at all, or a
// number that reaches `end` and so may go on in the next block. The general
// reader handles those.
//
// The common spellings take parseCommonDecimal; the others are read again
// from the sign, the digits eight at a time. With at most 19 digits the
// significand is below 10^19 < 2^64, so the modular arithmetic of takeDigits
// never wrapped, and scaleExactly gives the correctly rounded value.
__attribute__((always_inline)) inline char const* parseShortDecimal(char const* p, char const* end,
                                                                    long double& value) {
    bool const negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    if (char const* after = parseCommonDecimal(p, end, negative, value)) return after;
    std::uint64_t significand = 0;
    char const* const wholeStart = p;
    p = takeDigits(p, significand);
    long digits = p - wholeStart;
    long fractionDigits = 0;
    if (*p == '.') {
        char const* const fractionStart = ++p;
        p = takeDigits(p, significand);
        fractionDigits = p - fractionStart;
        digits += fractionDigits;
        if (digits == 0) return nullptr;  // a point alone
    } else if (digits == 0 || (*p | 0x20) == 'x') {
        return nullptr;  // no digits, or hexadecimal
    }
    if (digits > maxFastDigits) return nullptr;  // the significand may have wrapped
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
