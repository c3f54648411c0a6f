// Every byte value in every position of a small input, in-process: the run
// ends with every answer or with a one-line error, never anything else. The
// sanitizer build turns any memory or undefined-behaviour fault into a failure.

#include "input.h"
#include "output.h"
#include "probe.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace gemprobe;

namespace {

TEST(Robustness, EveryByteValueInEveryPosition) {
    std::string const inputText =
        "2\n4\n3 0 0 0 1 0 0 0 1 0\n3 0 0 0 0 1 0 0 0 1\n3 0 0 0 0 0 1 1 0 0\n"
        "3 1 0 0 0 1 0 0 0 1\n2\n0.1 0.1 0.1\n1 1 1\n0\n1\n-1e3 0x1p2 inf\n";
    auto out = std::make_unique<output>();
    std::string output;
    out->sink = &output;
    for (std::size_t position = 0; position < inputText.size(); ++position) {
        for (int byte = 0; byte < 256; ++byte) {
            std::string changed = inputText;
            changed[position] = static_cast<char>(byte);
            output.clear();
            input in = inputFromMemory(changed, 1 + (position + byte) % 3 * 100);
            bool const finished = runGemprobe(in, *out);
            flush(*out);
            if (finished) continue;
            ASSERT_FALSE(in.error.empty()) << position << ' ' << byte;
            ASSERT_EQ(in.error.find('\n'), std::string::npos) << in.error;
            ASSERT_EQ(in.error.rfind("line ", 0), 0u) << in.error;
        }
    }
}

}  // namespace
