#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include <emmintrin.h>

namespace gemprobe {

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

constexpr unsigned extendedExponentBias = 16383;
constexpr unsigned signBitOfExtended = 0x8000;  // in the word above the significand

// The 80-bit value of a sign bit, a 64-bit significand (its integer bit explicit,
// bit 63 set unless the value is zero) and a biased binary exponent, written
// straight into `value`'s bytes: no x87 instruction, so nothing waits for one.
// All sixteen bytes go in one store (the six after the value are padding,
// left zero): a point is copied on in 16-byte loads soon after it is read,
// and a load that spans two smaller stores cannot be forwarded from them and
// waits until they reach the cache.
static_assert(sizeof(long double) == 16, "the x86-64 long double: 10 bytes of value, 6 of padding");
inline void storeExtended(long double& value, std::uint64_t significand, unsigned biasedExponent,
                          unsigned signBit) {
    auto const signAndExponent = static_cast<long long>(biasedExponent | signBit);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&value),
                     _mm_set_epi64x(signAndExponent, static_cast<long long>(significand)));
}

// An integer below 2^64 is exact in 80 bits: shift its leading bit to bit 63.
inline void storeInteger(long double& value, std::uint64_t integer, unsigned signBit) {
    if (integer == 0) return storeExtended(value, 0, 0, signBit);
    int const shift = __builtin_clzll(integer);
    storeExtended(value, integer << shift, extendedExponentBias + 63 - static_cast<unsigned>(shift), signBit);
}

// The digits 0 to 9 as 80-bit values.
struct smallInteger {
    std::uint64_t significand;
    unsigned biasedExponent;
};

inline constexpr std::array<smallInteger, 10> smallIntegers = [] {
    std::array<smallInteger, 10> table{};
    for (unsigned d = 1; d < 10; ++d) {
        int const shift = __builtin_clzll(d);
        table[d] = {std::uint64_t{d} << shift, extendedExponentBias + 63 - static_cast<unsigned>(shift)};
    }
    return table;
}();

// Division by 10^k (1 <= k <= maxReciprocalPowerOfTen) without a division.
// 10^k = 5^k * 2^k; the 2^k goes to the exponent, and the quotient by d = 5^k
// comes from a 128-bit reciprocal R = ceil(2^(128+g) / d), g = floor(log2 d),
// so that 2^127 < R < 2^128. Why the result is the correctly rounded quotient:
//
// Let w' = w * 2^c be the significand normalized to [2^63, 2^64), and
// P = w' * R, which lies in [2^190, 2^192). Take s = 126 or 127 so that
// P / 2^s lies in [2^64, 2^65), and let Y = w' * 2^(128+g-s) / d, the exact
// quotient at that scale (128+g-s >= 1, so Y * d is an integer). Write
// R = 2^(128+g)/d + e with 0 < e < 1; then P / 2^s = Y + w' * e / 2^s, and the
// error term is below 2^64 / 2^126 = 2^-62. Y's fraction is a multiple of 1/d
// and at most 1 - 1/d, and 1/d >= 5^-26 > 2^-62, so floor(P / 2^s) = floor(Y):
// the 65 leading bits of P are those of the exact quotient. The upper 64 of
// them are the truncated significand, the 65th says whether the rest is at
// least half a unit. It is never exactly half: that needs Y to be an odd
// integer, so d divides w' (d is odd, so d divides w) and Y = (w / d) * 2^m
// with w / d below 2^62 and Y >= 2^64, which makes m >= 3 and Y even. So
// rounding up exactly when the 65th bit is set gives round-to-nearest (ties
// never arise), which is the value strtold gives. A carry out of 64 bits leaves 2^63 and one more in the
// exponent. The exponent: w / 10^k = Y * 2^(s-128-g-c-k) and the significand
// is Y / 2, so the biased exponent is 16383 + 63 + 1 + s - 128 - g - c - k.
constexpr int maxReciprocalPowerOfTen = 26;

struct reciprocalOfPowerOfFive {
    std::uint64_t high, low;  // R = high * 2^64 + low
    unsigned exponentBase;    // 16383 + 63 + 1 + 126 - 128 - g - k: add (s - 126) and subtract c
};

