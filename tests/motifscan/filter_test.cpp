// The end filter against the literal scan: every candidate path, the literal
// prefilter at its bucket and size limits, and hand-overs to the dense table
// and back made to come every few bytes, mid-call and across input blocks of
// every size.

#include "automaton.h"
#include "run_in_memory.h"

#include <gtest/gtest.h>

#include <list>
#include <random>

namespace {

// podciag as the straightforward program runs it: a list of partial-match
// lengths per pattern, every list walked at every byte.
int literalCount(std::vector<std::string> const& patterns, std::string const& message) {
    int count = 0;
    std::vector<std::list<std::size_t>> partials(patterns.size());
    for (char const c : message) {
        bool completed = false;
        for (std::size_t k = 0; k < patterns.size() && !completed; ++k) {
            std::string const& pattern = patterns[k];
            if (!pattern.empty() && pattern[0] == c) partials[k].push_back(0);
            for (auto entry = partials[k].begin(); entry != partials[k].end();) {
                if (pattern[*entry] != c) {
                    entry = partials[k].erase(entry);
                } else if (++*entry == pattern.size()) {
                    completed = true;
                    break;
                } else {
                    ++entry;
                }
            }
        }
        if (completed) {
            ++count;
            for (auto& partial : partials) partial.clear();
        }
    }
    return count;
}

struct Tuning {
    char const* name;
    filterTuning tuning;
};

Tuning const tunings[] = {
    {"as built", filterTuning{}},
    {"hand over at every candidate, probe after every byte", filterTuning{0, 0, 0, 1, 0, 0, {}}},
    {"a little credit, probe after 7 bytes, bits for 30, prefilter after 100",
     filterTuning{5, 3, 20, 7, 100, 30, {}}},
    {"table for 300 bytes at a time", filterTuning{0, 40, 40, 300, 0, 0, {}}},
};

// Every path; where the filter cannot take one it takes the one before.
std::vector<filterPath> paths() {
    if (!__builtin_cpu_supports("avx2")) return {filterPath::scalar};
    std::vector<filterPath> all = {filterPath::scalar, filterPath::hashed, filterPath::compared,
                                   filterPath::teddy};
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("bmi2"))
        all.push_back(filterPath::hashed64);
    return all;
}

struct Outcome {
    int count = 0;
    std::size_t consumed = 0;
};

// As the tests' choice builds it (eager), or as the program's choice does:
// bit-parallel first for up to 63 symbols, a prefilter once the message is
// long, and no filter at all (bit-parallel, or the table mid-call) where the
// estimate says candidates would be too frequent.
Outcome scanWith(automaton& machine, automatonScan& scan, std::vector<std::string> const& patterns,
                 std::string const& inputText, filterPath path, filterTuning tuning, std::size_t capacity,
                 bool eager) {
    // A set the program would not give the filter is scanned eagerly.
    if (eager || !buildEndFilter(machine.filter, patterns, measurePatterns(patterns), maxCandidateShare)) {
        buildAutomaton(machine, patterns, scanChoice::endFilter);
    }
    startScan(scan, machine);
    scan.filterState.tuning = tuning;
    scan.filterState.tuning.path = path;
    input in = inputFromMemory(inputText, capacity);
    Outcome outcome;
    while (podciag(in, machine, scan) == 1) ++outcome.count;
    outcome.consumed = consumedBytes(in, inputText.size());
    return outcome;
}

// Checks every path, tuning and a few block sizes on one set and message.
void expectLiteralCounts(automaton& machine, automatonScan& scan, std::vector<std::string> const& patterns,
                         std::string const& message, std::mt19937& random) {
    int const expected = literalCount(patterns, message);
    std::string const inputText = message + "\nAB";
    buildAutomaton(machine, patterns, scanChoice::endFilter);
    ASSERT_EQ(machine.startEngine, engine::endFilter);
    for (filterPath path : paths()) {
        for (Tuning const& tuning : tunings) {
            std::size_t const capacities[] = {1, 2 + random() % 40, defaultInputCapacity};
            for (std::size_t capacity : capacities) {
                for (bool eager : {true, false}) {
                    Outcome const outcome =
                        scanWith(machine, scan, patterns, inputText, path, tuning.tuning, capacity, eager);
                    EXPECT_EQ(outcome.count, expected)
                        << "path " << static_cast<int>(path) << ", " << tuning.name << ", capacity "
                        << capacity << (eager ? ", eager" : ", as the program builds it");
                    EXPECT_EQ(outcome.consumed, message.size() + 1);
                }
            }
        }
    }
}

