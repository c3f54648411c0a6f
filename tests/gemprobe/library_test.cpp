// The library against the literal program: the same walls and points, given
// to the reference model as exact hexadecimal text, must get the same
// verdicts from Solid::contains, one point and batch alike.

#include <gemprobe/gemprobe.h>

#include "cells.h"
#include "diamond.h"
#include "filter.h"
#include "planes.h"
#include "reference_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using gemprobe::Point;
using Walls = std::vector<std::vector<Point>>;

void appendNumber(std::string& text, long double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, " %La", v);
    text += buffer;
}

// The reference model's verdicts, true for "TAK".
std::vector<bool> referenceVerdicts(Walls const& walls, std::vector<Point> const& points) {
    std::string input = "1\n" + std::to_string(walls.size()) + "\n";
    for (auto const& w : walls) {
        input += std::to_string(w.size());
        for (Point const& v : w) appendNumber(input, v.x), appendNumber(input, v.y), appendNumber(input, v.z);
        input += "\n";
    }
    input += std::to_string(points.size()) + "\n";
    for (Point const& p : points) {
        appendNumber(input, p.x), appendNumber(input, p.y), appendNumber(input, p.z);
        input += "\n";
    }
    std::string const output = referenceOutput(input);
    std::vector<bool> verdicts;
    for (std::size_t at = 0; at + 4 <= output.size() && output[at] != '\n'; at += 4)
        verdicts.push_back(output.compare(at, 4, "TAK\n") == 0);
    return verdicts;
}

