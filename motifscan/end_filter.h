#pragma once

#include "input.h"
#include "symbols.h"

#include <cstdint>
#include <string>
#include <vector>

// The filter engine finds the ends of occurrences without stepping an
// automaton. podciag must stop at the earliest byte where an occurrence that
// starts at or after its first byte ends; so it is enough to test every byte,
// in order, as a possible end, and to stop at the first one where some pattern
// really ends. The test is in two stages:
//   - a candidate test on the last w bytes (w = the shortest pattern's
//     length, at most 4): one unaligned 32-bit load, a multiplicative hash and
//     one bit of a bitmap that holds the hashes of every pattern's last w bytes.
//     No state is carried from byte to byte, so the loop runs at the speed of
//     its loads instead of the latency of a table walk;
//   - a confirmation at candidates only: the patterns with exactly those last
//     w bytes (an open-addressing table) are compared with the bytes before,
//     and must start at or after the first byte of the call.
// The end of the message is found 16 bytes at a time with vector compares.
//
// It pays when candidates are rare, that is when the patterns' last w bytes
// are few beside the 27^w possible ones; buildAutomaton estimates that rate
// and leaves sets with frequent candidates to the automata. Patterns longer
// than maxFilterPatternLength go to the automata too, because a confirmation
// may need that many bytes from before the current input block, which the
// filter keeps in a history of its own. The same bound holds for all the
// patterns that share their last w bytes together, so that a confirmation
// compares at most that many bytes and the scan stays linear in the message
// whatever the patterns.
constexpr std::size_t maxFilterPatternLength = 4096;

// With one to this many distinct suffixes, the vector path compares each
// window with each of them instead of hashing.
constexpr std::size_t maxComparedSuffixes = 16;

struct SuffixSlot {
    std::uint32_t suffix = 0;                 // the last w bytes, little-endian
    std::uint32_t firstPattern = UINT32_MAX;  // chain through EndFilter::nextPattern
    std::uint32_t compared = 0;               // bytes its patterns compare before the suffix
};

struct EndFilter {
    unsigned window = 4;  // w
    unsigned hashShift = 17;
    std::vector<std::uint64_t> candidateBits;
    std::vector<SuffixSlot> slots;        // power-of-two size, at most half full
    std::vector<std::uint32_t> suffixes;  // the distinct suffixes, when few
    std::vector<char const*> text;        // per pattern that can complete
    std::vector<std::uint32_t> length;
    std::vector<std::uint32_t> nextPattern;
    std::size_t longest = 0;
    std::string history;     // bytes of the current call from earlier blocks (the last longest-1)
    bool vectorPath = true;  // AVX2 where the processor has it; the tests turn it off too
};

// Builds the filter for the patterns that can complete. Returns false, leaving
// it unusable, when some pattern is longer than maxFilterPatternLength or the
// estimated share of candidate bytes in a random message exceeds maxShare.
bool buildEndFilter(EndFilter& filter, std::vector<std::string> const& patterns, PatternSizes const& sizes,
                    double maxShare);

int podciagEndFilter(Input& in, EndFilter& filter);