std::string randomWord(std::mt19937& random, std::string const& alphabet, std::size_t length) {
    std::string word;
    for (std::size_t n = 0; n < length; ++n) word.push_back(alphabet[random() % alphabet.size()]);
    return word;
}

// Messages glued from pieces of the patterns and random bytes, so that
// occurrences overlap, nest and straddle every kind of boundary.
std::string messageFor(std::mt19937& random, std::vector<std::string> const& patterns,
                       std::string const& alphabet, std::size_t size) {
    std::string message;
    while (message.size() < size) {
        std::string const& pattern = patterns[random() % patterns.size()];
        if (random() % 2 == 0 && canComplete(pattern)) {
            std::size_t const from = random() % 3 == 0 ? random() % pattern.size() : 0;
            message += pattern.substr(from);
        } else {
            message += randomWord(random, alphabet, random() % 20);
        }
    }
    return message;
}

TEST(MotifscanFilter, EveryPathAndHandOverCountsAsTheLiteralScan) {
    std::mt19937 random(1807);
    std::string const alphabets[] = {"A", "AB", "ACGT", "ABCDEFGHIJKLMNOPQRSTUVWXYZ*"};
    automaton machine;  // reused, as tasks reuse them: the scan state must follow each build
    automatonScan scan;
    for (int trial = 0; trial < 160; ++trial) {
        std::string const& alphabet = alphabets[trial % 4];
        std::size_t const count = 1 + random() % (trial % 5 == 0 ? 80 : 12);
        std::vector<std::string> patterns;
        while (patterns.size() < count) {
            std::size_t const length = 1 + random() % (trial % 3 == 0 ? 24 : 6);
            patterns.push_back(random() % 8 == 0 && !patterns.empty() ? patterns.back()
                                                                      : randomWord(random, alphabet, length));
        }
        if (trial % 7 == 0) patterns.push_back("A?");  // never completes
        std::string const message = messageFor(random, patterns, alphabet, 200 + random() % 1500);
        SCOPED_TRACE(testing::Message() << "trial " << trial << ", message " << message);
        expectLiteralCounts(machine, scan, patterns, message, random);
        if (HasFailure()) {
            for (std::string const& pattern : patterns) ADD_FAILURE() << "pattern \"" << pattern << "\"";
            break;
        }
    }
}

// Teddy takes up to mostTeddyEndings distinct endings, one per bucket up to 8; its reach
// is at most 16 and at most the longest pattern.
TEST(MotifscanFilter, PrefilterAtItsLimits) {
    std::mt19937 random(64);
    std::string const letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ*";
    automaton machine;
    automatonScan scan;
    struct Limit {
        std::size_t endings, length;
        bool built;
    };
    for (Limit const limit : {Limit{1, 1, true}, Limit{8, 3, true}, Limit{9, 40, true},
                              Limit{mostTeddyEndings, 20, true}, Limit{mostTeddyEndings + 1, 20, false}}) {
        SCOPED_TRACE(testing::Message() << limit.endings << " endings of " << limit.length);
        std::vector<std::string> patterns;
        // Distinct endings; a copy, or a longer pattern with the same last 16
        // bytes, adds none.
        for (std::size_t k = 0; k < limit.endings; ++k) {
            std::string ending = randomWord(random, letters, limit.length);
            ending.back() = letters[k % letters.size()];
            ending[0] = letters[k / letters.size()];
            patterns.push_back(ending);
            patterns.push_back(limit.length >= mostTeddyReach ? randomWord(random, letters, 3) + ending
                                                              : ending);
        }
        endFilter filter;
        ASSERT_TRUE(compileEndFilter(filter, patterns, measurePatterns(patterns), 1.0));
        teddy tables;
        EXPECT_EQ(buildTeddy(tables, filter.text, filter.length), limit.built);
        if (limit.built) {
            EXPECT_LE(tables.reach, std::min<std::size_t>(limit.length + 3, mostTeddyReach));
        }
        expectLiteralCounts(machine, scan, patterns, messageFor(random, patterns, letters, 3000), random);
    }
}

