#include "compact_automaton.h"

#include <bit>
#include <new>

namespace {

CompactState withoutFlag(CompactState state) { return {state.node, state.depth & ~completesBit}; }

// Finds where the node's chain ends: the first depth at which one of its
// patterns ends (the node is then terminal) or two of them differ.
void resolve(CompactAutomaton& compact, std::uint32_t id) {
    CompactNode& node = compact.nodes[id];
    node.resolved = true;
    std::uint32_t const* const order = compact.order.data();
    if (node.hi == node.lo) {  // no patterns at all: the start state alone
        node.last = node.first;
        node.expanded = true;
        return;
    }
    if (node.hi - node.lo == 1) {
        node.last = compact.length[order[node.lo]];
        node.terminal = true;
        return;
    }
    for (std::uint32_t depth = node.first;; ++depth) {
        bool ends = false;
        bool differ = false;
        for (std::uint32_t slot = node.lo; slot < node.hi; ++slot) {
            std::uint32_t const pattern = order[slot];
            if (compact.length[pattern] == depth) {
                ends = true;
                break;
            }
            differ = differ || compact.text[pattern][depth] != node.text[depth];
        }
        if (ends || differ) {
            node.last = depth;
            node.terminal = ends;
            return;
        }
    }
}

// Makes the node's children: one pass of a radix sort of its range on the
// symbol after its last state, one child per symbol present.
void expand(CompactAutomaton& compact, std::uint32_t id) {
    std::uint32_t const lo = compact.nodes[id].lo, hi = compact.nodes[id].hi;
    std::uint32_t const depth = compact.nodes[id].last;
    std::uint32_t* const order = compact.order.data();
    std::uint32_t* const scratch = compact.scratch.data();
    std::uint32_t start[messageSymbols + 1] = {};
    for (std::uint32_t slot = lo; slot < hi; ++slot) {
        ++start[symbolClassOf[static_cast<unsigned char>(compact.text[order[slot]][depth])] + 1];
    }
    start[0] = lo;
    for (int symbol = 0; symbol < messageSymbols; ++symbol) start[symbol + 1] += start[symbol];
    std::uint32_t next[messageSymbols];
    for (int symbol = 0; symbol < messageSymbols; ++symbol) next[symbol] = start[symbol];
    for (std::uint32_t slot = lo; slot < hi; ++slot) {
        std::uint32_t const pattern = order[slot];
        scratch[next[symbolClassOf[static_cast<unsigned char>(compact.text[pattern][depth])]]++] = pattern;
    }
    for (std::uint32_t slot = lo; slot < hi; ++slot) order[slot] = scratch[slot];

    std::uint32_t mask = 0;
    auto const firstChild = static_cast<std::uint32_t>(compact.nodes.size());
    for (int symbol = 0; symbol < messageSymbols; ++symbol) {
        if (start[symbol + 1] == start[symbol]) continue;
        mask |= std::uint32_t{1} << symbol;
        CompactNode& child = compact.nodes.emplace_back();
        child.lo = start[symbol];
        child.hi = start[symbol + 1];
        child.first = depth + 1;
        child.parent = id;
        child.text = compact.text[order[child.lo]];
    }
    CompactNode& node = compact.nodes[id];
    node.childMask = mask;
    node.firstChild = firstChild;
    node.expanded = true;
}

// The trie child of `state` on `byte`, if there is one.
bool childOf(CompactAutomaton& compact, CompactState state, unsigned char byte, CompactState& child) {
    CompactNode const& node = compact.nodes[state.node];
    if (state.depth < node.last) {
        if (static_cast<unsigned char>(node.text[state.depth]) != byte) return false;
        child = {state.node, state.depth + 1};
        return true;
    }
    if (node.terminal) return false;
    if (!node.expanded) expand(compact, state.node);
    std::uint32_t const mask = compact.nodes[state.node].childMask;
    std::uint32_t const symbol = symbolClassOf[byte];
    if ((mask >> symbol & 1) == 0) return false;
    std::uint32_t const id =
        compact.nodes[state.node].firstChild + std::popcount(mask & ((std::uint32_t{1} << symbol) - 1));
    if (!compact.nodes[id].resolved) resolve(compact, id);
    child = {id, state.depth + 1};
    return true;
}

void ensureSuffix(CompactAutomaton& compact, CompactState state);

CompactState suffixLink(CompactAutomaton& compact, CompactState state) {
    ensureSuffix(compact, state);
    CompactNode const& node = compact.nodes[state.node];
    return withoutFlag(node.suffix[state.depth - node.first]);
}

bool reachingCompletes(CompactAutomaton& compact, CompactState state) {
    CompactNode const& node = compact.nodes[state.node];
    if (node.terminal && state.depth == node.last) return true;
    if (state.depth == 0) return false;
    std::size_t const index = state.depth - node.first;
    if (index >= node.suffix.size()) ensureSuffix(compact, state);
    return (node.suffix[index].depth & completesBit) != 0;
}

// The state reached from `state` on `byte`: its child, or its suffix link's,
// and so on down to the start state.
CompactState follow(CompactAutomaton& compact, CompactState state, unsigned char byte) {
    for (;;) {
        CompactState child;
        if (childOf(compact, state, byte, child)) return child;
        if (state.depth == 0) return state;
        state = suffixLink(compact, state);
    }
}

// Computes the suffix links of the node's states in depth order, up to depth
// `upTo`. The links it needs belong to shallower states. Along a chain the
// link of one state mostly leads on to the next symbol of the link's own
// chain, as in the failure function of a single pattern; that case is tried
// first, without the general walk.
void extendSuffixes(CompactAutomaton& compact, std::uint32_t id, std::uint32_t upTo) {
    CompactNode& node = compact.nodes[id];  // nodes never move
    if (node.suffix.empty()) node.suffix.reserve(node.last - node.first + 1);
    auto depth = static_cast<std::uint32_t>(node.first + node.suffix.size());
    if (depth > upTo) return;
    CompactState parentLink;  // the start state
    if (depth > 1) {
        parentLink = suffixLink(compact, depth == node.first ? CompactState{node.parent, depth - 1}
                                                             : CompactState{id, depth - 1});
    }
    for (; depth <= upTo; ++depth) {
        CompactState link;  // the start state
        if (depth > 1) {
            auto const byte = static_cast<unsigned char>(node.text[depth - 1]);
            CompactNode const& linked = compact.nodes[parentLink.node];
            if (parentLink.depth < linked.last &&
                static_cast<unsigned char>(linked.text[parentLink.depth]) == byte) {
                link = {parentLink.node, parentLink.depth + 1};
            } else {
                link = follow(compact, parentLink, byte);
            }
            parentLink = link;
            if (reachingCompletes(compact, link)) link.depth |= completesBit;
        }
        node.suffix.push_back(link);
    }
}

void ensureSuffix(CompactAutomaton& compact, CompactState state) {
    CompactNode const& node = compact.nodes[state.node];
    if (state.depth - node.first < node.suffix.size()) return;
    if (node.suffix.empty() && state.node != 0) {
        // The first state's link needs the parent's last one: settle the
        // ancestors that lack it from the top down, without recursing.
        std::vector<std::uint32_t> pending;
        for (std::uint32_t up = node.parent;; up = compact.nodes[up].parent) {
            CompactNode const& ancestor = compact.nodes[up];
            if (ancestor.suffix.size() > ancestor.last - ancestor.first) break;
            pending.push_back(up);
            if (up == 0) break;
        }
        for (auto up = pending.rbegin(); up != pending.rend(); ++up) {
            extendSuffixes(compact, *up, compact.nodes[*up].last);
        }
    }
    extendSuffixes(compact, state.node, state.depth);
}

}  // namespace

