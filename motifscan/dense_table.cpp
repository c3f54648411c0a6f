#include "dense_table.h"

#include <algorithm>
#include <bit>
#include <new>

namespace motifscan {

namespace {

// A column per message symbol that some pattern holds, in symbol order, then
// one for the other message symbols (when there are any), then the end of the
// message.
void assignClasses(denseTable& dense, std::vector<std::string> const& patterns) {
    std::uint32_t used = 0;
    for (std::uint32_t const index : dense.order) {
        std::string const& pattern = patterns[index];
        for (unsigned char const byte : pattern) used |= std::uint32_t{1} << symbolClassOf[byte];
    }
    auto const distinct = static_cast<std::uint32_t>(std::popcount(used));
    bool const others = distinct < messageSymbols;
    dense.width = distinct + (others ? 1 : 0) + 1;
    std::uint8_t column[symbolClasses];
    std::uint8_t next = 0;
    for (int symbol = 0; symbol < messageSymbols; ++symbol) {
        column[symbol] = (used >> symbol & 1) != 0 ? next++ : static_cast<std::uint8_t>(distinct);
    }
    column[terminatorClass] = static_cast<std::uint8_t>(dense.width - 1);
    for (int byte = 0; byte < 256; ++byte) dense.classOf[byte] = column[symbolClassOf[byte]];
}

std::uint32_t edgeWord(std::uint32_t symbol, std::uint32_t target) {
    return symbol << edgeShift | (target == completesOccurrence ? edgeCompletes : target);
}

struct builder {
    denseTable& dense;
    std::vector<std::string> const& patterns;
    std::uint32_t maxDenseRows = 1;
    std::uint32_t states = 0;

    std::uint32_t idOf(std::uint32_t index) const {
        return index < maxDenseRows ? index * dense.width : dense.denseEnd + 2 * (index - maxDenseRows);
    }

    std::uint32_t newState() {
        std::uint32_t const index = states;
        if (index < maxDenseRows) {
            dense.rows.resize(std::size_t{index + 1} * dense.width);
        } else {
            std::size_t const words = 2 * std::size_t{index - maxDenseRows + 1};
            if (dense.denseEnd + words >= edgeCompletes) throw std::bad_alloc();
            dense.sparse.resize(words);
        }
        ++states;
        return idOf(index);
    }

    unsigned char byteAt(std::uint32_t slot, std::uint32_t depth) const {
        return static_cast<unsigned char>(patterns[dense.order[slot]][depth]);
    }

    // The child of the node with suffix link `link` on `symbol`, whose patterns
    // are order[lo..hi): a new state, or the marker when a pattern ends there
    // or at its own suffix link.
    std::uint32_t child(std::uint32_t link, bool root, std::uint32_t symbol, std::uint32_t lo,
                        std::uint32_t hi, bool ends) {
        std::uint32_t const childLink = root ? 0 : stepDense(dense, link, symbol);
        if (ends || childLink == completesOccurrence) return completesOccurrence;
        dense.nextLevel.push_back({lo, hi, childLink});
        return newState();
    }

