#include "end_filter.h"

#include <emmintrin.h>
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

bool buildEndFilter(EndFilter& filter, std::vector<std::string> const& patterns, double maxShare) {
    filter.text.clear();
    filter.length.clear();
    std::size_t shortest = SIZE_MAX;
    filter.longest = 0;
    for (std::string const& pattern : patterns) {
        if (!canComplete(pattern)) continue;
        if (pattern.size() > maxFilterPatternLength) return false;
        filter.text.push_back(pattern.data());
        filter.length.push_back(static_cast<std::uint32_t>(pattern.size()));
        shortest = std::min(shortest, pattern.size());
        filter.longest = std::max(filter.longest, pattern.size());
    }
    std::size_t const count = filter.text.size();
    filter.window = count == 0 ? 1 : static_cast<unsigned>(std::min<std::size_t>(shortest, 4));
    double const possible = std::pow(27.0, filter.window);
    // Distinct suffixes are at most the patterns; too many of them, and the
    // table is not worth building.
    if (static_cast<double>(count) > 64 * maxShare * possible + 64) return false;

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
        entry.suffix = suffix;
        filter.nextPattern[pattern] = entry.firstPattern;
        entry.firstPattern = pattern;
    }
    if (static_cast<double>(distinct) > maxShare * possible) return false;

    // About 64 bits per suffix, so that hash collisions add at most a sixty-fourth
    // to the candidates.
    unsigned bits = fewestCandidateBits;
    while (bits < mostCandidateBits && (std::size_t{1} << bits) < 64 * distinct) ++bits;
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
    unsigned const dropBytes = 8 * (4 - filter.window);
    unsigned const hashShift = filter.hashShift;
    std::uint64_t const* const candidateBits = filter.candidateBits.data();
    for (;;) {
        char const* const first = in.pos;
        char const* const end = in.end;
        CallBytes const bytes{filter.history, first};
        char const* next = first;
        while (next != end) {
            char const* limit = next;
            bool ended = false;
            if (end - next >= 16) {
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
                std::uint32_t const suffix = window >> dropBytes;
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
