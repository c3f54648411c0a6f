#pragma once

#include "input.h"
#include "symbols.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace motifscan {

// The Aho-Corasick automaton, built in full before the scan, over byte
// classes. Each state is the longest suffix of the bytes read since the last
// completion that is a prefix of a pattern; a state where some pattern ends
// (its own pattern, or one that is a suffix of it) completes at once, so such
// states are never stored: the transitions into them are a marker.
//
// Byte classes. A column goes only to the message symbols that the patterns
// hold; every other message symbol shares one class (it leads every state
// back to the start), and the bytes that end the message share the last one.
// DNA needs 4 + 2 columns, any set of patterns at most 28.
//
// Dense rows near the start, sparse states deeper. States are numbered breadth
// first, so the shallowest ones, which a random message visits all the time,
// come first: as many of them as fit denseBudget bytes get a full row of
// `width` entries, and a step from them is one load from the byte's class.
// The rest (deep states, mostly one chain per pattern) keep only their own
// trie edges and their suffix link, in two words: the link with the number
// of edges in its top bits, then the one edge, or where the edges of a state
// with several start in `edges`. A step from a sparse state looks for the
// byte's edge and otherwise falls back along suffix links until a state has
// it or is dense. An edge is a target in the low bits and its class in the
// top ones.
//
// State ids are premultiplied: a dense state's id is the offset of its row,
// a sparse state's id is denseEnd plus the offset of its two words. So the
// scan's loop over dense states is one class load, one table load and one
// compare (an entry at or above denseEnd is a sparse state or a marker) per
// byte.
//
// Memory, besides the patterns: width * 4 bytes per dense state (at most
// denseBudget in all), 8 bytes per sparse state and 4 per edge of a sparse
// state with several; while building, 8 bytes per pattern and 12 per state of
// the two deepest levels.

// Markers, above every state id: the scan tells them from a state with the
// same comparison that tells a sparse state from a dense one.
constexpr std::uint32_t completesOccurrence = 0x80000000u;
constexpr std::uint32_t endsMessage = 0xffffffffu;

// Sparse words: the low bits hold a state id (or edgeCompletes), the top
// ones a class or an edge count. Ids of sparse states stay below 2^27.
constexpr int edgeShift = 27;
constexpr std::uint32_t edgeTargetMask = (std::uint32_t{1} << edgeShift) - 1;
constexpr std::uint32_t edgeCompletes = edgeTargetMask;

// The dense rows' share of memory unless the caller says otherwise: about a
// second-level cache. Where the table is larger, a random message still
// visits the shallow states nearly all the time, and the rows of deeper
// states, 112 bytes each over 28 columns, only spread its visits over more
// cache lines than the 8 bytes of a sparse state: 550,000 random 8-letter
// patterns scanned in 0.42 s with 2 MiB of rows, in 0.8 s with 16 MiB.
constexpr std::size_t defaultDenseBudget = std::size_t{2} << 20;

struct denseTable {
    std::array<std::uint8_t, 256> classOf{};  // byte -> column
    std::uint32_t width = 0;                  // columns; the last is the message's end
    std::uint32_t denseEnd = 0;               // ids below are dense rows
    std::size_t denseBudget = defaultDenseBudget;

    std::vector<std::uint32_t> rows;    // dense rows, `width` entries each; row 0 is the start
    std::vector<std::uint32_t> sparse;  // two words per sparse state
    std::vector<std::uint32_t> edges;   // of sparse states with several, in order of class

    // Scratch space of the build, kept to reuse its memory across tasks.
    std::vector<std::uint32_t> order;    // patterns that can complete, sorted as the trie needs
    std::vector<std::uint32_t> scratch;  // one pass of the radix sort
    struct pending {
        std::uint32_t lo, hi;  // its patterns: order[lo..hi)
        std::uint32_t link;    // its suffix link's id
    };
    std::vector<pending> level, nextLevel;  // ids follow on from the level's first
};

// The largest pattern sets (in symbols) for which the other engines build the
// table in the middle of a scan: its memory, 8 to 13 bytes per state deeper
// than the dense rows, may be several times the patterns' own.
constexpr std::size_t maxDenseSymbols = std::size_t{1} << 23;

// Builds the table for the patterns that can complete, whose lengths add up
// to `symbols`. Memory grows with the patterns; dense rows take at most
// dense.denseBudget bytes (at least one row).
void buildDenseTable(denseTable& dense, std::vector<std::string> const& patterns, std::size_t symbols);

inline std::uint32_t edgeTarget(std::uint32_t edge) {
    std::uint32_t const target = edge & edgeTargetMask;
    return target == edgeCompletes ? completesOccurrence : target;
}

// The state after `state` on a byte of class `symbol`: a state id or a marker.
inline std::uint32_t stepDense(denseTable const& dense, std::uint32_t state, std::uint32_t symbol) {
    for (;;) {
        if (state < dense.denseEnd) return dense.rows[state + symbol];
        std::uint32_t const* const words = dense.sparse.data() + (state - dense.denseEnd);
        std::uint32_t const count = words[0] >> edgeShift;
        if (count == 1) {
            if (words[1] >> edgeShift == symbol) return edgeTarget(words[1]);
        } else {
            std::uint32_t const* const edges = dense.edges.data() + words[1];
            for (std::uint32_t k = 0; k < count && edges[k] >> edgeShift <= symbol; ++k) {
                if (edges[k] >> edgeShift == symbol) return edgeTarget(edges[k]);
            }
        }
        state = words[0] & edgeTargetMask;
    }
}

// The state reached from the start on `length` pattern bytes, none of which
// completes an occurrence: a row offset or a sparse state's id.
std::uint32_t rowAfter(denseTable const& dense, char const* bytes, std::size_t length);

// Scans the bytes [next, end) on from `state`; stops after a byte that leads
// to a marker, which is then left in `state`. Returns where it stopped. Any
// split of a message into blocks gives the same states.
inline char const* scanDense(denseTable const& dense, std::uint32_t& state, char const* next,
                             char const* const end) {
    std::uint32_t const* const rows = dense.rows.data();
    std::uint8_t const* const classOf = dense.classOf.data();
    std::uint32_t const denseEnd = dense.denseEnd;
    std::uint32_t current = state;
    for (;;) {
        while (current >= denseEnd) {
            if (current >= completesOccurrence || next == end) {
                state = current;
                return next;
            }
            current = stepDense(dense, current, classOf[static_cast<unsigned char>(*next++)]);
        }
        do {
            if (next == end) {
                state = current;
                return next;
            }
            current = rows[current + classOf[static_cast<unsigned char>(*next++)]];
        } while (current < denseEnd);
    }
}

// From the start state, or from `state` when a scan is taken over midway.
inline int podciagDenseTable(input& in, denseTable const& dense, std::uint32_t state = 0) {
    for (;;) {
        in.pos = scanDense(dense, state, in.pos, in.end);
        if (state == completesOccurrence) return 1;
        if (state == endsMessage) {
            if (in.pos[-1] == '\n') ++in.line;
            return 0;
        }
        if (!refill(in)) return 0;
    }
}

}  // namespace motifscan
