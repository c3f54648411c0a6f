#pragma once

// What the two stages of the point loop share (point_run.cpp explains the
// stages), and the engines that run them: one for any x86-64 processor
// (SSE2), one for processors with AVX2, FMA and BMI2, and one that adds
// AVX-512's byte compress to the AVX2 engine.

#include "decimal.h"
#include "filter.h"
#include "input.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

namespace gemprobe {

// Blanks and newlines of the 64 bytes at c, bit i for byte i.
struct chunkMasks {
    std::uint64_t blanks;
    std::uint64_t newlines;
};

// A plain decimal token: sign, digits (at most 14, below 2^47) and how many
// of them are fraction digits.
struct plainDecimal {
    std::uint64_t digits;
    unsigned fractionDigits;
    unsigned signBit;  // signBitOfExtended or 0
};

// The token at s, when it is [sign] 1-7 digits [. 0-7 digits] followed by a
// blank; returns the position of that blank, or nullptr. Reads the sixteen
// bytes after the sign, which lie within the block's padding since s is
// before the block's end; with at most fourteen digits and a point, the
// byte after the token is among them. A token that reaches the end of the
// block ends in its NUL, which is not a blank, so it is never taken.
__attribute__((always_inline)) inline char const* takePlainToken(char const* s, plainDecimal& d) {
    unsigned const first = static_cast<unsigned char>(*s);
    unsigned const minus = ((first ^ '-') - 1) >> 31;
    unsigned const plus = ((first ^ '+') - 1) >> 31;
    unsigned const signLength = minus | plus;
    char const* const p = s + signLength;
    unsigned const nonDigits = ~digitMaskOfSixteen(p);
    unsigned const wholeDigits = static_cast<unsigned>(__builtin_ctz(nonDigits));
    if (wholeDigits - 1 > 6) return nullptr;  // none, or eight or more
    std::uint64_t digits = valueOfDigits(loadEightBytes(p), static_cast<int>(wholeDigits));
    char const* q = p + wholeDigits;
    unsigned fractionDigits = 0;
    if (*q == '.') {
        fractionDigits = static_cast<unsigned>(__builtin_ctz(nonDigits >> (wholeDigits + 1)));
        if (fractionDigits > 7) return nullptr;
        if (fractionDigits > 0)
            digits = digits * powersOfTenUpTo8[fractionDigits] +
                     valueOfDigits(loadEightBytes(q + 1), static_cast<int>(fractionDigits));
        q += 1 + fractionDigits;
    }
    if (!isBlank(*q)) return nullptr;
    d = {digits, fractionDigits, minus << 15};
    return q;
}

// The token's value in extended precision, as strtold gives it (see
// parseCommonDecimal for why these two stores are correctly rounded).
__attribute__((always_inline)) inline void storeValue(plainDecimal const& d, long double& value) {
    if (d.fractionDigits == 0 || d.digits == 0) {
        storeInteger(value, d.digits, d.signBit);
    } else {
        storeQuotient(value, d.digits, static_cast<int>(d.fractionDigits), d.signBit);
    }
}

inline constexpr double powersOfTenUpTo4[5] = {1, 10, 100, 1000, 10000};

// The token's value in extended precision rounded to double, which is what
// toCertifiedDouble gives for it: every such value is zero or lies between
// 10^-7 and 10^7, inside the certified range.
//
// With at most four fraction digits this is one double division, which is
// correctly rounded since both operands are exact (digits < 2^47, 10^k
// < 2^53). Rounding the exact quotient x = digits / 10^k straight to double
// gives the same as rounding it first to 64 bits and then to 53 (ties to
// even both times), unless the first rounding lands on a midpoint M between
// two doubles that x is not equal to. No x here comes that close to one: M
// is an odd multiple of 2^e lying in [2^(e+53), 2^(e+54)), where the 64-bit
// values are 2^(e-10) apart, so the first rounding reaches M only from
// within 2^(e-11) of it. Since x < 10^7 < 2^24, e < -29 and e + k < 0, so
// x - M = (digits 2^-(e+k) - m 5^k) 2^(e+k) / 10^k with an integer in
// brackets that is not zero: |x - M| >= 2^e / 5^k >= 2^e / 625 > 2^(e-11).
// With five to seven fraction digits 5^k reaches 2^11 and the bound fails,
// so those values are rounded from the extended one.
__attribute__((always_inline)) inline double roundedValue(plainDecimal const& d) {
    std::uint64_t bits;
    if (d.fractionDigits <= 4) {
        double const magnitude =
            static_cast<double>(static_cast<std::int64_t>(d.digits)) / powersOfTenUpTo4[d.fractionDigits];
        bits = std::bit_cast<std::uint64_t>(magnitude) | static_cast<std::uint64_t>(d.signBit) << 48;
    } else {
        long double extended;
        storeValue(d, extended);
        double rounded;
        toCertifiedDouble(extended, rounded);
        return rounded;
    }
    return std::bit_cast<double>(bits);
}

inline constexpr double powersOfTenUpTo7[8] = {1, 10, 100, 1000, 10000, 1e5, 1e6, 1e7};

// Whether one division gives roundedValue's magnitude for five to seven
// fraction digits too: false where a double rounding cannot be ruled out
// (about one value in a thousand, and then roundedValue decides). The
// engines make this check four lanes at a time.
//
// The division gives q = RN(x) for x = digits / 10^k (both operands exact).
// The remainder digits - q 10^k of a correctly rounded quotient is a double,
// and one fused multiply-add gives it exactly: r. Rounding x first to 64
// bits and then to 53 gives something other than q only when the first
// rounding lands on the midpoint M between q and its neighbour on x's side:
// for q in [2^p, 2^(p+1)) the 64-bit values are 2^-11 ulp(q) apart and M is
// one of them (an even one, so it also wins a tie), so that happens exactly
// when |x - M| <= 2^-12 ulp(q). With h = 10^k ulp(q) / 2, exact as a power
// of two times 10^k, |x - M| = (h - |r|) / 10^k, and q stands when
// h - |r| > 2^-10 h, twice the distance that matters. That difference is
// exact when |r| >= h / 2 (Sterbenz) and far above the bound otherwise. A q
// that is a power of two has a finer grid below it: it is not checked. The
// fused multiply-add is an instruction where the caller's target has it,
// and an exact library call otherwise.
__attribute__((always_inline)) inline bool quotientStands(double dividend, double divisor, double q) {
    auto const bits = std::bit_cast<std::uint64_t>(q);
    if (bits == 0) return true;  // an exact zero
    if ((bits & 0xfffffffffffff) == 0) return false;
    double const half = divisor * (std::bit_cast<double>(bits & 0x7ff0000000000000) * 0x1p-53);
    double const remainder = std::fma(-q, divisor, dividend);
    return half - std::fabs(remainder) > half * 0x1p-10;
}

// Every power of ten that a double holds exactly (5^22 < 2^53).
constexpr int maxExactDoublePowerOfTen = 22;

inline constexpr std::array<double, maxExactDoublePowerOfTen + 1> exactDoublePowersOfTen = [] {
    std::array<double, maxExactDoublePowerOfTen + 1> powers{};
    double power = 1;
    for (double& p : powers) {
        p = power;
        power *= 10;
    }
    return powers;
}();

// The division checked as above for a longer token: a significand below
// 2^53 (not zero) over 10^k, 1 <= k <= 22. quotientStands asks no more of
// its operands than that both are exact doubles and that q is normal, with
// 10^k ulp(q) free of overflow: here q lies between 10^-22 and 2^53, and
// the remainder of a correctly rounded quotient of exact operands is a
// double whatever their size. So q, where the check stands, is the token's
// value rounded to 64 bits and then to 53, as takeLongToken gives it, for
// one division and a fused multiply-add in place of two 64-bit products.
__attribute__((always_inline)) inline bool checkedLongQuotient(std::uint64_t significand, int k,
                                                               double& quotient) {
    double const dividend = static_cast<double>(static_cast<std::int64_t>(significand));
    double const divisor = exactDoublePowersOfTen[static_cast<std::size_t>(k)];
    quotient = dividend / divisor;
    return quotientStands(dividend, divisor, quotient);
}

// Points listed per batch: enough to keep the second stage busy, few enough
// that the lists stay in the first-level cache.
constexpr unsigned batchPoints = 32;
constexpr unsigned batchChunks = 32;  // at most 2 KiB of blanks scanned per batch

// The first stage's lists for one batch, from `base` on.
struct tokenList {
    unsigned tokens = 0;
    // Token starts, as offsets from base; the extraction writes up to eight
    // entries past the last real one, and a chunk holds at most 32 starts.
    std::uint32_t starts[3 * batchPoints + 32 + 8];
    std::uint64_t newlineMasks[batchChunks];  // of the chunk at base + 64 i
    long linesBeforeChunk[batchChunks];       // newlines from base to that chunk
};

// Adds the token starts of one chunk to the list, eight at a time without a
// branch per token (a chunk holds about six numbers); entries past the last
// start are garbage that the count leaves out, so `bits::lowest` may give
// anything for 0.
template <class bits>
__attribute__((always_inline)) inline unsigned addStarts(std::uint32_t* out, std::uint64_t found,
                                                         std::uint32_t offset) {
    unsigned const count = bits::count(found);
    for (;;) {
        for (int k = 0; k < 8; ++k) {
            out[k] = offset + bits::lowest(found);
            found &= found - 1;
        }
        if (found == 0) break;
        out += 8;
    }
    return count;
}

// Lists the starts of tokens from base on, up to `wanted` of them or more,
// stopping at the end of the block or after batchChunks chunks. The byte
// before base counts as a blank: the run's reading starts at base either way.
// Reads up to 63 bytes past the block's end, which its padding allows.
// `bits` counts set bits (count) and finds the lowest (lowest) in the way
// the engine's processor does best; where it has a way to list a chunk's
// starts at once (addChunkStarts, like addStarts), that is used instead.
template <chunkMasks (*masksOfChunk)(char const*), class bits>
__attribute__((always_inline)) inline void listTokens(char const* base, char const* blockEnd, unsigned wanted,
                                                      tokenList& list) {
    // The count in a local: kept in the list, it would be stored and loaded
    // again around each chunk's starts, whose stores may alias it.
    unsigned tokens = 0;
    long lines = 0;
    std::uint64_t blankBefore = 1;
    for (unsigned chunks = 0; tokens < wanted && chunks < batchChunks; ++chunks) {
        char const* const chunk = base + 64 * chunks;
        if (chunk >= blockEnd) break;
        chunkMasks const m = masksOfChunk(chunk);
        std::size_t const inBlock = static_cast<std::size_t>(blockEnd - chunk);
        std::uint64_t const valid = inBlock >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << inBlock) - 1;
        std::uint64_t const found = ~m.blanks & (m.blanks << 1 | blankBefore) & valid;
        blankBefore = m.blanks >> 63;
        list.newlineMasks[chunks] = m.newlines;
        list.linesBeforeChunk[chunks] = lines;
        lines += bits::count(m.newlines);
        if constexpr (requires { bits::addChunkStarts(list.starts, found, 0u); })
            tokens += bits::addChunkStarts(list.starts + tokens, found, 64 * chunks);
        else
            tokens += addStarts<bits>(list.starts + tokens, found, 64 * chunks);
    }
    list.tokens = tokens;
}

