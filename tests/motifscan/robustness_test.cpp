// Every byte value in every position of a small input, in-process: the run
// ends with every count or with a one-line error, never anything else. The
// sanitizer build turns any memory or undefined-behaviour fault into a failure.

#include "run_in_memory.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MotifscanRobustness, EveryByteValueInEveryPosition) {
    std::string const input = "3\n2\nAB\nBC\nABCAB\n3\nA*\nB\nAA\n*ABBA*AAA\n0\n\nABABAB\n";
    for (std::size_t position = 0; position < input.size(); ++position) {
        for (int byte = 0; byte < 256; ++byte) {
            std::string changed = input;
            changed[position] = static_cast<char>(byte);
            RunResult const run = runInMemory(changed, 1 + (position + byte) % 3 * 100);
            if (run.finished) continue;
            ASSERT_FALSE(run.error.empty()) << position << ' ' << byte;
            ASSERT_EQ(run.error.find('\n'), std::string::npos) << run.error;
            ASSERT_EQ(run.error.rfind("line ", 0), 0u) << run.error;
        }
    }
}

}  // namespace
