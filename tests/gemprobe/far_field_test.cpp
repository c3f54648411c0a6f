// The cells' far patches against the exact test, around random tetrahedra
// (whose far patches one plane covers only in part), some left open (whose
// cones hold far points): points beyond the grid in every direction, from
// just past it to 10^7 times as far, some on the patches' edges and the
// faces' diagonals, where the lookup chooses between neighbours. A decided
// point must have containsExact's verdict.

#include "cells.h"
#include "diamond.h"
#include "planes.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace gemprobe;

TEST(FarPatches, DecidedPointsHaveTheExactVerdict) {
    std::mt19937_64 rng(18);
    std::uniform_real_distribution<double> unit(-1, 1);
    long decided = 0, tried = 0;
    for (int shape = 0; shape < 60; ++shape) {
        double const scale = std::ldexp(1.0, static_cast<int>(rng() % 40) - 20);
        double const shift = unit(rng) * 1e3 * scale;
        auto point = [&] { return vec3{shift + unit(rng) * scale, unit(rng) * scale, unit(rng) * scale}; };
        vec3 const a = point(), b = point(), c = point(), d = point();
        solid diamond;
        // Every third one open, without its fourth wall: far points in its cone are inside.
        std::vector<std::vector<vec3>> const walls = {{a, b, c}, {a, d, b}, {a, c, d}, {b, d, c}};
        for (std::size_t w = 0; w < (shape % 3 == 0 ? 3u : 4u); ++w) addWall(diamond, walls[w]);
        calculateOrientations(diamond);
        std::vector<plane> const planes = planesOf(diamond);
        cellGrid const grid = gridOf(planes, filterOf(planes));
        if (grid.resolution == 0) continue;
        double const half[3] = {16 / grid.scaleX, 16 / grid.scaleY, 16 / grid.scaleZ};
        double const centre[3] = {grid.lowX + half[0], grid.lowY + half[1], grid.lowZ + half[2]};
        for (int i = 0; i < 4000; ++i) {
            double ratio[3] = {unit(rng), unit(rng), unit(rng)};
            if (rng() % 4 == 0) ratio[rng() % 3] = static_cast<double>(static_cast<int>(rng() % 9) - 4) / 4;
            if (rng() % 8 == 0) ratio[1] = ratio[0] * (rng() % 2 == 0 ? 1 : -1);
            ratio[rng() % 3] = rng() % 2 == 0 ? 1 : -1;
            double const out =
                0.95 * std::pow(10.0, static_cast<double>(rng() % 7000) / (rng() % 2 == 0 ? 1000 : 20000));
            double q[3];
            for (int k = 0; k < 3; ++k) q[k] = centre[k] + ratio[k] * out * half[k];
            cellState const state = stateAt(grid, q[0], q[1], q[2]);
            ++tried;
            if (state == cellState::undecided) continue;
            ++decided;
            ASSERT_EQ(state == cellState::inside, containsExact(planes, {q[0], q[1], q[2]}))
                << "shape " << shape << " point " << q[0] << " " << q[1] << " " << q[2];
        }
    }
    EXPECT_GT(decided, tried / 2);  // the test means something
}
