#pragma once

#include "bit_parallel.h"
#include "dense_table.h"
#include "input.h"
#include "literal_prefilter.h"
#include "symbols.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace motifscan {

// The filter engine finds the ends of occurrences without stepping an
// automaton. podciag must stop at the earliest byte where an occurrence that
// starts at or after its first byte ends; so it is enough to test every byte,
// in order, as a possible end, and to stop at the first one where some pattern
// really ends. The test is in two stages:
//   - a candidate test on the last w bytes (w = the shortest pattern's
//     length, at most 4; up to 8 where four-byte endings are many, see
//     wideAboveEndings): one unaligned load, a multiplicative hash and two
//     bits in one word of a bitmap that holds the hashes of every pattern's
//     last w bytes. No state is carried from byte to byte, so the loop runs
//     at the speed of its loads instead of the latency of a table walk;
//   - a confirmation at candidates only: the patterns with exactly those last
//     w bytes (an open-addressing table) are compared with the bytes before,
//     and must start at or after the first byte of the call.
// The end of the message is found 16 bytes at a time with vector compares.
//
// It pays when candidates are rare, that is when the patterns' last w bytes
// are few beside the 27^w possible ones (for wide windows, beside the
// windows over the bytes the patterns end with). The build refuses sets whose rate
// would be high even over random bytes; the rate a message really gives is
// measured as the scan goes (see filterScan), and where candidates turn out
// frequent the scan hands over to a dense table. Patterns longer
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

// Above this many distinct endings of four bytes (a share of 0.05% of the
// possible ones), sets whose patterns all have five bytes or more take a
// window of up to eight. Random patterns of 5-12 letters over random
// messages, CPU time of the wide window against the narrow one: 200
// patterns +4%, 500 -8%, 1,100 -13%, 3,000 -25%; below some 300 the second
// load and multiplication per position cost more than the candidates they
// save.
constexpr std::size_t wideAboveEndings = 256;

// How the scan finds candidates: one byte at a time, hashing its window
// (every processor); or, 32 positions at a time with AVX2, hashing and
// gathering bitmap words, comparing with each of a few distinct suffixes, or
// with the literal prefilter; or hashing and gathering 64 positions at a
// time with AVX-512. The build picks the prefilter where it can, else the
// comparison, else the widest hashing the processor has; the tests pick
// each in turn. The prefilter's tables are built by the scan, once
// the task's message has run teddyAfterBytes (until then, and where they
// cannot be built, the scan takes the path before): tasks of a few short
// patterns and a short message would otherwise spend more on the tables
// than on their scan (two patterns of 35 letters with 10-byte messages took
// four times as long).
enum class filterPath { scalar, hashed, compared, teddy, hashed64 };

struct suffixSlot {
    std::uint64_t suffix = 0;                 // the last w bytes, little-endian
    std::uint32_t firstPattern = UINT32_MAX;  // chain through endFilter::nextPattern
    std::uint32_t compared = 0;               // bytes its patterns compare before the suffix
};

struct endFilter {
    std::uint64_t builds = 0;  // tells a scan state that the patterns changed
    unsigned window = 4;       // w
    unsigned hashShift = 17;
    std::vector<std::uint64_t> candidateBits;
    std::vector<suffixSlot> slots;        // power-of-two size, at most three quarters full
    std::vector<std::uint32_t> suffixes;  // the distinct suffixes, when few
    std::vector<char const*> text;        // per pattern that can complete
    std::vector<std::uint32_t> length;
    std::vector<std::uint32_t> nextPattern;
    std::size_t longest = 0;
    std::vector<std::string> const* patterns = nullptr;  // for the dense table of a hand-over
    std::size_t symbols = 0;
    filterPath path = filterPath::scalar;
    filterPath pathBeforeTeddy = filterPath::scalar;
    // Sets of at most 63 symbols are scanned bit-parallel until the task's
    // message has run filterTuning::bitsFor bytes: tasks of a few short
    // patterns and short messages then cost what that engine costs, and long
    // messages get the filter's speed.
    bool bitsFirst = false;
    bitParallel bits;
    patternSizes sizes;  // what the late compilation needs
    double maxShare = 1.0;
    bool eager = false;  // neither bit-parallel first nor a late prefilter
};

