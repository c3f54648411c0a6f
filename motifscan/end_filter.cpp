#include "end_filter.h"

#include <immintrin.h>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace motifscan {

namespace {

constexpr std::uint32_t hashMultiplier = 0x9E3779B1u;
// The earlier bytes of a window wider than four, and the second bit's position.
constexpr std::uint32_t earlierMultiplier = 0x85EBCA77u;
constexpr std::uint32_t secondBitMultiplier = 0xC2B2AE3Du;
constexpr std::uint64_t slotMultiplier = 0x9E3779B97F4A7C15u;
// 64 bytes: a task of one short pattern clears no more (4 KiB cost such
// tasks a third of their time); sets of many suffixes get their 512 bits each.
constexpr unsigned fewestCandidateBits = 9;
constexpr unsigned mostCandidateBits = 24;

// The pattern's last w bytes as the scan sees them: little-endian, the last
// byte highest.
std::uint64_t suffixOf(char const* text, std::size_t length, unsigned window) {
    std::uint64_t suffix = 0;
    for (unsigned k = 0; k < window; ++k) {
        suffix |= std::uint64_t{static_cast<unsigned char>(text[length - window + k])} << (8 * k);
    }
    return suffix;
}

unsigned slotOf(std::uint64_t suffix, std::size_t slots) {
    return static_cast<unsigned>(((suffix * slotMultiplier) >> 32) & (slots - 1));
}

// The 32 bits the bitmap's two bits are taken from: for windows of up to four
// bytes the suffix times one multiplier; for wider ones the last four bytes
// and the ones before, each times its own, so that the vector path computes
// it in 32-bit lanes from two loads.
std::uint32_t mixOf(std::uint64_t suffix, unsigned window) {
    if (window <= 4) return static_cast<std::uint32_t>(suffix) * hashMultiplier;
    unsigned const earlierBits = 8 * (window - 4);
    auto const last = static_cast<std::uint32_t>(suffix >> earlierBits);
    auto const earlier = static_cast<std::uint32_t>(suffix & ((std::uint64_t{1} << earlierBits) - 1));
    return last * hashMultiplier + earlier * earlierMultiplier;
}

// A window is a candidate when two bits of one 32-bit bitmap word are set:
// the first at the mix's top bits, the second at the top five bits of a
// second product, in the same word. Two bits in a word cost the vector path
// one more multiplication and no more loads; with 550,000 suffixes of 8
// random letters in 2 MB of bitmap, 0.75% of random windows are candidates,
// against 3.2% with one bit (whose candidates would spend the credit a
// scan earns: see filterTuning).
struct candidateBits {
    std::uint32_t first;   // bit index in the bitmap
    std::uint32_t second;  // bit index in the bitmap, in the first one's 32-bit word
};

candidateBits candidateBitsOf(std::uint32_t mix, unsigned hashShift) {
    std::uint32_t const first = mix >> hashShift;
    return {first, (first & ~31u) | ((mix * secondBitMultiplier) >> 27)};
}

bool isCandidate(std::uint64_t const* bitmap, candidateBits const bits) {
    return (bitmap[bits.first >> 6] >> (bits.first & 63) & bitmap[bits.second >> 6] >> (bits.second & 63) &
            1) != 0;
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
// The three bytes before `at` (seven for windows wider than four) must be
// readable. The windows of 8 positions four apart come from one unaligned
// load (two for wide windows); four loads cover 32 positions, and a gather
// fetches their bitmap words.
template <bool wide>
__attribute__((target("avx2"))) char const* skipToCandidateAvx2(char const* at, char const* end,
                                                                std::uint32_t const* bitWords,
                                                                unsigned window, unsigned hashShift) {
    __m256i const multiplier = _mm256_set1_epi32(static_cast<int>(hashMultiplier));
    __m256i const earlierMultiplierLanes = _mm256_set1_epi32(static_cast<int>(earlierMultiplier));
    __m256i const secondMultiplier = _mm256_set1_epi32(static_cast<int>(secondBitMultiplier));
    __m128i const drop = _mm_cvtsi32_si128(static_cast<int>(wide ? 0 : 8 * (4 - window)));
    __m128i const dropEarlier = _mm_cvtsi32_si128(static_cast<int>(wide ? 8 * (8 - window) : 0));
    __m128i const shift = _mm_cvtsi32_si128(static_cast<int>(hashShift));
    __m256i const low5 = _mm256_set1_epi32(31);
    while (end - at >= 32) {
        std::uint32_t interesting = nonSymbolMask32(at);
        for (int k = 0; k < 4; ++k) {
            __m256i const windows = _mm256_loadu_si256(reinterpret_cast<__m256i const*>(at - 3 + k));
            __m256i mix = _mm256_mullo_epi32(_mm256_srl_epi32(windows, drop), multiplier);
            if constexpr (wide) {
                __m256i const earlier = _mm256_srl_epi32(
                    _mm256_loadu_si256(reinterpret_cast<__m256i const*>(at - 7 + k)), dropEarlier);
                mix = _mm256_add_epi32(mix, _mm256_mullo_epi32(earlier, earlierMultiplierLanes));
            }
            __m256i const hash = _mm256_srl_epi32(mix, shift);
            __m256i const second = _mm256_srli_epi32(_mm256_mullo_epi32(mix, secondMultiplier), 27);
            __m256i const words =
                _mm256_i32gather_epi32(reinterpret_cast<int const*>(bitWords), _mm256_srli_epi32(hash, 5), 4);
            __m256i const both = _mm256_and_si256(_mm256_srlv_epi32(words, _mm256_and_si256(hash, low5)),
                                                  _mm256_srlv_epi32(words, second));
            auto const lanes =
                static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_slli_epi32(both, 31))));
            interesting |= spreadToEveryFourth[lanes] << k;
        }
        if (interesting != 0) return at + std::countr_zero(interesting);
        at += 32;
    }
    return at;
}

