#include "automaton.h"

void buildAutomaton(Automaton& automaton, std::vector<std::string> const& patterns, ScanChoice choice) {
    std::size_t symbols = 0;
    for (std::string const& pattern : patterns) {
        if (canComplete(pattern)) symbols += pattern.size();
    }
    auto const allows = [choice](ScanChoice engine) {
        return choice == ScanChoice::fastest || choice <= engine;
    };
    if (allows(ScanChoice::bitParallel) && symbols <= maxBitParallelSymbols &&
        layOutBits(automaton.bits, patterns)) {
        automaton.engine = Engine::bitParallel;
    } else if (allows(ScanChoice::wideBitParallel) && symbols <= maxWideSymbols &&
               layOutWideBits(automaton.wideBits, patterns)) {
        automaton.engine = Engine::wideBitParallel;
    } else if (allows(ScanChoice::denseTable) && symbols <= maxDenseSymbols) {
        automaton.engine = Engine::denseTable;
        buildDenseTable(automaton.dense, patterns, symbols);
    } else {
        automaton.engine = Engine::compact;
        buildCompactAutomaton(automaton.compact, patterns);
    }
}
