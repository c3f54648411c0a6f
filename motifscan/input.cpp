#include "input.h"

#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace motifscan {

namespace {

bool isSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(int c) { return c >= '0' && c <= '9'; }

// The next byte, or -1 at the end of the input.
inline int peek(input& in) {
    if (in.pos == in.end && !refill(in)) return -1;
    return static_cast<unsigned char>(*in.pos);
}

constexpr std::size_t maxShownBytes = 32;

}  // namespace

input inputFromFd(int fd, std::size_t capacity) {
    input in;
    in.fd = fd;
    in.capacity = capacity;
    in.buffer = std::make_unique<char[]>(capacity);
    in.pos = in.buffer.get();
    in.end = in.pos;
    return in;
}

input inputFromMemory(std::string_view data, std::size_t capacity) {
    input in = inputFromFd(-1, capacity);
    in.memory = data.data();
    in.memoryLeft = data.size();
    return in;
}

bool refill(input& in) {
    if (in.atEnd) return false;
    if (in.flushBeforeRead != nullptr) in.flushBeforeRead(*in.flushTarget);
    char* const block = in.buffer.get();
    std::size_t filled = 0;
    if (in.memory != nullptr) {
        filled = in.capacity < in.memoryLeft ? in.capacity : in.memoryLeft;
        std::memcpy(block, in.memory, filled);
        in.memory += filled;
        in.memoryLeft -= filled;
    } else {
        for (;;) {
            ssize_t const got = ::read(in.fd, block, in.capacity);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) in.readError = errno;
            filled = got > 0 ? static_cast<std::size_t>(got) : 0;
            break;
        }
    }
    // Whether the input ends with a newline is only known once it has ended,
    // when the buffer no longer holds its last byte.
    if (filled != 0) in.readEndsWithNewline = block[filled - 1] == '\n';
    in.pos = block;
    in.end = block + filled;
    if (filled == 0) in.atEnd = true;
    return filled != 0;
}

void skipWhitespace(input& in) {
    for (;;) {
        while (in.pos != in.end) {
            unsigned char const c = static_cast<unsigned char>(*in.pos);
            if (!isSpace(c)) return;
            if (c == '\n') ++in.line;
            ++in.pos;
        }
        if (!refill(in)) return;
    }
}

countStatus readCount(input& in, int& value) {
    in.token.clear();
    skipWhitespace(in);
    int c = peek(in);
    auto take = [&] {
        if (in.token.size() <= maxShownBytes) in.token.push_back(static_cast<char>(c));
        ++in.pos;
        c = peek(in);
    };
    bool const negative = c == '-';
    if (c == '+' || c == '-') take();
    if (c < 0) return countStatus::endOfInput;
    if (!isDigit(c)) return countStatus::notANumber;
    std::uint64_t magnitude = 0;
    while (isDigit(c)) {
        // Saturates well above the limit, so a long run of digits cannot wrap.
        if (magnitude <= 0xffffffffu) magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
        take();
    }
    std::uint64_t const limit = negative ? 2147483648u : 2147483647u;
    if (magnitude > limit) return countStatus::outOfRange;
    value = static_cast<int>(negative ? -static_cast<std::int64_t>(magnitude)
                                      : static_cast<std::int64_t>(magnitude));
    return countStatus::read;
}

bool readLine(input& in, std::string& line) {
    if (in.pos == in.end && !refill(in)) return false;
    for (;;) {
        auto const available = static_cast<std::size_t>(in.end - in.pos);
        auto const* newline = static_cast<char const*>(std::memchr(in.pos, '\n', available));
        if (newline != nullptr) {
            line.append(in.pos, newline);
            in.pos = newline + 1;
            ++in.line;
            return true;
        }
        line.append(in.pos, in.end);
        in.pos = in.end;
        if (!refill(in)) return true;
    }
}

std::string quoted(std::string_view word) {
    bool const cut = word.size() > maxShownBytes;
    std::string result = "\"";
    for (unsigned char c : word.substr(0, maxShownBytes)) {
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            result.push_back(static_cast<char>(c));
        } else {
            static char const hex[] = "0123456789abcdef";
            result += "\\x";
            result.push_back(hex[c >> 4]);
            result.push_back(hex[c & 15]);
        }
    }
    if (cut) result += "...";
    return result + "\"";
}

std::string describeFound(input& in, std::string_view consumed) {
    int c = peek(in);
    if (c < 0) {
        if (consumed.empty()) return "end of input";
        return "end of input after " + quoted(consumed);
    }
    // One byte more than is shown, so that quoted() knows to cut it short.
    std::string word(consumed.substr(0, maxShownBytes + 1));
    while (word.size() <= maxShownBytes && c >= 0 && !isSpace(c)) {
        word.push_back(static_cast<char>(c));
        ++in.pos;
        c = peek(in);
    }
    return quoted(word);
}

bool failExpected(input& in, std::string_view what, std::string_view found) {
    if (in.readError != 0) {
        in.error = std::string("read error: ") + std::strerror(in.readError);
        return false;
    }
    // At the end of an input whose last line has its newline, name that last
    // line rather than the empty line after it.
    long line = in.line;
    if (in.atEnd && in.pos == in.end && in.readEndsWithNewline && line > 1) --line;
    in.error = "line " + std::to_string(line) + ": expected ";
    in.error += what;
    in.error += ", found ";
    in.error += found;
    return false;
}

}  // namespace motifscan
