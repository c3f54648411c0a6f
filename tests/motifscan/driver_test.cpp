// The whole program in-process: how the three kinds of read hand the input to
// each other, and what it prints and reports on input it cannot process.

#include "run_in_memory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace {

struct ProgramCase {
    char const* name;
    std::string input;
    std::string output;
    std::string error;  // empty when the run finishes
};

std::vector<ProgramCase> const programCases = {
    // Task boundaries.
    {"two tasks", "2\n1\nA\nAAA\n2\nAB\nBC\nABC\n", "3\n1\n", ""},
    {"no tasks", "0\n1\nA\nA\n", "", ""},
    {"negative task count means none", "-3\n", "", ""},
    {"nothing after the last task is read", "1\n0\n\nA\n-5 junk", "0\n", ""},
    {"message ends at the end of input", "1\n1\nA\nAAA", "3\n", ""},
    {"last pattern line without its newline", "1\n1\nA", "0\n", ""},
    {"empty message at the end of input", "1\n0", "0\n", ""},
    // The skip after the pattern count.
    {"first pattern loses leading blanks and blank lines", "1\n2\n\n \t AB\n CD\nABCD\n", "1\n", ""},
    {"m = 0 skips the empty message into the next count", "2\n0\n\n11\nA\nAAA\n", "0\n3\n", ""},
    {"m = 0 scans the next line as the message", "2\n0\n\nAA\n1\nA\nAAA\n", "0\n3\n", ""},
    // Pattern lines keep what std::getline keeps.
    {"carriage return stays in the pattern", "1\n2\r\nAB\r\nCD\nABCD\r\n", "1\n", ""},
    {"empty line is an empty pattern", "1\n3\nA\n\nB\nAB\n", "2\n", ""},
    {"tab inside a pattern", "1\n1\nA\tB\nAB\n", "0\n", ""},
    // The byte that ends a message is consumed; the rest is left.
    {"lowercase letter ends the message", "3\n1\nAB\nAbAB\n1\nA\nAAA\n", "0\n0\n3\n", ""},
    {"digit ending a message is lost", "2\n1\nA\nAA31\nA\nAAA\n", "2\n3\n", ""},
    // A pattern count that is not a number: the scan starts at that byte.
    {"letter as pattern count", "2\nAAB\n1\nA\nA\n", "0\n1\n", ""},
    {"lone sign before a letter is consumed", "2\n-A\n1\nA\nAAA", "0\n3\n", ""},
    {"lone sign before a newline", "2\n+\n1\nA\nA\n", "0\n1\n", ""},
    // The task count.
    {"no input", "", "", "line 1: expected the number of tasks, found end of input"},
    {"blank input", " \n\n", "", "line 2: expected the number of tasks, found end of input"},
    {"task count not a number", "x1\n", "", "line 1: expected the number of tasks, found \"x1\""},
    {"task count lone sign", "-\n", "", "line 1: expected the number of tasks, found \"-\""},
    {"task count sign at the end", "\n+", "",
     "line 2: expected the number of tasks, found end of input after \"+\""},
    {"task count too large", "2147483648\n", "",
     "line 1: expected the number of tasks, found \"2147483648\" (out of range)"},
    {"task count too small", "-2147483649\n", "",
     "line 1: expected the number of tasks, found \"-2147483649\" (out of range)"},
    {"long count cut short", "00000000000000000000000000000000000000099999999999\n", "",
     "line 1: expected the number of tasks, found \"00000000000000000000000000000000...\" (out of range)"},
    // The pattern count.
    {"negative pattern count", "2\n1\nA\nAA\n-1\nA\n", "2\n",
     "line 5: expected the number of patterns, found \"-1\" (negative)"},
    {"pattern count too large", "1\n\n 2147483648\nA\n", "",
     "line 3: expected the number of patterns, found \"2147483648\" (out of range)"},
    {"lone sign at the end", "2\n1\nA\nA\n-", "1\n",
     "line 5: expected the number of patterns, found end of input after \"-\""},
    // The input ends before the announced tasks are complete.
    {"end of input before a task", "3\n1\nA\nAAA\n", "3\n",
     "line 4: expected the number of patterns, found end of input"},
    {"only whitespace where a task should be", "2\n0\nAA\n  \n\n", "0\n",
     "line 5: expected the number of patterns, found end of input"},
    {"end of input in the pattern lines", "3\n1\nA\nAAA\n2\nAB\n", "3\n",
     "line 6: expected pattern 2 of 2, found end of input"},
    {"end of input after the pattern count", "1\n1\n\n", "",
     "line 3: expected pattern 1 of 1, found end of input"},
    {"huge pattern count", "1\n2147483647\nAB\nCD\n", "",
     "line 4: expected pattern 3 of 2147483647, found end of input"},
};

class MotifscanProgram : public testing::TestWithParam<Source> {};

INSTANTIATE_TEST_SUITE_P(Readers, MotifscanProgram,
                         testing::Values(Source{false, 1}, Source{false, 3},
                                         Source{false, defaultInputCapacity}, Source{true, 1},
                                         Source{true, 3}, Source{true, defaultInputCapacity}),
                         [](testing::TestParamInfo<Source> const& info) { return sourceName(info.param); });

