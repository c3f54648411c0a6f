// The point loop's engine for processors with AVX2, FMA and BMI2: the blanks
// of 32 bytes by one table lookup; a token of up to fifteen bytes has its
// digits gathered into place by one byte shuffle and summed by
// multiply-adds, a longer one by two loads that end at its last digit; a
// value is one division, checked with fused multiply-adds four at a time
// where a double rounding could differ (a value of sixteen to nineteen
// digits, which a double does not hold, after one step that corrects the
// quotient of its rounded significand).

#include "point_tokens.h"

#include <array>
#include <cstring>

#include <immintrin.h>

namespace gemprobe {

namespace {

// AVX2: the blanks by one table lookup on each byte's low nibble. The table
// holds, for each low nibble, the one blank with that nibble (' ' for 0, '\t'
// to '\r' for 9 to 13) and otherwise a byte whose low nibble differs from its
// index, so that a byte equals its entry exactly when it is blank; bytes of
// 0x80 and above look up 0 and match nothing.
__attribute__((target("avx2"))) inline std::uint64_t bits(__m256i v) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(v)));
}

__attribute__((target("avx2"))) inline chunkMasks masksOfChunkAvx2(char const* c) {
    __m256i const table = _mm256_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', '\v', '\f', '\r', 0, 0,
                                           ' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', '\v', '\f', '\r', 0, 0);
    __m256i const low = _mm256_loadu_si256(reinterpret_cast<__m256i const*>(c));
    __m256i const high = _mm256_loadu_si256(reinterpret_cast<__m256i const*>(c + 32));
    __m256i const blankLow = _mm256_cmpeq_epi8(_mm256_shuffle_epi8(table, low), low);
    __m256i const blankHigh = _mm256_cmpeq_epi8(_mm256_shuffle_epi8(table, high), high);
    __m256i const newline = _mm256_set1_epi8('\n');
    return {bits(blankLow) | bits(blankHigh) << 32,
            bits(_mm256_cmpeq_epi8(low, newline)) | bits(_mm256_cmpeq_epi8(high, newline)) << 32};
}

// tzcnt is defined at 0 (64).
struct bitsAvx2 {
    __attribute__((target("popcnt"))) static unsigned count(std::uint64_t x) {
        return static_cast<unsigned>(_mm_popcnt_u64(x));
    }
    __attribute__((target("bmi"))) static unsigned lowest(std::uint64_t x) {
        return static_cast<unsigned>(_tzcnt_u64(x));
    }
};

__attribute__((target("avx2,fma,popcnt,bmi,bmi2"))) void listTokensAvx2(char const* base,
                                                                        char const* blockEnd, unsigned wanted,
                                                                        tokenList& list) {
    listTokens<masksOfChunkAvx2, bitsAvx2>(base, blockEnd, wanted, list);
}

// For a token of w integer and f fraction digits (after its sign), entry
// 16 w + f lists where each of the sixteen places of a right-aligned
// sixteen-digit number finds its digit in the token: the last fraction digit
// goes to place 15, the point is skipped, and places before the first digit
// get 0x80, which the shuffle turns into a zero. A token that fits in the
// sixteen bytes has w + f <= 15 (w + f = 16 leaves no room for the blank).
struct alignas(16) digitPlaces {
    char from[16];
};

inline constexpr std::array<digitPlaces, 256> digitPlacesTable = [] {
    std::array<digitPlaces, 256> table{};
    for (int whole = 0; whole < 16; ++whole) {
        for (int fraction = 0; fraction < 16; ++fraction) {
            for (int place = 0; place < 16; ++place) {
                int const fromRight = 15 - place;
                int from = -1;
                if (fromRight < fraction) {
                    from = whole + fraction - fromRight;  // after the point
                } else if (fromRight - fraction < whole) {
                    from = whole - 1 - (fromRight - fraction);
                }
                table[static_cast<std::size_t>(16 * whole + fraction)].from[place] =
                    static_cast<char>(from < 0 ? 0x80 : from);
            }
        }
    }
    return table;
}();

// For each first byte of a token: bit 0 set for a sign, bit 1 for a minus.
inline constexpr std::array<unsigned char, 256> signOfFirstByte = [] {
    std::array<unsigned char, 256> table{};
    table['+'] = 1;
    table['-'] = 3;
    return table;
}();

