#include "input.h"

#include "decimal.h"
#include "output.h"

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace gemprobe {

namespace {

bool isSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isHexDigit(int c) { return isDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }
// Case-insensitive test for an ASCII letter given in lower case; false at end of input.
bool isLetter(int c, char lower) { return c >= 0 && (c | 0x20) == lower; }

// Fills the block in order with read(): up to `capacity` bytes, 0 at the
// end or on a read error.
std::size_t readInOrder(input& in, char* block, std::size_t size) {
    for (;;) {
        ssize_t const got = ::read(in.fd, block, size);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) in.readError = errno;
        return got > 0 ? static_cast<std::size_t>(got) : 0;
    }
}

// Copies the next block of a memory source.
std::size_t readFromMemory(input& in, char* block, std::size_t size) {
    std::size_t const filled = std::min(size, in.memorySize - in.memoryOffset);
    std::memcpy(block, in.memory + in.memoryOffset, filled);
    in.memoryOffset += filled;
    return filled;
}

bool refill(input& in) {
    if (in.atEnd) return false;
    if (in.flushBeforeRead != nullptr) flush(*in.flushBeforeRead);
    if (in.pos != in.buffer.get()) in.lastConsumed = in.pos[-1];
    char* const block = in.buffer.get();
    // The first block is small: a small input would otherwise touch the
    // fresh pages of a whole block for nothing (a fresh page cost about 12
    // microseconds on a 2-core AMD EPYC VM).
    std::size_t const size = in.readBefore ? in.capacity : std::min(in.capacity, firstBlockSize);
    in.readBefore = true;
    std::size_t const filled =
        in.memory != nullptr ? readFromMemory(in, block, size) : readInOrder(in, block, size);
    in.pos = block;
    in.end = block + filled;
    std::memset(block + filled, 0, blockPadding);
    if (filled == 0) in.atEnd = true;
    return filled != 0;
}

// The next byte, or -1 at the end of the input.
inline int peek(input& in) {
    if (in.pos == in.end && !refill(in)) return -1;
    return static_cast<unsigned char>(*in.pos);
}

// Skips whitespace, counting lines; returns the first other byte (not consumed) or -1.
int skipSpace(input& in) {
    for (;;) {
        while (in.pos != in.end) {
            unsigned char const c = static_cast<unsigned char>(*in.pos);
            if (!isSpace(c)) return c;
            if (c == '\n') ++in.line;
            ++in.pos;
        }
        if (!refill(in)) return -1;
    }
}

constexpr std::size_t maxShownBytes = 32;

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

constexpr long exponentSaturation = 1L << 50;

}  // namespace

input inputFromFd(int fd, std::size_t capacity) {
    input in;
    in.fd = fd;
    in.capacity = capacity;
    // More bytes than a block: a NUL after the data stops every scan of
    // digits at the end of the block without a bounds check per byte, and the
    // loads that may start before it reach into the padding (blockPadding).
    // Only the bytes such loads can reach past the data are cleared, here
    // and at every refill: clearing the whole block would cost a run of
    // small inputs more than it reads.
    in.buffer = std::make_unique_for_overwrite<char[]>(capacity + blockPadding);
    std::memset(in.buffer.get(), 0, blockPadding);
    in.pos = in.end = in.buffer.get();
    return in;
}

input inputFromMemory(std::string_view data, std::size_t capacity) {
    input in = inputFromFd(-1, capacity);
    in.memory = data.data();
    in.memorySize = data.size();
    return in;
}

std::string describeFound(input& in, std::string const& consumed) {
    int c = peek(in);
    if (consumed.empty() && c < 0) return "end of input";  // failExpected reports a read error instead
    // One byte more than is shown, so that quoted() knows to cut it short.
    std::string word = consumed.substr(0, maxShownBytes + 1);
    while (word.size() <= maxShownBytes && c >= 0 && !isSpace(c)) {
        word.push_back(static_cast<char>(c));
        ++in.pos;
        c = peek(in);
    }
    // Editors on some systems start a text file with this mark; it is worth
    // naming, since its quoted bytes would puzzle the user.
    if (word.starts_with("\xef\xbb\xbf")) return "a UTF-8 byte-order mark";
    return quoted(word);
}

bool failExpected(input& in, char const* what, std::string const& found) {
    if (in.readError != 0) {
        in.error = std::string("read error: ") + std::strerror(in.readError);
        return false;
    }
    // At the end of an input whose last line has its newline, name that last
    // line rather than the empty line after it.
    long line = in.line;
    bool const endsAfterNewline = in.atEnd && in.pos == in.end &&
                                  (in.pos != in.buffer.get() ? in.pos[-1] == '\n' : in.lastConsumed == '\n');
    if (endsAfterNewline && line > 1) --line;
    in.error = "line " + std::to_string(line) + ": expected " + what + ", found " + found;
    return false;
}

