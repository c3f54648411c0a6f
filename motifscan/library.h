#pragma once

#include "automaton.h"

#include <motifscan/motifscan.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace motifscan {

// What a Patterns holds. Allocated once and never moved, so that the
// automaton's pointers into the patterns stay valid.
struct Patterns::Compiled {
    std::vector<std::string> patterns;  // the callers' bytes, copied
    std::size_t longest = 0;            // of the patterns that can complete
    automaton machine;                  // only read after the build
};

// The tests' door: Patterns compiled for the engine they choose, and a
// Counter's filter tuned so that its hand-overs come every few bytes.
struct PatternsAccess {
    static Patterns compile(std::span<std::string_view const> patterns, scanChoice choice);
    static void tune(Counter& counter, filterTuning const& tuning);
};

}  // namespace motifscan