// For each sign byte's entry in signOfFirstByte: the sign bit of a double.
inline constexpr std::uint64_t signBitOf[4] = {0, 0, 0, std::uint64_t{1} << 63};

// A token of at most fifteen bytes after its sign, [1-15 digits] [. digits]
// followed by a blank, without a byte examined alone after the sign: the
// digits, the point and the blanks of the sixteen bytes after the sign come
// from compares of the whole, and the digits' value from one shuffle and
// three multiply-adds. The value stays in vector registers until it is
// stored: the two halves are joined by a 64-bit multiply-add, the sum (at
// most fifteen digits, below 10^15 < 2^52) becomes a double exactly when
// placed in the mantissa of 2^52 and 2^52 is taken off, and the sign goes
// in as a bit. Its value is then one division by 10^f, f the fraction
// digits, with both operands exact: roundedValue's division, correctly
// rounded without a check, for the tokens takePlainToken takes with up to
// four fraction digits; checkedLongQuotient's check for every other one
// (%.6f, %.9f, %.12g between 0.001 and 10^7), which stands for all but
// about one value in a thousand. Returns 0 for a token that does not fit
// and 1 for a value. Other fitting tokens: without `wide`, 2 and nothing
// stored; with it, 2 for the rare value the check leaves undecided (stored
// as the plain quotient, for takeLongToken to replace). The two forms are
// two loops, so that most inputs of short tokens run one without the
// check's registers. Reads sixteen bytes from the one after s on, within
// the block's padding.
// The loop's constants, made once per batch and passed in registers: left
// to itself, the compiler loaded some of them again for every token.
struct tokenConstants {
    __m128i minusZero, nine, point, blankTable, tensAndOnes, hundreds, tenThousands, hundredMillions, twoTo52;
};

__attribute__((target("avx2"), always_inline)) inline tokenConstants makeTokenConstants() {
    tokenConstants c{_mm_set1_epi8(-'0'),
                     _mm_set1_epi8(9),
                     _mm_set1_epi8('.'),
                     _mm_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', '\v', '\f', '\r', 0, 0),
                     _mm_set1_epi16(10 | 1 << 8),
                     _mm_set1_epi32(100 | 1 << 16),
                     _mm_set1_epi32(10000 | 1 << 16),
                     _mm_set1_epi64x(100000000),
                     _mm_set1_epi64x(0x4330000000000000)};
    // Opaque to the optimizer from here on, so each stays in its register.
    __asm__(""
            : "+x"(c.minusZero), "+x"(c.nine), "+x"(c.point), "+x"(c.blankTable), "+x"(c.tensAndOnes),
              "+x"(c.hundreds), "+x"(c.tenThousands), "+x"(c.hundredMillions), "+x"(c.twoTo52));
    return c;
}

// The wide loop's tokens before their divisions, four at a time: each one's
// magnitude and divisor, the sign bit of its value, and all ones where its
// quotient needs the check.
struct alignas(32) wideParts {
    double magnitude[3 * batchPoints + 4];
    double divisor[3 * batchPoints + 4];
    std::uint64_t signBit[3 * batchPoints + 4];
    std::uint64_t checked[3 * batchPoints + 4];
};