// Sets of five bytes or more with many distinct four-byte endings take a
// window of up to eight bytes: lengths straddle it, patterns share their last
// four bytes and differ before, and the vector path's two loads reach seven
// bytes back across blocks of one byte.
TEST(MotifscanFilter, WideWindowsCountAsTheLiteralScan) {
    std::mt19937 random(88);
    std::string const alphabets[] = {"ABC", "ACGT", "ABCDEFGHIJKLMNOPQRSTUVWXYZ*"};
    automaton machine;
    automatonScan scan;
    for (int trial = 0; trial < 24; ++trial) {
        std::string const& alphabet = alphabets[trial % 3];
        std::size_t const shortest = 5 + random() % 5;
        std::vector<std::string> patterns;
        while (patterns.size() < 40 + random() % 40) {
            std::string pattern = randomWord(random, alphabet, shortest + random() % 6);
            if (random() % 3 == 0 && !patterns.empty()) {
                std::string const& other = patterns[random() % patterns.size()];
                pattern += other.substr(other.size() - 4);
            }
            patterns.push_back(pattern);
        }
        std::string const message = messageFor(random, patterns, alphabet, 300 + random() % 1200);
        SCOPED_TRACE(testing::Message() << "trial " << trial << ", message " << message);
        endFilter filter;
        ASSERT_TRUE(compileEndFilter(filter, patterns, measurePatterns(patterns), 1.0));
        EXPECT_EQ(filter.window, std::min<std::size_t>(measurePatterns(patterns).shortest, 8));
        expectLiteralCounts(machine, scan, patterns, message, random);
        if (HasFailure()) break;
    }

    // The program's choice widens a set whose four-byte endings are many.
    std::vector<std::string> patterns;
    while (patterns.size() < 3 * wideAboveEndings)
        patterns.push_back(randomWord(random, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 5 + random() % 5));
    endFilter filter;
    ASSERT_TRUE(buildEndFilter(filter, patterns, measurePatterns(patterns), maxCandidateShare));
    EXPECT_EQ(filter.window, 5u);
    expectLiteralCounts(machine, scan, patterns,
                        messageFor(random, patterns, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 2000), random);
}

// The adversarial messages: every byte a candidate (even for the prefilter's
// longest reach) that fails its confirmation. The table takes over, and the filter takes the scan back once
// candidates turn rare.
TEST(MotifscanFilter, FrequentCandidatesHandOverAndRareOnesHandBack) {
    automaton machine;
    automatonScan scan;
    std::mt19937 random(5);
    std::vector<std::string> const patterns = {"B" + std::string(63, 'A')};
    std::string const quiet = randomWord(random, "XYZQ", 600000);
    std::string const inputText = std::string(100000, 'A') + patterns[0] + quiet + patterns[0] + "\n";
    buildAutomaton(machine, patterns, scanChoice::fastest);
    ASSERT_EQ(machine.startEngine, engine::endFilter);
    startScan(scan, machine);
    input in = inputFromMemory(inputText);
    int count = 0;
    while (podciag(in, machine, scan) == 1) {
        ++count;
        if (count == 1) {
            EXPECT_TRUE(scan.filterState.onTable);
        }
    }
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(scan.filterState.tableBuilt);
    EXPECT_FALSE(scan.filterState.onTable);

    // Copies of one pattern are confirmed once.
    std::vector<std::string> const copies(4096, "BAAAA");
    buildAutomaton(machine, copies, scanChoice::endFilter);
    for (suffixSlot const& slot : machine.filter.slots) {
        if (slot.firstPattern == UINT32_MAX) continue;
        EXPECT_EQ(machine.filter.nextPattern[slot.firstPattern], UINT32_MAX);
    }
    EXPECT_EQ(literalCount(copies, "BAAAAAABAAAA"), 2);
}

}  // namespace
