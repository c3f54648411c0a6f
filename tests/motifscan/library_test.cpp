// The library against the literal scan (reference_model.cpp): one-shot
// counts and Counters fed in chunks from 1 byte to 1 MB, on every engine and
// with the filter's hand-overs made to come every few bytes; message bytes
// outside A-Z and '*' break partial matches without ending the message; one
// Patterns shared by Counters on several threads.

#include "library.h"
#include "reference_model.h"

#include <motifscan/motifscan.h>

#include <gtest/gtest.h>

#include <random>
#include <thread>

namespace {

using motifscan::Counter;
using motifscan::filterTuning;
using motifscan::Patterns;
using motifscan::PatternsAccess;
using motifscan::scanChoice;

constexpr scanChoice everyEngine[] = {
    scanChoice::fastest,    scanChoice::bitParallel, scanChoice::endFilter, scanChoice::wideBitParallel,
    scanChoice::denseTable, scanChoice::sparseTable, scanChoice::compact};

// As built, and with hand-overs between the filter and its table every few bytes.
filterTuning const tunings[] = {filterTuning{}, filterTuning{0, 0, 0, 1, 0, 0, {}},
                                filterTuning{5, 3, 20, 7, 100, 30, {}}};

std::vector<std::string_view> viewsOf(std::vector<std::string> const& patterns) {
    return {patterns.begin(), patterns.end()};
}

// Feeds the message in chunks whose sizes `nextSize` gives.
template <class NextSize>
std::uint64_t countInChunks(Counter& counter, std::string_view message, NextSize nextSize) {
    for (std::size_t at = 0; at < message.size();) {
        std::size_t const size = std::min<std::size_t>(nextSize(), message.size() - at);
        counter.feed(message.substr(at, size));
        at += size;
    }
    return counter.count();
}

struct Generator {
    std::mt19937 random;

    std::size_t below(std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random);
    }
    char pick(std::string_view bytes) { return bytes[below(bytes.size())]; }

    std::string word(std::string_view alphabet, std::size_t length) {
        std::string text;
        for (std::size_t k = 0; k < length; ++k) text.push_back(pick(alphabet));
        return text;
    }

    // Short patterns over a small alphabet, so that they overlap; now and
    // then a long periodic one, an empty one or one with a byte no message
    // symbol matches.
    std::vector<std::string> patterns(std::string_view alphabet) {
        std::vector<std::string> set(below(10));
        for (std::string& pattern : set) {
            std::size_t const kind = below(20);
            if (kind == 0) continue;
            if (kind == 1) {
                std::string const period = word(alphabet, 1 + below(3));
                while (pattern.size() < 40 + below(200)) pattern += period;
            } else {
                pattern = word(alphabet, 1 + below(6));
            }
            if (below(12) == 0) pattern.insert(below(pattern.size() + 1), 1, pick("a?\n\r \x80"));
        }
        return set;
    }

    // A message over the alphabet, with bytes outside A-Z and '*' now and then.
    std::string message(std::string_view alphabet, std::size_t length, std::size_t othersPerMille) {
        std::string text;
        for (std::size_t k = 0; k < length; ++k) {
            text.push_back(below(1000) < othersPerMille ? pick(std::string_view("a\n \0\xff?", 6))
                                                        : pick(alphabet));
        }
        return text;
    }
};

std::string_view const alphabets[] = {"AB", "ACGT", "AB*C", "ABCDEFGHIJKLMNOPQRSTUVWXYZ*"};

TEST(Library, CountsAndChunksMatchTheLiteralScanOnEveryEngine) {
    Generator generate{std::mt19937(19)};
    for (int round = 0; round < 150; ++round) {
        std::string_view const alphabet = alphabets[round % 4];
        std::vector<std::string> const patterns = generate.patterns(alphabet);
        std::string const message = generate.message(alphabet, generate.below(3000), round % 3 == 0 ? 0 : 20);
        std::uint64_t const expected = referenceCount(patterns, message);
        for (scanChoice const engine : everyEngine) {
            Patterns const compiled = PatternsAccess::compile(viewsOf(patterns), engine);
            SCOPED_TRACE(testing::Message() << "round " << round << ", engine " << static_cast<int>(engine));
            EXPECT_EQ(motifscan::count(compiled, message), expected);
            for (filterTuning const& tuning : tunings) {
                Counter bytes(compiled), small(compiled), mixed(compiled);
                PatternsAccess::tune(bytes, tuning);
                PatternsAccess::tune(small, tuning);
                PatternsAccess::tune(mixed, tuning);
                EXPECT_EQ(countInChunks(bytes, message, [] { return 1; }), expected);
                EXPECT_EQ(countInChunks(small, message, [&] { return 1 + generate.below(9); }), expected);
                // Chunks around the longest pattern's length: stepped and scanned in turns.
                EXPECT_EQ(countInChunks(mixed, message, [&] { return generate.below(300); }), expected);
            }
        }
    }
}