Point operator+(Point a, Point b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Point scaled(Point a, long double s) { return {a.x * s, a.y * s, a.z * s}; }

// A prism over a regular n-gon, turned and moved by `shift`: n side walls
// and two caps, each listed in a random winding. Its vertices are rounded,
// so its walls are not exactly planar and many boundary points are close
// calls. n >= 62 makes a solid of the large kind.
Walls prism(int n, long double radius, long double height, Point const& shift, std::mt19937_64& random) {
    std::vector<Point> bottom, top;
    for (int k = 0; k < n; ++k) {
        long double const angle = 2 * std::numbers::pi_v<long double> * k / n + 0.1L;
        Point const p{radius * std::cos(angle), radius * std::sin(angle), 0};
        bottom.push_back(p + shift);
        top.push_back(p + Point{0, 0, height} + shift);
    }
    Walls walls;
    auto add = [&](std::vector<Point> w) {
        if (random() % 2 != 0) std::reverse(w.begin(), w.end());
        walls.push_back(std::move(w));
    };
    for (int k = 0; k < n; ++k) {
        int const next = (k + 1) % n;
        add({bottom[k], bottom[next], top[next], top[k]});
    }
    add(bottom);
    add(top);
    return walls;
}

// A box with small integer corners (exact arithmetic), faces of mixed windings.
Walls box(long double x0, long double y0, long double z0, long double x1, long double y1, long double z1) {
    return {{{x0, y0, z0}, {x1, y0, z0}, {x1, y1, z0}, {x0, y1, z0}},
            {{x0, y0, z1}, {x0, y1, z1}, {x1, y1, z1}, {x1, y0, z1}},
            {{x0, y0, z0}, {x0, y0, z1}, {x1, y0, z1}, {x1, y0, z0}},
            {{x0, y1, z0}, {x1, y1, z0}, {x1, y1, z1}, {x0, y1, z1}},
            {{x0, y0, z0}, {x0, y1, z0}, {x0, y1, z1}, {x0, y0, z1}},
            {{x1, y0, z0}, {x1, y0, z1}, {x1, y1, z1}, {x1, y1, z0}}};
}

// Points on and around the walls: every vertex, the midpoints of edges, face
// points (means of three vertices), their nextafter neighbours, and points
// scattered through and beyond the solid.
std::vector<Point> probes(Walls const& walls, std::mt19937_64& random, std::size_t scattered) {
    std::vector<Point> points;
    Point low{HUGE_VALL, HUGE_VALL, HUGE_VALL}, high{-HUGE_VALL, -HUGE_VALL, -HUGE_VALL};
    for (auto const& w : walls) {
        for (std::size_t k = 0; k < w.size(); ++k) {
            Point const v = w[k];
            low = {std::min(low.x, v.x), std::min(low.y, v.y), std::min(low.z, v.z)};
            high = {std::max(high.x, v.x), std::max(high.y, v.y), std::max(high.z, v.z)};
            Point const edge = scaled(v + w[(k + 1) % w.size()], 0.5L);
            Point const face = scaled(v + w[(k + 1) % w.size()] + w[(k + 2) % w.size()], 1 / 3.0L);
            for (Point const p : {v, edge, face}) {
                points.push_back(p);
                long double const toward = random() % 2 != 0 ? HUGE_VALL : -HUGE_VALL;
                points.push_back({std::nextafter(p.x, toward), p.y, p.z});
                points.push_back({p.x, p.y, std::nextafter(p.z, -toward)});
            }
        }
    }
    std::uniform_real_distribution<double> unit(-0.25, 1.25);
    for (std::size_t i = 0; i < scattered; ++i) {
        points.push_back({low.x + (high.x - low.x) * static_cast<long double>(unit(random)),
                          low.y + (high.y - low.y) * static_cast<long double>(unit(random)),
                          low.z + (high.z - low.z) * static_cast<long double>(unit(random))});
    }
    return points;
}

void expectProgramVerdicts(Walls const& walls, std::vector<Point> const& points) {
    std::vector<bool> const expected = referenceVerdicts(walls, points);
    ASSERT_EQ(expected.size(), points.size());
    gemprobe::Solid const solid(walls);
    auto batch = std::make_unique<bool[]>(points.size());
    solid.contains(points, {batch.get(), points.size()});
    for (std::size_t i = 0; i < points.size(); ++i) {
        Point const& p = points[i];
        ASSERT_EQ(solid.contains(p), expected[i])
            << "point " << i << ": " << static_cast<double>(p.x) << " " << static_cast<double>(p.y) << " "
            << static_cast<double>(p.z) << " of a solid of " << walls.size() << " walls";
        ASSERT_EQ(batch[i], expected[i]) << "batch, point " << i;
    }
}

TEST(Library, SameVerdictsAsTheProgramOnBoxes) {
    std::mt19937_64 random(1);
    for (int round = 0; round < 20; ++round) {
        std::uniform_int_distribution<int> corner(-50, 50);
        int const x0 = corner(random), y0 = corner(random), z0 = corner(random);
        Walls const walls =
            box(x0, y0, z0, x0 + 1 + random() % 9, y0 + 1 + random() % 9, z0 + 1 + random() % 9);
        expectProgramVerdicts(walls, probes(walls, random, 200));
    }
}

TEST(Library, SameVerdictsAsTheProgramOnRoundedPrisms) {
    std::mt19937_64 random(2);
    // Small solids, and large ones (64 walls and more) whose filter sorts
    // the walls by direction.
    for (int n : {3, 5, 8, 30, 62, 78, 200}) {
        for (int round = 0; round < 3; ++round) {
            std::uniform_real_distribution<double> offset(-1e3, 1e3);
            Point const shift{offset(random), offset(random), offset(random)};
            long double const radius = std::ldexp(1.0L, static_cast<int>(random() % 40) - 20);
            Walls const walls = prism(n, radius, radius / 3, shift, random);
            expectProgramVerdicts(walls, probes(walls, random, 500));
        }
    }
}

TEST(Library, DegenerateWallsAndSpecialValues) {
    std::mt19937_64 random(3);
    Walls walls = box(0, 0, 0, 2, 2, 2);
    // A wall through collinear points imposes nothing; then one with a NaN
    // vertex, whose signs all compare unordered.
    walls.push_back({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}});
    long double const inf = HUGE_VALL, nan = std::nanl("");
    std::vector<Point> points = probes(walls, random, 100);
    for (Point const p : {Point{inf, 1, 1}, Point{-inf, 1, 1}, Point{nan, 1, 1}, Point{1, nan, nan},
                          Point{0x1p-16400L, 1, 1}, Point{1e300L, 1, 1}, Point{-0.0L, 0, 0}})
        points.push_back(p);
    expectProgramVerdicts(walls, points);
    walls.push_back({{1, 1, nan}, {0, 1, 1}, {1, 0, 1}});
    expectProgramVerdicts(walls, points);
}

TEST(Library, NoWallsHoldEveryPoint) {
    gemprobe::Solid const everything(Walls{});
    EXPECT_TRUE(everything.contains({std::ldexp(1.0L, 13000), -3, 0}));
    EXPECT_TRUE(everything.contains({std::nanl(""), 0, 0}));
}