inline constexpr std::array<reciprocalOfPowerOfFive, maxReciprocalPowerOfTen + 1> reciprocalsOfPowersOfFive =
    [] {
        std::array<reciprocalOfPowerOfFive, maxReciprocalPowerOfTen + 1> table{};
        std::uint64_t d = 1;
        for (int k = 1; k <= maxReciprocalPowerOfTen; ++k) {
            d *= 5;
            int const g = 63 - __builtin_clzll(d);
            // Long division of 2^(128+g) by d, one bit at a time: the quotient
            // fits 128 bits and d never divides it, so R is the quotient plus one.
            unsigned __int128 quotient = 0;
            unsigned __int128 remainder = 0;
            for (int bit = 128 + g; bit >= 0; --bit) {
                remainder = remainder * 2 + (bit == 128 + g ? 1 : 0);
                quotient = quotient * 2 + (remainder >= d ? 1 : 0);
                if (remainder >= d) remainder -= d;
            }
            quotient += 1;
            table[k] = {static_cast<std::uint64_t>(quotient >> 64), static_cast<std::uint64_t>(quotient),
                        static_cast<unsigned>(static_cast<int>(extendedExponentBias) + 62 - g - k)};
        }
        return table;
    }();

// w / 10^k, correctly rounded to 80 bits, for w > 0 and 1 <= k <=
// maxReciprocalPowerOfTen (the derivation is above): its significand, and
// its biased exponent.
struct extendedParts {
    std::uint64_t significand;
    unsigned biasedExponent;
};

__attribute__((always_inline)) inline extendedParts quotientParts(std::uint64_t w, int k) {
    // cppcheck takes the table inside the namespace for one entry shorter than it is.
    // cppcheck-suppress containerOutOfBounds
    reciprocalOfPowerOfFive const& r = reciprocalsOfPowersOfFive[k];
    int const c = __builtin_clzll(w);
    std::uint64_t const normalized = w << c;
    auto const lowCarry =
        static_cast<std::uint64_t>((static_cast<unsigned __int128>(normalized) * r.low) >> 64);
    unsigned __int128 const upperProduct = static_cast<unsigned __int128>(normalized) * r.high;
    // P / 2^64 = high * 2^64 + low64, added in two words: as one 128-bit
    // sum, the compiler kept the carry's zero upper word in memory.
    std::uint64_t low64;
    std::uint64_t const high =
        static_cast<std::uint64_t>(upperProduct >> 64) +
        __builtin_add_overflow(static_cast<std::uint64_t>(upperProduct), lowCarry, &low64);
    unsigned const upper = static_cast<unsigned>(high >> 63);  // s - 126
    // Shift by one more when s = 126, without a branch: whether the product
    // reaches 2^191 is as good as random from one number to the next.
    unsigned const shift = upper ^ 1;
    std::uint64_t significand = (high << shift) | ((low64 >> 63) & shift);
    unsigned const roundUp = static_cast<unsigned>((low64 << shift) >> 63);
    unsigned exponent = r.exponentBase + upper - static_cast<unsigned>(c);
    if (__builtin_add_overflow(significand, roundUp, &significand)) {
        significand = std::uint64_t{1} << 63;
        ++exponent;
    }
    return {significand, exponent};
}

inline void storeQuotient(long double& value, std::uint64_t w, int k, unsigned signBit) {
    extendedParts const q = quotientParts(w, k);
    storeExtended(value, q.significand, q.biasedExponent, signBit);
}

