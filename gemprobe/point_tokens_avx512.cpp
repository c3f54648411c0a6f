// The point loop's engine for processors with AVX-512 (BW, VBMI and VBMI2):
// the first stage marks the blanks and newlines of 64 bytes in one register
// and lists the chunk's token starts with one byte compress, however many
// they are; the second stage is the AVX2 engine's.

#include "point_tokens.h"

#include <immintrin.h>

namespace gemprobe {

namespace {

// The blanks by one table lookup on each byte's low nibble, as in the AVX2
// engine: a byte equals its entry exactly when it is blank. (GCC 12 warns
// that the unmasked broadcast reads an uninitialized register; the
// zero-masked form with every lane selected is the same instruction.)
__attribute__((target("avx512f,avx512bw"))) inline chunkMasks masksOfChunkAvx512(char const* c) {
    __m512i const table = _mm512_maskz_broadcast_i32x4(
        0xffff, _mm_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', '\v', '\f', '\r', 0, 0));
    __m512i const bytes = _mm512_loadu_si512(c);
    return {_mm512_cmpeq_epi8_mask(_mm512_shuffle_epi8(table, bytes), bytes),
            _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('\n'))};
}

struct bitsAvx512 {
    __attribute__((target("popcnt"))) static unsigned count(std::uint64_t x) {
        return static_cast<unsigned>(_mm_popcnt_u64(x));
    }
    // The starts' places in the chunk packed into the low bytes, then widened
    // sixteen at a time (byte i to the low byte of lane i, the other bytes
    // cleared); a chunk holds at most 32 starts, and the list has room for 32
    // entries past any count below `wanted`.
    __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,popcnt"))) static unsigned addChunkStarts(
        std::uint32_t* out, std::uint64_t found, std::uint32_t offset) {
        __m512i const places = _mm512_set_epi8(63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48,
                                               47, 46, 45, 44, 43, 42, 41, 40, 39, 38, 37, 36, 35, 34, 33, 32,
                                               31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16,
                                               15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
        constexpr std::uint64_t everyFourth = 0x1111111111111111;
        __m512i const firstSixteen =
            _mm512_set_epi8(0, 0, 0, 15, 0, 0, 0, 14, 0, 0, 0, 13, 0, 0, 0, 12, 0, 0, 0, 11, 0, 0, 0, 10, 0,
                            0, 0, 9, 0, 0, 0, 8, 0, 0, 0, 7, 0, 0, 0, 6, 0, 0, 0, 5, 0, 0, 0, 4, 0, 0, 0, 3,
                            0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0);
        auto const count = static_cast<unsigned>(_mm_popcnt_u64(found));
        __m512i const packed = _mm512_maskz_compress_epi8(found, places);
        __m512i const base = _mm512_set1_epi32(static_cast<int>(offset));
        _mm512_storeu_si512(
            out, _mm512_add_epi32(_mm512_maskz_permutexvar_epi8(everyFourth, firstSixteen, packed), base));
        if (count > 16) {
            __m512i const secondSixteen = _mm512_add_epi8(firstSixteen, _mm512_set1_epi8(16));
            _mm512_storeu_si512(
                out + 16,
                _mm512_add_epi32(_mm512_maskz_permutexvar_epi8(everyFourth, secondSixteen, packed), base));
        }
        return count;
    }
};

__attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,popcnt,bmi,bmi2"))) void listTokensAvx512(
    char const* base, char const* blockEnd, unsigned wanted, tokenList& list) {
    listTokens<masksOfChunkAvx512, bitsAvx512>(base, blockEnd, wanted, list);
}

}  // namespace

pointEngine const avx512Engine = {listTokensAvx512, convertTokensAvx2};

bool avx512EngineRuns() {
    __builtin_cpu_init();
    return avx2EngineRuns() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2");
}

}  // namespace gemprobe