// The second stage's results for the tokens of a list: each one's value
// rounded to double. The few points that the inner ball does not decide read
// their tokens again (takePlainToken) for the extended values.
struct tokenValues {
    double rounded[3 * batchPoints];
};

// Converts the first `count` tokens of the list (count <= 3 batchPoints and
// count <= list.tokens); stops at the first token that is not plain.
// Returns how many it converted.
template <class takeToken>
__attribute__((always_inline)) inline unsigned convertTokens(char const* base, tokenList const& list,
                                                             unsigned count, tokenValues& values,
                                                             takeToken take) {
    for (unsigned i = 0; i < count; ++i) {
        plainDecimal decimal;
        if (take(base + list.starts[i], decimal) == nullptr) return i;
        values.rounded[i] = roundedValue(decimal);
    }
    return count;
}

// Adds a token's exponent, if it has one, to its scale and returns where the
// token goes on; nullptr for an "e" with no digits. Six digits at most: a
// longer exponent leaves the next byte a digit, not the blank the callers
// want, and so goes to the general reader.
inline char const* takeExponent(char const* q, long& scale) {
    if ((*q | 0x20) != 'e') return q;
    ++q;
    bool const negativeExponent = *q == '-';
    if (*q == '-' || *q == '+') ++q;
    char const* const exponentStart = q;
    long exponent = 0;
    while (isDecimalDigit(*q) && q - exponentStart < 6) exponent = exponent * 10 + (*q++ - '0');
    if (q == exponentStart) return nullptr;
    scale += negativeExponent ? -exponent : exponent;
    return q;
}