// significand * 10^scale when that is one exact operation or a quotient
// computed above; false otherwise.
inline bool scaleExactly(std::uint64_t significand, long scale, bool negative, long double& value) {
    if (significand == 0) {
        value = negative ? -0.0L : 0.0L;
        return true;
    }
    if (scale == 0) {
        storeInteger(value, significand, negative ? signBitOfExtended : 0);
        return true;
    }
    if (scale < 0 && scale >= -maxReciprocalPowerOfTen) {
        storeQuotient(value, significand, static_cast<int>(-scale), negative ? signBitOfExtended : 0);
        return true;
    }
    if (scale < -maxExactPowerOfTen || scale > maxExactPowerOfTen) return false;
    // Most significands fit the signed conversion, which needs no correction step.
    long double const m = significand <= INT64_MAX
                              ? static_cast<long double>(static_cast<std::int64_t>(significand))
                              : static_cast<long double>(significand);
    // (The range test above bounds scale; cppcheck misreads the table's size.)
    // cppcheck-suppress containerOutOfBounds
    long double const magnitude = scale > 0 ? m * exactPowersOfTen[scale] : m / exactPowersOfTen[-scale];
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
// number. The shift moves the digits to the top and drops the rest; the
// bytes shifted in are zeros, that is leading zeros. A digit's low nibble is
// its value, and three multiply-shifts combine neighbouring pairs, quads and
// the two halves (99 and 9999 fit the 8- and 16-bit fields they land in).
inline std::uint64_t valueOfDigits(std::uint64_t v, int count) {
    v <<= 8 * (8 - count);
    v = ((v & 0x0f0f0f0f0f0f0f0fu) * (1 + (10 << 8))) >> 8;                         // pairs, in even bytes
    v = ((v & 0x00ff00ff00ff00ffu) * (1 + (100 << 16))) >> 16;                      // quads, in even halves
    return ((v & 0x0000ffff0000ffffu) * (1 + (std::uint64_t{10000} << 32))) >> 32;  // all eight
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

// Bit m set when byte m of the sixteen at p is an ASCII digit: one SSE2
// compare of every byte's distance from '0' with 9, unsigned.
inline unsigned digitMaskOfSixteen(char const* p) {
    __m128i const bytes = _mm_loadu_si128(reinterpret_cast<__m128i const*>(p));
    __m128i const offsets = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    __m128i const nine = _mm_set1_epi8(9);
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(offsets, nine), nine)));
}

// The commonest spellings, at p after the sign: up to seven integer digits,
// then optionally a point and up to seven fraction digits, no exponent. One
// sixteen-byte mask finds where the integer digits end and, past a point,
// where the fraction ends (the NUL at the end of a block stops both, so bytes
// after it never count); no byte is examined one at a time except the one
// after the integer digits and the one after the number. A lone integer digit
// (frequent in small integer coordinates) is taken as it is, longer runs as
// one eight-byte word, the fraction as another. The significand then has at
// most 14 digits (below 2^47) and the scale is 10^0..10^-7, so storeInteger
// or storeQuotient gives the correctly rounded value (a zero significand
// gives +0, or -0 for "-0"). Returns nullptr, nothing consumed, for anything
// else. Reads sixteen bytes from the sign on, which the block's padding allows.
__attribute__((always_inline)) inline char const* parseCommonDecimal(char const* start, unsigned signLength,
                                                                     char const* end, unsigned signBit,
                                                                     long double& value) {
    // The mask is taken from the sign on, so that its load does not wait for
    // the sign to be decided (each number's start depends on the previous
    // number's end: this load is on the critical path). The bits of the 16
    // bytes after the sign are then bits 0 to 15 - signLength; the bits
    // above, bytes not loaded, are set as if they were not digits, so a
    // number must end (its following byte included) within the loaded bytes.
    char const* const p = start + signLength;
    unsigned const nonDigits = ~digitMaskOfSixteen(start) >> signLength;
    unsigned const wholeDigits = static_cast<unsigned>(__builtin_ctz(nonDigits));
    if (wholeDigits - 1 > 6) return nullptr;  // none, or eight or more
    // A lone digit followed by a blank or a control byte other than NUL (the
    // NUL that ends a block may hide more digits): no byte of these continues
    // a number, so the digit is the whole number.
    if (wholeDigits == 1 && static_cast<unsigned char>(p[1] - 1) < ' ') {
        smallInteger const& digit = smallIntegers[*p - '0'];
        storeExtended(value, digit.significand, digit.biasedExponent, signBit);
        return p + 1;
    }
    std::uint64_t whole = static_cast<unsigned>(*p - '0');
    if (wholeDigits > 1) whole = valueOfDigits(loadEightBytes(p), static_cast<int>(wholeDigits));
    char const* q = p + wholeDigits;
    unsigned fractionDigits = 0;
    if (*q == '.') {
        fractionDigits = static_cast<unsigned>(__builtin_ctz(nonDigits >> (wholeDigits + 1)));
        // At most 7 digits, and the byte after them among the loaded ones:
        // with a sign, seven integer and seven fraction digits leave no room.
        if (fractionDigits > 7 || wholeDigits + fractionDigits + signLength > 14) return nullptr;
        if (fractionDigits > 0)
            whole = whole * powersOfTenUpTo8[fractionDigits] +
                    valueOfDigits(loadEightBytes(q + 1), static_cast<int>(fractionDigits));
        q += 1 + fractionDigits;
    }
    // Commonly a blank or a newline follows; then nothing more can be part
    // of the number. Otherwise an exponent, or an 'x' after a 0, or the end
    // of the block (the number may go on in the next one) are left to the
    // longer paths.
    char const after = static_cast<char>(*q | 0x20);
    if (static_cast<unsigned char>(*q - 1) >= ' ' && (after == 'e' || after == 'x' || q == end))
        return nullptr;
    if (fractionDigits == 0 || whole == 0) {
        storeInteger(value, whole, signBit);
    } else {
        storeQuotient(value, whole, static_cast<int>(fractionDigits), signBit);
    }
    return q;
}

