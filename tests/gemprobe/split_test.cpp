// Blocks of points split between two threads, or taken in turn by two
// threads in a pipeline: whatever the layout of the numbers, the verdicts,
// the error and its line are those of one thread reading in order (and the
// verdicts those of the literal program). The guess of where a point begins
// is wrong on purpose in some layouts: three numbers per line is only the
// common case.

#include "reference_model.h"
#include "run_in_memory.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

namespace {

std::string const cube =
    "6\n4 0 0 0 1 0 0 1 1 0 0 1 0\n4 0 0 1 1 0 1 1 1 1 0 1 1\n4 0 0 0 1 0 0 1 0 1 0 0 1\n"
    "4 0 1 0 1 1 0 1 1 1 0 1 1\n4 0 0 0 0 1 0 0 1 1 0 0 1\n4 1 0 0 1 1 0 1 1 1 1 0 1\n";

// `points` points around the unit cube, with `perLine` numbers per line
// (0: random breaks), odd spellings and glued signs now and then.
std::string pointSection(std::mt19937_64& rng, int points, int perLine, bool oddSpellings) {
    std::string text = std::to_string(points) + "\n";
    for (int k = 0; k < 3 * points; ++k) {
        int const value = static_cast<int>(rng() % 2001) - 500;  // -0.500 to 1.500
        char digits[16];
        std::snprintf(digits, sizeof digits, "%s%d.%03d", value < 0 ? "-" : "", std::abs(value) / 1000,
                      std::abs(value) % 1000);
        std::string number = digits;
        if (oddSpellings && rng() % 50 == 0) number = rng() % 2 ? "0x1p-1" : "1e0";
        text += number;
        bool const lineEnds = perLine > 0 ? (k + 1) % perLine == 0 : rng() % 4 == 0;
        // A minus sign ends the number before it: "0.5-0.25" is two numbers.
        if (oddSpellings && !lineEnds && rng() % 20 == 0 && value > 0) continue;
        text += lineEnds ? (rng() % 8 == 0 ? "\r\n" : "\n") : (rng() % 8 == 0 ? "\t " : " ");
    }
    return text;
}

TEST(SplitBlocks, EveryLayoutGivesTheVerdictsOfOneThread) {
    std::mt19937_64 rng(7);
    for (int round = 0; round < 120; ++round) {
        int const perLine = static_cast<int>(rng() % 7);
        bool const odd = round % 3 == 0;
        std::string input = "2\n" + cube +
                            pointSection(rng, 200 + static_cast<int>(rng() % 400), perLine, odd) + cube +
                            pointSection(rng, 50 + static_cast<int>(rng() % 100), perLine, odd);
        // Some runs end in a broken point, some in a section cut short.
        if (round % 5 == 1) input.insert(input.size() / 2, " x ");
        if (round % 5 == 2) input.resize(input.size() * 3 / 4);
        std::size_t const capacity = 64 + rng() % 5000;
        RunResult const single = runInMemory(input, capacity, oneThread);
        // Pipeline blocks from a few bytes (most guesses land mid-line) to
        // more than a section.
        std::size_t const pipelineBlock = 1 + rng() % (round % 2 == 0 ? 200 : 20000);
        for (threadMode const mode : {splitEveryBlock, threadMode{0, pipelineBlock}}) {
            RunResult const split = runInMemory(input, capacity, mode);
            ASSERT_EQ(split.output, single.output)
                << "round " << round << " capacity " << capacity << " pipeline " << mode.pipelineBlock;
            ASSERT_EQ(split.finished, single.finished) << "round " << round;
            ASSERT_EQ(split.error, single.error) << "round " << round << " pipeline " << mode.pipelineBlock;
        }
        if (single.finished) {
            ASSERT_EQ(single.output, referenceOutput(input)) << "round " << round;
        }
    }
}

}  // namespace

namespace {

// A regular file is read at offsets, from where the descriptor stands, its
// back parts by the helper thread; the answers are those of the memory run
// and the descriptor ends where reading in order would have left it. A
// pipeline leaves it after the last byte consumed, or further.
TEST(SplitBlocks, RegularFileReadAtOffsetsLikeInOrder) {
    std::mt19937_64 rng(11);
    std::string const input = "1\n" + cube + pointSection(rng, 3000, 3, false);
    std::string const prefix = "skipped by the caller\n";
    char path[] = "/tmp/gemprobe-split-XXXXXX";
    int const fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    unlink(path);
    std::string const file = prefix + input;
    ASSERT_EQ(write(fd, file.data(), file.size()), static_cast<ssize_t>(file.size()));
    RunResult const expected = runInMemory(input);
    long endOffsets[2] = {0, 0};
    for (bool const atOffsets : {false, true, true}) {
        bool const pipelined = atOffsets && endOffsets[1] != 0;
        ASSERT_EQ(lseek(fd, static_cast<off_t>(prefix.size()), SEEK_SET), static_cast<off_t>(prefix.size()));
        Input in = inputFromFd(fd, 4096);
        if (atOffsets) readAtOffsetsIfRegular(in);
        ASSERT_EQ(in.positional, atOffsets);
        auto out = std::make_unique<Output>();
        std::string output;
        out->sink = &output;
        ASSERT_TRUE(runGemprobe(in, *out, 0, pipelined ? 512 : 0)) << in.error;
        flush(*out);
        EXPECT_EQ(output, expected.output) << "at offsets " << atOffsets << " pipelined " << pipelined;
        long const endOffset = lseek(fd, 0, SEEK_CUR);
        if (pipelined) {
            EXPECT_GE(endOffset, static_cast<long>(file.find_last_not_of(" \n") + 1));
            EXPECT_LE(endOffset, static_cast<long>(file.size()));
        } else {
            endOffsets[atOffsets] = endOffset;
        }
    }
    EXPECT_EQ(endOffsets[1], endOffsets[0]);
    close(fd);
}

}  // namespace