// The AVX2 path's loop with AVX-512: 64 positions a step, 16 windows a load
// and a gather (300 patterns of 4-12 letters over 100 MB: 7% less CPU time
// than 32 positions). GCC 12 warns of the undefined vectors its own
// intrinsics start from.
#pragma GCC diagnostic push
#if !defined(__clang__)  // clang has no such warning, and warns of the name
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
template <bool wide>
__attribute__((target("avx512f,avx512bw,bmi2"))) char const* skipToCandidateAvx512(
    char const* at, char const* end, std::uint32_t const* bitWords, unsigned window, unsigned hashShift) {
    __m512i const multiplier = _mm512_set1_epi32(static_cast<int>(hashMultiplier));
    __m512i const earlierMultiplierLanes = _mm512_set1_epi32(static_cast<int>(earlierMultiplier));
    __m512i const secondMultiplier = _mm512_set1_epi32(static_cast<int>(secondBitMultiplier));
    __m128i const drop = _mm_cvtsi32_si128(static_cast<int>(wide ? 0 : 8 * (4 - window)));
    __m128i const dropEarlier = _mm_cvtsi32_si128(static_cast<int>(wide ? 8 * (8 - window) : 0));
    __m128i const shift = _mm_cvtsi32_si128(static_cast<int>(hashShift));
    __m512i const low5 = _mm512_set1_epi32(31);
    __m512i const one = _mm512_set1_epi32(1);
    __m512i const letterA = _mm512_set1_epi8('A');
    __m512i const lastOffset = _mm512_set1_epi8(25);
    __m512i const star = _mm512_set1_epi8('*');
    while (end - at >= 64) {
        __m512i const block = _mm512_loadu_si512(at);
        __mmask64 const symbols = _mm512_cmple_epu8_mask(_mm512_sub_epi8(block, letterA), lastOffset) |
                                  _mm512_cmpeq_epi8_mask(block, star);
        std::uint64_t interesting = ~static_cast<std::uint64_t>(symbols);
        for (int k = 0; k < 4; ++k) {
            __m512i const windows = _mm512_loadu_si512(at - 3 + k);
            __m512i mix = _mm512_mullo_epi32(_mm512_srl_epi32(windows, drop), multiplier);
            if constexpr (wide) {
                __m512i const earlier = _mm512_srl_epi32(_mm512_loadu_si512(at - 7 + k), dropEarlier);
                mix = _mm512_add_epi32(mix, _mm512_mullo_epi32(earlier, earlierMultiplierLanes));
            }
            __m512i const hash = _mm512_srl_epi32(mix, shift);
            __m512i const second = _mm512_srli_epi32(_mm512_mullo_epi32(mix, secondMultiplier), 27);
            __m512i const words = _mm512_i32gather_epi32(_mm512_srli_epi32(hash, 5), bitWords, 4);
            __m512i const both = _mm512_and_si512(_mm512_srlv_epi32(words, _mm512_and_si512(hash, low5)),
                                                  _mm512_srlv_epi32(words, second));
            auto const lanes = static_cast<std::uint64_t>(_mm512_test_epi32_mask(both, one));
            interesting |= _pdep_u64(lanes, 0x1111111111111111u) << k;
        }
        if (interesting != 0) return at + std::countr_zero(interesting);
        at += 64;
    }
    return at;
}