template <bool wide>
__attribute__((target("avx2,fma,popcnt,bmi,bmi2"), always_inline)) inline unsigned takeTokenShuffled(
    char const* s, double& rounded, wideParts* parts, unsigned i, tokenConstants const& c) {
    // Without a branch: the signs of coordinates are as good as random.
    unsigned const sign = signOfFirstByte[static_cast<unsigned char>(*s)];
    unsigned const signLength = sign & 1;
    char const* const p = s + signLength;
    __m128i const bytes = _mm_loadu_si128(reinterpret_cast<__m128i const*>(p));
    __m128i const values = _mm_add_epi8(bytes, c.minusZero);
    // Bits past the sixteen loaded bytes count as not digits, not a point
    // and not blank.
    unsigned const nonDigits =
        ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(values, c.nine), values)));
    auto const points = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, c.point)));
    auto const blanks = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_shuffle_epi8(c.blankTable, bytes), bytes)));
    unsigned const whole = _tzcnt_u32(nonDigits);
    unsigned const hasPoint = (points >> whole) & 1;
    unsigned const fraction = _tzcnt_u32(nonDigits >> (whole + 1)) & (0u - hasPoint);
    unsigned const length = whole + hasPoint + fraction;
    // The blank's bit is clear for a length of sixteen or more.
    if ((whole == 0) | (((blanks >> length) & 1) == 0)) return 0;
    bool const plainDivision = (whole <= 7) & (fraction <= 4);
    if (!wide && !plainDivision) return 2;
    __m128i const place =
        _mm_load_si128(reinterpret_cast<__m128i const*>(digitPlacesTable[16 * whole + fraction].from));
    __m128i const placed = _mm_shuffle_epi8(values, place);
    __m128i const pairs = _mm_maddubs_epi16(placed, c.tensAndOnes);
    __m128i const quads = _mm_madd_epi16(pairs, c.hundreds);
    __m128i const eights = _mm_madd_epi16(_mm_packus_epi32(quads, quads), c.tenThousands);
    // The first eight digits' value in the low half of the low lane, the
    // last eight's in the high half.
    __m128i const digits =
        _mm_add_epi64(_mm_mul_epu32(eights, c.hundredMillions), _mm_srli_epi64(eights, 32));
    __m128d const magnitude =
        _mm_sub_sd(_mm_castsi128_pd(_mm_or_si128(digits, c.twoTo52)), _mm_castsi128_pd(c.twoTo52));
    __m128d const divisor = _mm_load_sd(&exactDoublePowersOfTen[fraction]);
    if constexpr (wide) {
        _mm_store_sd(&parts->magnitude[i], magnitude);
        _mm_store_sd(&parts->divisor[i], divisor);
        parts->signBit[i] = signBitOf[sign];
        parts->checked[i] = plainDivision ? 0 : ~std::uint64_t{0};
        return 1;
    }
    __m128d const quotient = _mm_div_sd(magnitude, divisor);
    __m128d const signBit =
        _mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<__m128i const*>(&signBitOf[sign])));
    rounded = _mm_cvtsd_f64(_mm_or_pd(quotient, signBit));
    return 1;
}

// quotientStands's check on four lanes (the same operations on each): all
// ones in a lane whose quotient stands, given its divisor and its remainder.
__attribute__((target("avx2,fma"), always_inline)) inline __m256i quotientsStand(__m256d quotient,
                                                                                 __m256d divisor,
                                                                                 __m256d remainder) {
    __m256i const bits = _mm256_castpd_si256(quotient);
    __m256i const zero = _mm256_setzero_si256();
    __m256i const exactZero = _mm256_cmpeq_epi64(bits, zero);
    __m256i const powerOfTwo =
        _mm256_cmpeq_epi64(_mm256_and_si256(bits, _mm256_set1_epi64x(0xfffffffffffff)), zero);
    __m256d const unit = _mm256_and_pd(quotient, _mm256_castsi256_pd(_mm256_set1_epi64x(0x7ff0000000000000)));
    __m256d const half = _mm256_mul_pd(divisor, _mm256_mul_pd(unit, _mm256_set1_pd(0x1p-53)));
    __m256d const distance = _mm256_sub_pd(half, _mm256_andnot_pd(_mm256_set1_pd(-0.0), remainder));
    __m256i const far = _mm256_castpd_si256(
        _mm256_cmp_pd(distance, _mm256_mul_pd(half, _mm256_set1_pd(0x1p-10)), _CMP_GT_OQ));
    return _mm256_or_si256(exactZero, _mm256_andnot_si256(powerOfTwo, far));
}

// Four of the wide loop's divisions at once, from parts[i] on, with
// quotientStands's check lane by lane (the same operations on each lane);
// the lanes whose quotient the check leaves undecided, as bits.
__attribute__((target("avx2,fma"), always_inline)) inline unsigned divideFour(wideParts const& parts,
                                                                              unsigned i, double* rounded) {
    __m256d const magnitude = _mm256_loadu_pd(&parts.magnitude[i]);
    __m256d const divisor = _mm256_loadu_pd(&parts.divisor[i]);
    __m256d const quotient = _mm256_div_pd(magnitude, divisor);
    __m256d const remainder = _mm256_fnmadd_pd(quotient, divisor, magnitude);
    __m256i const stands = quotientsStand(quotient, divisor, remainder);
    __m256i const undecided =
        _mm256_andnot_si256(stands, _mm256_loadu_si256(reinterpret_cast<__m256i const*>(&parts.checked[i])));
    _mm256_storeu_pd(rounded,
                     _mm256_or_pd(quotient, _mm256_castsi256_pd(_mm256_loadu_si256(
                                                reinterpret_cast<__m256i const*>(&parts.signBit[i])))));
    return static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(undecided)));
}

