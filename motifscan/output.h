#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace motifscan {

// Buffered standard output. Counts are appended to a large block that is
// written when it fills, when the input is about to block, and at the end.
// A failed write is remembered (errno in writeError) and every later write is
// dropped, so the driver can stop and report it.
struct output {
    int fd = 1;                   // where blocks go, unless sink is set
    std::string* sink = nullptr;  // tests collect the output here instead
    static constexpr std::size_t capacity = 1 << 16;
    char buffer[capacity];
    std::size_t used = 0;
    int writeError = 0;
};

// Writes out whatever is buffered. Returns false once any write has failed.
bool flush(output& out);

// Appends `count` in decimal and a newline, as printf("%d\n") writes it.
void putCount(output& out, std::int64_t count);

}  // namespace motifscan
