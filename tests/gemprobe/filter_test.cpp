// The filtered point test against the unfiltered one: identical verdicts on
// grids of points a few ulps off every wall's plane, at many scales, with
// integer and decimal coordinates, infinities and NaNs.

#include "filter.h"
#include "planes.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
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

solid tetrahedron(vec3 a, vec3 b, vec3 c, vec3 d) {
    return wallsOf({{a, b, c}, {a, d, b}, {a, c, d}, {b, d, c}});
}

solid box(vec3 lo, vec3 hi) {
    auto corner = [&](int i) { return vec3{i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z}; };
    int const quads[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1},
                             {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    std::vector<std::vector<vec3>> faces;
    for (auto const& q : quads) faces.push_back({corner(q[0]), corner(q[1]), corner(q[2]), corner(q[3])});
    return wallsOf(faces);
}

long double nudge(long double x, int ulps) {
    long double const direction = ulps > 0 ? HUGE_VALL : -HUGE_VALL;
    for (int i = 0; i < std::abs(ulps); ++i) x = std::nextafterl(x, direction);
    return x;
}

struct Tally {
    long points = 0;
    long inside = 0;
};

// Points on every plane (as rounded by the extended arithmetic) and their
// neighbours up to three ulps away in each coordinate.
Tally compareNearPlanes(solid const& diamond, std::mt19937_64& rng) {
    std::vector<plane> const planes = planesOf(diamond);
    pointFilter const filter = filterOf(planes);
    Tally tally;
    std::uniform_int_distribution<int> tenths(0, 10);
    for (plane const& p : planes) {
        for (int sample = 0; sample < 4; ++sample) {
            long double const u = tenths(rng) / 10.0L;
            long double const v = (1 - u) * (tenths(rng) / 10.0L);
            vec3 const p0 = origin(p), e1 = edge1(p), e2 = edge2(p);
            vec3 const base{p0.x + u * e1.x + v * e2.x, p0.y + u * e1.y + v * e2.y,
                            p0.z + u * e1.z + v * e2.z};
            for (int dx = -3; dx <= 3; ++dx) {
                for (int dy = -3; dy <= 3; ++dy) {
                    for (int dz = -3; dz <= 3; ++dz) {
                        vec3 const q{nudge(base.x, dx), nudge(base.y, dy), nudge(base.z, dz)};
                        bool const expected = containsExact(planes, q);
                        EXPECT_EQ(containsFiltered(filter, planes, q), expected)
                            << std::hexfloat << q.x << ' ' << q.y << ' ' << q.z;
                        ++tally.points;
                        tally.inside += expected;
                    }
                }
            }
        }
    }
    return tally;
}

TEST(Filter, AgreesNearEveryPlaneAtEveryScale) {
    std::mt19937_64 rng(7);
    Tally total;
    for (long double scale : {1e-30L, 1e-10L, 1e-3L, 1.0L, 1e3L, 1e10L, 1e30L}) {
        // Integer-like coordinates (exact) and decimal ones (rounded).
        for (long double step : {1.0L, 0.1L}) {
            long double const s = scale * step;
            solid const solids[] = {
                tetrahedron({0, 0, 0}, {s, 0, 0}, {0, s, 0}, {0, 0, s}),
                tetrahedron({3 * s, -s, 2 * s}, {-7 * s, 5 * s, s}, {s, 9 * s, -4 * s}, {2 * s, s, 8 * s}),
                box({-s, -2 * s, -3 * s}, {5 * s, 7 * s, 11 * s}),
                box({1000 * s, 1000 * s, 1000 * s}, {1000 * s + s, 1000 * s + 3 * s, 1000 * s + 7 * s}),
            };
            for (auto const& shape : solids) {
                Tally const t = compareNearPlanes(shape, rng);
                total.points += t.points;
                total.inside += t.inside;
            }
        }
    }
    // Both verdicts must occur in quantity, or the grid proves nothing.
    EXPECT_GT(total.inside, total.points / 10);
    EXPECT_LT(total.inside, total.points * 9 / 10);
}

TEST(Filter, AgreesOnRandomPointsAroundRandomSolids) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (int round = 0; round < 200; ++round) {
        long double const scale = std::pow(10.0L, static_cast<int>(rng() % 61) - 30);
        auto point = [&] { return vec3{unit(rng) * scale, unit(rng) * scale, unit(rng) * scale}; };
        solid const shape = tetrahedron(point(), point(), point(), point());
        std::vector<plane> const planes = planesOf(shape);
        pointFilter const filter = filterOf(planes);
        for (int i = 0; i < 500; ++i) {
            vec3 const q = point();
            ASSERT_EQ(containsFiltered(filter, planes, q), containsExact(planes, q));
        }
    }
}

TEST(Filter, OutOfRangeValuesFallBackToTheExactTest) {
    long double const inf = std::numeric_limits<long double>::infinity();
    long double const nan = std::numeric_limits<long double>::quiet_NaN();
    long double const special[] = {inf,        -inf,
                                   nan,        0x1p-400L,
                                   -0x1p-400L, 0x1p400L,
                                   1e-4940L,   std::numeric_limits<long double>::max(),
                                   0,          -0.0L,
                                   0.5L,       0x1p-200L,
                                   -0x1p-201L, 0x1.fffffffffffffffep199L,
                                   0x1p200L};
    solid const solids[] = {
        box({0, 0, 0}, {1, 1, 1}),
        box({-1e300L, -1e300L, -1e300L}, {1e300L, 1e300L, 1e300L}),
        box({-1e-300L, -1e-300L, -1e-300L}, {1e-300L, 1e-300L, 1e-300L}),
        box({-inf, 0, 0}, {1, 1, 1}),
        tetrahedron({0, 0, 0}, {nan, 0, 0}, {0, 1, 0}, {0, 0, 1}),
    };
    for (auto const& shape : solids) {
        std::vector<plane> const planes = planesOf(shape);
        pointFilter const filter = filterOf(planes);
        for (long double x : special) {
            for (long double y : special) {
                for (long double z : {0.5L, inf, nan, 0x1p-400L, 1e300L}) {
                    vec3 const q{x, y, z};
                    EXPECT_EQ(containsFiltered(filter, planes, q), containsExact(planes, q))
                        << std::hexfloat << x << ' ' << y << ' ' << z;
                }
            }
        }
    }
}

}  // namespace

