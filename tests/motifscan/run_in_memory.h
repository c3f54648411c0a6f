#pragma once

#include "driver.h"
#include "input.h"
#include "output.h"

#include <cstddef>
#include <memory>
#include <string>

// What the whole program does with an input, run in-process from memory.
struct RunResult {
    bool finished = false;  // runMotifscan's verdict
    std::string output;     // everything written, including what came before a failure
    std::string error;      // the input's error string when it did not finish
};

inline RunResult runInMemory(std::string const& input, std::size_t capacity = defaultInputCapacity,
                             ScanChoice engine = ScanChoice::fastest) {
    Input in = inputFromMemory(input, capacity);
    auto out = std::make_unique<Output>();  // its block is too big for the stack
    RunResult result;
    out->sink = &result.output;
    result.finished = runMotifscan(in, *out, nullptr, engine);
    flush(*out);
    result.error = in.error;
    return result;
}

// Bytes of `in` consumed so far, out of the `total` it was created with.
// Every engine, for tests that run the whole program with each.
inline constexpr ScanChoice everyEngine[] = {ScanChoice::fastest,    ScanChoice::bitParallel,
                                             ScanChoice::endFilter,  ScanChoice::wideBitParallel,
                                             ScanChoice::denseTable, ScanChoice::compact};

inline std::size_t consumedBytes(Input const& in, std::size_t total) {
    return total - in.memoryLeft - static_cast<std::size_t>(in.end - in.pos);
}
