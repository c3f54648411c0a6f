// The scan of one message: hand-picked cases grouped by the rule they pin,
// then random pattern sets and messages against an independent model, the
// largest number of non-overlapping occurrences computed by dynamic
// programming.

#include "run_in_memory.h"

#include "automaton.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
ScanResult scanMessage(automaton& machine, automatonScan& scan, std::vector<std::string> const& patterns,
                       std::string const& inputText, std::size_t capacity, scanChoice choice) {
    buildAutomaton(machine, patterns, choice);
    startScan(scan, machine);
    input in = inputFromMemory(inputText, capacity);
    ScanResult result;
    while (podciag(in, machine, scan) == 1) ++result.count;
    result.consumed = consumedBytes(in, inputText.size());
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

// Every scan test runs with every engine (each takes the sets it can, the
// next bigger one the rest) and with one-byte and large buffers.
struct ScanParameters {
    std::size_t capacity;
    scanChoice choice;
    char const* name;
};

// A stable, readable name for test names and failure messages (the record's
// padding bytes would otherwise show, different in every build).
void PrintTo(ScanParameters const& parameters, std::ostream* stream) { *stream << parameters.name; }

class MotifscanScan : public testing::TestWithParam<ScanParameters> {
protected:
    ScanResult scan(automaton& machine, std::vector<std::string> const& patterns,
                    std::string const& inputText) {
        return scanMessage(machine, scanState, patterns, inputText, GetParam().capacity, GetParam().choice);
    }
    automatonScan scanState;  // reused, as tasks reuse it
};

INSTANTIATE_TEST_SUITE_P(
    BuffersAndEngines, MotifscanScan,
    testing::Values(ScanParameters{1, scanChoice::fastest, "fastest_1"},
                    ScanParameters{defaultInputCapacity, scanChoice::fastest, "fastest"},
                    ScanParameters{1, scanChoice::endFilter, "endFilter_1"},
                    ScanParameters{defaultInputCapacity, scanChoice::endFilter, "endFilter"},
                    ScanParameters{1, scanChoice::wideBitParallel, "wideBitParallel_1"},
                    ScanParameters{defaultInputCapacity, scanChoice::wideBitParallel, "wideBitParallel"},
                    ScanParameters{1, scanChoice::denseTable, "denseTable_1"},
                    ScanParameters{defaultInputCapacity, scanChoice::denseTable, "denseTable"},
                    ScanParameters{1, scanChoice::sparseTable, "sparseTable_1"},
                    ScanParameters{defaultInputCapacity, scanChoice::sparseTable, "sparseTable"},
                    ScanParameters{1, scanChoice::compact, "compact_1"},
                    ScanParameters{defaultInputCapacity, scanChoice::compact, "compact"}),
    [](testing::TestParamInfo<ScanParameters> const& info) { return std::string(info.param.name); });

TEST_P(MotifscanScan, HandPickedCases) {
    automaton machine;  // shared, as tasks share it
    for (ScanCase const& c : scanCases) {
        SCOPED_TRACE(c.name);
        ScanResult const result = scan(machine, c.patterns, c.message + "\nAAA");
        EXPECT_EQ(result.count, c.count);
        EXPECT_EQ(result.consumed, c.message.size() + 1);
        EXPECT_EQ(mostDisjointOccurrences(c.patterns, c.message), c.count);
    }
}

TEST_P(MotifscanScan, AnyOtherByteEndsTheMessageAndIsConsumed) {
    automaton machine;
    for (int byte = 0; byte < 256; ++byte) {
        if ((byte >= 'A' && byte <= 'Z') || byte == '*') continue;
        SCOPED_TRACE(byte);
        std::string const inputText = std::string("AB") + static_cast<char>(byte) + "AB";
        ScanResult const result = scan(machine, {"AB"}, inputText);
        EXPECT_EQ(result.count, 1);
        EXPECT_EQ(result.consumed, 3u);
    }
    // The end of input ends a message as well.
    ScanResult const result = scan(machine, {"B"}, "ABAB");
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
    automaton machine;
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
        ScanResult const result = scan(machine, patterns, message + "\n");
        EXPECT_EQ(result.count, mostDisjointOccurrences(patterns, message));
        EXPECT_EQ(result.consumed, message.size() + 1);
        if (HasFailure()) {
            for (std::string const& pattern : patterns) ADD_FAILURE() << "pattern \"" << pattern << "\"";
            break;
        }
    }
}

