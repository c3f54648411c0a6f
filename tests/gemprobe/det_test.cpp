#include "vec3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace gemprobe;

namespace {

vec3 v(long double x, long double y, long double z) { return {x, y, z}; }

TEST(Det, SignOfTheUnitBasis) {
    EXPECT_EQ(det(v(1, 0, 0), v(0, 1, 0), v(0, 0, 1)), 1);
    EXPECT_EQ(det(v(1, 0, 0), v(0, 1, 0), v(0, 0, -1)), -1);
}

TEST(Det, ZeroVectorOrRepeatedRowGivesZero) {
    vec3 const a = v(3, -1, 2), b = v(5, 7, -4), zero = v(0, 0, 0);
    EXPECT_EQ(det(zero, a, b), 0);
    EXPECT_EQ(det(a, zero, b), 0);
    EXPECT_EQ(det(a, b, zero), 0);
    EXPECT_EQ(det(a, a, b), 0);
    EXPECT_EQ(det(a, b, b), 0);
}

TEST(Det, SwappingTwoRowsFlipsTheSign) {
    vec3 const a = v(3, -1, 2), b = v(5, 7, -4), c = v(-2, 1, 9);
    int const s = det(a, b, c);
    ASSERT_NE(s, 0);
    EXPECT_EQ(det(b, a, c), -s);
    EXPECT_EQ(det(a, c, b), -s);
    EXPECT_EQ(det(c, b, a), -s);
    EXPECT_EQ(det(b, c, a), s);
}

// The tetrahedron's slanted face x + y + z = 1 and the point (0.1, 0.1, 0.8):
// in exact decimals it lies on the face, but 0.1 and 0.8 are rounded on input
// and the fixed evaluation order leaves 2^-64 instead of 0.
TEST(Det, FollowsTheExtendedPrecisionEvaluation) {
    vec3 const p0 = v(1, 0, 0), p1 = v(0, 1, 0), p2 = v(0, 0, 1);
    vec3 const q = v(0.1L, 0.1L, 0.8L);
    EXPECT_EQ(det(p1 - p0, p2 - p0, q - p0), 1);
    // The same plane seen from the inside vertex (0,0,0) has the opposite sign.
    EXPECT_EQ(det(p1 - p0, p2 - p0, v(0, 0, 0) - p0), -1);
    // A product that is exact in 80 bits but not in double precision.
    long double const big = 0x1p40L + 1;
    EXPECT_EQ(det(v(big, 0, 0), v(0, big, 0), v(0, 0, 1)), 1);
}

TEST(Det, UnorderedResultCountsAsZero) {
    long double const nan = std::numeric_limits<long double>::quiet_NaN();
    long double const inf = std::numeric_limits<long double>::infinity();
    EXPECT_EQ(det(v(nan, 0, 0), v(0, 1, 0), v(0, 0, 1)), 0);
    EXPECT_EQ(det(v(inf, 0, 0), v(0, 1, 0), v(0, 0, 1)), 0);  // inf - inf in the sum
    EXPECT_EQ(det(v(inf, 0, 0), v(0, 1, 0), v(0, 0, 0.5L)), 0);
}

}  // namespace
