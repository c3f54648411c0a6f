#pragma once

#include "bit_parallel.h"
#include "compact_automaton.h"
#include "dense_table.h"
#include "end_filter.h"
#include "input.h"
#include "symbols.h"

#include <string>
#include <vector>

// Counting rule: the message is read from left to right; an occurrence is
// completed at the earliest byte where any pattern ends among the occurrences
// that start after the previous completion; then all progress is dropped and
// the scan restarts at the next byte. With patterns AB and BC, the message
// ABCAB completes AB at its 2nd byte (the B is then used up, so BC never
// completes) and AB again at its 5th byte: 2. The count is the largest number
// of pairwise non-overlapping occurrences.
//
// Five engines run the rule; each gives the same count on every input. The
// one place that picks among them is buildAutomaton, by the number of pattern
// symbols that can complete and by how often their ends may occur:
//   bitParallel      at most 63 symbols      Shift-And in one word
//   endFilter        rare candidate ends     last bytes hashed into a bitmap,
//                    patterns of at most     candidates confirmed by comparison
//                    4096 symbols
//   wideBitParallel  at most 255 symbols     Shift-And in four words
//   denseTable       any number              Aho-Corasick over byte classes, dense
//                                            rows near the start, sparse deeper
//   compact          any number              lazily built Aho-Corasick automaton
// Above 255 symbols a task starts with the compact automaton, which costs
// next to nothing to set up, and builds the dense table only once the message
// has proven long: after one message byte per symbolsPerCompactByte pattern
// symbols, in the middle of a scan if need be. Short messages then cost what
// reading the patterns costs, long ones run at the dense table's speed. The
// compact automaton takes a few hundred nanoseconds a byte on sets of
// millions of symbols, the table's build some tens a symbol: the hand-over
// comes when the compact automaton has cost about what the build will.
// Above maxDenseSymbols the compact automaton runs to the end.
enum class Engine { bitParallel, endFilter, wideBitParallel, denseTable, compact };

// The most candidate ends, as a share of random message bytes, for which the
// filter is chosen over the automata.
constexpr double maxCandidateShare = 0.02;

constexpr std::uint64_t symbolsPerCompactByte = 32;
constexpr std::uint64_t maxCompactBytes = std::uint64_t{1} << 16;

// A task's engines. bits, filter, wideBits and dense are compiled from the
// patterns by buildAutomaton and only read by the scans (the dense table's
// scan state is one state id, and resumes across blocks of any size: see
// scanDense). The compact automaton is learnt by the scan as it goes, and its
// hand-over builds `dense` and switches `engine` mid-scan: that part belongs
// to the scan, and moves into a scan state of its own once several scans share
// one set of patterns.
struct Automaton {
    Engine engine = Engine::bitParallel;
    BitParallel bits;
    EndFilter filter;
    FilterScan filterScan;
    WideBitParallel wideBits;
    DenseTable dense;
    CompactAutomaton compact;
    std::vector<std::string> const* patterns = nullptr;  // for a dense table built late
    std::size_t symbols = 0;                             // of the patterns that can complete
};

// Builds the dense table in place of the compact automaton and goes on with
// the scan the compact automaton handed over.
int podciagDenseAfterCompact(Input& in, Automaton& automaton);

// Which engine a task gets: the fastest one that takes its patterns, or, for
// the tests, the given one wherever it can take them (else the next bigger).
// sparseTable is the dense table with a single dense row, the start state, so
// that every other state takes the sparse path.
enum class ScanChoice { fastest, bitParallel, endFilter, wideBitParallel, denseTable, compact, sparseTable };

// Rebuilds the automaton for the patterns, reusing its memory. Patterns that
// cannot complete are left out. The patterns must stay unchanged while the
// automaton is used (the compact engine reads them in place).
void buildAutomaton(Automaton& automaton, std::vector<std::string> const& patterns,
                    ScanChoice choice = ScanChoice::fastest);

// Reads message bytes from the input until an occurrence completes (returns 1)
// or the message ends (returns 0); the byte that completes the occurrence, or
// the byte that ends the message, is consumed. The end of input ends the
// message. Each call starts afresh, with no progress carried over (the
// compact engine keeps what it learnt of the patterns, never of the message).
//
// Inline so that a task's loop over podciag compiles into one loop over the
// message, with no call per occurrence.
inline int podciag(Input& in, Automaton& automaton) {
    switch (automaton.engine) {
        case Engine::bitParallel:
            return podciagBitParallel(in, automaton.bits);
        case Engine::endFilter:
            return podciagEndFilter(in, automaton.filter, automaton.filterScan);
        case Engine::wideBitParallel:
            return podciagWideBitParallel(in, automaton.wideBits);
        case Engine::denseTable:
            return podciagDenseTable(in, automaton.dense);
        case Engine::compact:
            break;
    }
    int const result = podciagCompact(in, automaton.compact);
    return result != compactBudgetSpent ? result : podciagDenseAfterCompact(in, automaton);
}
