// libFuzzer target: gemprobe's whole input handling, from a byte buffer,
// through the reader the program uses. Besides crashes and sanitizer reports
// it checks that
//  - a run ends with every answer or with a one-line error, and prints
//    nothing but verdict lines and empty lines;
//  - the size of the read buffer changes nothing (a small buffer makes
//    tokens straddle refills);
//  - on input it can process, the answers equal the literal program's.

#include "fuzz_checks.h"
#include "reference_model.h"
#include "run_in_memory.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    std::string_view const input(reinterpret_cast<char const*>(data), size);
    RunResult const run = runInMemory(input);
    checkSameRun(run, runInMemory(input, 1 + size % 5));
    checkSameRun(run, runInMemory(input, 16 + size % 200));
    checkAnswerLines(run.output,
                     [](std::string_view line) { return line == "TAK" || line == "NIE" || line.empty(); });
    if (!run.finished) {
        checkErrorLine(run.error);
        return 0;
    }
    std::string const expected = referenceOutput(input);
    if (run.output != expected) fail("answers differ from the literal program's", expected);
    return 0;
}
