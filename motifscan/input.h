#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace motifscan {

struct output;

// Buffered standard input, read in large blocks. Counts, pattern lines and
// message bytes are all taken from the one buffer, so each read starts exactly
// where the previous one stopped; nothing is read ahead of what the C library's
// scanf, std::getline and getchar would have consumed, except into the buffer.
//
// The source is a file descriptor, read with read(), or a memory block; both
// take at most `capacity` bytes per refill, so tests can make every count,
// line and message straddle a refill by choosing a capacity of 1.
struct input {
    int fd = 0;  // read from here unless memory is set
    char const* memory = nullptr;
    std::size_t memoryLeft = 0;

    std::size_t capacity = 0;
    std::unique_ptr<char[]> buffer;
    char const* pos = nullptr;  // next unread byte
    char const* end = nullptr;  // end of the bytes in the buffer
    bool atEnd = false;         // the source has no more bytes
    int readError = 0;          // errno of a failed read; the input then ends

    long line = 1;                     // line of the next unread byte
    bool readEndsWithNewline = false;  // the last byte read from the source is '\n'
    // Answers go out before input may block: the program sets these to its
    // output's flush; the library, which reads only memory, leaves them unset.
    bool (*flushBeforeRead)(output&) = nullptr;
    output* flushTarget = nullptr;

    std::string token;  // sign and digits of the count just read (33 at most)
    std::string error;  // why the run stopped, once a read failed
};

constexpr std::size_t defaultInputCapacity = 1 << 16;

input inputFromFd(int fd, std::size_t capacity = defaultInputCapacity);
// The block must outlive the input.
input inputFromMemory(std::string_view data, std::size_t capacity = defaultInputCapacity);

// Replaces the consumed buffer with the next block of the source. Returns false
// at the end of the input (or after a read error, kept in readError). Flushes
// the output first (flushBeforeRead), because the read may block.
bool refill(input& in);

enum class countStatus {
    read,        // value holds the number
    notANumber,  // the next byte cannot start a number; it is left unread
    endOfInput,  // the input ended before a digit
    outOfRange,  // the digits do not fit a signed 32-bit integer
};

// A decimal integer as scanf's "%d" reads it: whitespace (blank, \t, \n, \v,
// \f, \r) skipped, an optional sign, at least one digit. Like glibc, a sign not
// followed by a digit is consumed and the byte after it is left unread. The
// sign and digits consumed are left in in.token, for error messages.
countStatus readCount(input& in, int& value);

// The trailing "\n" of scanf's "%d\n": every whitespace byte, across lines.
void skipWhitespace(input& in);

// A line as std::getline reads it: every byte up to the next '\n', which is
// consumed but not stored. A line cut short by the end of input is still a
// line; only a line that would start at the end of input fails (returns false).
bool readLine(input& in, std::string& line);

// Records "line N: expected <what>, found <found>" in in.error (or the read
// error, if the input ended because a read failed) and returns false.
bool failExpected(input& in, std::string_view what, std::string_view found);

// The next word of the input (up to whitespace) after the bytes `consumed`
// already read, quoted; or "end of input". Consumes what it shows.
std::string describeFound(input& in, std::string_view consumed);

// `word` in double quotes, non-printable bytes, quotes and backslashes as
// \xNN; after 32 bytes it is cut short and "..." is added.
std::string quoted(std::string_view word);

}  // namespace motifscan
