// libFuzzer target: motifscan's whole input handling, from a byte buffer,
// through the reader the program uses. Besides crashes and sanitizer reports
// it checks that
//  - a run ends with every count or with a one-line error, and prints nothing
//    but decimal counts, one per line;
//  - the size of the read buffer changes nothing, and neither does the engine;
//  - on input it can process, the counts equal the literal program's, which
//    reads the same bytes through scanf, std::getline and getchar on the
//    process's standard input.

#include "fuzz_checks.h"
#include "reference_model.h"
#include "run_in_memory.h"

#include <sys/mman.h>
#include <unistd.h>
#include <cstdint>
#include <iostream>

namespace {

// The literal program reads the process's standard input: point it at a
// memory file holding the input.
std::string runReference(std::string const& input) {
    static int const file = memfd_create("motifscan-fuzz-input", 0);
    if (file < 0 || ftruncate(file, 0) != 0 ||
        pwrite(file, input.data(), input.size(), 0) != static_cast<ssize_t>(input.size())) {
        std::abort();
    }
    std::string const path = "/proc/self/fd/" + std::to_string(file);
    if (std::freopen(path.c_str(), "r", stdin) == nullptr) std::abort();
    std::cin.clear();
    char* buffer = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&buffer, &length);
    if (out == nullptr) std::abort();
    int const taskWhereInputEnds = referenceMotifscan(out);
    std::fclose(out);
    std::string result(buffer, length);
    std::free(buffer);
    if (taskWhereInputEnds != 0) fail("the literal program saw the input end early", result);
    return result;
}

bool isCount(std::string_view line) {
    return !line.empty() && line.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    std::string const input(reinterpret_cast<char const*>(data), size);
    RunResult const run = runInMemory(input);
    checkSameRun(run, runInMemory(input, 1 + size % 5));
    for (scanChoice engine : everyEngine) checkSameRun(run, runInMemory(input, 1 + size % 7, engine));
    checkAnswerLines(run.output, isCount);
    if (!run.finished) {
        checkErrorLine(run.error);
        return 0;
    }
    std::string const expected = runReference(input);
    if (run.output != expected) fail("counts differ from the literal program's", expected);
    return 0;
}