// Bit m set when byte m of the sixteen at p is c.
inline unsigned byteMaskOfSixteen(char const* p, char c) {
    __m128i const bytes = _mm_loadu_si128(reinterpret_cast<__m128i const*>(p));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c))));
}

// The value of the n digits at p (n < 32, all digits), appended to w:
// w 10^n + their value, modulo 2^64, eight at a time.
__attribute__((always_inline)) inline std::uint64_t appendDigits(std::uint64_t w, char const* p, unsigned n) {
    for (; n >= 8; n -= 8, p += 8) w = w * powersOfTenUpTo8[8] + valueOfDigits(loadEightBytes(p), 8);
    return n == 0 ? w : w * powersOfTenUpTo8[n] + valueOfDigits(loadEightBytes(p), static_cast<int>(n));
}

// A token of any decimal spelling that the number reader's fast conversion
// takes, followed by a blank, with a value in the filter's certified range:
// its value rounded to double, as toCertifiedDouble gives it, and the
// position of the blank; nullptr otherwise. A token that reaches the end of
// the block ends in its NUL, which is not a blank, so it is never taken.
//
// Digits, point and blanks of the 32 bytes after the sign come from two
// sixteen-byte compares, so the digits are taken eight at a time with no
// byte examined alone. Every digit goes into the significand, leading zeros
// too: they add nothing to it, so it stays exact as long as there are at
// most 19 significant digits (below 10^19 < 2^64), and then scaleExactly
// gives the correctly rounded value of the whole token. A longer one, or one
// that does not end within the 32 bytes, goes to parseLongDecimal, which
// decides whether the digits after the nineteenth matter.
__attribute__((always_inline)) inline char const* takeLongToken(char const* s, double& rounded) {
    unsigned const first = static_cast<unsigned char>(*s);
    unsigned const minus = ((first ^ '-') - 1) >> 31;
    unsigned const plus = ((first ^ '+') - 1) >> 31;
    char const* const p = s + (minus | plus);
    std::uint64_t const nonDigits =
        ~(digitMaskOfSixteen(p) | std::uint64_t{digitMaskOfSixteen(p + 16)} << 16);
    unsigned const whole = static_cast<unsigned>(__builtin_ctzll(nonDigits));
    unsigned fraction = 0;
    unsigned end = whole;
    if (p[whole] == '.') {
        fraction = static_cast<unsigned>(__builtin_ctzll(nonDigits >> (whole + 1)));
        end = whole + 1 + fraction;
    }
    unsigned const digits = whole + fraction;
    unsigned significant = digits;
    if (digits > maxFastDigits) {
        // Leading zeros, before the point and after it, are not significant.
        std::uint64_t const nonZeros =
            ~(byteMaskOfSixteen(p, '0') | std::uint64_t{byteMaskOfSixteen(p + 16, '0')} << 16);
        unsigned zeros = std::min(static_cast<unsigned>(__builtin_ctzll(nonZeros)), whole);
        if (zeros == whole && fraction > 0)
            zeros += std::min(static_cast<unsigned>(__builtin_ctzll(nonZeros >> (whole + 1))), fraction);
        significant = digits - zeros;
    }
    long double value;
    if (significant > maxFastDigits || end >= 32 || digits == 0) {
        char const* const after = parseLongDecimal(s, nullptr, value);
        if (after == nullptr || !isBlank(*after) || !toCertifiedDouble(value, rounded)) return nullptr;
        return after;
    }
    std::uint64_t significand = appendDigits(0, p, whole);
    significand = appendDigits(significand, p + whole + 1, fraction);
    long scale = -static_cast<long>(fraction);
    char const* const q = takeExponent(p + end, scale);
    if (q == nullptr) return nullptr;
    if (!isBlank(*q) || !scaleExactly(significand, scale, minus != 0, value) ||
        !toCertifiedDouble(value, rounded))
        return nullptr;
    return q;
}