// Large and deep pattern sets, where the engines differ most: long chains,
// many shared prefixes, patterns inside other patterns, periodic patterns
// whose suffix links fall back many times, and sets just below and just above
// every engine's limit. Every engine must give the count of the definition.
std::vector<std::string> structuredPatterns(std::mt19937& random, int kind, std::size_t symbols) {
    std::vector<std::string> patterns;
    std::size_t total = 0;
    std::string const base = randomWord(random, "AB", 400) + "C";
    while (total < symbols) {
        std::string pattern;
        switch (kind) {
            case 0:  // one long chain, cut to the size asked
                pattern = std::string(symbols, 'A');
                for (char& c : pattern) c = "AB"[random() % 8 == 0];
                break;
            case 1:  // a shared prefix and short distinct tails
                pattern = base.substr(0, 1 + random() % base.size()) + randomWord(random, "ABC*", 4);
                break;
            case 2:  // suffixes of one word: each pattern's links enter the next
                pattern = base.substr(random() % base.size());
                break;
            default:  // periodic runs of A ended by one other symbol
                pattern = std::string(1 + random() % 300, 'A') + "BC"[random() % 2];
                break;
        }
        pattern.resize(std::min(pattern.size(), symbols - total));
        total += pattern.size();
        patterns.push_back(pattern);
    }
    return patterns;
}

TEST(MotifscanAutomaton, EveryEngineCountsLargeAndDeepSetsAlike) {
    std::mt19937 random(99);
    scanChoice const engines[] = {scanChoice::fastest,         scanChoice::endFilter,
                                  scanChoice::wideBitParallel, scanChoice::denseTable,
                                  scanChoice::sparseTable,     scanChoice::compact};
    std::size_t const sizes[] = {
        maxBitParallelSymbols, maxBitParallelSymbols + 1, maxWideSymbols, maxWideSymbols + 1, 3000,
        std::size_t{1} << 17};
    automaton machine;
    automatonScan scan;
    for (std::size_t symbols : sizes) {
        for (int kind = 0; kind < 4; ++kind) {
            std::vector<std::string> const patterns = structuredPatterns(random, kind, symbols);
            // The message walks deep into the patterns: one whole, then pieces
            // of them glued with random symbols.
            std::string message = patterns[0];
            while (message.size() < 20000) {
                std::string const& pattern = patterns[random() % patterns.size()];
                std::size_t const from = random() % pattern.size();
                message += pattern.substr(from, random() % 600) + randomWord(random, "ABC", 3);
            }
            int const expected = symbols <= 3000 ? mostDisjointOccurrences(patterns, message) : -1;
            SCOPED_TRACE(testing::Message() << symbols << " symbols, kind " << kind);
            int first = -1;
            for (scanChoice engine : engines) {
                for (std::size_t capacity : {std::size_t{1}, defaultInputCapacity}) {
                    ScanResult const result =
                        scanMessage(machine, scan, patterns, message + "\n", capacity, engine);
                    if (first < 0) first = result.count;
                    EXPECT_EQ(result.count, first) << "engine " << static_cast<int>(engine);
                    EXPECT_EQ(result.consumed, message.size() + 1);
                }
            }
            if (expected >= 0) {
                EXPECT_EQ(first, expected);
            }
            EXPECT_GT(first, 0);
        }
    }
    // The fastest choice picks each engine in its range. Up to 63 symbols the
    // filter starts bit-parallel, and compiles itself only for long messages.
    buildAutomaton(machine, {"A", std::string(maxBitParallelSymbols - 1, 'B')});
    EXPECT_EQ(machine.startEngine, engine::endFilter);
    EXPECT_TRUE(machine.filter.bitsFirst);
    buildAutomaton(machine, {std::string(maxBitParallelSymbols, 'B') + "C"});
    EXPECT_EQ(machine.startEngine, engine::endFilter);
    buildAutomaton(machine, {"A", std::string(maxWideSymbols - 1, 'B')});
    EXPECT_EQ(machine.startEngine, engine::wideBitParallel);
    // Above that, the compact automaton first, and the dense table once the
    // message has one byte per 32 pattern symbols (up to 2^23 symbols).
    std::vector<std::string> const midSet = {"A", std::string(1000, 'B')};
    buildAutomaton(machine, midSet);
    EXPECT_EQ(machine.startEngine, engine::compact);
    std::string const message = std::string(20, 'C') + std::string(1000, 'B') + "\n";
    ScanResult const handedOver = scanMessage(machine, scan, midSet, message, 7, scanChoice::fastest);
    EXPECT_EQ(machine.startEngine, engine::compact);
    EXPECT_EQ(scan.running, engine::denseTable);
    EXPECT_EQ(handedOver.count, 1);  // the B run started before the hand-over
    buildAutomaton(machine, {"A", std::string(maxDenseSymbols, 'B')});
    EXPECT_EQ(machine.startEngine, engine::compact);
    EXPECT_EQ(machine.compactBudget, UINT64_MAX);
}

