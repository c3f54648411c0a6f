#include "automaton.h"

namespace {

Engine engineOf(ScanChoice choice) {
    switch (choice) {
        case ScanChoice::bitParallel:
            return Engine::bitParallel;
        case ScanChoice::endFilter:
            return Engine::endFilter;
        case ScanChoice::wideBitParallel:
            return Engine::wideBitParallel;
        case ScanChoice::denseTable:
            return Engine::denseTable;
        case ScanChoice::fastest:
        case ScanChoice::compact:
            break;
    }
    return Engine::compact;
}

// Builds the engine asked for if it can take the patterns.
bool tryEngine(Automaton& automaton, Engine engine, std::vector<std::string> const& patterns,
               PatternSizes const& sizes, double maxShare) {
    std::size_t const symbols = sizes.symbols;
    switch (engine) {
        case Engine::bitParallel:
            if (symbols > maxBitParallelSymbols || !layOutBits(automaton.bits, patterns)) return false;
            break;
        case Engine::endFilter:
            if (!buildEndFilter(automaton.filter, patterns, sizes, maxShare)) return false;
            break;
        case Engine::wideBitParallel:
            if (symbols > maxWideSymbols || !layOutWideBits(automaton.wideBits, patterns)) return false;
            break;
        case Engine::denseTable:
            if (symbols > maxDenseSymbols) return false;
            buildDenseTable(automaton.dense, patterns, symbols);
            break;
        case Engine::compact:
            buildCompactAutomaton(automaton.compact, patterns);
            // Hand over to the dense table where it may be built, unless the
            // tests asked for the compact automaton itself.
            if (symbols <= maxDenseSymbols && maxShare < 1.0) {
                automaton.compact.budget = denseAfterBytesPerSymbol * symbols;
            }
            break;
    }
    automaton.engine = engine;
    return true;
}

}  // namespace

void buildAutomaton(Automaton& automaton, std::vector<std::string> const& patterns, ScanChoice choice) {
    PatternSizes const sizes = measurePatterns(patterns);
    automaton.patterns = &patterns;
    automaton.symbols = sizes.symbols;
    if (choice != ScanChoice::fastest) {
        // The tests' choice: that engine wherever it can work at all.
        if (tryEngine(automaton, engineOf(choice), patterns, sizes, 1.0)) return;
    }
    for (Engine engine : {Engine::endFilter, Engine::bitParallel, Engine::wideBitParallel, Engine::compact}) {
        if (tryEngine(automaton, engine, patterns, sizes, maxCandidateShare)) return;
    }
}

int podciagDenseAfterCompact(Input& in, Automaton& automaton) {
    buildDenseTable(automaton.dense, *automaton.patterns, automaton.symbols);
    automaton.engine = Engine::denseTable;
    CompactState const state = automaton.compact.handedOver;
    std::uint32_t const row = rowAfter(automaton.dense, textOf(automaton.compact, state), state.depth);
    return podciagDenseTable(in, automaton.dense, row);
}
