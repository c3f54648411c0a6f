#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

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

struct Automaton {
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

// Rebuilds the automaton for the patterns, reusing its memory. Patterns that
// cannot complete are left out. Time and memory are linear in the total
// length of the patterns that can complete.
void buildAutomaton(Automaton& automaton, std::vector<std::string> const& patterns);

// Reads message bytes from the input until an occurrence completes (returns 1)
// or the message ends (returns 0); the byte that completes the occurrence, or
// the byte that ends the message, is consumed. The end of input ends the
// message. Each call starts afresh, with no progress carried over.
int podciag(Input& in, Automaton const& automaton);
