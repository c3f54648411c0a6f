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

// The ways of judging many points: one thread; every block split between
// two (whatever its size, so that small test inputs split too); or every
// section in a pipeline of small blocks (the halves still take a section
// whose lines do not hold whole points).
struct threadMode {
    std::size_t splitFrom;
    std::size_t pipelineBlock;
};
constexpr threadMode oneThread{SIZE_MAX, 0};
constexpr threadMode splitEveryBlock{0, 0};
constexpr threadMode pipelineEveryBlock{0, 53};
constexpr threadMode everyPointEngine[] = {oneThread, splitEveryBlock, pipelineEveryBlock};

inline RunResult runInMemory(std::string_view input, std::size_t capacity = defaultInputCapacity,
                             threadMode mode = oneThread) {
    Input in = inputFromMemory(input, capacity);
    auto out = std::make_unique<Output>();  // its block is too big for the stack
    RunResult result;
    out->sink = &result.output;
    result.finished = runGemprobe(in, *out, mode.splitFrom, mode.pipelineBlock);
    flush(*out);
    result.error = in.error;
    return result;
}
