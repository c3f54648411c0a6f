#pragma once

#include "input.h"
#include "symbols.h"

#include <cstdint>
#include <string>
#include <vector>

namespace motifscan {

// The Aho-Corasick automaton for large pattern sets, built lazily: memory and
// time go only to the states the message reaches, and are proportional to the
// patterns, never to 28 columns per symbol.
//
// The trie is never built symbol by symbol. The patterns' indices sit in one
// array, `order`; a node is a range of it whose patterns share a prefix, and
// it stands for a whole chain of states: from depth `first` to depth `last`,
// the depth where its patterns differ (a branch) or one of them ends (a
// completion). The states of a chain need no storage of their own: their
// symbols are the text of any of the node's patterns. A node's children are
// made the first time the scan needs them, by sorting its range on the
// symbol after the branch (one pass of a radix sort), so a short message only
// ever sorts the patterns of the few nodes it enters; a message that enters
// every node does the work of one radix sort of all the patterns. Every node
// with children has two or more, so there are fewer than two nodes per
// pattern; they are allocated once per task.
//
// Suffix links are computed lazily too, per chain and in order of depth, the
// first time the scan (or another suffix link) needs them, with a stack of
// the links still waiting rather than recursion (a chain of needed links is
// as deep as the longest pattern): the link of the
// state after symbol c is the state reached from the link of its parent on c,
// falling back along links as usual. Each entry also records whether some
// pattern ends at a suffix of the state (then reaching the state completes an
// occurrence). 8 bytes per state reached; a node's entries are reserved once,
// for its whole chain, when the first of them is needed.
//
// Memory: about 8 bytes per pattern (order and sort scratch), 56 bytes per
// node entered or made (fewer than 2 per pattern), 8 bytes per state whose
// suffix link was needed, besides the patterns themselves.

struct compactState {
    std::uint32_t node = 0;
    std::uint32_t depth = 0;
};

struct compactNode {
    std::uint32_t lo = 0, hi = 0;  // its patterns: order[lo..hi)
    std::uint32_t first = 0;       // depth of its first state
    std::uint32_t last = 0;        // depth of its last state, once resolved
    std::uint32_t parent = 0;
    std::uint32_t childMask = 0;   // symbols with a child after the last state, once expanded
    std::uint32_t firstChild = 0;  // the child of the lowest symbol; the others follow
    bool resolved = false;
    bool terminal = false;  // a pattern ends at the last state
    bool expanded = false;
    char const* text = nullptr;  // one of its patterns: the symbols of its states
    // Per state from `first` on, in depth order: its suffix link, with the top
    // bit of the depth set when reaching the state completes an occurrence.
    std::vector<compactState> suffix;
};

constexpr std::uint32_t completesBit = 0x80000000u;

// When every pattern that can complete is the same one (or one ends where
// all the others start with it, so that they can never complete), the
// automaton is a single chain and its suffix links are the pattern's failure
// function: the scan then runs a lean Knuth-Morris-Pratt loop with 4 bytes
// per state, the failure function computed as deep as the message has gone.
struct singlePattern {
    char const* text = nullptr;
    std::uint32_t length = 0;            // 0: not this case
    std::vector<std::uint32_t> failure;  // failure[k]: the state after a mismatch at depth k
};

struct compactAutomaton {
    // Message bytes this task may still scan before the caller would rather
    // build a faster engine; UINT64_MAX: never. Counts bytes, so it derives
    // from the input alone.
    std::uint64_t budget = UINT64_MAX;
    compactState handedOver;  // the state at which the scan stopped for that
    singlePattern single;
    std::vector<char const*> text;  // per pattern index: its bytes
    std::vector<std::uint32_t> length;
    std::vector<std::uint32_t> order;
    std::vector<std::uint32_t> scratch;
    std::vector<compactNode> nodes;     // node 0 holds the start state at depth 0
    std::vector<compactState> pending;  // links waiting for shallower ones
};

// Sets up the start node over the patterns that can complete. The patterns
// must stay unchanged while the automaton is used.
void buildCompactAutomaton(compactAutomaton& compact, std::vector<std::string> const& patterns);

// One step of the scan: the state after `byte` (a message symbol) and whether
// reaching it completes an occurrence.
compactState stepCompact(compactAutomaton& compact, compactState state, unsigned char byte, bool& completes);

// Extends the failure function to depth `depth`.
void extendFailure(singlePattern& single, std::uint32_t depth);

inline int podciagSinglePattern(input& in, singlePattern& single) {
    char const* const text = single.text;
    std::uint32_t depth = 0;
    for (;;) {
        char const* next = in.pos;
        char const* const end = in.end;
        while (next != end) {
            unsigned char const byte = static_cast<unsigned char>(*next++);
            if (symbolClassOf[byte] == terminatorClass) {
                in.pos = next;
                if (byte == '\n') ++in.line;
                return 0;
            }
            while (depth > 0 && static_cast<unsigned char>(text[depth]) != byte)
                depth = single.failure[depth];
            if (static_cast<unsigned char>(text[depth]) == byte && ++depth == single.length) {
                in.pos = next;
                return 1;
            }
            if (depth >= single.failure.size()) extendFailure(single, depth);
        }
        in.pos = next;
        if (!refill(in)) return 0;
    }
}

// What podciagCompact returns when the budget ran out in the middle of a
// message: the byte before in.pos was the last one scanned, and `handedOver`
// is the state it reached (no completion).
constexpr int compactBudgetSpent = 2;

// The symbols of a state: the first `depth` bytes of one of its node's patterns.
inline char const* textOf(compactAutomaton const& compact, compactState state) {
    return compact.single.length != 0 ? compact.single.text : compact.nodes[state.node].text;
}

inline int podciagCompact(input& in, compactAutomaton& compact) {
    if (compact.single.length != 0) return podciagSinglePattern(in, compact.single);
    compactState state;
    for (;;) {
        char const* next = in.pos;
        char const* const end = in.end;
        while (next != end) {
            if (compact.budget == 0) {
                in.pos = next;
                compact.handedOver = state;
                return compactBudgetSpent;
            }
            --compact.budget;
            unsigned char const byte = static_cast<unsigned char>(*next++);
            if (symbolClassOf[byte] == terminatorClass) {
                in.pos = next;
                if (byte == '\n') ++in.line;
                return 0;
            }
            bool completes = false;
            state = stepCompact(compact, state, byte, completes);
            if (completes) {
                in.pos = next;
                return 1;
            }
        }
        in.pos = next;
        if (!refill(in)) return 0;
    }
}

}  // namespace motifscan
