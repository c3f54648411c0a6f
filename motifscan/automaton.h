#pragma once

#include "bit_parallel.h"
#include "compact_automaton.h"
#include "dense_table.h"
#include "end_filter.h"
#include "input.h"
#include "symbols.h"

#include <string>
#include <vector>

namespace motifscan {

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
// symbols that can complete and by how often their ends may occur in a
// random message; the scans then correct that choice by what the message
// really does:
//   endFilter        rare candidate ends:    last 1-8 bytes tested 32 or 64
//                    patterns of at most     positions at a time (compared with
//                    4096 symbols, a share   a few suffixes, hashed into a
//                    of candidates below     bitmap, or a Teddy-like nibble
//                    maxCandidateShare       prefilter for up to 32 endings);
//                                            candidates confirmed by comparison
//   bitParallel      at most 63 symbols      Shift-And in one word
//   wideBitParallel  at most 255 symbols     Shift-And in four words
//   compact          any number              lazily built Aho-Corasick automaton
//   denseTable       reached by hand-over    Aho-Corasick over byte classes, dense
//                                            rows near the start, sparse deeper
// They are tried in that order. The filter of a set of at most 63 symbols
// starts as the one-word Shift-And and compiles itself once the task's
// message has run 4 KiB. Its scan measures the candidates as it goes: when
// they cost more than the bytes passed have earned, it hands over, in the
// middle of a call if need be, to a dense table of the same patterns, and
// probes the filter again now and then (see filterScan), so that a message
// where every byte is a candidate costs what the table costs.
// Above 255 symbols (or where the filter refuses the set) a task starts with
// the compact automaton, which costs next to nothing to set up, and builds
// the dense table only once the message has proven long: after one message
// byte per symbolsPerCompactByte pattern symbols (at most maxCompactBytes),
// in the middle of a scan if need be. Short messages then cost what reading
// the patterns costs, long ones run at the dense table's speed. The compact
// automaton takes a few hundred nanoseconds a byte on sets of millions of
// symbols, the table's build some tens a symbol: the hand-over comes when
// the compact automaton has cost about what the build will. Above
// maxDenseSymbols the compact automaton runs to the end. Both late tables,
// the filter's and the compact automaton's, belong to the scan
// (automatonScan), never to the compiled patterns.
enum class engine { bitParallel, endFilter, wideBitParallel, denseTable, compact };

// The most candidate ends, as a share of random message bytes, for which the
// filter is chosen over the automata.
constexpr double maxCandidateShare = 0.02;

constexpr std::uint64_t symbolsPerCompactByte = 32;
constexpr std::uint64_t maxCompactBytes = std::uint64_t{1} << 16;

// A task's engines, compiled from its patterns by buildAutomaton and only
// read afterwards, so that several scans may share one. Whatever a scan learns
// as it goes lives in its own automatonScan.
struct automaton {
    engine startEngine = engine::bitParallel;
    bitParallel bits;
    endFilter filter;
    wideBitParallel wideBits;
    denseTable dense;                                    // when chosen at the build (the tests' choice)
    std::vector<std::string> const* patterns = nullptr;  // for the compact automaton and a late table
    std::size_t symbols = 0;                             // of the patterns that can complete
    // Message bytes the compact automaton scans before the dense table is
    // built; UINT64_MAX: never.
    std::uint64_t compactBudget = UINT64_MAX;
};

// What one scan of a message learns: the compact automaton's states and
// links, the dense table that it hands over to, the filter's measured
// candidates, its late tables and its own hand-over, and the engine it has
// switched to. Nothing of the message's bytes is kept between podciag calls
// besides what the filter needs to confirm across blocks, so a scan resumes
// across blocks of any size. Kept across tasks to reuse memory.
struct automatonScan {
    engine running = engine::bitParallel;
    denseTable const* table = nullptr;  // the dense engine's table: compiled or late
    filterScan filterState;
    compactAutomaton compact;
    denseTable lateTable;  // built at the compact automaton's hand-over
};

// Sets up the compact automaton of a scan that starts with it.
void startCompactScan(automatonScan& scan, automaton const& machine);

// Starts the scan of a new message with the automaton's patterns; the
// automaton must not be rebuilt while the scan goes on. Inline, as podciag
// is: tasks of a few bytes start a scan every few bytes.
inline void startScan(automatonScan& scan, automaton const& machine) {
    scan.running = machine.startEngine;
    scan.table = &machine.dense;
    // The filter's scan state follows its filter's builds by itself.
    if (machine.startEngine == engine::compact) startCompactScan(scan, machine);
}

// Builds the dense table in place of the compact automaton and goes on with
// the scan the compact automaton handed over.
int podciagDenseAfterCompact(input& in, automaton const& machine, automatonScan& scan);

// Which engine a task gets: the fastest one that takes its patterns, or, for
// the tests, the given one wherever it can take them (else the next bigger).
// sparseTable is the dense table with a single dense row, the start state, so
// that every other state takes the sparse path.
enum class scanChoice { fastest, bitParallel, endFilter, wideBitParallel, denseTable, compact, sparseTable };

// Rebuilds the automaton for the patterns, reusing its memory. Patterns that
// cannot complete are left out. The patterns must stay unchanged while the
// automaton is used (the compact engine reads them in place); a scan of the
// automaton must start (startScan) after each build.
void buildAutomaton(automaton& machine, std::vector<std::string> const& patterns,
                    scanChoice choice = scanChoice::fastest);

// Reads message bytes from the input until an occurrence completes (returns 1)
// or the message ends (returns 0); the byte that completes the occurrence, or
// the byte that ends the message, is consumed. The end of input ends the
// message. Each call starts afresh, with no progress carried over (the scan
// keeps what it learnt of the patterns, never of the message).
//
// Inline so that a task's loop over podciag compiles into one loop over the
// message, with no call per occurrence.
inline int podciag(input& in, automaton const& machine, automatonScan& scan) {
    switch (scan.running) {
        case engine::bitParallel:
            return podciagBitParallel(in, machine.bits);
        case engine::endFilter:
            return podciagEndFilter(in, machine.filter, scan.filterState);
        case engine::wideBitParallel:
            return podciagWideBitParallel(in, machine.wideBits);
        case engine::denseTable:
            return podciagDenseTable(in, *scan.table);
        case engine::compact:
            break;
    }
    int const result = podciagCompact(in, scan.compact);
    return result != compactBudgetSpent ? result : podciagDenseAfterCompact(in, machine, scan);
}

}  // namespace motifscan