#pragma GCC diagnostic pop

bool processorHasAvx512() {
    static bool const has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("bmi2");
    return has;
}

filterPath hashedPath() { return processorHasAvx512() ? filterPath::hashed64 : filterPath::hashed; }

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
struct callBytes {
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

// Whether the chain from `first` holds a pattern equal to `pattern`.
bool chainHolds(endFilter const& filter, std::uint32_t first, std::uint32_t pattern) {
    std::uint32_t const length = filter.length[pattern];
    for (std::uint32_t other = first; other != UINT32_MAX; other = filter.nextPattern[other]) {
        if (filter.length[other] == length &&
            std::memcmp(filter.text[other], filter.text[pattern], length) == 0)
            return true;
    }
    return false;
}

}  // namespace

bool buildEndFilter(endFilter& filter, std::vector<std::string> const& patterns, patternSizes const& sizes,
                    double maxShare) {
    if (sizes.longest > maxFilterPatternLength || sizes.symbols > maxDenseSymbols) return false;
    ++filter.builds;
    filter.patterns = &patterns;
    filter.sizes = sizes;
    filter.maxShare = maxShare;
    filter.symbols = sizes.symbols;
    filter.longest = sizes.longest;
    // The tests' choice (maxShare 1) is the filter proper, prefilter and all,
    // from the first byte.
    filter.eager = maxShare >= 1.0;
    filter.bitsFirst =
        !filter.eager && sizes.symbols <= maxBitParallelSymbols && layOutBits(filter.bits, patterns);
    return filter.bitsFirst || compileEndFilter(filter, patterns, sizes, maxShare);
}

