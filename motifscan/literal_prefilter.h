#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace motifscan {

// A literal prefilter of the Teddy kind for the end filter: it marks, 32
// message positions at a time, the bytes where some pattern may end, from
// the nibbles of the last `reach` bytes before each position. The patterns'
// distinct endings are split into eight buckets, one bit each. For every
// offset k from the end (0: the last byte) two 16-entry tables give, per low
// and per high nibble, the buckets whose endings have that nibble there; one
// byte shuffle per table and nibble looks all 32 positions up at once, and a
// position is a candidate when some bucket's bit survives the AND over all
// offsets. A true end always survives (its ending is in its bucket), so the
// prefilter only ever adds candidates, which the end filter confirms in
// order of position; the earliest confirmed end is then the earliest end,
// as the counting rule wants.
//
// A pattern shorter than the reach takes any byte at the offsets before its
// start, so the reach is not bounded by the shortest pattern; the shortest
// endings share the first buckets, and only those pass more false candidates.
// Over DNA the low nibbles of A, C, G and T differ, so every offset tests a
// base exactly and eight offsets make a 16-bit fingerprint. The reach is
// the fewest offsets whose estimated false-candidate rate, for bytes drawn
// evenly from the symbols the patterns use, is below targetFalseRate, or
// after which one more offset would gain less than that.
constexpr int teddyBuckets = 8;
constexpr unsigned mostTeddyReach = 16;
constexpr double targetFalseRate = 1.0 / 1024;

// Above this many distinct endings the buckets mix so many that candidates
// come too often; the hashed filter takes those sets. Measured on 60 MB
// messages on a 2-core AMD EPYC VM (CPU seconds, prefilter against hashing): 24 random patterns of
// 4-16 letters 0.01 against 0.03, 40 patterns 0.04 against 0.03, 48 0.06
// against 0.03; DNA 12-mers, 24 of them 0.04 against the table's 0.11, 32
// 0.10 against 0.11, 48 0.13 (handed over) against 0.11.
constexpr std::size_t mostTeddyEndings = 32;

struct teddy {
    unsigned reach = 0;  // 0: not built
    // Per offset from the end: the 16-entry table twice, once per 128-bit lane.
    std::vector<std::array<std::uint8_t, 32>> low, high;
};

// Builds the prefilter for the patterns (text, length; none empty). False
// when their distinct endings are too many.
bool buildTeddy(teddy& tables, std::vector<char const*> const& text,
                std::vector<std::uint32_t> const& length);

// The first 32-byte step from `at` with a byte that is a candidate end or
// ends the message (any byte but "A".."Z" and "*"), and in `mask` a bit per
// such byte; or, with an empty mask, where fewer than 32 bytes are left. The
// teddy.reach - 1 bytes before `at` must be readable. AVX2 only.
char const* nextTeddyStep(char const* at, char const* end, teddy const& tables, std::uint32_t& mask);

}  // namespace motifscan
