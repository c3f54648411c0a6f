#include "compact_automaton.h"

#include <bit>
#include <new>

namespace motifscan {

namespace {

compactState withoutFlag(compactState state) { return {state.node, state.depth & ~completesBit}; }

// Finds where the node's chain ends: the first depth at which one of its
// patterns ends (the node is then terminal) or two of them differ.
void resolve(compactAutomaton& compact, std::uint32_t id) {
    compactNode& node = compact.nodes[id];
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
void expand(compactAutomaton& compact, std::uint32_t id) {
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
        compactNode& child = compact.nodes.emplace_back();
        child.lo = start[symbol];
        child.hi = start[symbol + 1];
        child.first = depth + 1;
        child.parent = id;
        child.text = compact.text[order[child.lo]];
    }
    compactNode& node = compact.nodes[id];
    node.childMask = mask;
    node.firstChild = firstChild;
    node.expanded = true;
}

// The trie child of `state` on `byte`, if there is one.
bool childOf(compactAutomaton& compact, compactState state, unsigned char byte, compactState& child) {
    compactNode const& node = compact.nodes[state.node];
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

bool linkKnown(compactAutomaton const& compact, compactState state) {
    compactNode const& node = compact.nodes[state.node];
    return state.depth - node.first < node.suffix.size();
}

// With the completion flag.
compactState knownLink(compactAutomaton const& compact, compactState state) {
    compactNode const& node = compact.nodes[state.node];
    return node.suffix[state.depth - node.first];
}

// Computes the suffix links of the node's states in depth order, up to depth
// `upTo`, as far as the links they need are known: the link of the state
// after symbol c is the state reached from the link of its parent on c,
// falling back along links. Returns false at the first link it needs that is
// not known, in `missing`: always a shallower state than the one it was
// computing, so the caller can settle that one first and try again.
bool extendSuffixes(compactAutomaton& compact, std::uint32_t id, std::uint32_t upTo, compactState& missing) {
    compactNode& node = compact.nodes[id];  // nodes never move
    if (node.suffix.empty()) node.suffix.reserve(node.last - node.first + 1);
    for (auto depth = static_cast<std::uint32_t>(node.first + node.suffix.size()); depth <= upTo; ++depth) {
        compactState link;  // the start state
        if (depth > 1) {
            compactState const parent =
                depth == node.first ? compactState{node.parent, depth - 1} : compactState{id, depth - 1};
            if (!linkKnown(compact, parent)) {
                missing = parent;
                return false;
            }
            auto const byte = static_cast<unsigned char>(node.text[depth - 1]);
            compactState fallback = withoutFlag(knownLink(compact, parent));
            while (!childOf(compact, fallback, byte, link)) {
                if (fallback.depth == 0) {
                    link = fallback;
                    break;
                }
                if (!linkKnown(compact, fallback)) {
                    missing = fallback;
                    return false;
                }
                fallback = withoutFlag(knownLink(compact, fallback));
            }
            compactNode const& linked = compact.nodes[link.node];
            bool completes = linked.terminal && link.depth == linked.last;
            if (!completes && link.depth > 0) {
                if (!linkKnown(compact, link)) {
                    missing = link;
                    return false;
                }
                completes = (knownLink(compact, link).depth & completesBit) != 0;
            }
            if (completes) link.depth |= completesBit;
        }
        node.suffix.push_back(link);
    }
    return true;
}

// Makes the suffix link of a state (depth 1 or more) known, and the links it
// needs before it, with a stack of its own: the chain of links needed can be
// as deep as the longest pattern.
void ensureSuffix(compactAutomaton& compact, compactState state) {
    if (linkKnown(compact, state)) return;
    std::vector<compactState>& pending = compact.pending;
    pending.clear();
    pending.push_back(state);
    while (!pending.empty()) {
        compactState const top = pending.back();
        compactState missing;
        if (linkKnown(compact, top) || extendSuffixes(compact, top.node, top.depth, missing)) {
            pending.pop_back();
        } else {
            pending.push_back(missing);
        }
    }
}

compactState suffixLink(compactAutomaton& compact, compactState state) {
    ensureSuffix(compact, state);
    return withoutFlag(knownLink(compact, state));
}

bool reachingCompletes(compactAutomaton& compact, compactState state) {
    compactNode const& node = compact.nodes[state.node];
    if (node.terminal && state.depth == node.last) return true;
    if (state.depth == 0) return false;
    ensureSuffix(compact, state);
    return (knownLink(compact, state).depth & completesBit) != 0;
}

// The state reached from `state` on `byte`: its child, or its suffix link's,
// and so on down to the start state.
compactState follow(compactAutomaton& compact, compactState state, unsigned char byte) {
    for (;;) {
        compactState child;
        if (childOf(compact, state, byte, child)) return child;
        if (state.depth == 0) return state;
        state = suffixLink(compact, state);
    }
}

}  // namespace

void buildCompactAutomaton(compactAutomaton& compact, std::vector<std::string> const& patterns) {
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
    compactNode& root = compact.nodes.emplace_back();
    root.hi = static_cast<std::uint32_t>(compact.order.size());
    root.text = compact.order.empty() ? "" : compact.text[0];
    resolve(compact, 0);
    compact.single = singlePattern();
    if (root.terminal) {
        compact.single.text = root.text;
        compact.single.length = root.last;
        // Depth 0 needs no entry; depth 1 falls back to the start. The rest
        // is reserved once, so it never moves while it grows.
        compact.single.failure.reserve(root.last);
        compact.single.failure.assign(2, 0);
    }
}

void extendFailure(singlePattern& single, std::uint32_t depth) {
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

compactState stepCompact(compactAutomaton& compact, compactState state, unsigned char byte, bool& completes) {
    compactNode const& node = compact.nodes[state.node];
    compactState next;
    if (state.depth < node.last && static_cast<unsigned char>(node.text[state.depth]) == byte) {
        next = {state.node, state.depth + 1};
    } else {
        next = follow(compact, state, byte);
    }
    completes = reachingCompletes(compact, next);
    return next;
}

}  // namespace motifscan