TEST(Library, ChunksFromOneByteToOneMegabyte) {
    Generator generate{std::mt19937(7)};
    std::vector<std::string> patterns;
    for (int k = 0; k < 24; ++k) patterns.push_back(generate.word("ACGT", 8 + generate.below(5)));
    patterns.push_back(generate.word("ACGT", 300));
    std::string message = generate.message("ACGT", (std::size_t{1} << 20) + 300'000, 1);
    // Occurrences of the long pattern too, some of them straddling every chunk size.
    for (std::size_t at = 1000; at + 300 < message.size(); at += 99'991)
        message.replace(at, 300, patterns.back());
    std::uint64_t const expected = referenceCount(patterns, message);
    Patterns const compiled(viewsOf(patterns));
    EXPECT_EQ(motifscan::count(compiled, message), expected);
    for (std::size_t const size : {std::size_t{1}, std::size_t{3}, std::size_t{299}, std::size_t{300},
                                   std::size_t{4096}, std::size_t{65536}, std::size_t{1} << 20}) {
        Counter counter(compiled);
        EXPECT_EQ(countInChunks(counter, message, [&] { return size; }), expected) << "chunks of " << size;
    }
}

TEST(Library, LongPatternsFedByteByByte) {
    // 4,000-byte periodic patterns: every byte of the message keeps a long
    // partial match alive, and a completion comes only every few thousand.
    std::string period = "ABAABAAAB";
    std::string a, b;
    while (a.size() < 4000) a += period;
    b = a;
    b.back() = 'C';
    std::vector<std::string> const patterns{a, b};
    std::string message;
    while (message.size() < 24'000) message += period;
    message[13'000] = 'x';
    std::uint64_t const expected = referenceCount(patterns, message);
    for (scanChoice const engine : everyEngine) {
        Patterns const compiled = PatternsAccess::compile(viewsOf(patterns), engine);
        EXPECT_EQ(motifscan::count(compiled, message), expected);
        Counter counter(compiled);
        EXPECT_EQ(countInChunks(counter, message, [] { return 1; }), expected) << static_cast<int>(engine);
    }
}

TEST(Library, PatternsAndCountersMoveAndNeverCompleteOutsideTheSymbols) {
    std::vector<std::string_view> const words{"AB", "BC", "", "A\nB", "ab", "B\r"};
    Patterns moved(words);
    EXPECT_EQ(moved.size(), 6u);
    Counter counter(moved);
    Patterns patterns(std::move(moved));
    counter.feed("ABC");
    Counter other(std::move(counter));
    other.feed("AB");
    EXPECT_EQ(other.count(), 2u);
    // "A\nB" and "B\r" never complete; the newline breaks the B of AB from the C of BC.
    EXPECT_EQ(motifscan::count(patterns, "A\nBCab B\rCAB"), 2u);
    EXPECT_EQ(motifscan::count(Patterns{}, "ABC"), 0u);
    EXPECT_EQ(motifscan::count(Patterns{"", "a"}, "ABC"), 0u);
}

// One Patterns for every thread, each Counter with chunks of its own size, on
// sets whose scans learn lazily: a filter compiled late with its prefilter and
// table, and a compact automaton that hands over to a late dense table.
TEST(LibraryThreads, OnePatternsSharedByCountersOnSeveralThreads) {
    Generator generate{std::mt19937(3)};
    std::vector<std::vector<std::string>> sets(3);
    for (int k = 0; k < 6; ++k) sets[0].push_back(generate.word("ABCDEFGH", 3 + generate.below(5)));
    for (int k = 0; k < 30; ++k) sets[1].push_back(generate.word("ACGT", 10 + generate.below(3)));
    for (int k = 0; k < 400; ++k) sets[2].push_back(generate.word("ABCDEFGHIJKLMNOP", 4 + generate.below(6)));
    for (std::vector<std::string> const& set : sets) {
        std::string const message =
            generate.message(set.size() == 30 ? "ACGT" : "ABCDEFGHIJKLMNOP", 100'000, 1);
        std::uint64_t const expected = referenceCount(set, message);
        Patterns const shared(viewsOf(set));
        std::vector<std::uint64_t> counts(4);
        std::vector<std::thread> threads;
        for (std::size_t t = 0; t < counts.size(); ++t) {
            threads.emplace_back([&, t] {
                Counter counter(shared);
                std::size_t const size = std::size_t{1} << (5 * t);
                counts[t] = countInChunks(counter, message, [size] { return size; });
            });
        }
        for (std::thread& thread : threads) thread.join();
        for (std::uint64_t const count : counts) EXPECT_EQ(count, expected) << set.size() << " patterns";
    }
}

}  // namespace
