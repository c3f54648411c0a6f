#pragma once

#include "input.h"
#include "output.h"
#include "probe.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// What the whole program does with an input, run in-process from memory.
struct RunResult {
    bool finished = false;  // runGemprobe's verdict
    std::string output;     // everything written, including what came before a failure
    std::string error;      // the input's error string when it did not finish
};

inline RunResult runInMemory(std::string_view input, std::size_t capacity = gemprobe::defaultInputCapacity) {
    gemprobe::input in = gemprobe::inputFromMemory(input, capacity);
    auto out = std::make_unique<gemprobe::output>();  // its block is too big for the stack
    RunResult result;
    out->sink = &result.output;
    result.finished = gemprobe::runGemprobe(in, *out);
    flush(*out);
    result.error = in.error;
    return result;
}
