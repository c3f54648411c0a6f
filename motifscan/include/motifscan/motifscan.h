#pragma once

// motifscan as a library: counts the occurrences of a set of patterns that a
// left-to-right scan of a message completes, when every completed occurrence
// discards all partial matches in progress (the largest number of pairwise
// non-overlapping occurrences). With patterns AB and BC the message ABCAB
// counts 2: AB at its 2nd byte (the B is used up, so BC never completes) and
// AB again at its 5th.
//
// Bytes are compared exactly; the symbols are the bytes 'A' to 'Z' and '*'.
// A pattern that is empty or holds any other byte never completes. A message
// byte outside 'A'-'Z' and '*' is a symbol that no pattern holds: it breaks
// every partial match and the scan goes on after it (the program, which reads
// text, ends the message there instead).
//
//     motifscan::Patterns const patterns({"AB", "BC"});
//     std::uint64_t n = motifscan::count(patterns, "ABCAB");  // 2
//
//     motifscan::Counter counter(patterns);
//     counter.feed("ABC");
//     counter.feed("AB");  // counter.count() == 2
//
// The counts are exactly those of the program motifscan for the same patterns
// and message.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string_view>

namespace motifscan {

// A compiled set of patterns, immutable once built.
//
// Errors: pattern contents raise none; only std::bad_alloc can be thrown.
// Threads: any number of threads may use one Patterns at once, each through
// its own Counter (or count()).
// Cost: the bytes are copied; the build takes time and memory proportional to
// the patterns' total length (tens of nanoseconds per byte at most), and what
// a scan may build lazily (larger tables for long messages) belongs to the
// scan, never to the Patterns.
class Patterns {
public:
    // Copies the patterns; a std::vector<std::string_view> converts to the span.
    explicit Patterns(std::span<std::string_view const> patterns);
    Patterns(std::initializer_list<std::string_view> patterns);

    // Moving keeps the compiled patterns in place: Counters built from the
    // moved-from Patterns go on with the moved-to one, which must then outlive
    // them. A moved-from Patterns may only be destroyed or assigned to.
    Patterns(Patterns&& other) noexcept;
    Patterns& operator=(Patterns&& other) noexcept;
    Patterns(Patterns const&) = delete;
    Patterns& operator=(Patterns const&) = delete;
    ~Patterns();

    // The number of patterns given, including those that never complete.
    std::size_t size() const noexcept;

    struct Compiled;  // the library's own; callers cannot use it

private:
    friend class Counter;
    friend struct PatternsAccess;
    explicit Patterns(std::unique_ptr<Compiled> compiled) noexcept;
    std::unique_ptr<Compiled> compiled;
};

// Counts the occurrences in a message given in chunks: feeding the chunks one
// after the other counts exactly what count() counts on their concatenation,
// however the message is cut.
//
// Errors: only std::bad_alloc can be thrown, by the constructor or by feed;
// after feed has thrown, the Counter may only be destroyed or assigned to.
// Threads: one thread at a time per Counter; any number of Counters may share
// their Patterns.
// Cost: building one takes a few kilobytes, and for large sets (hundreds of
// patterns or more) time proportional to their number. Feeding is linear in
// the message whatever the chunk sizes, at the program's speed on large
// chunks (a fraction of a nanosecond to a few nanoseconds per byte, depending
// on the patterns; more where the message keeps many partial matches alive),
// plus about 10 ns per call. A chunk shorter than the longest pattern (or
// than 64 bytes) is stepped through a table that the Counter builds the first
// time it needs it, in time and memory proportional to the patterns' length;
// on large chunks the engines build such tables themselves once the message
// has proven long. Memory besides: the longest pattern's length, twice.
class Counter {
public:
    // The Patterns must outlive the Counter. A moved-from Counter may only be
    // destroyed or assigned to.
    explicit Counter(Patterns const& patterns);
    Counter(Counter&& other) noexcept;
    Counter& operator=(Counter&& other) noexcept;
    Counter(Counter const&) = delete;
    Counter& operator=(Counter const&) = delete;
    ~Counter();

    // Scans the next chunk of the message, of any size (empty included).
    void feed(std::string_view chunk);

    // The occurrences completed in the chunks fed so far.
    std::uint64_t count() const noexcept { return total; }

    struct Scan;  // the library's own; callers cannot use it

private:
    friend struct PatternsAccess;
    std::unique_ptr<Scan> scan;
    std::uint64_t total = 0;
};

// The occurrences in the whole message: Counter(patterns).feed(message) in
// one call. Errors, threads and cost as for Counter.
std::uint64_t count(Patterns const& patterns, std::string_view message);

}  // namespace motifscan
