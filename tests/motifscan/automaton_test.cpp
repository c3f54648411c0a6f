// The scan of one message: hand-picked cases grouped by the rule they pin,
// then random pattern sets and messages against an independent model, the
// largest number of non-overlapping occurrences computed by dynamic
// programming.

#include "run_in_memory.h"

#include "automaton.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

struct ScanResult {
    int count = 0;
    std::size_t consumed = 0;
};

// Runs podciag until the message ends, as a task does.
ScanResult scanMessage(Automaton& automaton, std::vector<std::string> const& patterns,
                       std::string const& input, std::size_t capacity,
                       ScanChoice choice = ScanChoice::fastest) {
    buildAutomaton(automaton, patterns, choice);
    Input in = inputFromMemory(input, capacity);
    ScanResult result;
    while (podciag(in, automaton) == 1) ++result.count;
    result.consumed = consumedBytes(in, input.size());
    return result;
}

// The count by its definition: the most occurrences of the patterns that can
// complete that fit in the message without overlapping.
int mostDisjointOccurrences(std::vector<std::string> const& patterns, std::string const& message) {
    std::vector<int> best(message.size() + 1, 0);  // best[i]: within the first i bytes
    for (std::size_t i = 1; i <= message.size(); ++i) {
        best[i] = best[i - 1];
        for (std::string const& pattern : patterns) {
            if (!canComplete(pattern) || pattern.size() > i) continue;
            if (message.compare(i - pattern.size(), pattern.size(), pattern) == 0) {
                best[i] = std::max(best[i], best[i - pattern.size()] + 1);
            }
        }
    }
    return best.back();
}

struct ScanCase {
    char const* name;
    std::vector<std::string> patterns;
    std::string message;  // the message bytes only; a newline is added
    int count;
};

std::vector<ScanCase> const scanCases = {
    // Basics.
    {"one letter, every byte", {"A"}, "AAA", 3},
    {"no patterns", {}, "ABC", 0},
    {"empty message", {"A"}, "", 0},
    {"duplicate patterns count once per occurrence", {"A", "A"}, "AA", 2},
    {"star matches only star", {"A*"}, "A*A", 1},
    {"star is no wildcard", {"A*"}, "AB", 0},
    {"star alone", {"*"}, "A*B*", 2},
    // A completion uses up everything read so far.
    {"the B is used up", {"AB", "BC"}, "ABC", 1},
    {"road example", {"AB", "BC"}, "ABCAB", 2},
    {"AA in AAA", {"AA"}, "AAA", 1},
    {"AA in AAAA", {"AA"}, "AAAA", 2},
    {"self-overlapping", {"ABAB"}, "ABABAB", 1},
    {"shorter pattern inside a longer one ends first", {"ABC", "B"}, "ABC", 1},
    {"prefix pattern given after the longer one", {"ABC", "AB"}, "ABCABC", 2},
    {"prefix pattern given before the longer one", {"AB", "ABC"}, "ABCABC", 2},
    // Suffix links.
    {"completion through a suffix link", {"ABCE", "BCD"}, "ABCD", 1},
    {"pattern inside a longer partial match", {"ABCD", "BC"}, "ABCD", 1},
    {"long fallback chain", {"AAAB"}, "AAAAAAB", 1},
    {"fallback to a shorter prefix of another pattern", {"ABABC", "BAC"}, "ABABAC", 1},
    // Around the 63 symbols that fit the bit-parallel scan.
    {"63 symbols, the last next to the end-of-message bit",
     {std::string(62, 'A') + "B"},
     std::string(100, 'A') + "B",
     1},
    {"63 symbols in one pattern", {std::string(63, 'A')}, std::string(130, 'A'), 2},
    {"63 symbols in two patterns",
     {std::string(32, 'A'), std::string(30, 'B') + "C"},
     std::string(40, 'A') + std::string(30, 'B') + "C",
     2},
    {"64 symbols", {std::string(64, 'A')}, std::string(130, 'A'), 2},
    // Patterns that can never complete.
    {"empty pattern", {""}, "AAA", 0},
    {"lowercase byte", {"Ab"}, "ABAB", 0},
    {"question mark", {"A?"}, "A", 0},
    {"carriage return", {"A\r"}, "A", 0},
    {"leading blank", {" A"}, "A", 0},
    {"invalid patterns beside a valid one", {"", "A?", "B", "\r"}, "ABB", 2},
};

// Every scan test runs with both scans (the bit-parallel one takes the small
// pattern sets, the table the rest) and with one-byte and large buffers.
struct ScanParameters {
    std::size_t capacity;
    ScanChoice choice;
};

// A stable, readable name for test names and failure messages (the record's
// padding bytes would otherwise show, different in every build).
std::string describe(ScanParameters const& parameters) {
    std::string choice;
    switch (parameters.choice) {
        case ScanChoice::fastest:
            choice = "Fastest";
            break;
        case ScanChoice::tableOnly:
            choice = "TableOnly";
            break;
        default:
            choice = "Choice" + std::to_string(static_cast<int>(parameters.choice));
    }
    return "Buffer" + std::to_string(parameters.capacity) + choice;
}

void PrintTo(ScanParameters const& parameters, std::ostream* stream) { *stream << describe(parameters); }