// takeLongToken out of line, so that the loops keep their
// registers for the tokens they take.
__attribute__((noinline)) char const* takeLongTokenApart(char const* s, double& rounded) {
    return takeLongToken(s, rounded);
}

// The two loops apart, so that each keeps its constants in registers.
__attribute__((target("avx2,fma,popcnt,bmi,bmi2"), noinline)) unsigned convertShortFractions(
    char const* base, tokenList const& list, unsigned count, tokenValues& values, bool& wideFound) {
    tokenConstants const c = makeTokenConstants();
    for (unsigned taken = 0; taken < count; ++taken) {
        unsigned const status =
            takeTokenShuffled<false>(base + list.starts[taken], values.rounded[taken], nullptr, 0, c);
        if (status != 1) {
            wideFound = status == 2;
            return taken;
        }
    }
    return count;
}

// Four lanes at a time by `fourAtATime` (it stores four values and returns
// the lanes its check leaves undecided), from `first` to `end`, and
// takeLongToken for the undecided ones: it takes every token that the loops
// before give parts for, to the value the check would have let stand. The
// last entries of the list go through a copy.
template <class parts, unsigned (*fourAtATime)(parts const&, unsigned, double*)>
__attribute__((target("avx2,fma"), always_inline)) inline void divideInFours(char const* base,
                                                                             tokenList const& list,
                                                                             parts const& divisions,
                                                                             unsigned first, unsigned end,
                                                                             tokenValues& values) {
    for (unsigned i = first; i < end; i += 4) {
        double four[4];
        bool const inList = i + 4 <= 3 * batchPoints;
        unsigned undecided = fourAtATime(divisions, i, inList ? &values.rounded[i] : four);
        if (!inList) std::memcpy(&values.rounded[i], four, sizeof(double) * (3 * batchPoints - i));
        for (; undecided != 0; undecided &= undecided - 1) {
            unsigned const k = i + static_cast<unsigned>(__builtin_ctz(undecided));
            takeLongTokenApart(base + list.starts[k], values.rounded[k]);
        }
    }
}

// The divisions of the tokens from `first` to `end`, four at a time, with
// the check where their parts ask for it; takeLongToken for the quotients it
// leaves undecided. Lanes past the end divide 0 by 1, unchecked; their
// quotients land in entries that later stages overwrite or that are not
// taken.
__attribute__((target("avx2,fma,popcnt,bmi,bmi2"), always_inline)) inline void divideAll(
    char const* base, tokenList const& list, wideParts& parts, unsigned first, unsigned end,
    tokenValues& values) {
    for (unsigned i = end; i < end + 4; ++i) {
        parts.magnitude[i] = 0;
        parts.divisor[i] = 1;
        parts.signBit[i] = 0;
        parts.checked[i] = 0;
    }
    divideInFours<wideParts, divideFour>(base, list, parts, first, end, values);
}

__attribute__((target("avx2,fma,popcnt,bmi,bmi2"), noinline)) unsigned convertAnyFractions(
    char const* base, tokenList const& list, unsigned taken, unsigned count, tokenValues& values) {
    tokenConstants const c = makeTokenConstants();
    // The digits of the tokens first, then their divisions four at a time:
    // one check of four quotients costs about what one costs alone.
    wideParts parts;
    unsigned end = taken;
    while (end < count &&
           takeTokenShuffled<true>(base + list.starts[end], values.rounded[end], &parts, end, c))
        ++end;
    divideAll(base, list, parts, taken, end, values);
    return end;
}

