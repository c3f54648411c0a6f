#pragma once

#include "input.h"
#include "output.h"
#include "probe.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// What the whole program does with an input, run in-process from memory.
struct RunResult {
    bool finished = false;  // runGemprobe's verdict
    std::string output;     // everything written, including what came before a failure
    std::string error;      // the input's error string when it did not finish
};

// The ways of judging a many-point block: one thread, or split between two
// on every block (whatever its size, so that small test inputs split too).
constexpr std::size_t oneThread = SIZE_MAX;
constexpr std::size_t splitEveryBlock = 0;
constexpr std::size_t everyPointEngine[] = {oneThread, splitEveryBlock};

inline RunResult runInMemory(std::string_view input, std::size_t capacity = defaultInputCapacity,
                             std::size_t splitFrom = oneThread) {
    Input in = inputFromMemory(input, capacity);
    auto out = std::make_unique<Output>();  // its block is too big for the stack
    RunResult result;
    out->sink = &result.output;
    result.finished = runGemprobe(in, *out, splitFrom);
    flush(*out);
    result.error = in.error;
    return result;
}
