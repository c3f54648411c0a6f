// libFuzzer target: gemprobe's whole input handling, from a byte buffer,
// through the reader the program uses. Besides crashes and sanitizer reports
// it checks that
//  - a run ends with every answer or with a one-line error, and prints
//    nothing but verdict lines and empty lines;
//  - the size of the read buffer changes nothing (a one-byte buffer makes
//    every token straddle a refill);
//  - on input it can process, the answers equal the literal program's.

#include "input.h"
#include "output.h"
#include "probe.h"
#include "reference_model.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
    bool const finished = runGemprobe(in, *out);
    flush(*out);
    return {finished, output, in.error};
}

[[noreturn]] void fail(char const* what, std::string const& detail) {
    std::fprintf(stderr, "property violated: %s\n%s\n", what, detail.c_str());
    std::abort();
}

std::string runReference(std::uint8_t const* data, std::size_t size) {
    std::FILE* in = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
    char* buffer = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&buffer, &length);
    if (in == nullptr || out == nullptr) std::abort();
    referenceGemprobe(in, out);
    std::fclose(in);
    std::fclose(out);
    std::string result(buffer, length);
    std::free(buffer);
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
        if (end == std::string::npos) fail("an unterminated output line", run.output);
        std::string_view const line(run.output.data() + start, end - start);
        if (line != "TAK" && line != "NIE" && !line.empty())
            fail("an unexpected output line", std::string(line));
        start = end + 1;
    }
    if (!run.finished) {
        bool const oneLine = !run.error.empty() && run.error.find('\n') == std::string::npos;
        bool const known = run.error.rfind("line ", 0) == 0 || run.error.rfind("read error: ", 0) == 0;
        if (!oneLine || !known) fail("an error that is not one known line", run.error);
        return 0;
    }
    std::string const expected = runReference(data, size);
    if (run.output != expected) fail("answers differ from the literal program's", expected);
    return 0;
}