// takeLongToken's result for a token of up to 31 digits and a point, at
// most 19 of the digits significant, with no digit taken alone: its
// digits are gathered right-aligned into 32 bytes (two loads that end at
// its last digit, the one from before the point and the one after it, so
// that selecting by position skips the point), the bytes before its first
// digit cleared, and their value summed by multiply-adds in eight-digit
// groups. The first thirteen of the 32 places hold leading zeros at most
// (19 significant digits), so the last three groups give the exact
// significand. The loads start up to 31 bytes before the token's end:
// `floor` is the first byte they may read. Returns the end, or nullptr for
// anything else (takeLongToken then decides). With `divide`, only a
// quotient that checkedLongQuotient decides is taken, and stored; without
// it, the groups and the divisor for quotientsOfFour, which is left to a
// loop of its own.
// The gather's constants, made once per loop and kept in registers, as
// tokenConstants are.
struct gatherConstants {
    __m256i zero, nine, tensAndOnes, hundreds, tenThousands;
};

__attribute__((target("avx2"), always_inline)) inline gatherConstants makeGatherConstants() {
    gatherConstants c{_mm256_set1_epi8('0'), _mm256_set1_epi8(9), _mm256_set1_epi16(10 | 1 << 8),
                      _mm256_set1_epi32(100 | 1 << 16), _mm256_set1_epi32(10000 | 1 << 16)};
    __asm__("" : "+x"(c.zero), "+x"(c.nine), "+x"(c.tensAndOnes), "+x"(c.hundreds), "+x"(c.tenThousands));
    return c;
}

// 32 bytes of ones and 32 of zeros: the 32 bytes from 32 - n on are the
// mask of places below n, for 0 <= n <= 32, by one load.
alignas(64) inline constexpr std::array<unsigned char, 64> placesBelow = [] {
    std::array<unsigned char, 64> bytes{};
    for (int i = 0; i < 32; ++i) bytes[static_cast<std::size_t>(i)] = 0xff;
    return bytes;
}();

// Gathered tokens before their divisions, four at a time: each one's
// eight-digit groups as the gather leaves them (the first, which is 0, then
// the three that make the significand, so that one store keeps them all),
// its divisor and the sign bit of its value.
struct alignas(32) gatheredDecimals {
    std::uint32_t groups[3 * batchPoints + 4][4];
    double divisor[3 * batchPoints + 4];
    std::uint64_t signBit[3 * batchPoints + 4];
};

// 10^k for the scales the gather takes, k from 1 to maxReciprocalPowerOfTen:
// exact up to 10^22, and beyond it NaN, which no check lets stand.
inline constexpr std::array<double, maxReciprocalPowerOfTen + 1> divisorOfScale = [] {
    std::array<double, maxReciprocalPowerOfTen + 1> divisors{};
    for (int k = 0; k <= maxReciprocalPowerOfTen; ++k)
        divisors[static_cast<std::size_t>(k)] = k <= maxExactDoublePowerOfTen
                                                    ? exactDoublePowersOfTen[static_cast<std::size_t>(k)]
                                                    : __builtin_nan("");
    return divisors;
}();

