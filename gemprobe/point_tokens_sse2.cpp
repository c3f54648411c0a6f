// The point loop's engine for any x86-64 processor: SSE2 compares for the
// blanks, and each token's digits eight at a time in a 64-bit word.

#include "point_tokens.h"

#include <emmintrin.h>

namespace gemprobe {

namespace {

// SSE2: a byte is blank when it is ' ' or lies in '\t'..'\r'.
__attribute__((always_inline)) inline chunkMasks masksOfChunkSse2(char const* c) {
    std::uint64_t blanks = 0;
    std::uint64_t newlines = 0;
    for (int k = 0; k < 4; ++k) {
        __m128i const bytes = _mm_loadu_si128(reinterpret_cast<__m128i const*>(c + 16 * k));
        __m128i const control = _mm_sub_epi8(bytes, _mm_set1_epi8('\t'));
        __m128i const inControl = _mm_cmpeq_epi8(_mm_min_epu8(control, _mm_set1_epi8('\r' - '\t')), control);
        __m128i const blank = _mm_or_si128(inControl, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')));
        __m128i const newline = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'));
        blanks |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(blank))) << (16 * k);
        newlines |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(newline))) << (16 * k);
    }
    return {blanks, newlines};
}

// Without POPCNT, std::popcount is a library call; the count of a word by
// halves, nibbles and bytes is a dozen instructions inline. The high bit
// keeps ctz defined at 0.
struct bitsSse2 {
    static unsigned count(std::uint64_t x) {
        x -= (x >> 1) & 0x5555555555555555u;
        x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
        x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fu;
        return static_cast<unsigned>((x * 0x0101010101010101u) >> 56);
    }
    static unsigned lowest(std::uint64_t x) {
        return static_cast<unsigned>(__builtin_ctzll(x | std::uint64_t{1} << 63));
    }
};

void listTokensSse2(char const* base, char const* blockEnd, unsigned wanted, tokenList& list) {
    listTokens<masksOfChunkSse2, bitsSse2>(base, blockEnd, wanted, list);
}

unsigned convertTokensSse2(char const* base, char const*, tokenList const& list, unsigned count,
                           tokenValues& values) {
    unsigned const plain = convertTokens(base, list, count, values, takePlainToken);
    return plain < count ? convertLongTokens(base, list, plain, count, values) : plain;
}

}  // namespace

pointEngine const sse2Engine = {listTokensSse2, convertTokensSse2};

}  // namespace gemprobe
