#include "automaton.h"

namespace motifscan {

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
        case ScanChoice::sparseTable:
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
            buildDenseTable(automaton.dense, patterns, symbols);
            break;
        case Engine::compact:
            // Hand over to the dense table where it may be built, unless the
            // tests asked for the compact automaton itself.
            automaton.compactBudget = UINT64_MAX;
            if (symbols <= maxDenseSymbols && maxShare < 1.0) {
                automaton.compactBudget =
                    std::min<std::uint64_t>(symbols / symbolsPerCompactByte, maxCompactBytes);
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
    automaton.dense.denseBudget = choice == ScanChoice::sparseTable ? 0 : defaultDenseBudget;
    automaton.symbols = sizes.symbols;
    if (choice != ScanChoice::fastest) {
        // The tests' choice: that engine wherever it can work at all.
        if (tryEngine(automaton, engineOf(choice), patterns, sizes, 1.0)) return;
    }
    for (Engine engine : {Engine::endFilter, Engine::bitParallel, Engine::wideBitParallel, Engine::compact}) {
        if (tryEngine(automaton, engine, patterns, sizes, maxCandidateShare)) return;
    }
}

void startCompactScan(AutomatonScan& scan, Automaton const& automaton) {
    buildCompactAutomaton(scan.compact, *automaton.patterns);
    scan.compact.budget = automaton.compactBudget;
}

int podciagDenseAfterCompact(Input& in, Automaton const& automaton, AutomatonScan& scan) {
    // The handed-over state's text lies in a pattern, not in the automaton.
    CompactState const handedOver = scan.compact.handedOver;
    char const* const text = textOf(scan.compact, handedOver);
    // Long messages come with large sets too: what the compact automaton
    // learnt goes before the table is built.
    scan.compact = CompactAutomaton();
    scan.lateTable.denseBudget = automaton.dense.denseBudget;
    buildDenseTable(scan.lateTable, *automaton.patterns, automaton.symbols);
    scan.engine = Engine::denseTable;
    scan.table = &scan.lateTable;
    return podciagDenseTable(in, scan.lateTable, rowAfter(scan.lateTable, text, handedOver.depth));
}

}  // namespace motifscan