template <bool divide>
__attribute__((target("avx2,fma,popcnt,bmi,bmi2"), always_inline)) inline char const* takeLongTokenGathered(
    char const* s, char const* floor, wideParts& wide, gatheredDecimals& out, unsigned i,
    gatherConstants const& c) {
    unsigned const sign = signOfFirstByte[static_cast<unsigned char>(*s)];
    char const* const p = s + (sign & 1);
    __m256i const values = _mm256_sub_epi8(_mm256_loadu_si256(reinterpret_cast<__m256i const*>(p)), c.zero);
    auto const digitMask = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_min_epu8(values, c.nine), values)));
    std::uint64_t const nonDigits = ~std::uint64_t{digitMask};
    unsigned const whole = static_cast<unsigned>(_tzcnt_u64(nonDigits));
    // A branch, not a select: predicted, it lets the loads below start
    // before the byte after the digits is read.
    unsigned hasPoint = 0;
    unsigned fraction = 0;
    if (p[whole] == '.') {
        hasPoint = 1;
        fraction = static_cast<unsigned>(_tzcnt_u64(nonDigits >> (whole + 1)));
    }
    unsigned const end = whole + hasPoint + fraction;
    unsigned const digits = whole + fraction;
    if (digits == 0 || end >= 32 || static_cast<std::size_t>(p - floor) + digits < 32) return nullptr;
    // Place i of the 32 holds digit k = digits - 32 + i: before the point
    // it lies at p + k, after it at p + k + 1.
    char const* const last = p + end - 32;
    __m256i const before = _mm256_loadu_si256(reinterpret_cast<__m256i const*>(last - hasPoint));
    __m256i const after = _mm256_loadu_si256(reinterpret_cast<__m256i const*>(last));
    // k < whole: i < whole + 32 - digits; k < 0: i < 32 - digits.
    __m256i const fromBefore =
        _mm256_loadu_si256(reinterpret_cast<__m256i const*>(placesBelow.data() + digits - whole));
    __m256i const outside = _mm256_loadu_si256(reinterpret_cast<__m256i const*>(placesBelow.data() + digits));
    __m256i const gathered = _mm256_blendv_epi8(after, before, fromBefore);
    __m256i const digitValues = _mm256_andnot_si256(outside, _mm256_sub_epi8(gathered, c.zero));
    __m256i const pairs = _mm256_maddubs_epi16(digitValues, c.tensAndOnes);
    __m256i const quads = _mm256_madd_epi16(pairs, c.hundreds);
    __m256i const eights = _mm256_madd_epi16(_mm256_packus_epi32(quads, quads), c.tenThousands);
    // Lane 0: places 0-7 and 8-15; lane 1: 16-23 and 24-31. A value below
    // 10^19 has at most 19 significant digits, and conversely: the first
    // group is 0 and the second below 1000, one comparison with the two
    // swapped.
    auto const firstTwo = static_cast<std::uint64_t>(_mm256_extract_epi64(eights, 0));
    if (std::rotr(firstTwo, 32) >= 1000) return nullptr;
    long scale = -static_cast<long>(fraction);
    char const* q = p + end;
    if ((*q | 0x20) == 'e') {
        // Most exponents are written as printf writes them, a sign and two
        // digits ("e-05"); takeExponent reads the others. A third digit
        // leaves q at a digit, which is not the blank wanted below. (Taken
        // without a branch, by masks, the exponent cost the loop registers
        // it spilled: 20% more instructions on every long spelling.)
        unsigned const tens = static_cast<unsigned char>(q[2]) - '0';
        unsigned const ones = static_cast<unsigned char>(q[3]) - '0';
        if ((q[1] == '-' || q[1] == '+') && tens < 10 && ones < 10) {
            long const exponent = 10 * tens + ones;
            scale += q[1] == '-' ? -exponent : exponent;
            q += 4;
        } else {
            q = takeExponent(q, scale);
            if (q == nullptr) return nullptr;
        }
    }
    if (!isBlank(*q)) return nullptr;
    if constexpr (divide) {
        __m128i const lastTwo = _mm256_extracti128_si256(eights, 1);
        std::uint64_t const third = static_cast<std::uint32_t>(_mm_cvtsi128_si32(lastTwo));
        std::uint64_t const fourth = static_cast<std::uint32_t>(_mm_extract_epi32(lastTwo, 1));
        std::uint64_t const significand = ((firstTwo >> 32) * 100000000 + third) * 100000000 + fourth;
        // checkedLongQuotient's division and check, four at a time later.
        if (significand == 0 || scale >= 0 || significand >= 1000000000000000 ||
            scale < -maxExactDoublePowerOfTen)
            return nullptr;
        wide.magnitude[i] = static_cast<double>(static_cast<std::int64_t>(significand));
        wide.divisor[i] = exactDoublePowersOfTen[static_cast<std::size_t>(-scale)];
        wide.signBit[i] = signBitOf[sign];
        wide.checked[i] = ~std::uint64_t{0};
        return q;
    }
    // An integer or a scale past the reciprocals: takeLongToken.
    if (scale >= 0 || scale < -maxReciprocalPowerOfTen) return nullptr;
    // Groups 0, 1, 2 and 3 are the 32-bit words 0, 1, 4 and 5.
    _mm_store_si128(reinterpret_cast<__m128i*>(out.groups[i]),
                    _mm256_castsi256_si128(_mm256_permute4x64_epi64(eights, 0x08)));
    out.divisor[i] = divisorOfScale[static_cast<std::size_t>(-scale)];
    out.signBit[i] = signBitOf[sign];
    return q;
}

