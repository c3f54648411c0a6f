#include "end_filter.h"

#include <immintrin.h>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

constexpr std::uint32_t hashMultiplier = 0x9E3779B1u;
constexpr unsigned fewestCandidateBits = 15;  // 4 KiB: the first-level cache holds it
constexpr unsigned mostCandidateBits = 24;

// The pattern's last w bytes as the scan sees them: little-endian, the last
// byte highest.
std::uint32_t suffixOf(char const* text, std::size_t length, unsigned window) {
    std::uint32_t suffix = 0;
    for (unsigned k = 0; k < window; ++k) {
        suffix |= std::uint32_t{static_cast<unsigned char>(text[length - window + k])} << (8 * k);
    }
    return suffix;
}

unsigned slotOf(std::uint32_t suffix, std::size_t slots) {
    return static_cast<unsigned>(((suffix * hashMultiplier) >> 8) & (slots - 1));
}

// Bit per byte of the 16 at `bytes` that is not a message symbol.
unsigned nonSymbolMask(char const* bytes) {
    __m128i const block = _mm_loadu_si128(reinterpret_cast<__m128i const*>(bytes));
    __m128i const offset = _mm_sub_epi8(block, _mm_set1_epi8('A'));
    __m128i const letter = _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(25)), offset);
    __m128i const star = _mm_cmpeq_epi8(block, _mm_set1_epi8('*'));
    return ~static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(letter, star))) & 0xffffu;
}

// Bit i moved to bit 4i, for the eight lanes of one AVX2 register.
constexpr auto spreadToEveryFourth = [] {
    std::array<std::uint32_t, 256> spread{};
    for (unsigned lanes = 0; lanes < 256; ++lanes) {
        for (unsigned lane = 0; lane < 8; ++lane) spread[lanes] |= ((lanes >> lane) & 1u) << (4 * lane);
    }
    return spread;
}();

// Bit per byte of the 32 at `bytes` that is not a message symbol.
__attribute__((target("avx2"))) inline std::uint32_t nonSymbolMask32(char const* bytes) {
    __m256i const block = _mm256_loadu_si256(reinterpret_cast<__m256i const*>(bytes));
    __m256i const offset = _mm256_sub_epi8(block, _mm256_set1_epi8('A'));
    __m256i const letter = _mm256_cmpeq_epi8(_mm256_min_epu8(offset, _mm256_set1_epi8(25)), offset);
    __m256i const star = _mm256_cmpeq_epi8(block, _mm256_set1_epi8('*'));
    return ~static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(letter, star)));
}

// The AVX2 path: 32 bytes at a time, the first one from `at` that is a
// candidate end or ends the message; or where fewer than 32 bytes are left.
// The three bytes before `at` must be readable. The windows of 8 positions
// four apart come from one unaligned load; four loads cover 32 positions, and
// a gather fetches their bitmap words.
__attribute__((target("avx2"))) char const* skipToCandidateAvx2(char const* at, char const* end,
                                                                std::uint32_t const* bitWords,
                                                                unsigned dropBytes, unsigned hashShift) {
    __m256i const multiplier = _mm256_set1_epi32(static_cast<int>(hashMultiplier));
    __m128i const drop = _mm_cvtsi32_si128(static_cast<int>(8 * dropBytes));
    __m128i const shift = _mm_cvtsi32_si128(static_cast<int>(hashShift));
    __m256i const low5 = _mm256_set1_epi32(31);
    while (end - at >= 32) {
        std::uint32_t interesting = nonSymbolMask32(at);
        for (int k = 0; k < 4; ++k) {
            __m256i const windows = _mm256_loadu_si256(reinterpret_cast<__m256i const*>(at - 3 + k));
            __m256i const suffix = _mm256_srl_epi32(windows, drop);
            __m256i const hash = _mm256_srl_epi32(_mm256_mullo_epi32(suffix, multiplier), shift);
            __m256i const words =
                _mm256_i32gather_epi32(reinterpret_cast<int const*>(bitWords), _mm256_srli_epi32(hash, 5), 4);
            __m256i const bits =
                _mm256_slli_epi32(_mm256_srlv_epi32(words, _mm256_and_si256(hash, low5)), 31);
            auto const lanes = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(bits)));
            interesting |= spreadToEveryFourth[lanes] << k;
        }
        if (interesting != 0) return at + std::countr_zero(interesting);
        at += 32;
    }
    return at;
}