    // Makes the children of the node at `depth` (its patterns differ or end
    // there, or it has just one) and writes its row or its sparse words.
    void expand(denseTable::pending const& node, std::uint32_t id, std::uint32_t depth) {
        bool const root = depth == 0;
        std::uint32_t edgeSymbols[symbolClasses];
        std::uint32_t edgeTargets[symbolClasses];
        std::uint32_t edges = 0;
        if (node.hi - node.lo == 1) {
            std::uint32_t const symbol = dense.classOf[byteAt(node.lo, depth)];
            bool const ends = patterns[dense.order[node.lo]].size() == depth + 1;
            edgeSymbols[0] = symbol;
            edgeTargets[0] = child(node.link, root, symbol, node.lo, node.hi, ends);
            edges = 1;
        } else {
            // One pass of a radix sort on the byte at `depth`.
            std::uint32_t start[symbolClasses + 1] = {};
            for (std::uint32_t slot = node.lo; slot < node.hi; ++slot) {
                ++start[dense.classOf[byteAt(slot, depth)] + 1];
            }
            start[0] = node.lo;
            for (std::uint32_t symbol = 0; symbol < dense.width; ++symbol) start[symbol + 1] += start[symbol];
            std::uint32_t next[symbolClasses];
            bool ends[symbolClasses] = {};
            std::copy_n(start, dense.width, next);
            std::uint32_t* const order = dense.order.data();
            for (std::uint32_t slot = node.lo; slot < node.hi; ++slot) {
                std::uint32_t const pattern = order[slot];
                std::uint32_t const symbol = dense.classOf[byteAt(slot, depth)];
                ends[symbol] = ends[symbol] || patterns[pattern].size() == depth + 1;
                dense.scratch[next[symbol]++] = pattern;
            }
            std::copy(dense.scratch.begin() + node.lo, dense.scratch.begin() + node.hi, order + node.lo);
            for (std::uint32_t symbol = 0; symbol < dense.width; ++symbol) {
                if (start[symbol + 1] == start[symbol]) continue;
                edgeSymbols[edges] = symbol;
                edgeTargets[edges++] =
                    child(node.link, root, symbol, start[symbol], start[symbol + 1], ends[symbol]);
            }
        }
        if (id < dense.denseEnd) {
            std::uint32_t* const row = dense.rows.data() + id;
            if (root) {
                std::fill_n(row, dense.width, 0);
                row[dense.width - 1] = endsMessage;
            } else {
                // The suffix link is shallower, so its row is final.
                std::copy_n(dense.rows.data() + node.link, dense.width, row);
            }
            for (std::uint32_t edge = 0; edge < edges; ++edge) row[edgeSymbols[edge]] = edgeTargets[edge];
            return;
        }
        std::uint32_t* const words = dense.sparse.data() + (id - dense.denseEnd);
        words[0] = node.link | edges << edgeShift;
        if (edges == 1) {
            words[1] = edgeWord(edgeSymbols[0], edgeTargets[0]);
            return;
        }
        words[1] = static_cast<std::uint32_t>(dense.edges.size());
        for (std::uint32_t edge = 0; edge < edges; ++edge) {
            dense.edges.push_back(edgeWord(edgeSymbols[edge], edgeTargets[edge]));
        }
    }
};

}  // namespace

void buildDenseTable(denseTable& dense, std::vector<std::string> const& patterns, std::size_t symbols) {
    dense.order.clear();
    for (std::size_t index = 0; index < patterns.size(); ++index) {
        // Depths and pattern indices are 32-bit.
        if (patterns[index].size() >= completesOccurrence) throw std::bad_alloc();
        if (canComplete(patterns[index])) dense.order.push_back(static_cast<std::uint32_t>(index));
    }
    assignClasses(dense, patterns);
    dense.scratch.resize(dense.order.size());
    dense.rows.clear();
    dense.sparse.clear();
    dense.edges.clear();

    builder levels{dense, patterns};
    std::size_t const rowBytes = std::size_t{dense.width} * sizeof(std::uint32_t);
    // Dense ids must fit below the sparse words' target bits too.
    std::size_t const budget = std::min(dense.denseBudget, std::size_t{1} << 28);
    levels.maxDenseRows = static_cast<std::uint32_t>(std::max<std::size_t>(1, budget / rowBytes));
    dense.denseEnd = levels.maxDenseRows * dense.width;
    // A trie has at most one state per pattern symbol besides the start, so
    // nothing is moved while it grows; memory not reached is never touched.
    std::size_t const states = symbols + 1;
    dense.rows.reserve(std::min<std::size_t>(states, levels.maxDenseRows) * dense.width);
    if (states > levels.maxDenseRows) dense.sparse.reserve(2 * (states - levels.maxDenseRows));

    dense.level.clear();
    dense.level.push_back({0, static_cast<std::uint32_t>(dense.order.size()), 0});
    std::uint32_t levelFirst = levels.states;
    levels.newState();
    // Breadth first, a level at a time: every suffix link is shallower than
    // its state, so its row or words are final when the state needs them.
    for (std::uint32_t depth = 0; !dense.level.empty(); ++depth) {
        dense.nextLevel.clear();
        std::uint32_t const nextFirst = levels.states;
        for (std::size_t k = 0; k < dense.level.size(); ++k) {
            denseTable::pending const node = dense.level[k];
            if (node.hi > node.lo) {
                levels.expand(node, levels.idOf(levelFirst + static_cast<std::uint32_t>(k)), depth);
            } else {  // the start state of a task with no patterns
                std::fill_n(dense.rows.data(), dense.width, 0);
                dense.rows[dense.width - 1] = endsMessage;
            }
        }
        std::swap(dense.level, dense.nextLevel);
        levelFirst = nextFirst;
    }
}

std::uint32_t rowAfter(denseTable const& dense, char const* bytes, std::size_t length) {
    std::uint32_t state = 0;
    for (std::size_t k = 0; k < length; ++k) {
        state = stepDense(dense, state, dense.classOf[static_cast<unsigned char>(bytes[k])]);
    }
    return state;
}

}  // namespace motifscan