// The values of four gathered tokens, from gathered[i] on, rounded to 64
// bits and then to 53 as takeLongToken rounds them, stored at `rounded`;
// the lanes that the check leaves undecided, as bits.
//
// The significand w (below 10^19) is g1 10^16 + g2 10^8 + g3 in its groups.
// u = g1 10^8 + g2 < 10^11 is exact in a double; wh = RN(u 10^8 + g3) is w
// rounded once, by one fused multiply-add; and RN(u 10^8 - wh) is exact,
// since u 10^8 - wh = (w - wh) - g3 is an integer below 2^27 in magnitude,
// so wl = that + g3 = w - wh exactly (integers below 2^28). With d = 10^k
// exact (k <= 22), q0 = RN(wh / d) is a correctly rounded quotient of exact
// operands, so wh - q0 d is a double, which one fused multiply-add gives
// exactly; r0 = RN(wh - q0 d + wl) = RN(w - q0 d) after one more rounding.
// q0 is the quotient of wh, not of w, and may be an ulp or two off when w
// does not fit 53 bits (|wl| <= 2^-53 w): q = RN(q0 + r0 / d) corrects it,
// and its remainder r = RN(r0 - (q - q0) d) comes by one fused multiply-add
// (q - q0 is exact, the two being within a factor of two of each other).
// So r is w - q d up to 2^-53 |w - q0 d| + 2^-53 |r|.
//
// quotientStands's reasoning then holds with r in place of its exact
// remainder: with h = d ulp(q) / 2, q is the value wanted when h - |w - q d|
// > 2^-11 h. The computed h - |r| is exact when |r| >= h / 2 (Sterbenz) and
// far above the bound otherwise; where it exceeds 2^-10 h, |r| < h and
// |w - q0 d| <= |w - q d| + |q - q0| d < 5 h (q - q0 at most two ulps of
// q0, each at most 2 ulp(q)), so the true distance exceeds 2^-10 h - 6
// 2^-53 h > 2^-11 h. A NaN divisor (k > 22) fails every comparison.
__attribute__((target("avx2,fma"), always_inline)) inline unsigned quotientsOfFour(
    gatheredDecimals const& gathered, unsigned i, double* rounded) {
    __m256i const order = _mm256_setr_epi32(1, 5, 2, 6, 3, 7, 0, 4);
    // Per pair of tokens: their g1s, g2s, g3s and g0s in that order.
    __m256i const low = _mm256_permutevar8x32_epi32(
        _mm256_loadu_si256(reinterpret_cast<__m256i const*>(gathered.groups[i])), order);
    __m256i const high = _mm256_permutevar8x32_epi32(
        _mm256_loadu_si256(reinterpret_cast<__m256i const*>(gathered.groups[i + 2])), order);
    __m256i const firstAndLast = _mm256_unpacklo_epi64(low, high);  // the four g1s, then the four g3s
    __m256i const middle = _mm256_unpackhi_epi64(low, high);        // the four g2s, then the g0s
    __m256d const g1 = _mm256_cvtepi32_pd(_mm256_castsi256_si128(firstAndLast));
    __m256d const g2 = _mm256_cvtepi32_pd(_mm256_castsi256_si128(middle));
    __m256d const g3 = _mm256_cvtepi32_pd(_mm256_extracti128_si256(firstAndLast, 1));
    __m256d const tenTo8 = _mm256_set1_pd(1e8);
    __m256d const u = _mm256_fmadd_pd(g1, tenTo8, g2);
    __m256d const wh = _mm256_fmadd_pd(u, tenTo8, g3);
    __m256d const wl = _mm256_add_pd(_mm256_fmsub_pd(u, tenTo8, wh), g3);
    __m256d const divisor = _mm256_loadu_pd(&gathered.divisor[i]);
    __m256d const q0 = _mm256_div_pd(wh, divisor);
    __m256d const r0 = _mm256_add_pd(_mm256_fnmadd_pd(q0, divisor, wh), wl);
    __m256d const quotient = _mm256_add_pd(q0, _mm256_div_pd(r0, divisor));
    __m256d const remainder = _mm256_fnmadd_pd(_mm256_sub_pd(quotient, q0), divisor, r0);
    __m256i const stands = quotientsStand(quotient, divisor, remainder);
    _mm256_storeu_pd(rounded,
                     _mm256_or_pd(quotient, _mm256_castsi256_pd(_mm256_loadu_si256(
                                                reinterpret_cast<__m256i const*>(&gathered.signBit[i])))));
    return static_cast<unsigned>(
        _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_xor_si256(stands, _mm256_set1_epi64x(-1)))));
}