// The same for a few distinct suffixes: the windows are compared with each
// of them, which is cheaper than hashing and gathering.
__attribute__((target("avx2"))) char const* skipToSuffixAvx2(char const* at, char const* end,
                                                             std::uint32_t const* suffixes, unsigned count,
                                                             unsigned dropBytes) {
    __m128i const drop = _mm_cvtsi32_si128(static_cast<int>(8 * dropBytes));
    __m256i wanted[maxComparedSuffixes];
    for (unsigned i = 0; i < count; ++i) wanted[i] = _mm256_set1_epi32(static_cast<int>(suffixes[i]));
    while (end - at >= 32) {
        std::uint32_t interesting = nonSymbolMask32(at);
        for (int k = 0; k < 4; ++k) {
            __m256i const suffix =
                _mm256_srl_epi32(_mm256_loadu_si256(reinterpret_cast<__m256i const*>(at - 3 + k)), drop);
            __m256i equal = _mm256_cmpeq_epi32(suffix, wanted[0]);
            for (unsigned i = 1; i < count; ++i)
                equal = _mm256_or_si256(equal, _mm256_cmpeq_epi32(suffix, wanted[i]));
            auto const lanes = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(equal)));
            interesting |= spreadToEveryFourth[lanes] << k;
        }
        if (interesting != 0) return at + std::countr_zero(interesting);
        at += 32;
    }
    return at;
}

bool processorHasAvx2() {
    static bool const has = __builtin_cpu_supports("avx2");
    return has;
}

// The bytes of the current call as one sequence: the history kept from earlier
// blocks, then the block from `first` on. Offsets are relative to `first`.
struct CallBytes {
    std::string const& history;
    char const* first;

    unsigned char at(std::ptrdiff_t offset) const {
        if (offset >= 0) return static_cast<unsigned char>(first[offset]);
        auto const back = static_cast<std::size_t>(-offset);
        return back <= history.size() ? static_cast<unsigned char>(history[history.size() - back]) : 0;
    }

    // Whether the `count` bytes from `offset` on equal `text`.
    bool equal(std::ptrdiff_t offset, char const* text, std::size_t count) const {
        while (offset < 0 && count > 0) {
            if (at(offset) != static_cast<unsigned char>(*text)) return false;
            ++offset;
            ++text;
            --count;
        }
        return std::memcmp(first + offset, text, count) == 0;
    }
};

}  // namespace

bool buildEndFilter(EndFilter& filter, std::vector<std::string> const& patterns, PatternSizes const& sizes,
                    double maxShare) {
    std::size_t const count = sizes.count;
    if (sizes.longest > maxFilterPatternLength) return false;
    filter.window = count == 0 ? 1 : static_cast<unsigned>(std::min<std::size_t>(sizes.shortest, 4));
    double const possible = std::pow(27.0, filter.window);
    // Distinct suffixes are at most the patterns, and seldom far fewer: with
    // many times more patterns than the share allows, the table is not worth
    // building (with 550,000 patterns it took 25 MB and a third of the run).
    if (static_cast<double>(count) > 8 * maxShare * possible + 64) return false;
    filter.longest = sizes.longest;
    filter.text.clear();
    filter.length.clear();
    for (std::string const& pattern : patterns) {
        if (!canComplete(pattern)) continue;
        filter.text.push_back(pattern.data());
        filter.length.push_back(static_cast<std::uint32_t>(pattern.size()));
    }

    std::size_t slots = 16;
    while (slots < 2 * count) slots *= 2;
    filter.slots.assign(slots, SuffixSlot{});
    filter.nextPattern.assign(count, UINT32_MAX);
    std::size_t distinct = 0;
    for (std::uint32_t pattern = 0; pattern < count; ++pattern) {
        std::uint32_t const suffix = suffixOf(filter.text[pattern], filter.length[pattern], filter.window);
        unsigned slot = slotOf(suffix, slots);
        while (filter.slots[slot].firstPattern != UINT32_MAX && filter.slots[slot].suffix != suffix) {
            slot = (slot + 1) & (slots - 1);
        }
        SuffixSlot& entry = filter.slots[slot];
        if (entry.firstPattern == UINT32_MAX) ++distinct;
        entry.compared += filter.length[pattern] - filter.window;
        if (entry.compared > maxFilterPatternLength) return false;
        entry.suffix = suffix;
        filter.nextPattern[pattern] = entry.firstPattern;
        entry.firstPattern = pattern;
    }
    if (static_cast<double>(distinct) > maxShare * possible) return false;

    filter.suffixes.clear();
    if (distinct <= maxComparedSuffixes) {
        for (SuffixSlot const& entry : filter.slots) {
            if (entry.firstPattern != UINT32_MAX) filter.suffixes.push_back(entry.suffix);
        }
    }
    // About 512 bits per suffix, so that hash collisions add a fraction of a
    // percent to the candidates (with 1,000 patterns, 64 bits per suffix made
    // 1.5% of all bytes candidates and cost a third of the scan).
    unsigned bits = fewestCandidateBits;
    while (bits < mostCandidateBits && (std::size_t{1} << bits) < 512 * distinct) ++bits;
    filter.hashShift = 32 - bits;
    filter.candidateBits.assign((std::size_t{1} << bits) / 64, 0);
    for (SuffixSlot const& entry : filter.slots) {
        if (entry.firstPattern == UINT32_MAX) continue;
        std::uint32_t const hash = (entry.suffix * hashMultiplier) >> filter.hashShift;
        filter.candidateBits[hash >> 6] |= std::uint64_t{1} << (hash & 63);
    }
    return true;
}