// The filter's two vector paths (direct compares for a few suffixes, hashing
// and gathering for more) and its portable path, with candidates at every
// offset of the 32-byte steps and across input blocks of every size.
TEST(MotifscanAutomaton, FilterPathsCountAlike) {
    std::mt19937 random(4242);
    std::string const alphabets[] = {"ABCD", "ABCDEFGHIJKLMNOPQRSTUVWXYZ*"};
    automaton machine;
    automatonScan scan;
    for (int trial = 0; trial < 120; ++trial) {
        std::string const& alphabet = alphabets[trial % 2];
        std::vector<std::string> patterns;
        int const count =
            trial % 3 == 0 ? 1 + static_cast<int>(random() % 16) : 17 + static_cast<int>(random() % 40);
        while (static_cast<int>(patterns.size()) < count) {
            std::string pattern = randomWord(random, alphabet, 12);
            if (pattern.size() >= 2) patterns.push_back(pattern);
        }
        std::string message;
        while (message.size() < 3000) {
            message += random() % 2 ? patterns[random() % patterns.size()] : randomWord(random, alphabet, 40);
        }
        int const expected = mostDisjointOccurrences(patterns, message);
        SCOPED_TRACE(testing::Message() << "trial " << trial << ", " << count << " patterns");
        for (bool vectorPath : {true, false}) {
            for (std::size_t capacity :
                 {std::size_t{1}, std::size_t{37}, std::size_t{4096}, defaultInputCapacity}) {
                buildAutomaton(machine, patterns, scanChoice::endFilter);
                ASSERT_EQ(machine.startEngine, engine::endFilter);
                startScan(scan, machine);
                scan.filterState.tuning.path =
                    vectorPath ? std::nullopt : std::optional<filterPath>(filterPath::scalar);
                std::string const inputText = message + "\n";
                input in = inputFromMemory(inputText, capacity);
                int counted = 0;
                while (podciag(in, machine, scan) == 1) ++counted;
                EXPECT_EQ(counted, expected) << "vector path " << vectorPath << ", capacity " << capacity;
                EXPECT_EQ(consumedBytes(in, inputText.size()), inputText.size());
            }
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
    automaton machine;
    buildAutomaton(machine, {std::string(1000, 'a'), "", "A?"}, scanChoice::denseTable);
    EXPECT_EQ(machine.dense.rows.size(), machine.dense.width);  // the start state only
    // A pattern that a shorter one prefixes is never reached, and states that
    // complete are not stored.
    buildAutomaton(machine, {"A", std::string(1000, 'A')}, scanChoice::sparseTable);
    EXPECT_EQ(machine.dense.rows.size(), machine.dense.width);
    EXPECT_TRUE(machine.dense.sparse.empty());
    buildAutomaton(machine, {"B", std::string(1000, 'A')}, scanChoice::sparseTable);
    EXPECT_EQ(machine.dense.sparse.size(), 2 * 999u);
}

// The table over patterns of 1, 4, 26 and 27 symbols, with messages that
// hold other symbols too, all dense, dense near the start only, and sparse
// but for the start; then the same sets handed over from the compact
// automaton in the middle of a message. Blocks of 1, 7 and 4096 bytes.
TEST(MotifscanAutomaton, ByteClassTablesCountAsTheModel) {
    struct Alphabet {
        std::string symbols;
        std::uint32_t width;
    };
    Alphabet const alphabets[] = {
        {"A", 3}, {"ACGT", 6}, {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", 28}, {"ABCDEFGHIJKLMNOPQRSTUVWXYZ*", 28}};
    std::mt19937 random(1818);
    for (Alphabet const& alphabet : alphabets) {
        for (int trial = 0; trial < 24; ++trial) {
            std::string const others = alphabet.symbols.size() < 27 ? "*Z" : "";
            std::string message;
            while (message.size() < 1500) {
                message += randomWord(random, alphabet.symbols, 30);
                if (!others.empty() && random() % 4 == 0) message += randomWord(random, others, 2);
            }
            std::vector<std::string> patterns;
            int const count = 1 + static_cast<int>(random() % (trial % 2 == 0 ? 8 : 120));
            while (static_cast<int>(patterns.size()) < count) {
                std::size_t const length = 1 + random() % (trial % 3 == 0 ? 3 : 14);
                std::string pattern = random() % 2 == 0 ? message.substr(random() % message.size(), length)
                                                        : randomWord(random, alphabet.symbols, 14);
                for (char& c : pattern) {
                    if (alphabet.symbols.find(c) == std::string::npos) c = alphabet.symbols[0];
                }
                patterns.push_back(pattern);
            }
            if (alphabet.symbols.size() > 1) patterns.push_back(alphabet.symbols);  // every symbol in use
            int const expected = mostDisjointOccurrences(patterns, message);
            SCOPED_TRACE(testing::Message() << alphabet.symbols.size() << " symbols, trial " << trial);
            std::string const inputText = message + "\n";
            for (std::size_t budget : {std::size_t{0}, std::size_t{300}, defaultDenseBudget}) {
                for (std::size_t capacity : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
                    denseTable dense;
                    dense.denseBudget = budget;
                    buildDenseTable(dense, patterns, measurePatterns(patterns).symbols);
                    EXPECT_EQ(dense.width, alphabet.width);
                    input in = inputFromMemory(inputText, capacity);
                    int counted = 0;
                    while (podciagDenseTable(in, dense) == 1) ++counted;
                    EXPECT_EQ(counted, expected) << "budget " << budget << ", capacity " << capacity;
                    EXPECT_EQ(consumedBytes(in, inputText.size()), inputText.size());
                }
            }
            // Above 255 symbols: the compact automaton, then the table. A
            // one-symbol pattern keeps the filter away.
            std::vector<std::string> large = patterns;
            large.push_back("*");
            large.push_back(std::string(300, alphabet.symbols[0]) + "?");  // never completes, never counts
            large.push_back(std::string(300, alphabet.symbols.back()) + message.substr(0, 9));
            automaton machine;
            automatonScan scan;
            for (std::size_t capacity : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
                ScanResult const result =
                    scanMessage(machine, scan, large, inputText, capacity, scanChoice::fastest);
                EXPECT_EQ(scan.running, engine::denseTable);
                EXPECT_EQ(result.count, mostDisjointOccurrences(large, message)) << "capacity " << capacity;
            }
        }
    }
}

// Two scans of one compiled automaton, each call of one taking turns with a
// call of the other, over blocks of 1 to 64 bytes: each counts its own message
// as the model does, hand-overs included (the compact automaton's to the
// table, the filter's to the table and back, with tiny credits), and the
// automaton a scan starts with stays as it was built.
TEST(MotifscanAutomaton, ScansOfOneAutomatonLearnApart) {
    std::mt19937 random(2718);
    std::string const alphabets[] = {"A", "ACGT", "ABCDEFGHIJKLMNOPQRSTUVWXYZ*"};
    scanChoice const engines[] = {scanChoice::fastest, scanChoice::endFilter, scanChoice::compact,
                                  scanChoice::denseTable};
    automaton machine;
    automatonScan scans[2];
    for (int trial = 0; trial < 60; ++trial) {
        std::string const& alphabet = alphabets[trial % 3];
        std::vector<std::string> patterns;
        // Sets of up to 20 patterns, or above 255 symbols for the compact automaton.
        std::size_t const symbols = trial % 2 == 0 ? 20 : 400 + random() % 400;
        for (std::size_t held = 0; held < symbols; held += patterns.back().size()) {
            std::string const stem = alphabet.substr(random() % alphabet.size(), 1) + alphabet.back();
            patterns.push_back(randomWord(random, alphabet, trial % 4 == 1 ? 4 : 12) + stem);
        }
        std::string messages[2];
        for (std::string& message : messages) {
            while (message.size() < 3000) {
                message += random() % 3 == 0 ? patterns[random() % patterns.size()]
                                             : randomWord(random, alphabet, 20);
            }
        }
        scanChoice const choice = engines[trial / 2 % 4];
        SCOPED_TRACE(testing::Message() << "trial " << trial << ", " << patterns.size() << " patterns");
        buildAutomaton(machine, patterns, choice);
        engine const built = machine.startEngine;
        std::string inputs[2];
        input ins[2];
        int counts[2] = {0, 0};
        bool going[2] = {true, true};
        for (int k = 0; k < 2; ++k) {
            inputs[k] = messages[k] + "\n";
            ins[k] = inputFromMemory(inputs[k], 1 + random() % 64);
            startScan(scans[k], machine);
            scans[k].filterState.tuning = filterTuning{0, 3, 20, 7, 0, 0, {}};
        }
        while (going[0] || going[1]) {
            for (int k = 0; k < 2; ++k) {
                if (going[k] && podciag(ins[k], machine, scans[k]) == 1) {
                    ++counts[k];
                } else {
                    going[k] = false;
                }
            }
        }
        for (int k = 0; k < 2; ++k) {
            EXPECT_EQ(counts[k], mostDisjointOccurrences(patterns, messages[k])) << "message " << k;
            EXPECT_EQ(consumedBytes(ins[k], inputs[k].size()), inputs[k].size());
        }
        EXPECT_EQ(machine.startEngine, built);
    }
}

// The patterns X^j AB for j = 0..3000 over the message X^3000 AB: every link
// of the deepest chain needs the one before it. Run in a child process whose
// stack may not grow past 256 KiB, which a recursion over those links
// overflows; every engine that takes the set runs there.
TEST(MotifscanAutomaton, DeepLinksNeedNoDeepStack) {
    std::string inputText = "1\n3001\n";
    for (int j = 0; j <= 3000; ++j) inputText += std::string(j, 'X') + "AB\n";
    inputText += std::string(3000, 'X') + "AB\n";
    pid_t const child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit const limit{256 << 10, 256 << 10};
        int failures = ::setrlimit(RLIMIT_STACK, &limit) == 0 ? 0 : 100;
        for (scanChoice engine : {scanChoice::fastest, scanChoice::compact, scanChoice::sparseTable}) {
            RunResult const run = runInMemory(inputText, 4096, engine);
            failures += run.finished && run.output == "1\n" ? 0 : 1;
        }
        ::_exit(failures);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