// quotientsOfFour for the gathered tokens from `first` to `end`; takeLongToken
// for the values it leaves undecided (it takes every token the gather takes,
// to the same value). Lanes past the end divide 0 by 1.
__attribute__((target("avx2,fma"), always_inline)) inline void divideGathered(char const* base,
                                                                              tokenList const& list,
                                                                              gatheredDecimals& gathered,
                                                                              unsigned first, unsigned end,
                                                                              tokenValues& values) {
    for (unsigned i = end; i < end + 4; ++i) {
        std::memset(gathered.groups[i], 0, sizeof gathered.groups[i]);
        gathered.divisor[i] = 1;
        gathered.signBit[i] = 0;
    }
    divideInFours<gatheredDecimals, quotientsOfFour>(base, list, gathered, first, end, values);
}

// The tokens from `taken` on that the short loops left: gathered where the
// token allows it, by takeLongToken otherwise. Tokens of at most 15 digits
// and a scale of at most 10^-22 (%.9f to %.15g) take checkedLongQuotient's
// one division, in a loop of their own until a token does not; the rest of
// the batch then takes quotientsOfFour. A choice per token, with
// digit counts mixed (shortest round trips have 16 or 17, one spelling per
// coordinate anything), mispredicted often enough to cost more than the
// division saves.
__attribute__((target("avx2,fma,popcnt,bmi,bmi2"), noinline)) unsigned convertLongTokensAvx2(
    char const* base, char const* floor, tokenList const& list, unsigned taken, unsigned count,
    tokenValues& values) {
    gatherConstants const c = makeGatherConstants();
    gatheredDecimals gathered;
    wideParts wide;
    unsigned const first = taken;
    bool stopped = false;
    for (; taken < count; ++taken) {
        char const* const s = base + list.starts[taken];
        if (takeLongTokenGathered<true>(s, floor, wide, gathered, taken, c) != nullptr) continue;
        // Within 32 bytes of the floor a token cannot be gathered: that
        // alone does not end the loop. Its value goes through the divisions
        // unchanged, as a quotient by 1.
        if (s - floor >= 32) break;
        double value;
        if (takeLongTokenApart(s, value) == nullptr) {
            stopped = true;
            break;
        }
        wide.magnitude[taken] = value;
        wide.divisor[taken] = 1;
        wide.signBit[taken] = 0;
        wide.checked[taken] = 0;
    }
    divideAll(base, list, wide, first, taken, values);
    if (stopped) return taken;
    // The gathering and the divisions in two loops: each token's chain of
    // dependent steps from its start to its double is long, and a shorter
    // loop body lets the processor work on more tokens at once.
    while (taken < count) {
        unsigned end = taken;
        while (end < count && takeLongTokenGathered<false>(base + list.starts[end], floor, wide, gathered,
                                                           end, c) != nullptr)
            ++end;
        divideGathered(base, list, gathered, taken, end, values);
        taken = end;
        if (taken == count || takeLongTokenApart(base + list.starts[taken], values.rounded[taken]) == nullptr)
            break;
        ++taken;
    }
    return taken;
}

}  // namespace

unsigned convertTokensAvx2(char const* base, char const* floor, tokenList const& list, unsigned count,
                           tokenValues& values) {
    bool wideFound = false;
    unsigned const taken = convertShortFractions(base, list, count, values, wideFound);
    // A value of five to seven fraction digits: the rest of the batch in the
    // loop that takes them; any other spelling in the loop for long ones.
    unsigned const plain = wideFound ? convertAnyFractions(base, list, taken, count, values) : taken;
    return plain < count ? convertLongTokensAvx2(base, floor, list, plain, count, values) : plain;
}

pointEngine const avx2Engine = {listTokensAvx2, convertTokensAvx2};

bool avx2EngineRuns() {
    // The engine is chosen during static initialization, which may come
    // before the C runtime has filled in what the processor supports.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") &&
           __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("bmi") &&
           __builtin_cpu_supports("bmi2");
}

}  // namespace gemprobe
