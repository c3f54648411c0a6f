// The cells' far patches against the exact test: points outside the grid in
// every direction and at every distance from just past it to far beyond,
// around boxes and random tetrahedra (whose far patches a single plane does
// not always cover), and along the patches' edges and the faces' diagonals,
// where the lookup chooses between neighbours. A decided point must have
// containsExact's verdict.

#include "cells.h"
#include "diamond.h"
#include "filter.h"
#include "planes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace gemprobe;

namespace {

solid wallsOf(std::vector<std::vector<vec3>> const& faces) {
    solid diamond;
    for (auto const& f : faces) addWall(diamond, f);
    calculateOrientations(diamond);
    return diamond;
}

solid box(vec3 lo, vec3 hi) {
    auto corner = [&](int i) { return vec3{i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z}; };
    int const quads[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1},
                             {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    std::vector<std::vector<vec3>> faces;
    for (auto const& q : quads) faces.push_back({corner(q[0]), corner(q[1]), corner(q[2]), corner(q[3])});
    return wallsOf(faces);
}

}  // namespace

TEST(FarPatches, DecidedPointsHaveTheExactVerdict) {
    std::mt19937_64 rng(18);
    std::uniform_real_distribution<double> unit(-1, 1);
    long decided = 0, tried = 0;
    for (int shape = 0; shape < 60; ++shape) {
        double const scale = std::ldexp(1.0, static_cast<int>(rng() % 40) - 20);
        vec3 const shift{unit(rng) * 1e3 * scale, unit(rng) * scale, unit(rng) * scale};
        auto point = [&] {
            return vec3{shift.x + unit(rng) * scale, shift.y + unit(rng) * scale,
                        shift.z + unit(rng) * scale};
        };
        solid diamond;
        if (shape % 3 == 0) {
            diamond = box(point(), point());
        } else {
            vec3 const a = point(), b = point(), c = point(), d = point();
            diamond = wallsOf({{a, b, c}, {a, d, b}, {a, c, d}, {b, d, c}});
        }
        std::vector<plane> const planes = planesOf(diamond);
        pointFilter const filter = filterOf(planes);
        cellGrid const grid = gridOf(planes, filter);
        if (grid.resolution == 0) continue;
        double const half[3] = {16 / grid.scaleX, 16 / grid.scaleY, 16 / grid.scaleZ};
        double const centre[3] = {grid.lowX + half[0], grid.lowY + half[1], grid.lowZ + half[2]};
        for (int i = 0; i < 4000; ++i) {
            // A direction to a place on the grid's surface, now and then on
            // a patch's edge or a face's diagonal, then out by a factor from
            // 0.95 to 10^7.
            double ratio[3] = {unit(rng), unit(rng), unit(rng)};
            if (rng() % 4 == 0) ratio[rng() % 3] = static_cast<double>(static_cast<int>(rng() % 9) - 4) / 4;
            if (rng() % 8 == 0) ratio[1] = ratio[0] * (rng() % 2 == 0 ? 1 : -1);
            ratio[rng() % 3] = rng() % 2 == 0 ? 1 : -1;
            double const out = 0.95 * std::pow(10.0, static_cast<double>(rng() % 7000) / 1000);
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