class MotifscanScan : public testing::TestWithParam<ScanParameters> {
protected:
    ScanResult scan(Automaton& automaton, std::vector<std::string> const& patterns,
                    std::string const& input) {
        return scanMessage(automaton, patterns, input, GetParam().capacity, GetParam().choice);
    }
};

INSTANTIATE_TEST_SUITE_P(BuffersAndScans, MotifscanScan,
                         testing::Values(ScanParameters{1, ScanChoice::fastest},
                                         ScanParameters{defaultInputCapacity, ScanChoice::fastest},
                                         ScanParameters{1, ScanChoice::tableOnly},
                                         ScanParameters{defaultInputCapacity, ScanChoice::tableOnly}),
                         [](testing::TestParamInfo<ScanParameters> const& info) {
                             return describe(info.param);
                         });

TEST_P(MotifscanScan, HandPickedCases) {
    Automaton automaton;  // shared, as tasks share it
    for (ScanCase const& c : scanCases) {
        SCOPED_TRACE(c.name);
        ScanResult const result = scan(automaton, c.patterns, c.message + "\nAAA");
        EXPECT_EQ(result.count, c.count);
        EXPECT_EQ(result.consumed, c.message.size() + 1);
        EXPECT_EQ(mostDisjointOccurrences(c.patterns, c.message), c.count);
    }
}

TEST_P(MotifscanScan, AnyOtherByteEndsTheMessageAndIsConsumed) {
    Automaton automaton;
    for (int byte = 0; byte < 256; ++byte) {
        if ((byte >= 'A' && byte <= 'Z') || byte == '*') continue;
        SCOPED_TRACE(byte);
        std::string const input = std::string("AB") + static_cast<char>(byte) + "AB";
        ScanResult const result = scan(automaton, {"AB"}, input);
        EXPECT_EQ(result.count, 1);
        EXPECT_EQ(result.consumed, 3u);
    }
    // The end of input ends a message as well.
    ScanResult const result = scan(automaton, {"B"}, "ABAB");
    EXPECT_EQ(result.count, 2);
    EXPECT_EQ(result.consumed, 4u);
}

std::string randomWord(std::mt19937& random, std::string const& alphabet, int maxLength) {
    std::uniform_int_distribution<int> length(0, maxLength);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string word;
    for (int n = length(random); n > 0; --n) word.push_back(alphabet[pick(random)]);
    return word;
}

// Small alphabets force overlaps and long fallback chains; a few invalid
// patterns ride along.
TEST_P(MotifscanScan, RandomPatternsMatchTheDefinition) {
    std::mt19937 random(2024);
    std::string const alphabets[] = {"A", "AB", "AB*", "ABC", "ABCDEFGHIJKLMNOPQRSTUVWXYZ*"};
    std::uniform_int_distribution<int> patternCount(0, 6);
    std::uniform_int_distribution<int> percent(0, 99);
    Automaton automaton;
    for (int trial = 0; trial < 4000; ++trial) {
        std::string const& alphabet = alphabets[static_cast<std::size_t>(trial) % std::size(alphabets)];
        std::vector<std::string> patterns;
        for (int n = patternCount(random); n > 0; --n) {
            std::string pattern = randomWord(random, alphabet, trial % 3 == 0 ? 12 : 5);
            if (percent(random) < 10) pattern.insert(pattern.size() / 2, 1, "a?\r \x80"[trial % 5]);
            patterns.push_back(pattern);
        }
        std::string const message = randomWord(random, alphabet, 80);
        SCOPED_TRACE(testing::Message() << "trial " << trial << ", message " << message);
        ScanResult const result = scan(automaton, patterns, message + "\n");
        EXPECT_EQ(result.count, mostDisjointOccurrences(patterns, message));
        EXPECT_EQ(result.consumed, message.size() + 1);
        if (HasFailure()) {
            for (std::string const& pattern : patterns) ADD_FAILURE() << "pattern \"" << pattern << "\"";
            break;
        }
    }
}

TEST(MotifscanAutomaton, OnlyPatternsOfMessageSymbolsCanComplete) {
    EXPECT_TRUE(canComplete("A"));
    EXPECT_TRUE(canComplete("*"));
    EXPECT_TRUE(canComplete("ZZ*A"));
    EXPECT_FALSE(canComplete(""));
    EXPECT_FALSE(canComplete("a"));
    EXPECT_FALSE(canComplete("A\r"));
    EXPECT_FALSE(canComplete(std::string("A\0", 2)));
    EXPECT_FALSE(canComplete("A\xc1"));
    EXPECT_FALSE(canComplete("@"));  // the bytes next to 'A' and 'Z'
    EXPECT_FALSE(canComplete("["));
}

TEST(MotifscanAutomaton, StatesGrowOnlyWithPatternsThatCanComplete) {
    Automaton automaton;
    buildAutomaton(automaton, {std::string(1000, 'a'), "", "A?"}, ScanChoice::tableOnly);
    EXPECT_EQ(automaton.patternEndsAt.size(), 1u);  // trie nodes: the start state only
    // A pattern that a shorter one prefixes is never reached.
    buildAutomaton(automaton, {"A", std::string(1000, 'A')}, ScanChoice::tableOnly);
    EXPECT_EQ(automaton.patternEndsAt.size(), 2u);
    EXPECT_LE(automaton.table.size(), 4 * std::size_t{symbolClasses});
}

}  // namespace
