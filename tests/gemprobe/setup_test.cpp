// A set's set-up: the walls' vertex chunks reused from set to set, and the
// orientation taken from the filter's lanes against the exact one.

#include "diamond.h"
#include "filter.h"
#include "input.h"
#include "planes.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace gemprobe;

namespace {

using Faces = std::vector<std::vector<vec3>>;

std::string textOf(Faces const& faces) {
    std::string text = std::to_string(faces.size()) + "\n";
    for (auto const& f : faces) {
        text += std::to_string(f.size());
        for (vec3 const& v : f) {
            char buffer[100];
            std::snprintf(buffer, sizeof buffer, " %La %La %La", v.x, v.y, v.z);
            text += buffer;
        }
        text += '\n';
    }
    return text;
}

// Coordinates k / divisor; integers (divisor 1) up to `limit`, -0 included.
Faces randomFaces(std::mt19937_64& rng, int walls, int firstVertices, int otherVertices, int limit = 1000,
                  long double divisor = 8) {
    std::uniform_int_distribution<int> coordinate(-limit, limit);
    auto value = [&] {
        int const k = coordinate(rng);
        return k == 0 && rng() % 2 ? -0.0L : k / divisor;
    };
    Faces faces(static_cast<std::size_t>(walls));
    for (std::size_t i = 0; i < faces.size(); ++i) {
        int const count = i < 2 ? firstVertices : otherVertices;
        for (int v = 0; v < count; ++v) faces[i].push_back(vec3{value(), value(), value()});
    }
    return faces;
}

// Sets that grow and shrink, walls that outgrow a chunk (the first two keep
// thousands of vertices) or straddle a chunk's end, read into one solid: every
// wall keeps its own vertices, the first two all of them, the others three.
TEST(Setup, VertexChunksAreReusedAcrossSetsOfEverySize) {
    std::mt19937_64 rng(3);
    solid diamond;
    struct Shape {
        int walls, firstVertices, otherVertices;
    };
    for (Shape shape : {Shape{4, 3, 3}, Shape{3, 5000, 4}, Shape{6, 4, 4}, Shape{30000, 3, 5}, Shape{2, 3, 3},
                        Shape{5000, 40000, 3}, Shape{8, 3, 7}, Shape{2, 100000, 3}}) {
        Faces const faces = randomFaces(rng, shape.walls, shape.firstVertices, shape.otherVertices);
        std::string const text = textOf(faces);
        input in = inputFromMemory(text);
        ASSERT_TRUE(readDiament(in, diamond)) << in.error;
        ASSERT_EQ(diamond.walls.size(), faces.size());
        for (std::size_t i = 0; i < faces.size(); ++i) {
            wall const& w = diamond.walls[i];
            ASSERT_EQ(w.count, i < 2 ? faces[i].size() : 3u) << shape.walls << " wall " << i;
            for (std::uint32_t v = 0; v < w.count; ++v) {
                vec3 const& got = verticesOf(diamond, w)[v];
                vec3 const& want = faces[i][v];
                ASSERT_TRUE(got.x == want.x && got.y == want.y && got.z == want.z)
                    << shape.walls << " wall " << i << " vertex " << v;
            }
        }
    }
}

long double nudge(long double x, int ulps) {
    for (; ulps > 0; --ulps) x = std::nextafterl(x, HUGE_VALL);
    for (; ulps < 0; ++ulps) x = std::nextafterl(x, -HUGE_VALL);
    return x;
}

// Walls through points a few ulps off the first wall's vertices, so that many
// reference vertices are too close to call for the lanes and det decides, and
// some exactly on the plane, so that the walk goes on to the next vertex.
// Integer walls (below 2^15, 2^20 and beyond) are nudged by whole units.
Faces nearlyDegenerateFaces(std::mt19937_64& rng, int walls, int limit, long double divisor) {
    Faces faces = randomFaces(rng, walls, 4, 3, limit, divisor);
    std::uniform_int_distribution<int> ulps(-2, 2);
    auto nudge = [&](long double x, int by) { return divisor == 1 ? x + by : ::nudge(x, by); };
    std::uniform_int_distribution<std::size_t> pick(0, 3);
    for (std::size_t i = 1; i < faces.size(); ++i) {
        vec3 const& r = faces[0][pick(rng)];
        if (i % 3 == 0) {
            faces[i][0] = r;  // exactly through a reference vertex, or two:
            // det(a, b, a) is 0, but its rounding need not be with large integers
            if (rng() % 2) faces[i][1] = faces[0][rng() % 4];
            continue;
        }
        faces[i][0] = {nudge(r.x, ulps(rng)), nudge(r.y, ulps(rng)), nudge(r.z, ulps(rng))};
        if (i % 3 == 1) faces[i][1] = faces[0][(pick(rng) + 1) % 4];  // and near another
    }
    if (rng() % 4 == 0) faces[1][1].x = 0x1p-300L;  // out of the certified range
    return faces;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Every lane value to the bit, zeros' signs included.
void expectSameBlocks(pointFilter const& a, pointFilter const& b, int round) {
    ASSERT_EQ(a.blocks.size(), b.blocks.size());
    for (std::size_t i = 0; i < a.blocks.size(); ++i) {
        filterBlock const &x = a.blocks[i], &y = b.blocks[i];
        for (int lane = 0; lane < 4; ++lane) {
            ASSERT_EQ(x.planeIndex[lane], y.planeIndex[lane]);
            // A plane out of range has no normal (0, of either sign) and a
            // bound of NaN: the exact test decides it alone.
            ASSERT_EQ(std::isnan(x.mx[lane]), std::isnan(y.mx[lane]));
            if (std::isnan(x.mx[lane])) continue;
            for (auto field : {&filterBlock::p0x, &filterBlock::p0y, &filterBlock::p0z, &filterBlock::absP0x,
                               &filterBlock::absP0y, &filterBlock::absP0z, &filterBlock::nx, &filterBlock::ny,
                               &filterBlock::nz, &filterBlock::mx, &filterBlock::my, &filterBlock::mz}) {
                ASSERT_TRUE(sameBits((x.*field)[lane], (y.*field)[lane]))
                    << "round " << round << " block " << i << " lane " << lane << std::hexfloat << ' '
                    << (x.*field)[lane] << ' ' << (y.*field)[lane];
            }
        }
    }
}

// One pass of lanes and orientations gives the same orientations, planes,
// lanes and verdicts as orienting with det and then building the filter,
// with decimal and with integer vertices of every size.
TEST(Setup, OrientationFromLanesEqualsTheExactOne) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> unit(-150, 150);
    long decidedByLanesOrDet = 0;
    for (int round = 0; round < 800; ++round) {
        int const walls = round % 50 < 2 ? 70 : 2 + static_cast<int>(rng() % 12);
        static int const limits[] = {1000, 3, 1 << 14, (1 << 15) + 1, 1 << 19, (1 << 20) + 1, 1 << 28};
        bool const integers = round % 2 == 1;
        Faces const faces = integers ? nearlyDegenerateFaces(rng, walls, limits[round / 2 % 7], 1)
                                     : nearlyDegenerateFaces(rng, walls, 1000, 8);
        solid exact, fused;
        for (auto const& f : faces) addWall(exact, f), addWall(fused, f);
        calculateOrientations(exact);
        std::vector<plane> const exactPlanes = planesOf(exact);
        pointFilter const exactFilter = filterOf(exactPlanes);
        std::vector<plane> planes;
        pointFilter filter;
        orientAndPrepareFilter(fused, planes, filter, 100);
        for (std::size_t i = 0; i < faces.size(); ++i) {
            ASSERT_EQ(fused.walls[i].orientation, exact.walls[i].orientation)
                << "round " << round << " wall " << i;
            decidedByLanesOrDet += exact.walls[i].orientation != 0;
        }
        ASSERT_EQ(planes.size(), exactPlanes.size());
        expectSameBlocks(filter, exactFilter, round);
        for (int k = 0; k < 200; ++k) {
            vec3 q{unit(rng), unit(rng), unit(rng)};
            if (k < 4 * static_cast<int>(planes.size())) q = verticesOf(fused, fused.walls[k / 4])[k % 3];
            bool const expected = containsExact(exactPlanes, q);
            ASSERT_EQ(containsFiltered(filter, planes, q), expected) << "round " << round << " point " << k;
            ASSERT_EQ(containsFiltered(exactFilter, exactPlanes, q), expected);
        }
    }
    EXPECT_GT(decidedByLanesOrDet, 1000);
}

}  // namespace