bool readCount(input& in, char const* what, int& value) {
    // The common case without building the token or a call per byte: blanks,
    // then up to nine digits (below 2^31), followed by whitespace, all inside
    // the block (the NUL at its end stops both scans).
    char const* p = skipBlanks(in.pos, in.line);
    in.pos = p;
    if (isDigit(*p)) {
        char const* q = p;
        unsigned digits = 0;
        while (isDigit(*q) && q - p < 9) digits = digits * 10 + static_cast<unsigned>(*q++ - '0');
        if (q != in.end && isSpace(static_cast<unsigned char>(*q))) {
            in.pos = q;
            value = static_cast<int>(digits);
            return true;
        }
    }
    int c = skipSpace(in);
    std::string& text = in.token;
    text.clear();
    auto take = [&] {
        if (text.size() <= maxShownBytes) text.push_back(static_cast<char>(c));
        ++in.pos;
        c = peek(in);
    };
    bool const negative = c == '-';
    if (c == '+' || c == '-') take();
    if (!isDigit(c)) return failExpected(in, what, describeFound(in, text));
    std::uint64_t magnitude = 0;
    while (isDigit(c)) {
        if (magnitude <= 0xffffffffu) magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
        take();
    }
    // A count that runs on into a point, an exponent or letters ("1.0",
    // "0x10", "3abc") is not an integer: report the whole word where it
    // stands rather than reading its digits and failing on the rest later.
    // A sign may follow at once, as scanf would take it for the next number.
    if (c >= 0 && !isSpace(c) && c != '+' && c != '-') return failExpected(in, what, describeFound(in, text));
    std::uint64_t const limit = negative ? 2147483648u : 2147483647u;
    if (magnitude > limit) {
        return failExpected(in, what, quoted(text) + " (out of range)");
    }
    value = static_cast<int>(negative ? -static_cast<std::int64_t>(magnitude)
                                      : static_cast<std::int64_t>(magnitude));
    return true;
}

bool readNumberInGeneral(input& in, char const* what, long double& value) {
    int c = skipSpace(in);
    if (c >= 0) {
        if (char const* after = parseShortDecimal(in.pos, in.end, value)) {
            in.pos = after;
            return true;
        }
    }
    std::string& text = in.token;
    text.clear();
    auto take = [&] {
        text.push_back(static_cast<char>(c));
        ++in.pos;
        c = peek(in);
    };
    auto malformed = [&] { return failExpected(in, what, describeFound(in, text)); };

    bool const negative = c == '-';
    if (c == '+' || c == '-') take();

    if (isLetter(c, 'i') || isLetter(c, 'n')) {
        bool const infinity = isLetter(c, 'i');
        take();
        for (char const* rest = infinity ? "nf" : "an"; *rest != '\0'; ++rest) {
            if (!isLetter(c, *rest)) return malformed();
            take();
        }
        // After "inf", scanf commits to "infinity" once it sees the next 'i'.
        if (infinity && isLetter(c, 'i')) {
            take();
            for (char const* rest = "nity"; *rest != '\0'; ++rest) {
                if (!isLetter(c, *rest)) return malformed();
                take();
            }
        }
        value = std::strtold(text.c_str(), nullptr);
        return true;
    }

    bool sawDigit = false;
    if (c == '0') {
        sawDigit = true;
        take();
        if (isLetter(c, 'x')) {
            take();
            bool sawHexDigit = false;
            while (isHexDigit(c)) sawHexDigit = true, take();
            if (c == '.') {
                take();
                while (isHexDigit(c)) sawHexDigit = true, take();
            }
            if (!sawHexDigit) return malformed();
            if (isLetter(c, 'p')) {
                take();
                if (c == '+' || c == '-') take();
                if (!isDigit(c)) return malformed();
                while (isDigit(c)) take();
            }
            value = std::strtold(text.c_str(), nullptr);
            return true;
        }
    }

    // Decimal. Collect the significant digits while they fit the fast path.
    std::uint64_t significand = 0;
    int significantDigits = 0;
    bool fast = true;
    long fractionDigits = 0;
    auto digit = [&] {
        unsigned const d = static_cast<unsigned>(c - '0');
        if (significantDigits == 0 && d == 0) return;  // leading zero
        if (significantDigits == maxFastDigits) {
            fast = false;
            return;
        }
        significand = significand * 10 + d;
        ++significantDigits;
    };
    while (isDigit(c)) sawDigit = true, digit(), take();
    if (c == '.') {
        take();
        while (isDigit(c)) sawDigit = true, digit(), ++fractionDigits, take();
    }
    if (!sawDigit) return malformed();
    long exponent = 0;
    if (isLetter(c, 'e')) {
        take();
        bool const negativeExponent = c == '-';
        if (c == '+' || c == '-') take();
        if (!isDigit(c)) return malformed();
        // Saturate far beyond any reachable count of digits: even 2^40 fraction
        // digits cannot bring a saturated exponent back into range, so the
        // scale stays out of the fast path and strtold decides (0 or inf).
        while (isDigit(c)) {
            if (exponent < exponentSaturation) exponent = exponent * 10 + (c - '0');
            take();
        }
        if (negativeExponent) exponent = -exponent;
    }

    if (fast && scaleExactly(significand, exponent - fractionDigits, negative, value)) return true;
    value = std::strtold(text.c_str(), nullptr);
    return true;
}

}  // namespace gemprobe