// The extended value of a token that the second stage converted.
inline long double extendedValueOf(char const* s) {
    long double value;
    plainDecimal decimal;
    if (takePlainToken(s, decimal) != nullptr) {
        storeValue(decimal, value);
    } else {
        parseLongDecimal(s, nullptr, value);
    }
    return value;
}

// The engines take the plain tokens their own way; this goes on from the
// first token they left, up to `count`, with tokens of any spelling, so that
// a batch of long numbers stays in the loop. Stops at a token that neither
// takes. Returns how many tokens of the list are converted.
inline unsigned convertLongTokens(char const* base, tokenList const& list, unsigned first, unsigned count,
                                  tokenValues& values) {
    for (unsigned i = first; i < count; ++i)
        if (takeLongToken(base + list.starts[i], values.rounded[i]) == nullptr) return i;
    return count;
}

// An engine: the first stage, and the second stage's conversion, which
// converts the tokens from the first on, up to `count`, that takePlainToken
// or takeLongToken takes, to the same doubles, and stops at one that neither
// takes. It may read the bytes from `floor` (at most base) on: the point
// loop passes the start of its run, so that only the run's first tokens are
// too close to it for the AVX2 engine's gather, which loads the 32 bytes
// that end at a token's last digit.
struct pointEngine {
    void (*listTokens)(char const* base, char const* blockEnd, unsigned wanted, tokenList& list);
    unsigned (*convertTokens)(char const* base, char const* floor, tokenList const& list, unsigned count,
                              tokenValues& values);
};

extern pointEngine const sse2Engine;
extern pointEngine const avx2Engine;    // only where avx2EngineRuns()
extern pointEngine const avx512Engine;  // only where avx512EngineRuns()
bool avx2EngineRuns();
bool avx512EngineRuns();
// The AVX2 engine's second stage, which the AVX-512 engine shares.
unsigned convertTokensAvx2(char const* base, char const* floor, tokenList const& list, unsigned count,
                           tokenValues& values);

}  // namespace gemprobe
