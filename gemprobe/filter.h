#pragma once

#include "planes.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace gemprobe {

// A certified fast version of containsExact: the same verdict for every point,
// with most det signs decided in double precision, four planes at a time.
//
// For plane i and query q the filter computes, in double,
//   G = orientation * (n . (qd - p0d))     n = edge1 x edge2, qd and p0d rounded to double
//   B = sum_k (|qd_k| + |p0d_k|) * m_k * C  m = the absolute-value counterpart of n
// and concludes: G > B, the extended-precision det has the orientation's sign
// (the plane passes q); G < -B, the opposite sign (q is outside); otherwise the
// exact det decides. filter.cpp derives C.

typedef double lanes4 __attribute__((vector_size(32)));

// Four planes, one per lane. Planes that cannot be filtered (a coordinate out
// of the certified range) get a bound of NaN, so the exact test always decides.
struct alignas(32) filterBlock {
    lanes4 p0x, p0y, p0z;  // p0 rounded to double
    lanes4 absP0x, absP0y, absP0z;
    lanes4 nx, ny, nz;            // orientation * n, rounded to double
    lanes4 mx, my, mz;            // m * C
    std::uint32_t planeIndex[4];  // the plane each lane stands for
};

// A ball deep inside the solid: every point in it is passed by every plane in
// the extended-precision evaluation, so it needs no plane test at all.
struct innerBall {
    double x, y, z;
    double radiusSquared;  // 0: no ball (a thin or non-convex solid, or one out of range)
};

// Where to look first for a plane that rejects a point outside a large
// solid: the directions from a centre are split into the cells of a cube's
// faces (6 * resolution^2), and each cell names a block holding a plane whose
// outward normal points into that cell. Blocks are laid out in the order of
// their planes' cells, so neighbouring planes share blocks whatever the input
// order of the walls. Only the search order changes: a point is outside
// exactly when some plane rejects it, whichever is found first.
struct directionHints {
    double x = 0, y = 0, z = 0;              // the centre: the mean of the planes' first vertices
    int resolution = 0;                      // 0: no hints (small solids scan every block anyway)
    std::vector<std::uint32_t> blockOfCell;  // noBlock for a cell no normal points into
};

// One plane's values for the filter, before they are laid out in blocks:
// p0, n and m * C as above (n without the orientation while walls are being
// oriented). A plane out of the certified range has m = NaN.
struct planeLane {
    double p0x, p0y, p0z, nx, ny, nz, mx, my, mz;
};

struct pointFilter {
    std::vector<filterBlock> blocks;  // the last block repeats its last plane
    innerBall ball;
    directionHints hints;
};

// Fills `filter` for the planes, reusing its storage. The ball costs about as
// much as testing a hundred points against every plane, so it is looked for
// only when `expectedQueries` makes it worth while.
void prepareFilter(std::vector<plane> const& planes, pointFilter& filter, long expectedQueries);

// calculateOrientations, preparePlanes and prepareFilter in one pass over the
// walls, with the same orientations, planes and filter: each wall's normal is
// computed once, and its sign against a reference vertex comes from the
// filter's certified test whenever that decides, from det otherwise.
void orientAndPrepareFilter(solid& diamond, std::vector<plane>& planes, pointFilter& filter,
                            long expectedQueries);

// Zero, or a magnitude in [2^-200, 2^200), read off the stored bits (a plain
// integer test, cheaper than x87 comparisons): bytes 0-7 hold the significand,
// bits 0-14 of bytes 8-9 the biased exponent. Infinities and NaN (exponent
// 0x7fff) and subnormals (exponent 0, significand not 0) fail.
__attribute__((always_inline)) inline bool inCertifiedRange(long double const& x) {
    unsigned char const* const bytes = reinterpret_cast<unsigned char const*>(&x);
    std::uint64_t significand = 0;
    std::memcpy(&significand, bytes, sizeof significand);
    unsigned const exponent = (bytes[8] | static_cast<unsigned>(bytes[9]) << 8) & 0x7fffu;
    constexpr unsigned bias = 16383;
    return exponent - (bias - 200) < 400 || (exponent == 0 && significand == 0);
}

