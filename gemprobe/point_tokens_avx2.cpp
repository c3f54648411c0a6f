// The point loop's engine for processors with AVX2 and BMI2: the blanks of
// 32 bytes by one table lookup, and each token's digits gathered into place
// by one byte shuffle and summed by multiply-adds.

#include "point_tokens.h"

#include <array>

#include <immintrin.h>

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

__attribute__((target("avx2,popcnt,bmi,bmi2"))) void listTokensAvx2(char const* base, char const* blockEnd,
                                                                    unsigned wanted, tokenList& list) {
    listTokens<masksOfChunkAvx2, bitsAvx2>(base, blockEnd, wanted, list);
}

// For a token of w integer and f fraction digits (after its sign), entry
// 8 w + f lists where each of the sixteen places of a right-aligned
// sixteen-digit number finds its digit in the token: the last fraction digit
// goes to place 15, the point is skipped, and places before the first digit
// get 0x80, which the shuffle turns into a zero.
struct alignas(16) digitPlaces {
    char from[16];
};

inline constexpr std::array<digitPlaces, 64> digitPlacesTable = [] {
    std::array<digitPlaces, 64> table{};
    for (int whole = 0; whole < 8; ++whole) {
        for (int fraction = 0; fraction < 8; ++fraction) {
            for (int place = 0; place < 16; ++place) {
                int const fromRight = 15 - place;
                int from = -1;
                if (fromRight < fraction) {
                    from = whole + fraction - fromRight;  // after the point
                } else if (fromRight - fraction < whole) {
                    from = whole - 1 - (fromRight - fraction);
                }
                table[static_cast<std::size_t>(8 * whole + fraction)].from[place] =
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

// takePlainToken's test and roundedValue's result, without a byte examined
// alone after the sign: the digits, the point and the blanks of the sixteen
// bytes after the sign come from compares of the whole, and the digits'
// value from one shuffle and three multiply-adds. The value stays in vector
// registers until it is stored: the two halves are joined by a 64-bit
// multiply-add, the sum (below 2^47) becomes a double exactly when placed in
// the mantissa of 2^52 and 2^52 is taken off, and the sign goes in as a bit.
// False when the token is not one that takePlainToken takes. Reads sixteen
// bytes from the one after s on, within the block's padding.
__attribute__((target("avx2,popcnt,bmi,bmi2"), always_inline)) inline bool takeTokenShuffled(
    char const* s, double& rounded) {
    // Without a branch: the signs of coordinates are as good as random.
    unsigned const sign = signOfFirstByte[static_cast<unsigned char>(*s)];
    unsigned const signLength = sign & 1;
    char const* const p = s + signLength;
    __m128i const bytes = _mm_loadu_si128(reinterpret_cast<__m128i const*>(p));
    __m128i const values = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    __m128i const blankTable = _mm_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', '\v', '\f', '\r', 0, 0);
    // Bits past the sixteen loaded bytes count as not digits, not a point
    // and not blank.
    unsigned const nonDigits = ~static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(values, _mm_set1_epi8(9)), values)));
    auto const points = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('.'))));
    auto const blanks =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_shuffle_epi8(blankTable, bytes), bytes)));
    unsigned const whole = _tzcnt_u32(nonDigits);
    unsigned const hasPoint = (points >> whole) & 1;
    unsigned const fraction = _tzcnt_u32(nonDigits >> (whole + 1)) & (0u - hasPoint);
    unsigned const length = whole + hasPoint + fraction;
    if ((whole - 1 > 6) | (fraction > 7) | (((blanks >> length) & 1) == 0)) return false;
    __m128i const place =
        _mm_load_si128(reinterpret_cast<__m128i const*>(digitPlacesTable[8 * whole + fraction].from));
    __m128i const placed = _mm_shuffle_epi8(values, place);
    __m128i const pairs = _mm_maddubs_epi16(placed, _mm_set1_epi16(10 | 1 << 8));
    __m128i const quads = _mm_madd_epi16(pairs, _mm_set1_epi32(100 | 1 << 16));
    __m128i const eights = _mm_madd_epi16(_mm_packus_epi32(quads, quads), _mm_set1_epi32(10000 | 1 << 16));
    // The first eight digits' value in the low half of the low lane, the
    // last eight's in the high half.
    __m128i const digits =
        _mm_add_epi64(_mm_mul_epu32(eights, _mm_set1_epi64x(100000000)), _mm_srli_epi64(eights, 32));
    if (fraction > 4) {
        rounded = roundedValue(
            {static_cast<std::uint64_t>(_mm_cvtsi128_si64(digits)), fraction, (sign >> 1) << 15});
        return true;
    }
    __m128i const twoTo52 = _mm_set1_epi64x(0x4330000000000000);
    __m128d const magnitude =
        _mm_sub_sd(_mm_castsi128_pd(_mm_or_si128(digits, twoTo52)), _mm_castsi128_pd(twoTo52));
    __m128d const quotient = _mm_div_sd(magnitude, _mm_load_sd(&powersOfTenUpTo4[fraction]));
    __m128d const signBit =
        _mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<__m128i const*>(&signBitOf[sign])));
    rounded = _mm_cvtsd_f64(_mm_or_pd(quotient, signBit));
    return true;
}

}  // namespace

__attribute__((target("avx2,popcnt,bmi,bmi2"))) unsigned convertTokensAvx2(char const* base,
                                                                           tokenList const& list,
                                                                           unsigned count,
                                                                           tokenValues& values) {
    for (unsigned i = 0; i < count; ++i) {
        if (!takeTokenShuffled(base + list.starts[i], values.rounded[i])) return i;
    }
    return count;
}

pointEngine const avx2Engine = {listTokensAvx2, convertTokensAvx2};

bool avx2EngineRuns() {
    // The engine is chosen during static initialization, which may come
    // before the C runtime has filled in what the processor supports.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
           __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
}
