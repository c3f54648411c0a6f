#pragma once

#include "input.h"
#include "symbols.h"

#include <cstdint>
#include <string>
#include <vector>

// The Aho-Corasick automaton as a full transition table: every state has a
// row of symbolClasses entries, so a step is one load straight from the input
// byte. Each state is the longest suffix of the bytes read since the last
// completion that is a prefix of a pattern; a state where some pattern ends
// (its own pattern, or one that is a suffix of it) completes at once.
//
// 112 bytes per state, so it is used for pattern sets of at most
// maxDenseSymbols symbols (the table is then at most about 14 MiB); bigger
// sets go to the compact automaton.
constexpr std::size_t maxDenseSymbols = std::size_t{1} << 17;

// An entry is the row offset (state index * symbolClasses) of the next state,
// or one of the two markers below, both with the top bit set so the scan tells
// them from an offset with a single comparison. Only states where no pattern
// ends have rows that the scan uses: it stops on reaching any other.
constexpr std::uint32_t completesOccurrence = 0x80000000u;
constexpr std::uint32_t endsMessage = 0xffffffffu;

struct DenseTable {
    // Row 0 is the start state. Only the rows of the current task's states
    // are meaningful; the vector keeps its size across tasks.
    std::vector<std::uint32_t> table;

    // Scratch space of the build, kept to reuse its memory across tasks.
    std::uint32_t usedSymbols = 0;            // bit per class that some pattern holds
    std::vector<std::uint8_t> patternEndsAt;  // per trie node of the current task
    std::vector<std::uint32_t> fallback;      // per trie node: row of its suffix-link state
    std::vector<std::uint32_t> queue;
};

// Builds the table for the patterns that can complete, whose lengths add up
// to `symbols` (at most maxDenseSymbols). The table is sized once from that
// count, never grown while building.
void buildDenseTable(DenseTable& dense, std::vector<std::string> const& patterns, std::size_t symbols);

// The row of the state reached from the start on `length` pattern bytes, none
// of which completes an occurrence.
std::uint32_t rowAfter(DenseTable const& dense, char const* bytes, std::size_t length);

// From the start state, or from `row` when a scan is taken over midway.
inline int podciagDenseTable(Input& in, DenseTable const& dense, std::uint32_t row = 0) {
    std::uint32_t const* const table = dense.table.data();
    for (;;) {
        // One table load per byte, straight from the input buffer; both
        // markers are above every row offset.
        char const* next = in.pos;
        char const* const end = in.end;
        while (next != end) {
            unsigned char const byte = static_cast<unsigned char>(*next++);
            std::uint32_t const entry = table[row + symbolClassOf[byte]];
            if (entry >= completesOccurrence) {
                in.pos = next;
                if (entry == completesOccurrence) return 1;
                if (byte == '\n') ++in.line;
                return 0;
            }
            row = entry;
        }
        in.pos = next;
        if (!refill(in)) return 0;
    }
}
