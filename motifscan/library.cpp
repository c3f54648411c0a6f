#include "library.h"

#include <algorithm>

namespace motifscan {

// Feeding. The engines scan one podciag call at a time through an input and
// keep their state of the message in locals, so a call cannot be suspended
// at the end of a chunk. What lets a Counter resume anyway is the rule the
// filter's hand-over to the dense table already rests on: if a call that
// started at byte s has scanned up to byte p without completing, every
// occurrence that it may still complete ends after p, so it starts after
// p - (longest - 1); and none lies inside the bytes already scanned. A fresh
// call started at max(s, p - longest + 2) therefore completes exactly where
// the suspended one would have. So a Counter keeps the last longest-1 bytes of
// its pending call (the tail) and nothing else of the message, and
//   - a chunk at least as long as the tail is scanned by the engines
//     themselves: first the tail and the chunk's first longest-1 bytes joined
//     in a small buffer (an occurrence that starts in the tail ends there at
//     the latest), then the rest of the chunk in place, from the restart
//     point the joined bytes leave. The bytes scanned twice are at most twice
//     the chunk, and a large chunk runs at the engines' own speed with no
//     copy;
//   - a shorter chunk would cost a re-scan longer than itself (1-byte chunks
//     under 4,000-byte patterns: 4,000 steps a byte), and a very short one
//     costs less stepped than an engine's call (see stepBelow), so it is stepped
//     through a resumable automaton instead, the dense table over byte
//     classes (the compact automaton for sets too large for the table), whose
//     state is a number the Counter keeps. The Counter builds that table the
//     first time it needs it and finds its state by walking the tail, once
//     after every run of the engines; that walk is paid for by the chunk the
//     engines have just scanned.
// Suspendable engine states were the alternative: every engine (the filter
// with its history, prefilter and hand-overs, the compact automaton's budget)
// would have to stop and resume at any byte, in the program's inner loops.
//
// A byte outside 'A'-'Z' and '*' ends a podciag call, as it ends the
// program's message; the Counter then simply starts the next call after it,
// which is what breaking every partial match means. The engines already find
// such bytes in their fast loops, so a message made only of the symbols pays
// nothing for them.
struct Counter::Scan {
    Patterns::Compiled const* compiled = nullptr;
    automatonScan scan;
    std::size_t keep = 0;  // longest - 1: the pending call's bytes that matter
    // The pending call's last bytes: at least the last `keep` of them (all,
    // when fewer), at most 2 * keep + slack, so that stepping appends in
    // amortised constant time.
    std::string history;
    std::string joined;  // scratch: the tail and the start of a chunk

