// Small solids take their own reader and set-up (lone digits decoded 64
// bytes at a time, integer corners kept for the lanes and orientations):
// random small sets with integer and other vertices, degenerate walls and
// odd layouts, read with blocks of every size, against the literal
// reference and the general reader's line numbers.

#include "diamond.h"
#include "input.h"
#include "reference_model.h"
#include "run_in_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

using namespace gemprobe;

namespace {

std::string randomSmallSets(std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    auto below = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::string text;
    // Mostly one or two blanks; sometimes a newline, or more blanks than the window holds.
    auto blanks = [&] {
        static char const* const runs[] = {" ", " ", "  ", "\n", "\t\r\n ", "\n\n", ""};
        int const run = below(8);
        text += run < 7 ? runs[run] : std::string(static_cast<std::size_t>(40 + below(60)), ' ');
        if (run == 6) text += ' ';
    };
    // Integers (-0 too) mostly as lone digits, else in other spellings, some not integers at all.
    static char const* const suffixes[] = {".0", "e0", ".5", ""};
    auto number = [&](int value, bool spelledAnyhow) {
        blanks();
        bool const negative = value < 0 || (value == 0 && below(8) == 0);
        int const spelling = spelledAnyhow ? below(40) : 3;
        text += negative ? "-" : spelling == 5 ? "+" : "";
        if (spelling == 4) text += "000";
        text += std::to_string(std::abs(value)) + suffixes[std::min(spelling, 3)];
    };
    int const sets = 1 + below(30);
    text = std::to_string(sets);
    for (int s = 0; s < sets; ++s) {
        int const scale = below(4) != 0 ? 9 : below(2) ? 3000 : 99999;
        int const walls = 2 + below(12);
        number(walls, false);
        int first[3] = {below(2 * scale + 1) - scale, below(2 * scale + 1) - scale,
                        below(2 * scale + 1) - scale};
        for (int i = 0; i < walls; ++i) {
            int const vertices = 3 + (below(3) == 0 ? below(3) : 0);
            number(vertices, false);
            // Walls of a box around the first corner, or through random
            // points; some through one point twice (no plane at all).
            bool const box = below(2) == 0;
            for (int v = 0; v < vertices; ++v) {
                for (int k = 0; k < 3; ++k) {
                    bool const repeat = v == 2 && below(8) == 0;
                    int const c =
                        box ? first[k] + (k == i % 3 ? 0 : (v + k) % 2) : below(2 * scale + 1) - scale;
                    number(repeat ? first[k] : c, true);
                }
            }
        }
        int const points = below(4) == 0 ? below(3) : below(14);
        number(points, false);
        for (int i = 0; i < 3 * points; ++i) {
            blanks();
            text += std::to_string(below(21) - 10);
            if (below(3) != 0) text += '.' + std::to_string(below(1000));
        }
    }
    return text + '\n';
}

TEST(SmallSets, MatchTheReferenceWithBlocksOfEverySize) {
    long verdicts = 0;
    for (std::uint64_t seed = 1; seed <= 1500; ++seed) {
        std::string const inputText = randomSmallSets(seed);
        std::string const expected = referenceOutput(inputText);
        verdicts += std::count(expected.begin(), expected.end(), 'T');
        for (std::size_t capacity : {defaultInputCapacity, std::size_t{1}, std::size_t{61} + seed % 50}) {
            RunResult const actual = runInMemory(inputText, capacity);
            ASSERT_TRUE(actual.finished) << "seed " << seed << ": " << actual.error;
            ASSERT_EQ(actual.output, expected) << "seed " << seed << " capacity " << capacity << "\n"
                                               << inputText;
        }
    }
    EXPECT_GT(verdicts, 10000);
}

// The corners the reader keeps are the vertices it read, zeros' signs
// included, and it keeps them for most integer walls.
TEST(SmallSets, KeptCornersAreTheVerticesRead) {
    long kept = 0, walls = 0;
    for (std::uint64_t seed = 1; seed <= 300; ++seed) {
        std::string const inputText = randomSmallSets(seed);
        input in = inputFromMemory(inputText, 100 + seed);
        int sets = 0, points = 0;
        ASSERT_TRUE(readCount(in, "sets", sets));
        solid diamond;
        for (int s = 0; s < sets; ++s) {
            ASSERT_TRUE(readDiament(in, diamond)) << in.error;
            ASSERT_EQ(diamond.cornerWalls, diamond.walls.size());
            for (std::size_t i = 0; i < diamond.walls.size(); ++i, ++walls) {
                double const* const c = diamond.integerCorners.data() + 9 * i;
                if (std::isnan(c[0])) continue;
                ++kept;
                vec3 const* const v = verticesOf(diamond, diamond.walls[i]);
                for (int k = 0; k < 9; ++k) {
                    long double const x = k % 3 == 0 ? v[k / 3].x : k % 3 == 1 ? v[k / 3].y : v[k / 3].z;
                    ASSERT_TRUE(x == c[k] && std::signbit(x) == std::signbit(c[k])) << "seed " << seed;
                }
            }
            ASSERT_TRUE(readCount(in, "points", points));
            vec3 ignored;
            for (int i = 0; i < points; ++i) ASSERT_TRUE(readPoint(in, "point", ignored));
        }
    }
    EXPECT_GT(kept, walls / 8);
}

// Newlines are counted when the small-solid reader hands over to another
// reader: an error in a small solid or after it names its line.
TEST(SmallSets, ErrorsNameTheirLine) {
    for (std::uint64_t seed = 1; seed <= 300; ++seed) {
        std::string inputText = randomSmallSets(seed);
        std::size_t spoilt = inputText.find_first_of(" \n");
        for (std::uint64_t token = seed % 60; token > 0 && spoilt + 1 < inputText.size(); --token)
            spoilt = inputText.find_first_of(" \n", inputText.find_first_not_of(" \t\r\n", spoilt));
        spoilt = inputText.find_first_not_of(" \t\r\n", std::min(spoilt, inputText.size() - 1));
        if (spoilt == std::string::npos) continue;
        inputText.insert(inputText.begin() + static_cast<long>(spoilt), 'x');
        auto const line =
            1 + std::count(inputText.begin(), inputText.begin() + static_cast<long>(spoilt), '\n');
        for (std::size_t capacity : {defaultInputCapacity, std::size_t{1}, std::size_t{70}}) {
            RunResult const actual = runInMemory(inputText, capacity);
            ASSERT_FALSE(actual.finished) << "seed " << seed;
            EXPECT_EQ(actual.error.substr(0, actual.error.find(':')), "line " + std::to_string(line))
                << "seed " << seed << " capacity " << capacity << ": " << actual.error;
        }
    }
}

// A control byte glued to a coordinate ends the number, as in scanf, and is
// then no coordinate itself: the window of tokens must not step over it to
// the next lone digit (a fuzzer's finding; blocks of every size agree).
TEST(SmallSets, AControlByteAfterACoordinateIsAnError) {
    for (char const control : {'\x01', '\x00', '\x08', '\x1f'}) {
        std::string const inputText =
            std::string("1\n4\n3  0 0 0   1 0 0   0 1 0\n3  0 0 0   0 1 0   0 0") + control +
            " 1\n3  0 0 0   0 0 1   1 0 0\n3  1 0 0   0 1 0   0 0 1\n1\n0.1 0.1 0.1\n";
        for (std::size_t capacity : {defaultInputCapacity, std::size_t{1}, std::size_t{70}}) {
            RunResult const actual = runInMemory(inputText, capacity);
            ASSERT_FALSE(actual.finished) << static_cast<int>(control) << " capacity " << capacity;
            EXPECT_EQ(actual.error.rfind("line 4: expected a vertex coordinate, found", 0), 0u)
                << actual.error;
        }
    }
}

}  // namespace
