#include "automaton.h"

namespace motifscan {

namespace {

engine engineOf(scanChoice choice) {
    switch (choice) {
        case scanChoice::bitParallel:
            return engine::bitParallel;
        case scanChoice::endFilter:
            return engine::endFilter;
        case scanChoice::wideBitParallel:
            return engine::wideBitParallel;
        case scanChoice::denseTable:
        case scanChoice::sparseTable:
            return engine::denseTable;
        case scanChoice::fastest:
        case scanChoice::compact:
            break;
    }
    return engine::compact;
}

// Builds the engine wanted if it can take the patterns.
bool tryEngine(automaton& machine, engine wanted, std::vector<std::string> const& patterns,
               patternSizes const& sizes, double maxShare) {
    std::size_t const symbols = sizes.symbols;
    switch (wanted) {
        case engine::bitParallel:
            if (symbols > maxBitParallelSymbols || !layOutBits(machine.bits, patterns)) return false;
            break;
        case engine::endFilter:
            if (!buildEndFilter(machine.filter, patterns, sizes, maxShare)) return false;
            break;
        case engine::wideBitParallel:
            if (symbols > maxWideSymbols || !layOutWideBits(machine.wideBits, patterns)) return false;
            break;
        case engine::denseTable:
            buildDenseTable(machine.dense, patterns, symbols);
            break;
        case engine::compact:
            // Hand over to the dense table where it may be built, unless the
            // tests asked for the compact automaton itself.
            machine.compactBudget = UINT64_MAX;
            if (symbols <= maxDenseSymbols && maxShare < 1.0) {
                machine.compactBudget =
                    std::min<std::uint64_t>(symbols / symbolsPerCompactByte, maxCompactBytes);
            }
            break;
    }
    machine.startEngine = wanted;
    return true;
}

}  // namespace

void buildAutomaton(automaton& machine, std::vector<std::string> const& patterns, scanChoice choice) {
    patternSizes const sizes = measurePatterns(patterns);
    machine.patterns = &patterns;
    machine.dense.denseBudget = choice == scanChoice::sparseTable ? 0 : defaultDenseBudget;
    machine.symbols = sizes.symbols;
    if (choice != scanChoice::fastest) {
        // The tests' choice: that engine wherever it can work at all.
        if (tryEngine(machine, engineOf(choice), patterns, sizes, 1.0)) return;
    }
    for (engine candidate :
         {engine::endFilter, engine::bitParallel, engine::wideBitParallel, engine::compact}) {
        if (tryEngine(machine, candidate, patterns, sizes, maxCandidateShare)) return;
    }
}

void startCompactScan(automatonScan& scan, automaton const& machine) {
    buildCompactAutomaton(scan.compact, *machine.patterns);
    scan.compact.budget = machine.compactBudget;
}

int podciagDenseAfterCompact(input& in, automaton const& machine, automatonScan& scan) {
    // The handed-over state's text lies in a pattern, not in the automaton.
    compactState const handedOver = scan.compact.handedOver;
    char const* const text = textOf(scan.compact, handedOver);
    // Long messages come with large sets too: what the compact automaton
    // learnt goes before the table is built.
    scan.compact = compactAutomaton();
    scan.lateTable.denseBudget = machine.dense.denseBudget;
    buildDenseTable(scan.lateTable, *machine.patterns, machine.symbols);
    scan.running = engine::denseTable;
    scan.table = &scan.lateTable;
    return podciagDenseTable(in, scan.lateTable, rowAfter(scan.lateTable, text, handedOver.depth));
}

}  // namespace motifscan
