#include "automaton.h"

#include "input.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace {

// The offset of every row, and the markers above it, must fit 31 bits. The
// table would need 8 GiB before a task reaches this many states.
constexpr std::uint32_t maxStates = (completesOccurrence - symbolClasses) / symbolClasses;

constexpr std::uint32_t emptyRow[symbolClasses] = {};

// The table keeps its size across tasks and is cleared row by row as nodes
// are added. Copying a constant row compiles to a few vector stores; growing
// the vector by a row, or std::fill_n, becomes a rep stos whose start-up cost
// dominated the build of tasks with a few short patterns.
void addRow(Automaton& automaton, std::size_t node) {
    std::size_t const needed = (node + 1) * symbolClasses;
    if (automaton.table.size() < needed) {
        automaton.table.resize(std::max(needed, 2 * automaton.table.size()));
    }
    std::memcpy(automaton.table.data() + node * symbolClasses, emptyRow, sizeof emptyRow);
}

std::uint32_t addTrieNode(Automaton& automaton) {
    std::size_t const node = automaton.patternEndsAt.size();
    if (node >= maxStates) throw std::bad_alloc();
    addRow(automaton, node);
    automaton.patternEndsAt.push_back(0);
    return static_cast<std::uint32_t>(node);
}

// Builds the trie in the table itself: a non-zero entry is a child's node
// index (no node has the root as a child, so 0 means none).
void insertPattern(Automaton& automaton, std::string const& pattern) {
    std::uint32_t node = 0;
    for (unsigned char byte : pattern) {
        // A shorter pattern that is a prefix of this one always completes
        // first, so the scan can never get further along this one.
        if (automaton.patternEndsAt[node] != 0) return;
        std::uint8_t const symbol = symbolClassOf[byte];
        automaton.usedSymbols |= std::uint32_t{1} << symbol;
        std::size_t const entry = std::size_t{node} * symbolClasses + symbol;
        if (automaton.table[entry] == 0) {
            std::uint32_t const child = addTrieNode(automaton);
            automaton.table[entry] = child;
        }
        node = automaton.table[entry];
    }
    automaton.patternEndsAt[node] = 1;
}

// Entry for a trie child whose suffix-link state has the table entry
// `suffixEntry`: the child completes an occurrence if a pattern ends there or
// at its suffix-link state; otherwise it gets a row, filled when it leaves the
// queue.
std::uint32_t enterChild(Automaton& automaton, std::uint32_t child, std::uint32_t suffixEntry) {
    if (automaton.patternEndsAt[child] != 0 || suffixEntry == completesOccurrence) {
        return completesOccurrence;
    }
    automaton.fallback[child] = suffixEntry;
    automaton.queue.push_back(child);
    return child * symbolClasses;
}

// Turns the trie into the transition table, breadth first, so that the row of
// a node's suffix-link state (always shallower) is final before the node's own
// row is filled: a missing child then takes the suffix-link state's entry.
// Rows of states that complete an occurrence, and of everything below them,
// are never filled; the scan stops before it could use them.
//
// A symbol that no pattern holds leads every state back to the start, which
// is the 0 the rows were created with; only the symbols in use are visited.
// Tasks with a few short patterns are built many times faster that way.
void linkStates(Automaton& automaton) {
    automaton.fallback.resize(automaton.patternEndsAt.size());
    automaton.queue.clear();
    std::uint32_t* const table = automaton.table.data();
    std::uint32_t const used = automaton.usedSymbols;
    for (std::uint32_t rest = used; rest != 0; rest &= rest - 1) {
        int const symbol = std::countr_zero(rest);
        if (table[symbol] != 0) table[symbol] = enterChild(automaton, table[symbol], 0);
    }
    table[terminatorClass] = endsMessage;
    for (std::size_t head = 0; head < automaton.queue.size(); ++head) {
        std::uint32_t const node = automaton.queue[head];
        std::uint32_t* const row = table + std::size_t{node} * symbolClasses;
        std::uint32_t const* const suffixRow = table + automaton.fallback[node];
        for (std::uint32_t rest = used; rest != 0; rest &= rest - 1) {
            int const symbol = std::countr_zero(rest);
            std::uint32_t const child = row[symbol];
            row[symbol] = child == 0 ? suffixRow[symbol] : enterChild(automaton, child, suffixRow[symbol]);
        }
        row[terminatorClass] = endsMessage;
    }
}

}  // namespace

bool canComplete(std::string const& pattern) {
    if (pattern.empty()) return false;
    for (unsigned char byte : pattern) {
        if (symbolClassOf[byte] == terminatorClass) return false;
    }
    return true;
}

namespace {

// Lays the patterns that can complete end to end in one word; false when they
// do not fit.
bool layOutBits(Automaton& automaton, std::vector<std::string> const& patterns) {
    // Only the letters the last task used hold pattern bits.
    for (std::uint32_t rest = automaton.bitSymbols; rest != 0; rest &= rest - 1) {
        int const symbol = std::countr_zero(rest);
        automaton.bitsOfByte[symbol == 26 ? '*' : 'A' + symbol] = 0;
    }
    automaton.bitSymbols = 0;
    automaton.startBits = messageEndBit;
    automaton.stopBits = messageEndBit;
    unsigned bit = 0;
    for (std::string const& pattern : patterns) {
        if (pattern.empty()) continue;
        // An invalid pattern met here may make a valid set fall back to the
        // table: slower, never wrong.
        if (bit + pattern.size() > maxBitParallelSymbols) return false;
        unsigned const first = bit;
        for (unsigned char byte : pattern) {
            std::uint8_t const symbol = symbolClassOf[byte];
            if (symbol == terminatorClass) break;
            automaton.bitsOfByte[byte] |= std::uint64_t{1} << bit++;
            automaton.bitSymbols |= std::uint32_t{1} << symbol;
        }
        if (bit - first != pattern.size()) {
            // The pattern can never complete: take back the bits it was given.
            for (unsigned k = first; k < bit; ++k) {
                automaton.bitsOfByte[static_cast<unsigned char>(pattern[k - first])] &=
                    ~(std::uint64_t{1} << k);
            }
            bit = first;
            continue;
        }
        automaton.startBits |= std::uint64_t{1} << first;
        automaton.stopBits |= std::uint64_t{1} << (bit - 1);
    }
    return true;
}

}  // namespace

void buildAutomaton(Automaton& automaton, std::vector<std::string> const& patterns, ScanChoice choice) {
    automaton.bitParallel = choice == ScanChoice::fastest && layOutBits(automaton, patterns);
    if (automaton.bitParallel) return;
    automaton.patternEndsAt.clear();
    addTrieNode(automaton);  // the start state
    automaton.usedSymbols = 0;
    for (std::string const& pattern : patterns) {
        if (canComplete(pattern)) insertPattern(automaton, pattern);
    }
    linkStates(automaton);
}