namespace {

// The slots and chains for the patterns' last `window` bytes. Returns the
// number of distinct suffixes, or 0 when the patterns of one suffix would
// compare more than maxFilterPatternLength bytes.
std::size_t layOutSuffixes(endFilter& filter, unsigned window) {
    auto const count = static_cast<std::uint32_t>(filter.text.size());
    filter.window = window;
    // At most three quarters full: with 550,000 patterns, at most half
    // full took 32 MB of slots, a third of the memory allowed.
    std::size_t slots = 16;
    while (3 * slots < 4 * std::size_t{count}) slots *= 2;
    filter.slots.assign(slots, suffixSlot{});
    filter.nextPattern.assign(count, UINT32_MAX);
    std::size_t distinct = 0;
    // The slots of large sets miss the cache: each is fetched some patterns
    // ahead (550,000 patterns: the layout took a fifth of an empty message's
    // run).
    constexpr std::uint32_t ahead = 16;
    for (std::uint32_t pattern = 0; pattern < count; ++pattern) {
        if (pattern + ahead < count) {
            std::uint64_t const later =
                suffixOf(filter.text[pattern + ahead], filter.length[pattern + ahead], window);
            __builtin_prefetch(&filter.slots[slotOf(later, slots)]);
        }
        std::uint64_t const suffix = suffixOf(filter.text[pattern], filter.length[pattern], window);
        unsigned slot = slotOf(suffix, slots);
        while (filter.slots[slot].firstPattern != UINT32_MAX && filter.slots[slot].suffix != suffix) {
            slot = (slot + 1) & (slots - 1);
        }
        suffixSlot& entry = filter.slots[slot];
        if (entry.firstPattern == UINT32_MAX) ++distinct;
        // A copy of a pattern already chained would be compared again at every
        // candidate for nothing (4,096 copies of one made each byte a 4,096-way
        // confirmation).
        if (chainHolds(filter, entry.firstPattern, pattern)) continue;
        entry.compared += filter.length[pattern] - window;
        if (entry.compared > maxFilterPatternLength) return 0;
        entry.suffix = suffix;
        filter.nextPattern[pattern] = entry.firstPattern;
        entry.firstPattern = pattern;
    }
    return distinct;
}

// Windows of `window` bytes over `symbols` byte values. Not std::pow: its
// first call cost every task half a megabyte of resident memory.
double possibleWindows(double symbols, unsigned window) {
    double possible = 1;
    for (unsigned k = 0; k < window; ++k) possible *= symbols;
    return possible;
}

}  // namespace

