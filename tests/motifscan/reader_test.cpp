// The reader against the C library: counts against fscanf("%d") and
// fscanf("%d\n"), lines against std::getline, both in value and in the number
// of bytes consumed. Every test runs with both readers and several buffer
// capacities and window sizes; with 1, every count, line and message
// straddles refills.

#include "run_in_memory.h"

#include "automaton.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>
#include <vector>

namespace {

class MotifscanReader : public testing::TestWithParam<Source> {};

INSTANTIATE_TEST_SUITE_P(Readers, MotifscanReader,
                         testing::Values(Source{false, 1}, Source{false, 2}, Source{false, 7},
                                         Source{false, defaultInputCapacity}, Source{true, 1},
                                         Source{true, 7}, Source{true, defaultInputCapacity}),
                         [](testing::TestParamInfo<Source> const& info) { return sourceName(info.param); });

struct CountCase {
    char const* input;
    countStatus status;
    int value;             // meaningful when status is read
    std::size_t consumed;  // bytes consumed by the count read
};

std::string describe(countStatus status) {
    switch (status) {
        case countStatus::read:
            return "read";
        case countStatus::notANumber:
            return "notANumber";
        case countStatus::endOfInput:
            return "endOfInput";
        case countStatus::outOfRange:
            return "outOfRange";
    }
    return "?";
}

TEST_P(MotifscanReader, CountsAndWhereTheyStop) {
    // What the comparison with scanf below cannot reach: long digit runs and
    // the edges of the range, beyond which scanf's value is undefined.
    CountCase const cases[] = {
        {"0000000000000000000000000000042", countStatus::read, 42, 31},
        {"2147483647", countStatus::read, 2147483647, 10},
        {"-2147483648", countStatus::read, -2147483647 - 1, 11},
        {"2147483648", countStatus::outOfRange, 0, 10},
        {"-2147483649", countStatus::outOfRange, 0, 11},
        {"99999999999999999999999999999999999999", countStatus::outOfRange, 0, 38},
        // glibc consumes a sign that no digit follows and leaves the next byte.
        {"-x", countStatus::notANumber, 0, 1},
        {" -", countStatus::endOfInput, 0, 2},
    };
    for (CountCase const& c : cases) {
        SCOPED_TRACE(testing::Message() << "input \"" << c.input << "\"");
        std::string const data = c.input;
        TestInput source(data, GetParam());
        input& in = source.in;
        int value = -99;
        countStatus const status = readCount(in, value);
        EXPECT_EQ(describe(status), describe(c.status));
        if (c.status == countStatus::read) {
            EXPECT_EQ(value, c.value);
        }
        EXPECT_EQ(source.consumed(data.size()), c.consumed);
    }
}

// Random short strings of whitespace, signs, digits and letters, read with
// readCount (then skipWhitespace for "%d\n") and with glibc's fscanf; the
// value, the kind of failure and the bytes consumed must agree.
TEST_P(MotifscanReader, CountsMatchScanf) {
    std::mt19937 random(12345);
    static char const alphabet[] = " \t\n\r\v\f+-0123456789012345678901234567890123456789xA";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 2);
    std::uniform_int_distribution<int> length(0, 12);
    for (int trial = 0; trial < 3000; ++trial) {
        std::string data;
        for (int n = length(random); n > 0; --n) data.push_back(alphabet[pick(random)]);
        for (bool withNewline : {false, true}) {
            SCOPED_TRACE(testing::Message() << "input \"" << data << "\", newline " << withNewline);
            char const* format = withNewline ? "%d\n" : "%d";
            std::FILE* file = fmemopen(data.data(), data.size(), "r");
            ASSERT_NE(file, nullptr);
            int expectedValue = -99;
            int const converted = std::fscanf(file, format, &expectedValue);
            bool const fileAtEnd = std::feof(file) != 0;
            long const expectedConsumed = std::ftell(file);
            std::fclose(file);

            TestInput source(data, GetParam());
            input& in = source.in;
            int value = -99;
            countStatus const status = readCount(in, value);
            if (status == countStatus::read && withNewline) skipWhitespace(in);
            if (status == countStatus::outOfRange) {
                // scanf's value is undefined there; the digits must really be too many.
                EXPECT_EQ(converted, 1);
                long long const exact = std::stoll(in.token);  // at most 12 bytes
                EXPECT_TRUE(exact > 2147483647LL || exact < -2147483648LL) << exact;
            } else if (converted == 1) {
                EXPECT_EQ(describe(status), "read");
                EXPECT_EQ(value, expectedValue);
            } else if (converted == EOF || fileAtEnd) {
                EXPECT_EQ(describe(status), "endOfInput");
            } else {
                EXPECT_EQ(describe(status), "notANumber");
            }
            // After a count out of range the program stops; nothing more is read.
            if (status != countStatus::outOfRange || !withNewline) {
                EXPECT_EQ(static_cast<long>(source.consumed(data.size())), expectedConsumed);
            }
        }
    }
}