// x rounded to double, when x is in the certified range (as inCertifiedRange),
// computed from the stored bits with integer operations instead of an x87
// load and store: the range test and the rounding share one read of the
// exponent. In range, a non-zero x is normal both in extended and in double
// (2^-200 to 2^200), so its double is the upper 53 bits of the 64-bit
// significand rounded to nearest, ties to even, as the conversion rounds
// them; a carry out of 53 bits moves into the exponent field, which is the
// next power of two. Zero keeps its sign. An unnormal (integer bit clear,
// which the reader never produces) gets false, so the exact test decides.
__attribute__((always_inline)) inline bool toCertifiedDouble(long double const& x, double& rounded) {
    unsigned char const* const bytes = reinterpret_cast<unsigned char const*>(&x);
    std::uint64_t significand = 0;
    std::memcpy(&significand, bytes, sizeof significand);
    unsigned const signAndExponent = bytes[8] | static_cast<unsigned>(bytes[9]) << 8;
    unsigned const exponent = signAndExponent & 0x7fffu;
    std::uint64_t bits = static_cast<std::uint64_t>(signAndExponent & 0x8000u) << 48;
    constexpr unsigned bias = 16383;
    if (exponent - (bias - 200) < 400 && significand >> 63 != 0) {
        std::uint64_t const kept = significand >> 11;  // 53 bits, the leading one at bit 52
        // Up when the 11 dropped bits exceed half (0x400), or equal it with
        // kept odd: exactly when rest + (kept & 1) + 0x3ff reaches 0x800.
        std::uint64_t const rest = significand & 0x7ffu;
        std::uint64_t const up = (rest + (kept & 1) + 0x3ffu) >> 11;
        // The leading bit adds one to the exponent field, hence the - 1.
        bits += (static_cast<std::uint64_t>(exponent - bias + 1023 - 1) << 52) + kept + up;
    } else if (exponent != 0 || significand != 0) {
        return false;
    }
    std::memcpy(&rounded, &bits, sizeof rounded);
    return true;
}

// containsFiltered for a point in the certified range that the inner ball
// does not hold; x, y, z are its coordinates rounded to double.
bool containsFilteredPastBall(pointFilter const& filter, std::vector<plane> const& planes, vec3 const& q,
                              double x, double y, double z);

// The same in two steps, for callers that build the extended point only when
// it is needed: the filter's verdict from the doubles alone (1: every plane
// passes the point, -1: one rejects it, 0: some plane is too close to call),
// then, for 0, the exact test of the planes the filter could not decide.
int filteredSide(pointFilter const& filter, double x, double y, double z);
bool containsUndecided(pointFilter const& filter, std::vector<plane> const& planes, vec3 const& q, double x,
                       double y, double z);

// Same result as containsExact(planes, q) for every q. The range check and
// the inner ball, which decide most points of a many-point set, are inline in
// the caller's loop: no call per point.
__attribute__((always_inline)) inline bool containsFiltered(pointFilter const& filter,
                                                            std::vector<plane> const& planes, vec3 const& q) {
    double x, y, z;
    // & rather than &&: all three are wanted anyway, without branches between them.
    int const certified = static_cast<int>(toCertifiedDouble(q.x, x)) &
                          static_cast<int>(toCertifiedDouble(q.y, y)) &
                          static_cast<int>(toCertifiedDouble(q.z, z));
    if (certified == 0) return containsExact(planes, q);
    innerBall const& ball = filter.ball;
    double const dx = x - ball.x, dy = y - ball.y, dz = z - ball.z;
    if (dx * dx + dy * dy + dz * dz <= ball.radiusSquared && ball.radiusSquared > 0) return true;
    return containsFilteredPastBall(filter, planes, q, x, y, z);
}

}  // namespace gemprobe