bool compileEndFilter(endFilter& filter, std::vector<std::string> const& patterns, patternSizes const& sizes,
                      double maxShare) {
    std::size_t const count = sizes.count;
    filter.patterns = &patterns;
    filter.symbols = sizes.symbols;
    filter.longest = sizes.longest;
    unsigned const narrow = count == 0 ? 1 : static_cast<unsigned>(std::min<std::size_t>(sizes.shortest, 4));
    // Patterns of five bytes or more may be told apart by up to eight: where
    // four-byte endings are many, most four-byte windows of a message are
    // some pattern's ending, and wider ones rarely are (550,000 words of 8
    // letters: the narrow window would be refused and the dense table scan
    // 10 MB in 0.9 s; the wide one takes 0.02 s). The tests' choice widens as
    // soon as the endings are too many to be compared, so that small sets
    // reach it.
    unsigned const wide = static_cast<unsigned>(std::min<std::size_t>(sizes.shortest, 8));
    // Over a small alphabet wide windows are few as well (4^8 over ACGT):
    // their share is taken among the windows of the patterns' own bytes.
    std::array<bool, 256> used{};
    std::size_t alphabet = 0;
    for (std::string const& pattern : patterns) {
        if (!canComplete(pattern) || pattern.size() < wide) continue;
        for (std::size_t k = pattern.size() - wide; k < pattern.size(); ++k) {
            bool& seen = used[static_cast<unsigned char>(pattern[k])];
            alphabet += seen ? 0 : 1;
            seen = true;
        }
    }
    double const possibleWide = possibleWindows(static_cast<double>(alphabet), wide);
    bool const canWiden =
        count > 0 && sizes.shortest > 4 && static_cast<double>(count) <= maxShare * possibleWide;
    std::size_t const widenAbove = maxShare >= 1.0 ? maxComparedSuffixes : wideAboveEndings;
    // Distinct suffixes are at most the patterns, and seldom far fewer: with
    // many times more patterns than the share allows, the narrow window is
    // not worth laying out (with 550,000 patterns it took 25 MB and a third
    // of the run).
    bool const narrowHopeless = static_cast<double>(count) > 8 * maxShare * possibleWindows(27, narrow) + 64;
    if (narrowHopeless && !canWiden) return false;
    filter.text.clear();
    filter.length.clear();
    filter.text.reserve(count);
    filter.length.reserve(count);
    for (std::string const& pattern : patterns) {
        if (!canComplete(pattern)) continue;
        filter.text.push_back(pattern.data());
        filter.length.push_back(static_cast<std::uint32_t>(pattern.size()));
    }
    std::size_t distinct = 0;
    if (!narrowHopeless) {
        distinct = layOutSuffixes(filter, narrow);
        if (distinct == 0 && count > 0) return false;
    }
    if (canWiden && (narrowHopeless || distinct > widenAbove)) {
        distinct = layOutSuffixes(filter, wide);
        if (distinct == 0) return false;
    }
    // A wide window's share was bounded by the patterns' count above.
    if (filter.window == narrow && static_cast<double>(distinct) > maxShare * possibleWindows(27, narrow)) {
        return false;
    }

    filter.suffixes.clear();
    if (distinct <= maxComparedSuffixes && filter.window <= 4) {
        for (suffixSlot const& entry : filter.slots) {
            if (entry.firstPattern != UINT32_MAX)
                filter.suffixes.push_back(static_cast<std::uint32_t>(entry.suffix));
        }
    }
    filter.pathBeforeTeddy = !processorHasAvx2()        ? filterPath::scalar
                             : !filter.suffixes.empty() ? filterPath::compared
                                                        : hashedPath();
    // Distinct endings are at most the patterns.
    bool const teddy = filter.pathBeforeTeddy != filterPath::scalar && count <= mostTeddyEndings;
    filter.path = teddy ? filterPath::teddy : filter.pathBeforeTeddy;
    // About 512 bits per suffix, so that hash collisions add a fraction of a
    // percent to the candidates (with 1,000 patterns, 64 bits per suffix made
    // 1.5% of all bytes candidates and cost a third of the scan).
    unsigned bits = fewestCandidateBits;
    while (bits < mostCandidateBits && (std::size_t{1} << bits) < 512 * distinct) ++bits;
    filter.hashShift = 32 - bits;
    filter.candidateBits.assign((std::size_t{1} << bits) / 64, 0);
    for (suffixSlot const& entry : filter.slots) {
        if (entry.firstPattern == UINT32_MAX) continue;
        candidateBits const set = candidateBitsOf(mixOf(entry.suffix, filter.window), filter.hashShift);
        filter.candidateBits[set.first >> 6] |= std::uint64_t{1} << (set.first & 63);
        filter.candidateBits[set.second >> 6] |= std::uint64_t{1} << (set.second & 63);
    }
    return true;
}