void buildCompactAutomaton(CompactAutomaton& compact, std::vector<std::string> const& patterns) {
    compact.budget = UINT64_MAX;
    compact.text.clear();
    compact.length.clear();
    compact.order.clear();
    compact.nodes.clear();
    for (std::string const& pattern : patterns) {
        if (!canComplete(pattern)) continue;
        // Depths keep their top bit for the completion flag.
        if (pattern.size() >= completesBit) throw std::bad_alloc();
        compact.order.push_back(static_cast<std::uint32_t>(compact.text.size()));
        compact.text.push_back(pattern.data());
        compact.length.push_back(static_cast<std::uint32_t>(pattern.size()));
    }
    compact.scratch.resize(compact.order.size());
    // Every node with children has at least two, so the nodes never outgrow
    // this and are never moved.
    compact.nodes.reserve(2 * compact.order.size() + 1);
    CompactNode& root = compact.nodes.emplace_back();
    root.hi = static_cast<std::uint32_t>(compact.order.size());
    root.text = compact.order.empty() ? "" : compact.text[0];
    resolve(compact, 0);
    compact.single = SinglePattern();
    if (root.terminal) {
        compact.single.text = root.text;
        compact.single.length = root.last;
        // Depth 0 needs no entry; depth 1 falls back to the start. The rest
        // is reserved once, so it never moves while it grows.
        compact.single.failure.reserve(root.last);
        compact.single.failure.assign(2, 0);
    }
}

void extendFailure(SinglePattern& single, std::uint32_t depth) {
    char const* const text = single.text;
    std::vector<std::uint32_t>& failure = single.failure;
    for (auto k = static_cast<std::uint32_t>(failure.size()); k <= depth; ++k) {
        // The longest proper suffix of text[0, k) that is also its prefix.
        std::uint32_t fallback = failure[k - 1];
        while (fallback > 0 && text[fallback] != text[k - 1]) fallback = failure[fallback];
        if (k > 1 && text[fallback] == text[k - 1]) ++fallback;
        failure.push_back(fallback);
    }
}

CompactState stepCompact(CompactAutomaton& compact, CompactState state, unsigned char byte, bool& completes) {
    CompactNode const& node = compact.nodes[state.node];
    CompactState next;
    if (state.depth < node.last && static_cast<unsigned char>(node.text[state.depth]) == byte) {
        next = {state.node, state.depth + 1};
    } else {
        next = follow(compact, state, byte);
    }
    completes = reachingCompletes(compact, next);
    return next;
}