// The cells' claim, at its extremes: every point that can be looked up in
// a decided cell (up to 1/16 of a cell beyond it, by rounding) has that
// cell's verdict. The corners of that box are where a plane that the
// certificate misjudged would show first.
TEST(Library, DecidedCellsHoldWhatTheyClaim) {
    std::mt19937_64 random(6);
    std::size_t decided = 0;
    for (int n : {4, 12, 70}) {
        for (long double const scale : {1.0L, 1e-3L}) {
            std::uniform_real_distribution<double> offset(-1e3, 1e3);
            Point const shift{offset(random), offset(random), offset(random)};
            Walls const walls = prism(n, scale, scale, shift, random);
            gemprobe::solid s;
            for (auto const& w : walls) {
                std::vector<gemprobe::vec3> vertices;
                for (Point const& v : w) vertices.push_back({v.x, v.y, v.z});
                gemprobe::addWall(s, vertices);
            }
            std::vector<gemprobe::plane> planes;
            gemprobe::pointFilter filter;
            gemprobe::orientAndPrepareFilter(s, planes, filter, 1000);
            gemprobe::cellGrid const grid = gemprobe::gridOf(planes, filter);
            ASSERT_GT(grid.resolution, 0);
            double const size[3] = {1 / grid.scaleX, 1 / grid.scaleY, 1 / grid.scaleZ};
            double const low[3] = {grid.lowX, grid.lowY, grid.lowZ};
            std::size_t const r = static_cast<std::size_t>(grid.resolution);
            for (std::size_t cell = 0; cell < grid.states.size(); ++cell) {
                if (grid.states[cell] == gemprobe::cellState::undecided) continue;
                ++decided;
                std::size_t const at[3] = {cell % r, cell / r % r, cell / (r * r)};
                for (int corner = 0; corner < 8; ++corner) {
                    double c[3];
                    for (int k = 0; k < 3; ++k) {
                        double const side = (corner >> k & 1) != 0 ? 1 + 1.0 / 16 : -1.0 / 16;
                        c[k] = low[k] + (static_cast<double>(at[k]) + side) * size[k];
                    }
                    bool const inside = gemprobe::containsExact(planes, {c[0], c[1], c[2]});
                    ASSERT_EQ(inside, grid.states[cell] == gemprobe::cellState::inside)
                        << "cell " << cell << " of a prism of " << n << " sides, corner " << corner;
                }
            }
        }
    }
    EXPECT_GT(decided, 10000u);  // the test means something
}

std::string errorOf(Walls const& walls) {
    try {
        gemprobe::Solid const solid(walls);
    } catch (gemprobe::InvalidSolid const& e) {
        std::invalid_argument const& general = e;
        return general.what();
    }
    return "no error";
}

TEST(Library, RefusesWhatTheProgramRefusesWithItsMessage) {
    std::vector<Point> const triangle{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    EXPECT_EQ(errorOf({triangle}), "expected a solid of at least 2 walls, found 1 wall");
    // The wall count is checked before the walls, as the reader does.
    EXPECT_EQ(errorOf({{}}), "expected a solid of at least 2 walls, found 1 wall");
    EXPECT_EQ(errorOf({triangle, {{0, 0, 0}, {1, 1, 1}}}),
              "expected a wall of at least 3 vertices, found 2 vertices");
    EXPECT_EQ(errorOf({triangle, triangle, {{0, 0, 0}}}),
              "expected a wall of at least 3 vertices, found 1 vertex");
    // The first short wall is the one named.
    EXPECT_EQ(errorOf({triangle, {}, {{0, 0, 0}}}),
              "expected a wall of at least 3 vertices, found 0 vertices");
    EXPECT_EQ(errorOf({triangle, triangle}), "no error");

    gemprobe::Solid const solid({triangle, triangle});
    Point const points[2]{};
    bool verdicts[3]{};
    EXPECT_THROW(solid.contains(points, verdicts), std::invalid_argument);
}

// One Solid judged from several threads at once (run under ThreadSanitizer
// in the threads preset): every thread gets the single-threaded verdicts.
TEST(LibraryThreads, OneSolidQueriedFromSeveralThreads) {
    std::mt19937_64 random(5);
    for (int n : {6, 80}) {
        Walls const walls = prism(n, 10, 4, {0.5L, -0.25L, 1}, random);
        gemprobe::Solid const solid(walls);
        std::vector<Point> const points = probes(walls, random, 2000);
        auto expected = std::make_unique<bool[]>(points.size());
        solid.contains(points, {expected.get(), points.size()});
        constexpr int threadCount = 4;
        // Every thread's buffer before any thread starts.
        std::vector<std::unique_ptr<bool[]>> verdicts;
        for (int t = 0; t < threadCount; ++t) verdicts.push_back(std::make_unique<bool[]>(points.size()));
        std::vector<std::thread> threads;
        for (int t = 0; t < threadCount; ++t) {
            threads.emplace_back([&, t] {
                bool* const out = verdicts[static_cast<std::size_t>(t)].get();
                // Half of them one point at a time, in their own order.
                if (t % 2 == 0) {
                    solid.contains(points, {out, points.size()});
                } else {
                    for (std::size_t i = points.size(); i-- > 0;) out[i] = solid.contains(points[i]);
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
        for (int t = 0; t < threadCount; ++t) {
            for (std::size_t i = 0; i < points.size(); ++i)
                ASSERT_EQ(verdicts[static_cast<std::size_t>(t)][i], expected[i])
                    << "thread " << t << ", point " << i;
        }
    }
}

}  // namespace