namespace {

// What a candidate costs, in credit (about one dense-table step per unit):
// leaving the vector loop, starting it again after the candidate and finding
// the candidate's slot, then per pattern tried, and per 16 bytes compared.
// At 12 per candidate, 48 DNA 12-mers kept the prefilter at one candidate in
// about twenty bytes and took 0.32 s where the table takes 0.12.
constexpr std::int64_t candidateCost = 32;
constexpr std::int64_t patternCost = 4;

// Whether some pattern ends at the byte at `offset` (relative to the block's
// first byte of the call) and starts no earlier than the call's first byte,
// `seen` bytes back. Adds its cost to `work`.
bool confirm(endFilter const& filter, callBytes const& bytes, std::ptrdiff_t offset, std::uint64_t suffix,
             std::uint64_t seen, std::int64_t& work) {
    std::size_t const slots = filter.slots.size();
    unsigned slot = slotOf(suffix, slots);
    work += candidateCost;
    for (;; slot = (slot + 1) & (slots - 1)) {
        suffixSlot const& entry = filter.slots[slot];
        if (entry.firstPattern == UINT32_MAX) return false;
        if (entry.suffix == suffix) break;
    }
    unsigned const window = filter.window;
    for (std::uint32_t pattern = filter.slots[slot].firstPattern; pattern != UINT32_MAX;
         pattern = filter.nextPattern[pattern]) {
        std::uint32_t const length = filter.length[pattern];
        work += patternCost + (length - window) / 16;
        if (length > seen) continue;
        if (bytes.equal(offset - length + 1, filter.text[pattern], length - window)) return true;
    }
    return false;
}

using outcome = scanOutcome;

bool endsMessage(char byte) { return symbolClassOf[static_cast<unsigned char>(byte)] == terminatorClass; }

// The filter from `next` on, until an occurrence completes, the message or the
// block ends, or the credit runs out (then the table takes over at `next`).
// `before` is the number of bytes of the call in earlier blocks.
outcome filterBytes(input& in, endFilter const& filter, filterScan& scan, callBytes const& bytes,
                    char const*& next, char const* const end, std::uint64_t before) {
    char const* const first = bytes.first;
    unsigned const window = filter.window;
    unsigned const dropBits = 8 * (8 - window);
    unsigned const hashShift = filter.hashShift;
    std::uint64_t const* const candidateBits = filter.candidateBits.data();
    auto const* const bitWords = reinterpret_cast<std::uint32_t const*>(candidateBits);
    filterPath path = scan.tuning.path.value_or(filter.path);
    if (path == filterPath::compared && filter.suffixes.empty()) path = hashedPath();
    if (path == filterPath::hashed64 && !processorHasAvx512()) path = filterPath::hashed;
    if (path == filterPath::teddy) {
        if (!scan.teddyTried &&
            (filter.eager || scan.scanned + before + static_cast<std::uint64_t>(next - first) >=
                                 scan.tuning.teddyAfterBytes)) {
            scan.teddyTried = true;
            buildTeddy(scan.prefilter, filter.text, filter.length);
        }
        if (scan.prefilter.reach == 0) path = filter.pathBeforeTeddy;
    }
    // Bytes the vector paths read before a position.
    std::ptrdiff_t const windowReach = window > 4 ? 7 : 3;
    std::ptrdiff_t const reach = path == filterPath::teddy
                                     ? std::max<std::ptrdiff_t>(windowReach, scan.prefilter.reach - 1)
                                     : windowReach;
    char const* earnedTo = next;  // credit is earned for the bytes up to here
    auto earn = [&](char const* to) {
        scan.credit = std::min(scan.credit + (to - earnedTo), scan.tuning.mostCredit);
        earnedTo = to;
    };
    // Whether the byte at `at` ends an occurrence; hands over to the table
    // when the candidate spends the last of the credit.
    enum class verdict { none, completed, handOver };
    auto const check = [&](char const* at) {
        std::uint64_t bytesBefore;  // the 8 bytes that end at `at`
        if (at - first >= 7) {
            std::memcpy(&bytesBefore, at - 7, 8);
        } else {
            std::ptrdiff_t const offset = at - first;
            bytesBefore = 0;
            for (std::ptrdiff_t k = 0; k < 8; ++k)
                bytesBefore |= std::uint64_t{bytes.at(offset - 7 + k)} << (8 * k);
        }
        std::uint64_t const suffix = bytesBefore >> dropBits;
        if (!isCandidate(candidateBits, candidateBitsOf(mixOf(suffix, window), hashShift)))
            return verdict::none;
        earn(at);
        std::int64_t work = 0;
        if (confirm(filter, bytes, at - first, suffix, before + static_cast<std::uint64_t>(at - first) + 1,
                    work)) {
            return verdict::completed;
        }
        scan.credit -= work;
        if (scan.credit >= 0) return verdict::none;
        scan.onTable = true;
        scan.tableLeft = scan.tuning.probeAfterBytes;
        return verdict::handOver;
    };
    while (next != end) {
        // The prefilter's steps: every candidate of a step from its one mask,
        // in order, and the next step only after them.
        while (path == filterPath::teddy && next - first >= reach) {
            std::uint32_t mask = 0;
            next = nextTeddyStep(next, end, scan.prefilter, mask);
            if (mask == 0) break;
            for (; mask != 0; mask &= mask - 1) {
                char const* const at = next + std::countr_zero(mask);
                if (endsMessage(*at)) {
                    in.pos = at + 1;
                    if (*at == '\n') ++in.line;
                    return outcome::ended;
                }
                verdict const found = check(at);
                if (found == verdict::completed) {
                    in.pos = at + 1;
                    return outcome::completed;
                }
                if (found == verdict::handOver) {
                    next = at + 1;
                    return outcome::goOn;
                }
            }
            next += 32;
        }
        if (next == end) break;
        bool single = false;  // only the byte at next needs a look
        if ((path == filterPath::hashed || path == filterPath::hashed64 || path == filterPath::compared) &&
            next - first >= reach) {
            std::ptrdiff_t step = 32;
            char const* stop = nullptr;
            if (path == filterPath::compared) {
                stop = skipToSuffixAvx2(next, end, filter.suffixes.data(),
                                        static_cast<unsigned>(filter.suffixes.size()), 4 - window);
            } else if (path == filterPath::hashed64) {
                step = 64;
                stop = window > 4 ? skipToCandidateAvx512<true>(next, end, bitWords, window, hashShift)
                                  : skipToCandidateAvx512<false>(next, end, bitWords, window, hashShift);
            } else {
                stop = window > 4 ? skipToCandidateAvx2<true>(next, end, bitWords, window, hashShift)
                                  : skipToCandidateAvx2<false>(next, end, bitWords, window, hashShift);
            }
            single = end - stop >= step;
            next = stop;
            if (next == end) break;
        }
        char const* limit = next;
        bool ended = false;
        if (single) {
            ended = endsMessage(*next);
            limit = ended ? next : next + 1;
        } else if (end - next >= 16) {
            unsigned const others = nonSymbolMask(next);
            limit = next + (others != 0 ? std::countr_zero(others) : 16);
            ended = others != 0;
        } else {
            while (limit != end && !endsMessage(*limit)) ++limit;
            ended = limit != end;
        }
        for (char const* at = next; at != limit; ++at) {
            verdict const found = check(at);
            if (found == verdict::completed) {
                in.pos = at + 1;
                return outcome::completed;
            }
            if (found == verdict::handOver) {
                next = at + 1;
                return outcome::goOn;
            }
        }
        if (ended) {
            in.pos = limit + 1;
            if (*limit == '\n') ++in.line;
            return outcome::ended;
        }
        next = limit;
    }
    earn(next);
    return outcome::goOn;
}

// The dense table from `next` on, until an occurrence completes, the message
// or the block ends, or the filter's next probe is due.
outcome tableBytes(input& in, endFilter const& filter, filterScan& scan, callBytes const& bytes,
                   char const*& next, char const* const end, std::uint64_t before) {
    if (!scan.tableBuilt) {
        buildDenseTable(scan.table, *filter.patterns, filter.symbols);
        scan.tableBuilt = true;
    }
    // The table's state: the longest suffix of the call's bytes that is a
    // prefix of a pattern, shorter than the longest pattern.
    std::ptrdiff_t const offset = next - bytes.first;
    auto const walked = static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(
        before + static_cast<std::uint64_t>(offset), filter.longest > 0 ? filter.longest - 1 : 0));
    char const* walk = next - walked;
    if (walked > offset) {
        scan.walk.clear();
        for (std::ptrdiff_t k = offset - walked; k < offset; ++k)
            scan.walk.push_back(static_cast<char>(bytes.at(k)));
        walk = scan.walk.data();
    }
    std::uint32_t const row = rowAfter(scan.table, walk, static_cast<std::size_t>(walked));