namespace {

// Large solids take the direction hints: walls tangent to an ellipsoid in a
// random order, some of them out of the certified range, and as many random
// planes that bound no solid at all. Points everywhere, the hints' centre and
// the planes' own points included.
TEST(Filter, DirectionHintsChangeNoVerdict) {
    std::mt19937_64 rng(13);
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> unit(-1, 1);
    for (int walls : {64, 65, 300, 2000}) {
        for (bool tangent : {true, false}) {
            std::vector<std::vector<vec3>> faces;
            for (int i = 0; i < walls; ++i) {
                if (!tangent) {
                    auto point = [&] { return vec3{unit(rng) * 10, unit(rng) * 10, unit(rng) * 10}; };
                    faces.push_back({point(), point(), point()});
                    continue;
                }
                // The tangent plane at a point of the ellipsoid x^2 + (y/2)^2 + (z/3)^2 = 1.
                double const dx = normal(rng), dy = normal(rng), dz = normal(rng);
                double const r = std::sqrt(dx * dx + dy * dy + dz * dz);
                vec3 const at{dx / r, 2 * dy / r, 3 * dz / r};
                vec3 const n{at.x, at.y / 4, at.z / 9};
                vec3 const u = std::fabs(n.x) < 0.5L ? vec3{0, -n.z, n.y} : vec3{-n.y, n.x, 0};
                vec3 const v{n.y * u.z - n.z * u.y, n.z * u.x - n.x * u.z, n.x * u.y - n.y * u.x};
                faces.push_back(
                    {at, {at.x + u.x, at.y + u.y, at.z + u.z}, {at.x + v.x, at.y + v.y, at.z + v.z}});
                if (i % 50 == 7) faces.back()[1].x = 0x1p-300L;  // out of range: the exact test decides
            }
            solid const shape = wallsOf(faces);  // the planes point into it
            std::vector<plane> const planes = planesOf(shape);
            pointFilter const filter = filterOf(planes);
            ASSERT_GT(filter.hints.resolution, 0);
            std::vector<vec3> points = {{filter.hints.x, filter.hints.y, filter.hints.z}, {0, 0, 0}};
            for (plane const& p : planes) points.push_back(origin(p));
            for (int i = 0; i < 3000; ++i) {
                double const scale = std::pow(2.0, static_cast<int>(rng() % 8) - 2);
                points.push_back({unit(rng) * scale, unit(rng) * 2 * scale, unit(rng) * 3 * scale});
            }
            long inside = 0;
            for (vec3 const& q : points) {
                bool const expected = containsExact(planes, q);
                ASSERT_EQ(containsFiltered(filter, planes, q), expected)
                    << walls << ' ' << std::hexfloat << q.x << ' ' << q.y << ' ' << q.z;
                inside += expected;
            }
            if (tangent) {
                EXPECT_GT(inside, 50) << walls;  // both verdicts, in quantity
            }
        }
    }
}

}  // namespace

// The integer rounding to double against the x87 conversion: random
// significands with every pattern of the eleven dropped bits that matters
// (below, at and above half, with an even and an odd last kept bit, and the
// carry of all ones), across the whole range and just outside it.
TEST(Filter, CertifiedDoubleIsTheConversion) {
    std::mt19937_64 random(11);
    std::uint64_t const tails[] = {0, 1, 0x3ff, 0x400, 0x401, 0x7ff, 0xbff, 0xc00, 0xc01, ~std::uint64_t{0}};
    for (int exponent = 16383 - 202; exponent <= 16383 + 202; ++exponent) {
        for (std::uint64_t tail : tails) {
            for (unsigned sign : {0u, 0x8000u}) {
                std::uint64_t significand = random() | std::uint64_t{1} << 63;
                significand = tail == ~std::uint64_t{0} ? ~std::uint64_t{0}
                                                        : (significand & ~std::uint64_t{0xfff}) | tail;
                long double x = 0;
                unsigned const top = exponent | sign;
                std::memcpy(&x, &significand, 8);
                std::memcpy(reinterpret_cast<unsigned char*>(&x) + 8, &top, 2);
                double rounded = 0;
                bool const inRange = exponent >= 16383 - 200 && exponent < 16383 + 200;
                ASSERT_EQ(toCertifiedDouble(x, rounded), inRange) << exponent;
                if (inRange) {
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(rounded),
                              std::bit_cast<std::uint64_t>(static_cast<double>(x)));
                }
            }
        }
    }
    double rounded = 1;
    ASSERT_TRUE(toCertifiedDouble(-0.0L, rounded));
    EXPECT_TRUE(rounded == 0 && std::signbit(rounded));
    for (long double bad :
         {std::numeric_limits<long double>::infinity(), std::numeric_limits<long double>::quiet_NaN(),
          std::numeric_limits<long double>::denorm_min(), 0x1p-201L, 0x1p200L}) {
        EXPECT_FALSE(toCertifiedDouble(bad, rounded)) << static_cast<double>(bad);
    }
}