std::vector<std::string> linesByGetline(std::string const& data) {
    std::istringstream stream(data);
    std::vector<std::string> lines;
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

TEST_P(MotifscanReader, LinesMatchGetline) {
    std::mt19937 random(777);
    static char const alphabet[] = "AB*\r\n\n \t";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 2);
    std::uniform_int_distribution<int> length(0, 16);
    // Long pattern lines straddle many refills of a small buffer.
    std::vector<std::string> const fixed = {"",
                                            "\n",
                                            "\n\n",
                                            "AB",
                                            "AB\n",
                                            "AB\r\n CD\n\nEF",
                                            std::string(100000, 'A') + "\n" + std::string(70001, 'B')};
    for (int trial = 0; trial < 2000; ++trial) {
        std::string data;
        if (trial < static_cast<int>(fixed.size())) {
            data = fixed[static_cast<std::size_t>(trial)];
        } else {
            for (int n = length(random); n > 0; --n) data.push_back(alphabet[pick(random)]);
        }
        SCOPED_TRACE(testing::Message() << "input \"" << data << "\"");
        TestInput source(data, GetParam());
        input& in = source.in;
        std::vector<std::string> lines;
        for (std::string line; readLine(in, line); line.clear()) lines.push_back(line);
        EXPECT_EQ(lines, linesByGetline(data));
        EXPECT_EQ(source.consumed(data.size()), data.size());
        auto const newlines = std::count(data.begin(), data.end(), '\n');
        EXPECT_EQ(in.line, 1 + newlines);
    }
}

TEST_P(MotifscanReader, ReadsShareOnePosition) {
    // A count, the skip after it, two lines and a message, back to back.
    std::string const data = "  3 \r\n\n\t AB\r\n CD\nABCDb*x";
    TestInput source(data, GetParam());
    input& in = source.in;
    int value = 0;
    ASSERT_EQ(describe(readCount(in, value)), "read");
    EXPECT_EQ(value, 3);
    skipWhitespace(in);
    std::string first, second;
    ASSERT_TRUE(readLine(in, first));
    ASSERT_TRUE(readLine(in, second));
    EXPECT_EQ(first, "AB\r");
    EXPECT_EQ(second, " CD");
    EXPECT_EQ(in.line, 5);
    // The lowercase b ends the message and is consumed; "*x" is left.
    automaton machine;
    std::vector<std::string> const patterns = {"BCX", "CD"};  // read in place while scanning
    buildAutomaton(machine, patterns);
    automatonScan scan;
    startScan(scan, machine);
    EXPECT_EQ(podciag(in, machine, scan), 1);  // CD completes at the D
    EXPECT_EQ(podciag(in, machine, scan), 0);  // b ends the message
    EXPECT_EQ(source.consumed(data.size()), data.size() - 2);
}

TEST_P(MotifscanReader, FoundWordsAreQuotedAndShortened) {
    struct Case {
        char const* input;
        char const* consumed;
        char const* found;
    };
    Case const cases[] = {
        {"x1 y", "", "\"x1\""},
        {"x", "-", "\"-x\""},
        {"", "+", "end of input after \"+\""},
        {"a\"b\\c\x01\xff\n", "", "\"a\\x22b\\x5cc\\x01\\xff\""},
        {"0123456789012345678901234567890123456789", "", "\"01234567890123456789012345678901...\""},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(testing::Message() << "input \"" << c.input << "\"");
        std::string const data = c.input;
        TestInput source(data, GetParam());
        input& in = source.in;
        EXPECT_EQ(describeFound(in, c.consumed), c.found);
    }
}

}  // namespace