// What a scan learns as it goes, kept apart from the filter so that several
// scans could share one. Candidates cost their confirmation; the scan earns
// credit with every byte it passes and spends it on candidates, and when the
// credit runs out it hands over, in the middle of a call if need be, to a
// dense table of the same patterns (built then, once per task), whose cost
// per byte does not depend on the message. After probeAfterBytes bytes the
// filter is tried again with a small credit, and keeps the scan if the
// message has turned kinder. The filter's work is so bounded by a constant
// per byte plus one confirmation per probe: its worst case stays within a
// small factor of the table's. A hand-over never changes a count: the table
// is entered in the state its own scan would have reached, found by walking
// it over the last longest-1 bytes of the call, in which no occurrence ends.
// Credit is in units of about one dense-table step; a byte passed earns one.
// The tests make every number tiny so that hand-overs come every few bytes.
struct filterTuning {
    std::int64_t startCredit = 1 << 14;  // for a task's first message bytes
    std::int64_t probeCredit = 1 << 11;  // for a probe after the table
    std::int64_t mostCredit = 1 << 16;   // credit saved up on a quiet stretch
    std::uint64_t probeAfterBytes = 1 << 18;
    std::uint64_t teddyAfterBytes = 1 << 12;
    std::uint64_t bitsFor = 1 << 12;
    std::optional<filterPath> path;  // the tests' choice, where the filter can take it
};

struct filterScan {
    filterTuning tuning;
    endFilter const* filter = nullptr;  // what the state below was learnt for
    std::uint64_t builds = 0;
    std::int64_t credit = 0;
    bool onTable = false;
    std::uint64_t tableLeft = 0;  // bytes the table scans before the filter's next probe
    bool tableBuilt = false;
    denseTable table;
    std::uint64_t scanned = 0;  // message bytes of the task in earlier calls
    bool teddyTried = false;
    teddy prefilter;
    bool lateTried = false;  // the filter of a set that started bit-parallel
    bool lateBuilt = false;
    endFilter late;
    std::string history;  // bytes of the current call from earlier blocks (the last longest-1)
    std::string walk;     // scratch: the bytes the table is walked over at a hand-over
};

// Builds the filter for the patterns that can complete. Returns false, leaving
// it unusable, when some pattern is longer than maxFilterPatternLength, the
// patterns are too many for a dense table to take over, or the estimated
// share of candidate bytes in a random message exceeds maxShare. The patterns
// must stay unchanged while the filter is used.
bool buildEndFilter(endFilter& filter, std::vector<std::string> const& patterns, patternSizes const& sizes,
                    double maxShare);

// The filter proper, which buildEndFilter leaves to the scan for sets that
// start bit-parallel. Same result as buildEndFilter otherwise.
bool compileEndFilter(endFilter& filter, std::vector<std::string> const& patterns, patternSizes const& sizes,
                      double maxShare);

enum class scanOutcome { goOn, completed, ended };

// The bit-parallel scan from the first byte of a call to the end of the
// block: its state starts empty at a call's start, and the filter, which
// carries no state from byte to byte, can take over wherever it stops.
inline scanOutcome bitsBytes(input& in, endFilter const& filter, char const*& next, char const* const end) {
    bitParallel const& bits = filter.bits;
    std::uint64_t active = 0;
    for (char const* at = next; at != end; ++at) {
        auto const byte = static_cast<unsigned char>(*at);
        active = ((active << 1) | bits.startBits) & bits.bitsOfByte[byte];
        if ((active & bits.stopBits) != 0) {
            in.pos = at + 1;
            if ((active & messageEndBit) == 0) return scanOutcome::completed;
            if (byte == '\n') ++in.line;
            return scanOutcome::ended;
        }
    }
    next = end;
    return scanOutcome::goOn;
}

// Everything but the short calls below.
int podciagEndFilterBlocks(input& in, endFilter const& filter, filterScan& scan);

// Inline, as podciagBitParallel is, so that the short calls of a task that
// starts bit-parallel cost what that engine's cost (tasks of short messages
// make a call every few bytes: out of line, an input of many tasks of a few
// bytes each took a quarter more instructions). Only a call that runs past its first
// block, or a task past its first bitsFor bytes, needs the rest.
inline int podciagEndFilter(input& in, endFilter const& filter, filterScan& scan) {
    if (filter.bitsFirst && scan.filter == &filter && scan.builds == filter.builds &&
        scan.scanned < scan.tuning.bitsFor) {
        char const* const first = in.pos;
        char const* next = first;
        scanOutcome const outcome = bitsBytes(in, filter, next, in.end);
        if (outcome != scanOutcome::goOn) {
            scan.scanned += static_cast<std::uint64_t>(in.pos - first);
            return outcome == scanOutcome::completed ? 1 : 0;
        }
    }
    return podciagEndFilterBlocks(in, filter, scan);
}

}  // namespace motifscan
