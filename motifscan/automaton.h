#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "input.h"

struct Input;

// Counting rule: the message is read from left to right; an occurrence is
// completed at the earliest byte where any pattern ends among the occurrences
// that start after the previous completion; then all progress is dropped and
// the scan restarts at the next byte. With patterns AB and BC, the message
// ABCAB completes AB at its 2nd byte (the B is then used up, so BC never
// completes) and AB again at its 5th byte: 2. The count is the largest number
// of pairwise non-overlapping occurrences.
//
// The rule is run by an Aho-Corasick automaton over the message symbols. Each
// state is the longest suffix of the bytes read since the last completion that
// is a prefix of a pattern; a state where some pattern ends (its own pattern, or
// one that is a suffix of it) completes an occurrence at once.

// Message bytes are 'A'..'Z' (classes 0..25) and '*' (26); every other byte
// ends the message (class 27).
constexpr int symbolClasses = 28;
constexpr std::uint8_t terminatorClass = 27;

constexpr std::array<std::uint8_t, 256> symbolClassOf = [] {
    std::array<std::uint8_t, 256> classes{};
    for (std::uint8_t& c : classes) c = terminatorClass;
    for (int letter = 'A'; letter <= 'Z'; ++letter) classes[letter] = static_cast<std::uint8_t>(letter - 'A');
    classes['*'] = 26;
    return classes;
}();

// Transition table entries. A state's row is symbolClasses entries; an entry is
// the row offset (state index * symbolClasses) of the next state, or one of the
// two markers below, both with the top bit set so the scan tells them from an
// offset with a single comparison. Only states where no pattern ends have rows
// that the scan uses: it stops on reaching any other.
constexpr std::uint32_t completesOccurrence = 0x80000000u;
constexpr std::uint32_t endsMessage = 0xffffffffu;

// Small pattern sets are run bit-parallel instead (Shift-And): when the
// patterns that can complete hold at most 63 symbols in all, they are laid
// end to end in one 64-bit word, bit i standing for "the last bytes read are
// the first k symbols of the pattern whose k-th symbol is at bit i". One byte
// b moves every partial match on by one and starts a new one at every
// pattern's first bit:
//     active = ((active << 1) | startBits) & bitsOfByte[b]
// A bit that crosses from one pattern's last symbol into the next pattern's
// first lands on a start bit, which is set anyway. A completion (a pattern's
// last bit) wipes every partial match: active = 0. This is the counting rule
// run literally, so the count is the same as the table's, and it needs no
// construction beyond setting one bit per pattern symbol: tasks with a few
// short patterns are ready in a few nanoseconds.
//
// Bit 63 marks the end of the message: it is a start bit, and the only bit of
// every byte that ends a message, so one test per byte catches both a
// completion and the end.
constexpr std::size_t maxBitParallelSymbols = 63;
constexpr std::uint64_t messageEndBit = std::uint64_t{1} << 63;

constexpr std::array<std::uint64_t, 256> emptyBitsOfByte = [] {
    std::array<std::uint64_t, 256> bits{};
    for (int byte = 0; byte < 256; ++byte) {
        if (symbolClassOf[byte] == terminatorClass) bits[byte] = messageEndBit;
    }
    return bits;
}();

struct Automaton {
    bool bitParallel = false;
    std::uint64_t startBits = 0;
    std::uint64_t stopBits = 0;  // the patterns' last bits and messageEndBit
    std::array<std::uint64_t, 256> bitsOfByte = emptyBitsOfByte;
    std::uint32_t bitSymbols = 0;  // bit per class with pattern bits in bitsOfByte

    // Row 0 is the start state. Only the rows of the current task's states
    // are meaningful; the vector keeps its size across tasks.
    std::vector<std::uint32_t> table;

    // Scratch space of buildAutomaton, kept to reuse its memory across tasks.
    std::uint32_t usedSymbols = 0;            // bit per class that some pattern holds
    std::vector<std::uint8_t> patternEndsAt;  // per trie node of the current task
    std::vector<std::uint32_t> fallback;      // per trie node: row of its suffix-link state
    std::vector<std::uint32_t> queue;
};

// Whether the pattern can ever complete: non-empty, and made of message
// symbols only ("A".."Z" and "*").
bool canComplete(std::string const& pattern);

// Which scan a task gets: the bit-parallel one when the patterns fit a word,
// or always the table (the tests compare the two).
enum class ScanChoice { fastest, tableOnly };

// Rebuilds the automaton for the patterns, reusing its memory. Patterns that
// cannot complete are left out. Time and memory are linear in the total
// length of the patterns that can complete.
void buildAutomaton(Automaton& automaton, std::vector<std::string> const& patterns,
                    ScanChoice choice = ScanChoice::fastest);

// Reads message bytes from the input until an occurrence completes (returns 1)
// or the message ends (returns 0); the byte that completes the occurrence, or
// the byte that ends the message, is consumed. The end of input ends the
// message. Each call starts afresh, with no progress carried over.
inline int podciag(Input& in, Automaton const& automaton);

// The scans are inline so that a task's loop over podciag compiles into one
// loop over the message, with no call per occurrence.

inline int podciagBitParallel(Input& in, Automaton const& automaton) {
    std::uint64_t const starts = automaton.startBits;
    std::uint64_t const stops = automaton.stopBits;
    std::uint64_t const* const bitsOfByte = automaton.bitsOfByte.data();
    std::uint64_t active = 0;
    for (;;) {
        char const* next = in.pos;
        char const* const end = in.end;
        while (next != end) {
            unsigned char const byte = static_cast<unsigned char>(*next++);
            active = ((active << 1) | starts) & bitsOfByte[byte];
            if ((active & stops) != 0) {
                in.pos = next;
                if ((active & messageEndBit) == 0) return 1;
                if (byte == '\n') ++in.line;
                return 0;
            }
        }
        in.pos = next;
        if (!refill(in)) return 0;
    }
}

inline int podciag(Input& in, Automaton const& automaton) {
    if (automaton.bitParallel) return podciagBitParallel(in, automaton);
    std::uint32_t const* const table = automaton.table.data();
    std::uint32_t row = 0;
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