    // The table's own scan, on a view of the block that ends where it must stop.
    input view;
    view.pos = next;
    view.end = next + static_cast<std::ptrdiff_t>(
                          std::min<std::uint64_t>(static_cast<std::uint64_t>(end - next), scan.tableLeft));
    view.atEnd = true;
    int const result = podciagDenseTable(view, scan.table, row);
    scan.tableLeft -= static_cast<std::uint64_t>(view.pos - next);
    if (result == 1) {
        in.pos = view.pos;
        return outcome::completed;
    }
    if (view.pos != next && endsMessage(view.pos[-1])) {
        in.pos = view.pos;
        if (view.pos[-1] == '\n') ++in.line;
        return outcome::ended;
    }
    next = view.pos;
    if (scan.tableLeft == 0) {
        scan.onTable = false;
        scan.credit = scan.tuning.probeCredit;
    }
    return outcome::goOn;
}

// The filter the scan runs: the built one, or for a set that starts
// bit-parallel the one compiled for it once the message has proven long;
// nullptr when that cannot be compiled (the table then runs).
endFilter const* compiledFilter(endFilter const& filter, filterScan& scan) {
    if (!filter.bitsFirst) return &filter;
    if (!scan.lateTried) {
        scan.lateTried = true;
        scan.lateBuilt = compileEndFilter(scan.late, *filter.patterns, filter.sizes, filter.maxShare);
        if (!scan.lateBuilt) {
            scan.onTable = true;
            scan.tableLeft = UINT64_MAX;
        }
    }
    return scan.lateBuilt ? &scan.late : nullptr;
}

}  // namespace

