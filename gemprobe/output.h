#pragma once

#include <cstddef>
#include <string>

namespace gemprobe {

// Buffered standard output. Verdicts are appended to a large block that is
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

// Appends a block of any size (verdicts written elsewhere), flushing as the
// buffer fills. Returns false once any write has failed.
bool putBlock(output& out, char const* bytes, std::size_t size);

inline void put(output& out, char const* text, std::size_t length) {
    if (out.capacity - out.used < length) flush(out);
    for (std::size_t i = 0; i < length; ++i) out.buffer[out.used + i] = text[i];
    out.used += length;
}

}  // namespace gemprobe
