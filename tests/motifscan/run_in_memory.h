#pragma once

#include "driver.h"
#include "input.h"
#include "output.h"

#include <sys/mman.h>
#include <unistd.h>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

// The tests use the program's names unqualified.
using namespace motifscan;

// Where a test's input comes from: memory, copied `size` bytes per refill, or
// a file in memory read with read(), `size` bytes at most per call. Every
// reader and program test runs against both.
struct Source {
    bool file = false;
    std::size_t size = defaultInputCapacity;
};

// A stable name for parameterised tests: Memory1, File65536, ...
inline std::string sourceName(Source const& source) {
    return (source.file ? "File" : "Memory") + std::to_string(source.size);
}

inline std::ostream& operator<<(std::ostream& stream, Source const& source) {
    return stream << (source.file ? "file, capacity " : "memory, capacity ") << source.size;
}

// An input over `data` from the given source. The file form writes the data
// after a few bytes that are not part of it and reads from there, as the
// program reads standard input from its current offset.
struct TestInput {
    static constexpr char const* skipped = "9\n";
    input in;
    int fd = -1;

    TestInput(std::string_view data, Source source) {
        if (!source.file) {
            in = inputFromMemory(data, source.size);
            return;
        }
        fd = ::memfd_create("motifscan-test-input", 0);
        std::string const file = skipped + std::string(data);
        if (fd < 0 || ::write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size()) ||
            ::lseek(fd, static_cast<off_t>(std::strlen(skipped)), SEEK_SET) < 0) {
            std::perror("motifscan tests: a file in memory");
            std::abort();
        }
        in = inputFromFd(fd, source.size);
    }
    TestInput(TestInput const&) = delete;
    TestInput& operator=(TestInput const&) = delete;
    ~TestInput() {
        if (fd >= 0) ::close(fd);
    }

    // Bytes of the data consumed so far, out of the `total` it holds.
    std::size_t consumed(std::size_t total) const {
        auto const buffered = static_cast<std::size_t>(in.end - in.pos);
        if (fd < 0) return total - in.memoryLeft - buffered;
        return static_cast<std::size_t>(::lseek(fd, 0, SEEK_CUR)) - std::strlen(skipped) - buffered;
    }
};

// What the whole program does with an input, run in-process.
struct RunResult {
    bool finished = false;  // runMotifscan's verdict
    std::string output;     // everything written, including what came before a failure
    std::string error;      // the input's error string when it did not finish
};

inline RunResult runProgram(input& in, scanChoice engine = scanChoice::fastest) {
    auto out = std::make_unique<output>();  // its block is too big for the stack
    RunResult result;
    out->sink = &result.output;
    result.finished = runMotifscan(in, *out, nullptr, engine);
    flush(*out);
    result.error = in.error;
    return result;
}

inline RunResult runFrom(std::string const& input, Source source, scanChoice engine = scanChoice::fastest) {
    TestInput test(input, source);
    return runProgram(test.in, engine);
}

inline RunResult runInMemory(std::string const& input, std::size_t capacity = defaultInputCapacity,
                             scanChoice engine = scanChoice::fastest) {
    return runFrom(input, Source{false, capacity}, engine);
}

// Every engine, for tests that run the whole program with each.
inline constexpr scanChoice everyEngine[] = {
    scanChoice::fastest,    scanChoice::bitParallel, scanChoice::endFilter, scanChoice::wideBitParallel,
    scanChoice::denseTable, scanChoice::sparseTable, scanChoice::compact};

// Bytes of `in` consumed so far, out of the `total` it was created with.
inline std::size_t consumedBytes(input const& in, std::size_t total) {
    return total - in.memoryLeft - static_cast<std::size_t>(in.end - in.pos);
}