int podciagEndFilterBlocks(input& in, endFilter const& filter, filterScan& scan) {
    if (scan.filter != &filter || scan.builds != filter.builds) {
        scan.filter = &filter;
        scan.builds = filter.builds;
        scan.credit = scan.tuning.startCredit;
        scan.onTable = false;
        scan.tableBuilt = false;
        scan.scanned = 0;
        scan.teddyTried = false;
        scan.prefilter.reach = 0;
        scan.lateTried = false;
        scan.lateBuilt = false;
    }
    scan.history.clear();
    std::uint64_t before = 0;  // bytes of this call in earlier blocks
    for (;;) {
        char const* const first = in.pos;
        char const* const end = in.end;
        callBytes const bytes{scan.history, first};
        char const* next = first;
        if (before == 0 && filter.bitsFirst &&
            (scan.scanned < scan.tuning.bitsFor || (scan.lateTried && !scan.lateBuilt))) {
            outcome const step = bitsBytes(in, filter, next, end);
            if (step != outcome::goOn) {
                scan.scanned += static_cast<std::uint64_t>(in.pos - first);
                return step == outcome::completed ? 1 : 0;
            }
        }
        while (next != end) {
            endFilter const* const compiled = compiledFilter(filter, scan);
            outcome const step = scan.onTable ? tableBytes(in, filter, scan, bytes, next, end, before)
                                              : filterBytes(in, *compiled, scan, bytes, next, end, before);
            if (step != outcome::goOn) {
                scan.scanned += before + static_cast<std::uint64_t>(in.pos - first);
                return step == outcome::completed ? 1 : 0;
            }
        }
        // The block is used up: keep what a confirmation may still reach back to.
        std::size_t const keep = filter.longest > 0 ? filter.longest - 1 : 0;
        auto const taken = static_cast<std::size_t>(end - first);
        if (taken >= keep) {
            scan.history.assign(end - keep, keep);
        } else {
            scan.history.append(first, taken);
            if (scan.history.size() > keep) scan.history.erase(0, scan.history.size() - keep);
        }
        before += taken;
        in.pos = end;
        if (!refill(in)) {
            scan.scanned += before;
            return 0;
        }
    }
}

}  // namespace motifscan
