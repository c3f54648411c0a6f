#pragma once

#include "decimal.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace gemprobe {

struct output;

// Buffered standard input, read in large blocks. The readers below consume
// exactly the characters that scanf's "%d" and "%Lf" would for well-formed
// input, so that a count or a coordinate ends where the C library's would.
//
// The source is either a file descriptor or a memory block; the memory form
// copies at most `capacity` bytes per refill, so tests can make every token
// straddle a refill by choosing a capacity of 1.
struct input {
    int fd = 0;  // read from here unless memory is set
    char const* memory = nullptr;
    std::size_t memorySize = 0;
    std::size_t memoryOffset = 0;  // where the next block of the memory starts

    std::size_t capacity = 0;
    std::unique_ptr<char[]> buffer;
    char const* pos = nullptr;  // unread bytes: pos..end, and *end is always NUL
    char const* end = nullptr;
    bool atEnd = false;  // the source has no more bytes
    int readError = 0;   // errno of a failed read

    bool readBefore = false;            // the first block has been read
    long line = 1;                      // line of the next unread byte
    char lastConsumed = 0;              // last byte of the previous block
    output* flushBeforeRead = nullptr;  // answers go out before input may block

    std::string token;  // text of the number being read
    std::string error;  // "line N: expected ..., found ..." once a read failed
};

constexpr std::size_t defaultInputCapacity = 1 << 18;
constexpr std::size_t firstBlockSize = 1 << 16;
// Bytes allocated after a block: its NUL and the reach of the loads that may
// start before it: the number reader's sixteen bytes from any position up to
// the NUL, and the point loop's 64 bytes of blanks from any position before it.
constexpr std::size_t blockPadding = 64;

input inputFromFd(int fd, std::size_t capacity = defaultInputCapacity);
// The memory must outlive the input.
input inputFromMemory(std::string_view data, std::size_t capacity = defaultInputCapacity);
template <class Temporary>
requires std::is_same_v<Temporary, std::string> input
inputFromMemory(Temporary&& dangling, std::size_t capacity = defaultInputCapacity)
= delete;

// Both readers skip whitespace (blank, \t, \n, \v, \f, \r) first. On failure they
// return false and leave a message in in.error; `what` names the expected item
// ("the number of walls").

// A decimal integer as "%d" reads it: optional sign, at least one digit. A value
// outside the signed 32-bit range is an error rather than scanf's undefined result.
bool readCount(input& in, char const* what, int& value);

// A floating-point number as "%Lf" reads it, with the same value to the last
// bit: decimal with optional point and exponent, hexadecimal ("0x1.8p3"),
// "inf", "infinity" and "nan" in any case, each with an optional sign.
// A sign or point without digits, an exponent or a hexadecimal prefix without
// digits after it, and a broken "inf"/"nan" are errors, even where scanf
// would accept a prefix.
inline bool readNumber(input& in, char const* what, long double& value);
bool readNumberInGeneral(input& in, char const* what, long double& value);

// Records "line N: expected <what>, found <detail>" in in.error and returns false.
bool failExpected(input& in, char const* what, std::string const& found);

// Describes the next item of the input for an error message: "end of input",
// or the quoted word that starts at the current position (after `consumed`,
// the part of it already read).
std::string describeFound(input& in, std::string const& consumed);

// Whitespace as scanf skips it: ' ' and '\t' to '\r' (a NUL is not).
__attribute__((always_inline)) inline bool isBlank(char c) {
    return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t';
}

// Skips blanks (' ' and '\t' to '\r') from p on, counting newlines into
// `lines`; the NUL after a block stops it.
__attribute__((always_inline)) inline char const* skipBlanks(char const* p, long& lines) {
    for (;; ++p) {
        if (*p == ' ') continue;
        if (*p == '\n') {
            ++lines;
            continue;
        }
        if (*p >= '\t' && *p <= '\r') continue;
        return p;
    }
}

// The common case inline: blanks and a short decimal within the current block.
__attribute__((always_inline)) inline bool readNumber(input& in, char const* what, long double& value) {
    char const* const p = skipBlanks(in.pos, in.line);
    if (p != in.end) {
        if (char const* after = parseShortDecimal(p, in.end, value)) {
            in.pos = after;
            return true;
        }
    }
    in.pos = p;
    return readNumberInGeneral(in, what, value);
}

}  // namespace gemprobe