// Up to maxFastDigits - count more digits of the run at p go into
// `significand` (count counts them); the digits past those only count, in
// `dropped`, and `nonzeroDropped` says whether any of them is not 0. Returns
// the end of the run. Reads up to seven bytes past it, which the buffers pad.
inline char const* takeSignificantDigits(char const* p, std::uint64_t& significand, int& count, long& dropped,
                                         bool& nonzeroDropped) {
    for (;;) {
        std::uint64_t const v = loadEightBytes(p);
        int const run = leadingDigitCount(v);
        int const room = maxFastDigits - count;
        if (run <= room) {
            if (run == 0) return p;
            significand = significand * powersOfTenUpTo8[run] + valueOfDigits(v, run);
            count += run;
            p += run;
            if (run < 8) return p;
            continue;
        }
        if (room > 0) significand = significand * powersOfTenUpTo8[room] + valueOfDigits(v, room);
        count = maxFastDigits;
        p += room;
        for (; isDecimalDigit(*p); ++p, ++dropped) nonzeroDropped |= *p != '0';
        return p;
    }
}

// The value of a decimal of any length: the significand of its first 19
// significant digits (leading zeros, before or after the point, only move
// the point), scaled by a power of ten that counts the digits dropped after
// them, the fraction digits and the exponent. Returns false when the value
// is left to strtold.
//
// Why each case is the correctly rounded value of the whole text, x:
// - No nonzero digit dropped: x = significand * 10^scale exactly, and
//   scaleExactly rounds that once (its own comment says why).
// - A nonzero digit dropped: the significand d has 19 digits and
//   d 10^scale < x < (d + 1) 10^scale (the dropped digits add more than
//   nothing and less than one unit of the last digit kept; d + 1 <= 10^19
//   still fits 64 bits). Rounding to nearest is monotonic, so RN(x) lies
//   between RN(d 10^scale) and RN((d + 1) 10^scale), both correctly rounded
//   by scaleExactly; when they are equal, RN(x) is that value. When they
//   differ, x lies near a rounding boundary and the dropped digits decide:
//   strtold reads them all.
// - A scale above 10^27 whose excess 10^(scale - 27) still leaves the
//   significand below 2^64 is the exact integer d 10^(scale - 27) times
//   10^27: again one rounding of exact operands.
inline bool scaleDecimal(std::uint64_t significand, long scale, bool nonzeroDropped, bool negative,
                         long double& value) {
    if (scale > maxExactPowerOfTen && scale - maxExactPowerOfTen <= 8 && !nonzeroDropped) {
        std::uint64_t const excess = powersOfTenUpTo8[scale - maxExactPowerOfTen];
        if (__builtin_mul_overflow(significand, excess, &significand)) return false;
        scale = maxExactPowerOfTen;
    }
    if (!scaleExactly(significand, scale, negative, value)) return false;
    if (!nonzeroDropped) return true;
    long double above;
    return scaleExactly(significand + 1, scale, negative, above) && above == value;
}

