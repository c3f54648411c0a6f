// Long sections judged in a pipeline of whole blocks: wherever the blocks
// fall, on layouts that defeat its guess of where a point begins (lines
// longer than a block or than the bytes read past it, several points or
// broken points on a line), the run gives the answers, the error and its
// line of one thread reading in order, and stops cleanly when the output
// fails, whichever thread was writing.

#include "reference_model.h"
#include "run_in_memory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>

namespace {

std::string const cube =
    "6\n4 0 0 0 1 0 0 1 1 0 0 1 0\n4 0 0 1 1 0 1 1 1 1 0 1 1\n4 0 0 0 1 0 0 1 0 1 0 0 1\n"
    "4 0 1 0 1 1 0 1 1 1 0 1 1\n4 0 0 0 0 1 0 0 1 1 0 0 1\n4 1 0 0 1 1 0 1 1 1 1 0 1\n";

std::string coordinate(std::mt19937_64& rng) {
    int const value = static_cast<int>(rng() % 2001) - 500;  // -0.500 to 1.500
    char text[16];
    std::snprintf(text, sizeof text, "%s%d.%03d", value < 0 ? "-" : "", std::abs(value) / 1000,
                  std::abs(value) % 1000);
    return text;
}

// `points` points, one per line, with what each layout puts among them.
std::string section(std::mt19937_64& rng, int points, int layout) {
    std::string text;
    for (int k = 0; k < points; ++k) {
        std::string const gap = layout == 0 && rng() % 500 == 0 ? std::string(1500, ' ') : " ";
        text += coordinate(rng) + gap + coordinate(rng) + "\t" + coordinate(rng);
        if (layout == 1 && k % 700 < 400) {
            text += ' ';  // 400 points on one line of about 8 KiB
        } else if (layout == 2 && k % 2 == 0) {
            text += "   ";  // two points a line
        } else {
            text += layout == 3 && k % 3 == 0 ? "\r\n\n" : "\n";
        }
    }
    return text;
}

TEST(Pipeline, AnswersErrorsAndLinesOfOneThreadWhereverTheBlocksFall) {
    std::mt19937_64 rng(21);
    for (int round = 0; round < 40; ++round) {
        int const layout = round % 4;
        int const points = 2000 + static_cast<int>(rng() % 3000);
        // The first section's count falls short of its points or not: the
        // rest are read as the next set's walls, which they are not.
        int const counted = round % 5 == 4 ? points - 1 : points;
        std::string input = "2\n" + cube + std::to_string(counted) + "\n" + section(rng, points, layout) +
                            cube + "3\n0.5 0.5 0.5\n2 2 2\n0 0 0";  // no newline at the end
        if (round % 7 == 3) input.insert(input.size() * 2 / 3, " 0.5x ");
        RunResult const single = runInMemory(input, defaultInputCapacity, oneThread);
        for (std::size_t const block :
             {std::size_t{7}, std::size_t{640}, std::size_t{5000}, 1 + rng() % 70000}) {
            std::size_t const capacity = rng() % 2 == 0 ? defaultInputCapacity : 97 + rng() % 9000;
            RunResult const piped = runInMemory(input, capacity, threadMode{0, block});
            std::string const where = "round " + std::to_string(round) + " block " + std::to_string(block) +
                                      " capacity " + std::to_string(capacity);
            ASSERT_EQ(piped.output, single.output) << where;
            ASSERT_EQ(piped.finished, single.finished) << where;
            ASSERT_EQ(piped.error, single.error) << where;
        }
        if (single.finished) {
            ASSERT_EQ(single.output, referenceOutput(input)) << "round " << round;
        }
    }
}

// Output that cannot be written (a full disk): the run stops with the
// output's error, however far the threads had gone.
TEST(Pipeline, StopsWhenTheOutputFails) {
    std::mt19937_64 rng(22);
    std::string const input = "1\n" + cube + "100000\n" + section(rng, 100000, 3);
    int const full = open("/dev/full", O_WRONLY);
    if (full < 0) GTEST_SKIP() << "no /dev/full";
    for (std::size_t const block : {std::size_t{64}, std::size_t{4096}, std::size_t{65536}}) {
        Input in = inputFromMemory(input);
        auto out = std::make_unique<Output>();
        out->fd = full;
        EXPECT_FALSE(runGemprobe(in, *out, 0, block)) << block;
        EXPECT_EQ(out->writeError, ENOSPC) << block;
    }
    close(full);
}

}  // namespace