    // The stepping automaton, built on first use; its state is valid unless
    // the engines have run since it was last set.
    bool stepsCompact = false;  // the compact automaton, not the table
    bool stepperBuilt = false;
    bool stateValid = false;
    denseTable ownTable;
    denseTable const* table = nullptr;
    std::uint32_t row = 0;
    compactAutomaton compact;
    compactState compactAt;
};

namespace {

constexpr std::size_t historySlack = 64;

// Chunks shorter than this are stepped even when the tail is shorter: a run
// of the engines costs a call or two of podciag, about 100 ns with the
// filter on an AMD EPYC, where the table steps a byte in a few. Not for sets the engines
// start with the compact automaton: they may be too large for a short
// message to pay for the table (the engines build it only once the message
// has run symbols / symbolsPerCompactByte bytes).
constexpr std::size_t stepBelow = 64;

bool endsCall(char byte) { return symbolClassOf[static_cast<unsigned char>(byte)] == terminatorClass; }

std::unique_ptr<Patterns::Compiled> compile(std::span<std::string_view const> patterns, scanChoice choice) {
    auto compiled = std::make_unique<Patterns::Compiled>();
    compiled->patterns.assign(patterns.begin(), patterns.end());
    compiled->longest = measurePatterns(compiled->patterns).longest;
    buildAutomaton(compiled->machine, compiled->patterns, choice);
    return compiled;
}

// Runs podciag calls over [from, end), counting completions. Returns where
// the call still pending at `end` started: after the last completion or
// ending byte.
char const* runCalls(Counter::Scan& scan, char const* from, char const* end, std::uint64_t& total) {
    automaton const& machine = scan.compiled->machine;
    input in;
    in.pos = from;
    in.end = end;
    in.atEnd = true;  // no refill: the block is the whole input
    char const* callStart = from;
    while (in.pos != end) {
        if (podciag(in, machine, scan.scan) == 1) {
            ++total;
        } else if (in.pos == end && !endsCall(end[-1])) {
            break;  // ran out of bytes in the middle of the call
        }
        callStart = in.pos;
    }
    return callStart;
}

// The pending call's bytes are now [callStart, end): keep their last `keep`.
void keepTail(Counter::Scan& scan, char const* callStart, char const* end) {
    auto const length = static_cast<std::size_t>(end - callStart);
    std::size_t const kept = std::min(length, scan.keep);
    scan.history.assign(end - kept, kept);
}

void appendTail(Counter::Scan& scan, char const* first, char const* end) {
    scan.history.append(first, end);
    if (scan.history.size() > 2 * scan.keep + historySlack) {
        scan.history.erase(0, scan.history.size() - scan.keep);
    }
}

void buildStepper(Counter::Scan& scan) {
    automaton const& machine = scan.compiled->machine;
    // The compact automaton where the engines never build the table: sets
    // above maxDenseSymbols, and the tests' choice of that engine.
    scan.stepsCompact = machine.startEngine == engine::compact && machine.compactBudget == UINT64_MAX;
    if (scan.stepsCompact) {
        buildCompactAutomaton(scan.compact, scan.compiled->patterns);
    } else if (machine.startEngine == engine::denseTable) {
        scan.table = &machine.dense;
    } else {
        buildDenseTable(scan.ownTable, scan.compiled->patterns, machine.symbols);
        scan.table = &scan.ownTable;
    }
    scan.stepperBuilt = true;
}

// A chunk shorter than the tail, stepped on from the tail's state.
void stepChunk(Counter::Scan& scan, std::string_view chunk, std::uint64_t& total) {
    if (!scan.stepperBuilt) buildStepper(scan);
    std::size_t const tail = std::min(scan.history.size(), scan.keep);
    char const* const tailBytes = scan.history.data() + (scan.history.size() - tail);
    char const* next = chunk.data();
    char const* const end = next + chunk.size();
    char const* callStart = next;
    if (scan.stepsCompact) {
        compactAutomaton& compact = scan.compact;
        compactState state = scan.compactAt;
        bool completes = false;
        if (!scan.stateValid) {
            state = compactState();
            for (std::size_t k = 0; k < tail; ++k) {
                state = stepCompact(compact, state, static_cast<unsigned char>(tailBytes[k]), completes);
            }
        }
        while (next != end) {
            auto const byte = static_cast<unsigned char>(*next++);
            if (endsCall(static_cast<char>(byte))) {
                state = compactState();
                callStart = next;
                continue;
            }
            state = stepCompact(compact, state, byte, completes);
            if (completes) {
                ++total;
                state = compactState();
                callStart = next;
            }
        }
        scan.compactAt = state;
    } else {
        denseTable const& table = *scan.table;
        std::uint32_t row = scan.stateValid ? scan.row : rowAfter(table, tailBytes, tail);
        while (next != end) {
            next = scanDense(table, row, next, end);
            if (row < completesOccurrence) break;
            if (row == completesOccurrence) ++total;
            row = 0;
            callStart = next;
        }
        scan.row = row;
    }
    scan.stateValid = true;
    if (callStart != chunk.data()) scan.history.clear();
    appendTail(scan, callStart, end);
}

// A chunk at least as long as the tail, scanned by the engines.
void scanChunk(Counter::Scan& scan, std::string_view chunk, std::uint64_t& total) {
    char const* resume = chunk.data();
    char const* const end = resume + chunk.size();
    std::size_t const tail = std::min(scan.history.size(), scan.keep);
    scan.stateValid = false;
    if (tail != 0) {
        // An occurrence that starts in the tail ends within the chunk's
        // first keep bytes; after them the pending call restarts in the chunk.
        std::size_t const reach = std::min(chunk.size(), scan.keep);
        std::string& joined = scan.joined;
        joined.assign(scan.history, scan.history.size() - tail, tail);
        joined.append(chunk.data(), reach);
        char const* const first = joined.data();
        char const* const joinedEnd = first + joined.size();
        char const* const callStart = runCalls(scan, first, joinedEnd, total);
        if (reach == chunk.size()) {
            keepTail(scan, callStart, joinedEnd);
            return;
        }
        // joined.size() - keep == tail, so the restart point is in the chunk.
        std::size_t const restart =
            std::max(static_cast<std::size_t>(callStart - first), joined.size() - scan.keep);
        resume += restart - tail;
    }
    keepTail(scan, runCalls(scan, resume, end, total), end);
}

}  // namespace

Patterns::Patterns(std::span<std::string_view const> patterns)
    : compiled(compile(patterns, scanChoice::fastest)) {}

Patterns::Patterns(std::initializer_list<std::string_view> patterns)
    : Patterns(std::span<std::string_view const>(patterns.begin(), patterns.size())) {}

Patterns::Patterns(std::unique_ptr<Compiled> compiled) noexcept : compiled(std::move(compiled)) {}
Patterns::Patterns(Patterns&& other) noexcept = default;
Patterns& Patterns::operator=(Patterns&& other) noexcept = default;
Patterns::~Patterns() = default;

std::size_t Patterns::size() const noexcept { return compiled->patterns.size(); }

Counter::Counter(Patterns const& patterns) : scan(std::make_unique<Scan>()) {
    Patterns::Compiled const& compiled = *patterns.compiled;
    scan->compiled = &compiled;
    scan->keep = compiled.longest > 0 ? compiled.longest - 1 : 0;
    startScan(scan->scan, compiled.machine);
}

Counter::Counter(Counter&& other) noexcept = default;
Counter& Counter::operator=(Counter&& other) noexcept = default;
Counter::~Counter() = default;

void Counter::feed(std::string_view chunk) {
    // No pattern can complete: nothing to scan.
    if (chunk.empty() || scan->compiled->longest == 0) return;
    Scan& state = *scan;
    std::size_t const tail = std::min(state.history.size(), state.keep);
    if (chunk.size() < tail ||
        (chunk.size() < stepBelow && state.compiled->machine.startEngine != engine::compact)) {
        stepChunk(state, chunk, total);
    } else {
        scanChunk(state, chunk, total);
    }
}

std::uint64_t count(Patterns const& patterns, std::string_view message) {
    Counter counter(patterns);
    counter.feed(message);
    return counter.count();
}

Patterns PatternsAccess::compile(std::span<std::string_view const> patterns, scanChoice choice) {
    return Patterns(motifscan::compile(patterns, choice));
}

void PatternsAccess::tune(Counter& counter, filterTuning const& tuning) {
    counter.scan->scan.filterState.tuning = tuning;
}

}  // namespace motifscan