TEST_P(MotifscanProgram, Cases) {
    for (ProgramCase const& c : programCases) {
        SCOPED_TRACE(c.name);
        RunResult const result = runFrom(c.input, GetParam());
        EXPECT_EQ(result.output, c.output);
        EXPECT_EQ(result.finished, c.error.empty());
        EXPECT_EQ(result.error, c.error);
    }
}

TEST(MotifscanProgram, PatternCountReservesNothingAhead) {
    std::string const inputText = "2147483647\nAB\nCD\n";
    input in = inputFromMemory(inputText, 1);
    taskState task;
    EXPECT_FALSE(zadanie(in, task).has_value());
    EXPECT_EQ(task.m, 2147483647);
    EXPECT_LE(task.wzorce.capacity(), 16u);
}

TEST(MotifscanProgram, NothingOfOneTaskReachesTheNext) {
    // Were A left over, the second task would count 2; were any pattern left
    // over, the third would count 1.
    RunResult const result = runInMemory("3\n2\nAB\nA\nAB\n1\nB\nAB\n0\nAB\n");
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.output, "1\n1\n0\n");
}

TEST(MotifscanProgram, OutputCrossesBlocks) {
    // Counts of 1 to 4 digits, so that block boundaries fall inside lines.
    std::string inputText = "30000\n";
    std::string expected;
    for (int k = 0; k < 30000; ++k) {
        int const count = (k * 7919) % 2000;
        inputText += "1\nA\n" + std::string(static_cast<std::size_t>(count), 'A') + "\n";
        expected += std::to_string(count) + "\n";
    }
    ASSERT_GT(expected.size(), 2 * output::capacity);
    RunResult const result = runInMemory(inputText);
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.output, expected);
}

TEST(MotifscanProgram, ReadErrorInAMessageIsReported) {
    // Reading a directory fails; the first block is put in place by hand.
    int const directory = ::open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(directory, 0);
    input in = inputFromFd(directory);
    std::string const first = "2\n1\nA\nAA\n1\nA\nAA";
    std::copy(first.begin(), first.end(), in.buffer.get());
    in.end = in.pos + first.size();
    auto out = std::make_unique<output>();
    std::string output;
    out->sink = &output;
    EXPECT_FALSE(runMotifscan(in, *out));
    flush(*out);
    EXPECT_EQ(output, "2\n");  // the second message may be longer than what was read
    EXPECT_EQ(in.error, std::string("read error: ") + std::strerror(EISDIR));
    ::close(directory);
}

TEST(MotifscanProgram, WriteErrorStopsTheRun) {
    int const full = ::open("/dev/full", O_WRONLY);
    if (full < 0) GTEST_SKIP() << "no /dev/full";
    std::string inputText = "100000\n";
    for (int k = 0; k < 100000; ++k) inputText += "0\nX\n";
    input in = inputFromMemory(inputText);
    auto out = std::make_unique<output>();
    out->fd = full;
    EXPECT_FALSE(runMotifscan(in, *out));
    EXPECT_EQ(out->writeError, ENOSPC);
    // It stopped at the first failed block, long before the end of the input.
    EXPECT_GT(in.memoryLeft, inputText.size() / 2);
    EXPECT_FALSE(flush(*out));
    ::close(full);
}

// Answers must reach the output before the program waits for more input, or
// an interactive peer would wait for ever. The feeding thread only sends the
// second task once the first count has arrived (or after ten seconds).
TEST(MotifscanProgram, CountsAreFlushedBeforeWaitingForInput) {
    int toProgram[2];
    int fromProgram[2];
    ASSERT_EQ(::pipe(toProgram), 0);
    ASSERT_EQ(::pipe(fromProgram), 0);
    std::string firstAnswer;
    std::thread feeder([&] {
        std::string const first = "2\n1\nA\nAAA\n";
        EXPECT_EQ(::write(toProgram[1], first.data(), first.size()), static_cast<ssize_t>(first.size()));
        pollfd ready{fromProgram[0], POLLIN, 0};
        if (::poll(&ready, 1, 10000) == 1) {
            char buffer[16];
            ssize_t const got = ::read(fromProgram[0], buffer, sizeof buffer);
            if (got > 0) firstAnswer.assign(buffer, static_cast<std::size_t>(got));
        }
        std::string const second = "1\nB\nBB\n";
        EXPECT_EQ(::write(toProgram[1], second.data(), second.size()), static_cast<ssize_t>(second.size()));
        ::close(toProgram[1]);
    });
    input in = inputFromFd(toProgram[0]);
    auto out = std::make_unique<output>();
    out->fd = fromProgram[1];
    in.flushBeforeRead = flush;
    in.flushTarget = out.get();
    EXPECT_TRUE(runMotifscan(in, *out));
    EXPECT_TRUE(flush(*out));
    feeder.join();
    EXPECT_EQ(firstAnswer, "3\n");
    char rest[16];
    EXPECT_EQ(::read(fromProgram[0], rest, sizeof rest), 2);
    EXPECT_EQ(std::string(rest, 2), "2\n");
    ::close(toProgram[0]);
    ::close(fromProgram[0]);
    ::close(fromProgram[1]);
}

}  // namespace
