// libFuzzer target: motifscan's whole input handling, from a byte buffer,
// through the reader the program uses. Besides crashes and sanitizer reports
// it checks that
//  - a run ends with every count or with a one-line error, and prints nothing
//    but decimal counts, one per line;
//  - the size of the read buffer changes nothing;
//  - on input it can process, the counts equal the literal program's, which
//    reads the same bytes through scanf, std::getline and getchar on the
//    process's standard input.

#include "driver.h"
#include "input.h"
#include "output.h"
#include "reference_model.h"

#include <sys/mman.h>
#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>

namespace {

struct Run {
    bool finished;
    std::string output;
    std::string error;
};

Run runProgram(std::string_view input, std::size_t capacity) {
    Input in = inputFromMemory(input, capacity);
    auto out = std::make_unique<Output>();
    std::string output;
    out->sink = &output;
    bool const finished = runMotifscan(in, *out);
    flush(*out);
    return {finished, output, in.error};
}

[[noreturn]] void fail(char const* what, std::string const& detail) {
    std::fprintf(stderr, "property violated: %s\n%s\n", what, detail.c_str());
    std::abort();
}

// The literal program reads the process's standard input: point it at a
// memory file holding the input.
std::string runReference(std::uint8_t const* data, std::size_t size) {
    static int const file = memfd_create("motifscan-fuzz-input", 0);
    if (file < 0 || ftruncate(file, 0) != 0 || pwrite(file, data, size, 0) != static_cast<ssize_t>(size)) {
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    std::string_view const input(reinterpret_cast<char const*>(data), size);
    Run const run = runProgram(input, defaultInputCapacity);
    Run const byteByByte = runProgram(input, 1 + size % 5);
    if (run.finished != byteByByte.finished || run.output != byteByByte.output ||
        run.error != byteByByte.error) {
        fail("the buffer size changed the result", run.error + " / " + byteByByte.error);
    }
    for (std::size_t start = 0; start < run.output.size();) {
        std::size_t const end = run.output.find('\n', start);
        if (end == std::string::npos || end == start)
            fail("an unterminated or empty output line", run.output);
        for (std::size_t i = start; i < end; ++i) {
            if (run.output[i] < '0' || run.output[i] > '9')
                fail("a count that is not a decimal number", run.output);
        }
        start = end + 1;
    }
    if (!run.finished) {
        bool const oneLine = !run.error.empty() && run.error.find('\n') == std::string::npos;
        bool const known = run.error.rfind("line ", 0) == 0 || run.error.rfind("read error: ", 0) == 0;
        if (!oneLine || !known) fail("an error that is not one known line", run.error);
        return 0;
    }
    std::string const expected = runReference(data, size);
    if (run.output != expected) fail("counts differ from the literal program's", expected);
    return 0;
}
