#include "dense_table.h"

#include <bit>
#include <cstring>

namespace {

constexpr std::uint32_t emptyRow[symbolClasses] = {};

// The table keeps its size across tasks and is cleared row by row as nodes
// are added. Copying a constant row compiles to a few vector stores; std::fill_n
// becomes a rep stos whose start-up cost dominated the build of small tasks.
std::uint32_t addTrieNode(DenseTable& dense) {
    std::size_t const node = dense.patternEndsAt.size();
    std::memcpy(dense.table.data() + node * symbolClasses, emptyRow, sizeof emptyRow);
    dense.patternEndsAt.push_back(0);
    return static_cast<std::uint32_t>(node);
}

// Builds the trie in the table itself: a non-zero entry is a child's node
// index (no node has the root as a child, so 0 means none).
void insertPattern(DenseTable& dense, std::string const& pattern) {
    std::uint32_t node = 0;
    for (unsigned char byte : pattern) {
        // A shorter pattern that is a prefix of this one always completes
        // first, so the scan can never get further along this one.
        if (dense.patternEndsAt[node] != 0) return;
        std::uint8_t const symbol = symbolClassOf[byte];
        dense.usedSymbols |= std::uint32_t{1} << symbol;
        std::size_t const entry = std::size_t{node} * symbolClasses + symbol;
        if (dense.table[entry] == 0) {
            std::uint32_t const child = addTrieNode(dense);
            dense.table[entry] = child;
        }
        node = dense.table[entry];
    }
    dense.patternEndsAt[node] = 1;
}

// Entry for a trie child whose suffix-link state has the table entry
// `suffixEntry`: the child completes an occurrence if a pattern ends there or
// at its suffix-link state; otherwise it gets a row, filled when it leaves the
// queue.
std::uint32_t enterChild(DenseTable& dense, std::uint32_t child, std::uint32_t suffixEntry) {
    if (dense.patternEndsAt[child] != 0 || suffixEntry == completesOccurrence) {
        return completesOccurrence;
    }
    dense.fallback[child] = suffixEntry;
    dense.queue.push_back(child);
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
void linkStates(DenseTable& dense) {
    dense.fallback.resize(dense.patternEndsAt.size());
    dense.queue.clear();
    std::uint32_t* const table = dense.table.data();
    std::uint32_t const used = dense.usedSymbols;
    for (std::uint32_t rest = used; rest != 0; rest &= rest - 1) {
        int const symbol = std::countr_zero(rest);
        if (table[symbol] != 0) table[symbol] = enterChild(dense, table[symbol], 0);
    }
    table[terminatorClass] = endsMessage;
    for (std::size_t head = 0; head < dense.queue.size(); ++head) {
        std::uint32_t const node = dense.queue[head];
        std::uint32_t* const row = table + std::size_t{node} * symbolClasses;
        std::uint32_t const* const suffixRow = table + dense.fallback[node];
        for (std::uint32_t rest = used; rest != 0; rest &= rest - 1) {
            int const symbol = std::countr_zero(rest);
            std::uint32_t const child = row[symbol];
            row[symbol] = child == 0 ? suffixRow[symbol] : enterChild(dense, child, suffixRow[symbol]);
        }
        row[terminatorClass] = endsMessage;
    }
}

}  // namespace

void buildDenseTable(DenseTable& dense, std::vector<std::string> const& patterns, std::size_t symbols) {
    // A trie has at most one node per pattern symbol besides the start state.
    std::size_t const rows = symbols + 1;
    if (dense.table.size() < rows * symbolClasses) {
        dense.table = std::vector<std::uint32_t>();  // never old and new at once
        dense.table.resize(rows * symbolClasses);
    }
    dense.patternEndsAt.clear();
    dense.patternEndsAt.reserve(rows);
    addTrieNode(dense);  // the start state
    dense.usedSymbols = 0;
    for (std::string const& pattern : patterns) {
        if (canComplete(pattern)) insertPattern(dense, pattern);
    }
    linkStates(dense);
}

std::uint32_t rowAfter(DenseTable const& dense, char const* bytes, std::size_t length) {
    std::uint32_t row = 0;
    for (std::size_t k = 0; k < length; ++k) {
        row = dense.table[row + symbolClassOf[static_cast<unsigned char>(bytes[k])]];
    }
    return row;
}