namespace {

// Whether some pattern ends at the byte at `offset` (relative to the block's
// first byte of the call) and starts no earlier than the call's first byte,
// `seen` bytes back.
bool confirm(EndFilter const& filter, CallBytes const& bytes, std::ptrdiff_t offset, std::uint32_t suffix,
             std::uint64_t seen) {
    std::size_t const slots = filter.slots.size();
    unsigned slot = slotOf(suffix, slots);
    for (;; slot = (slot + 1) & (slots - 1)) {
        SuffixSlot const& entry = filter.slots[slot];
        if (entry.firstPattern == UINT32_MAX) return false;
        if (entry.suffix == suffix) break;
    }
    unsigned const window = filter.window;
    for (std::uint32_t pattern = filter.slots[slot].firstPattern; pattern != UINT32_MAX;
         pattern = filter.nextPattern[pattern]) {
        std::uint32_t const length = filter.length[pattern];
        if (length > seen) continue;
        if (bytes.equal(offset - length + 1, filter.text[pattern], length - window)) return true;
    }
    return false;
}

}  // namespace

int podciagEndFilter(Input& in, EndFilter& filter) {
    filter.history.clear();
    std::uint64_t before = 0;  // bytes of this call in earlier blocks
    unsigned const dropBits = 8 * (4 - filter.window);
    unsigned const hashShift = filter.hashShift;
    std::uint64_t const* const candidateBits = filter.candidateBits.data();
    for (;;) {
        char const* const first = in.pos;
        char const* const end = in.end;
        CallBytes const bytes{filter.history, first};
        char const* next = first;
        bool const avx2 = filter.vectorPath && processorHasAvx2();
        while (next != end) {
            bool single = false;  // only the byte at next needs a look
            if (avx2 && next - first >= 3) {
                char const* const stop =
                    filter.suffixes.empty()
                        ? skipToCandidateAvx2(next, end,
                                              reinterpret_cast<std::uint32_t const*>(candidateBits),
                                              4 - filter.window, hashShift)
                        : skipToSuffixAvx2(next, end, filter.suffixes.data(),
                                           static_cast<unsigned>(filter.suffixes.size()), 4 - filter.window);
                single = end - stop >= 32;
                next = stop;
                if (next == end) break;
            }
            char const* limit = next;
            bool ended = false;
            if (single) {
                ended = symbolClassOf[static_cast<unsigned char>(*next)] == terminatorClass;
                limit = ended ? next : next + 1;
            } else if (end - next >= 16) {
                unsigned const others = nonSymbolMask(next);
                limit = next + (others != 0 ? std::countr_zero(others) : 16);
                ended = others != 0;
            } else {
                while (limit != end && symbolClassOf[static_cast<unsigned char>(*limit)] != terminatorClass)
                    ++limit;
                ended = limit != end;
            }
            for (char const* at = next; at != limit; ++at) {
                std::uint32_t window;
                if (at - first >= 3) {
                    std::memcpy(&window, at - 3, 4);
                } else {
                    std::ptrdiff_t const offset = at - first;
                    window = std::uint32_t{bytes.at(offset - 3)} | std::uint32_t{bytes.at(offset - 2)} << 8 |
                             std::uint32_t{bytes.at(offset - 1)} << 16 |
                             std::uint32_t{bytes.at(offset)} << 24;
                }
                std::uint32_t const suffix = window >> dropBits;
                std::uint32_t const hash = (suffix * hashMultiplier) >> hashShift;
                if ((candidateBits[hash >> 6] >> (hash & 63) & 1) != 0 &&
                    confirm(filter, bytes, at - first, suffix,
                            before + static_cast<std::uint64_t>(at - first) + 1)) {
                    in.pos = at + 1;
                    return 1;
                }
            }
            if (ended) {
                in.pos = limit + 1;
                if (*limit == '\n') ++in.line;
                return 0;
            }
            next = limit;
        }
        // The block is used up: keep what a confirmation may still reach back to.
        std::size_t const keep = filter.longest > 0 ? filter.longest - 1 : 0;
        auto const taken = static_cast<std::size_t>(end - first);
        if (taken >= keep) {
            filter.history.assign(end - keep, keep);
        } else {
            filter.history.append(first, taken);
            if (filter.history.size() > keep) filter.history.erase(0, filter.history.size() - keep);
        }
        before += taken;
        in.pos = end;
        if (!refill(in)) return 0;
    }
}