// A decimal number at p without its sign, digits [. digits] [e [sign]
// digits] with at least one digit before the exponent, that ends before
// `end` (*end must be a byte that is not part of a number, such as a NUL;
// bytes after it up to the padding are read). Returns its end, or nullptr
// (nothing consumed) for hexadecimal, an exponent of more than six digits,
// a value left to strtold (see scaleDecimal), text that is not such a
// number, or a number that reaches `end` and so may go on in the next block.
__attribute__((always_inline)) inline char const* parseUnsignedDecimal(char const* p, char const* end,
                                                                       bool negative, long double& value) {
    char const* const start = p;
    while (*p == '0') ++p;  // not significant
    std::uint64_t significand = 0;
    int count = 0;
    long scale = 0;  // integer digits dropped: each one a power of ten
    bool nonzeroDropped = false;
    p = takeSignificantDigits(p, significand, count, scale, nonzeroDropped);
    bool digits = p != start;
    if (*p == '.') {
        char const* const fractionStart = ++p;
        if (count == 0) {
            while (*p == '0') ++p;  // still leading zeros: they only scale
        }
        long droppedFraction = 0;  // digits after the kept ones: they do not scale
        p = takeSignificantDigits(p, significand, count, droppedFraction, nonzeroDropped);
        scale -= (p - fractionStart) - droppedFraction;
        digits |= p != fractionStart;
    } else if ((*p | 0x20) == 'x') {
        return nullptr;  // hexadecimal
    }
    if (!digits) return nullptr;
    if ((*p | 0x20) == 'e') {
        ++p;
        bool const negativeExponent = *p == '-';
        if (*p == '-' || *p == '+') ++p;
        char const* const exponentStart = p;
        long exponent = 0;
        while (isDecimalDigit(*p) && p - exponentStart < 6) exponent = exponent * 10 + (*p++ - '0');
        if (p == exponentStart || isDecimalDigit(*p)) return nullptr;
        scale += negativeExponent ? -exponent : exponent;
    }
    if (p == end) return nullptr;
    if (!scaleDecimal(significand, scale, nonzeroDropped, negative, value)) return nullptr;
    return p;
}

// Parses a decimal number at p, [sign] digits [. digits] [e [sign] digits],
// that lies wholly before `end` (*end must be a byte that is not part of a
// number, such as a NUL, and the 16 bytes from any position up to end must
// be readable). Returns the position after it, or nullptr (nothing consumed)
// for anything the fast conversion does not cover (see
// parseUnsignedDecimal): the general reader handles those.
//
// The common spellings take parseCommonDecimal; the others are read again
// from the sign by parseUnsignedDecimal, the digits eight at a time.
__attribute__((always_inline)) inline char const* parseShortDecimal(char const* p, char const* end,
                                                                    long double& value) {
    // Without branches: the signs of coordinates are as good as random. The
    // sign is kept as the bit it takes in the value, at full width: a bool
    // kept on the stack was read back wider than it was written, which
    // stalled every store of a value.
    unsigned const first = static_cast<unsigned char>(*p);
    unsigned const minus = ((first ^ '-') - 1) >> 31;  // 1 exactly when first is '-'
    unsigned const plus = ((first ^ '+') - 1) >> 31;
    unsigned const signBit = minus << 15;
    unsigned const signLength = minus | plus;
    if (char const* after = parseCommonDecimal(p, signLength, end, signBit, value)) return after;
    return parseUnsignedDecimal(p + signLength, end, minus != 0, value);
}

// The same for a number whose sign has not been looked at, without trying
// the common spellings first (the caller has).
inline char const* parseLongDecimal(char const* p, char const* end, long double& value) {
    bool const negative = *p == '-';
    return parseUnsignedDecimal(p + (negative || *p == '+' ? 1 : 0), end, negative, value);
}

}  // namespace gemprobe
