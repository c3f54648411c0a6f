#include "filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <emmintrin.h>

namespace gemprobe {

// Why the bound holds
// -------------------
// Let a = edge1, b = edge2 (extended values), c = q - p0 in exact arithmetic,
// ce = fl_ext(q - p0) the difference det is given, and P(x) = sum_k |x_k| m_k
// the permanent of det(a, b, x): the sum of the absolute values of its six
// products, with m = (|a.y b.z| + |a.z b.y|, |a.z b.x| + |a.x b.z|, |a.x b.y| + |a.y b.x|).
// ue = 2^-64 and ud = 2^-53 are the unit roundoffs of extended and double.
//
//  1. det in extended: each product is rounded twice and the five additions
//     once each, so |D_ext - det(a, b, ce)| <= gamma_7(ue) P(ce)            ~ 7 ue P
//  2. ce = c (1 + e), |e| <= ue per coordinate, and det is linear in c:
//     |det(a, b, ce) - det(a, b, c)| <= ue P(c)                              ~ ue P
//  3. n = a x b is computed once per plane in extended (two products, one
//     difference: error <= 2 ue m) and rounded to double (ud |n|), so
//     |nd - n| <= (ud + 3ue) m.
//     The query's difference is formed from rounded coordinates,
//     cd = fl_d(qd - p0d) with qd = q (1 + e1), p0d = p0 (1 + e2), which is an
//     absolute error, not a relative one: |cd_k - c_k| <= 2 ud (|q_k| + |p0_k|).
//     With s_k = |qd_k| + |p0d_k| (which bounds |c_k|, |cd_k| and |q_k| + |p0_k|
//     up to factors 1 + O(ud)):
//     |n . c - nd . cd| <= sum_k |c_k| |n_k - nd_k| + |c_k - cd_k| |nd_k|
//                       <= (3 ud + 3 ue) sum_k s_k m_k
//  4. F = fl_d(nd . cd): three products and two additions,
//     |F - nd . cd| <= gamma_3(ud) sum_k |cd_k| |nd_k|                     ~ 3 ud S
// With S = sum_k s_k m_k >= P (up to 1 + O(ud)), altogether
//     |D_ext - F| <= (6 ud + 11 ue + O(ud^2)) S < 6.01 ud S.
// B is S times C = 8 ud = 2^-50, computed in double from non-negative terms
// (relative error below 6 ud; m * C is exact, C being a power of two), so
// B > 7.9 ud S exceeds the error, and |F| > B proves sign(D_ext) = sign(F).
//
// The bound needs every product to stay normal and finite in double: every
// non-zero magnitude of the vertices p0, p1, p2 and of q lies in
// [2^-200, 2^200). Then the edges are 0 or within [2^-263, 2^201] (multiples of
// the extended ulp of 2^-200), a non-zero qd - p0d is within [2^-252, 2^201],
// n_k and m_k are 0 or within [2^-589, 2^403], and every term of F and B stays
// within [2^-841, 2^655]. Anything else (infinities, NaN, subnormals and
// values near the ends of the range) goes to the exact test.
namespace {

constexpr double boundFactor = 0x1p-50;  // C = 8 ud

using gemprobe::inCertifiedRange;  // one coordinate, declared in filter.h

__attribute__((always_inline)) inline bool inCertifiedRange(vec3 const& v) {
    return inCertifiedRange(v.x) && inCertifiedRange(v.y) && inCertifiedRange(v.z);
}

bool inCertifiedRange(plane const& p) {
    return inCertifiedRange(p.vertices[0]) && inCertifiedRange(p.vertices[1]) &&
           inCertifiedRange(p.vertices[2]);
}

// The lane of the plane through p[0], p[1], p[2], with n multiplied by `sign`.
planeLane laneOf(vec3 const* p, long double sign) {
    if (!inCertifiedRange(p[0]) || !inCertifiedRange(p[1]) || !inCertifiedRange(p[2])) {
        double const nan = std::nan("");
        return {0, 0, 0, 0, 0, 0, nan, nan, nan};
    }
    vec3 const& p0 = p[0];
    vec3 const a = p[1] - p0;
    vec3 const b = p[2] - p0;
    return {
        static_cast<double>(p0.x),
        static_cast<double>(p0.y),
        static_cast<double>(p0.z),
        static_cast<double>(sign * (a.y * b.z - a.z * b.y)),
        static_cast<double>(sign * (a.z * b.x - a.x * b.z)),
        static_cast<double>(sign * (a.x * b.y - a.y * b.x)),
        static_cast<double>(std::fabs(a.y * b.z) + std::fabs(a.z * b.y)) * boundFactor,
        static_cast<double>(std::fabs(a.z * b.x) + std::fabs(a.x * b.z)) * boundFactor,
        static_cast<double>(std::fabs(a.x * b.y) + std::fabs(a.y * b.x)) * boundFactor,
    };
}

planeLane laneOf(plane const& p) { return laneOf(p.vertices, p.orientation); }

// The det sign of v against the lane's plane (n without orientation) when the
// filter's bound decides it, otherwise 0: the same test as judge below, for a
// single lane.
int certainSide(planeLane const& l, vec3 const& v) {
    if (!inCertifiedRange(v)) return 0;
    double const x = static_cast<double>(v.x), y = static_cast<double>(v.y), z = static_cast<double>(v.z);
    double const g = (x - l.p0x) * l.nx + (y - l.p0y) * l.ny + (z - l.p0z) * l.nz;
    double const bound = (std::fabs(x) + std::fabs(l.p0x)) * l.mx + (std::fabs(y) + std::fabs(l.p0y)) * l.my +
                         (std::fabs(z) + std::fabs(l.p0z)) * l.mz;
    if (g > bound) return 1;
    if (g < -bound) return -1;
    return 0;
}

// Integer vertices
// ----------------
// Walls are often given by small integers. When every coordinate of p0, p1,
// p2 is an integer below 2^20 in magnitude, the edges (below 2^21), the
// products of two of them (below 2^42) and n and m (below 2^43) are integers
// that double holds exactly, so computing them in double gives exactly the
// values the extended computation rounds to double, zeros and their signs
// included (exact operations round alike in both formats): the same lane,
// without the x87 unit. When moreover p0, p1, p2 and a reference vertex v are
// integers below 2^15, det's products (below 2^48) and sums (below 2^51) are
// exact, so det is the exact determinant, and so is the lane's
// n . (v - p0) (terms below 2^49): its sign is det's, 0 included.

// x as a double when it is an integer of magnitude below 2^bits, read off the
// stored bits like inCertifiedRange.
__attribute__((always_inline)) inline bool smallInteger(long double const& x, unsigned bits, double& value) {
    unsigned char const* const bytes = reinterpret_cast<unsigned char const*>(&x);
    std::uint64_t significand = 0;
    std::memcpy(&significand, bytes, sizeof significand);
    unsigned const signAndExponent = bytes[8] | static_cast<unsigned>(bytes[9]) << 8;
    unsigned const exponent = signAndExponent & 0x7fffu;
    double magnitude = 0;
    if (exponent != 0 || significand != 0) {
        unsigned const scale = exponent - 16383;  // x in [2^scale, 2^(scale+1))
        if (scale >= bits || significand >> 63 == 0 || significand << (scale + 1) != 0) return false;
        magnitude = static_cast<double>(significand >> (63 - scale));
    }
    value = signAndExponent & 0x8000u ? -magnitude : magnitude;
    return true;
}

// The lane of the plane through three vertices given as nine doubles, x y z
// of each in turn, all integers below 2^20 (n without orientation).
__attribute__((always_inline)) inline planeLane laneOfIntegers(double const* c) {
    double const ax = c[3] - c[0], ay = c[4] - c[1], az = c[5] - c[2];
    double const bx = c[6] - c[0], by = c[7] - c[1], bz = c[8] - c[2];
    return {c[0],
            c[1],
            c[2],
            ay * bz - az * by,
            az * bx - ax * bz,
            ax * by - ay * bx,
            (std::fabs(ay * bz) + std::fabs(az * by)) * boundFactor,
            (std::fabs(az * bx) + std::fabs(ax * bz)) * boundFactor,
            (std::fabs(ax * by) + std::fabs(ay * bx)) * boundFactor};
}

// The lane of the plane through p[0], p[1], p[2] (n without orientation) when
// their coordinates are integers below 2^20; `small`: all below 2^15.
bool integerLane(vec3 const* p, planeLane& lane, bool& small) {
    double c[9];
    bool integers = true;
    for (int k = 0; k < 3; ++k) {
        integers &= smallInteger(p[k].x, 20, c[3 * k]);
        integers &= smallInteger(p[k].y, 20, c[3 * k + 1]);
        integers &= smallInteger(p[k].z, 20, c[3 * k + 2]);
    }
    if (!integers) return false;
    double largest = 0;
    for (double v : c) largest = std::max(largest, std::fabs(v));
    small = largest < 0x1p15;
    lane = laneOfIntegers(c);
    return true;
}

// det's sign for the vertex (x, y, z) against a small integer wall's lane,
// the vertex's coordinates being integers below 2^15 too.
__attribute__((always_inline)) inline int exactSide(planeLane const& l, double x, double y, double z) {
    double const g = (x - l.p0x) * l.nx + (y - l.p0y) * l.ny + (z - l.p0z) * l.nz;
    return (g > 0) - (g < 0);
}

// det's sign for v against a small integer wall's lane, or 2 when v is not
// made of integers below 2^15.
int exactSide(planeLane const& l, vec3 const& v) {
    double x, y, z;
    if (!smallInteger(v.x, 15, x) || !smallInteger(v.y, 15, y) || !smallInteger(v.z, 15, z)) return 2;
    return exactSide(l, x, y, z);
}

typedef std::int64_t laneMask __attribute__((vector_size(32)));

__attribute__((always_inline)) inline bool anyLane(laneMask const& m) {
    return (m[0] | m[1] | m[2] | m[3]) != 0;
}

struct query {
    double x, y, z, absX, absY, absZ;
};

// Lanes whose plane certainly rejects the point, and lanes the filter cannot decide.
struct blockVerdict {
    laneMask rejects, undecided;
};

__attribute__((always_inline)) inline blockVerdict judge(filterBlock const& b, query const& q) {
    lanes4 const g = (q.x - b.p0x) * b.nx + (q.y - b.p0y) * b.ny + (q.z - b.p0z) * b.nz;
    lanes4 const bound = (q.absX + b.absP0x) * b.mx + (q.absY + b.absP0y) * b.my + (q.absZ + b.absP0z) * b.mz;
    laneMask const passes = g > bound;
    laneMask const rejects = g < -bound;
    return {rejects, ~(passes | rejects)};
}

// One pass over all blocks: -1 when a plane certainly rejects the point, 1
// when all certainly pass it, 0 when the exact test must decide for some.
// Certain rejections end the pass at once; undecided lanes are only
// counted, since most points have none. A solid of at most two blocks (a
// cube, a tetrahedron) has both judged without a branch between them:
// whether the first block rejects a point is as good as random, and a
// mispredicted exit costs more than the second block.
__attribute__((always_inline)) inline int scanBlocks(filterBlock const* blocks, std::size_t count,
                                                     query const& q) {
    if (count == 0) return 1;
    if (count <= 2) {
        blockVerdict v = judge(blocks[0], q);
        if (count == 2) {
            blockVerdict const second = judge(blocks[1], q);
            v.rejects |= second.rejects;
            v.undecided |= second.undecided;
        }
        int const rejected = anyLane(v.rejects);
        int const undecided = anyLane(v.undecided);
        return (rejected | undecided) != 0 ? -rejected : 1;
    }
    laneMask undecided = {0, 0, 0, 0};
    for (std::size_t i = 0; i < count; ++i) {
        blockVerdict const v = judge(blocks[i], q);
        if (anyLane(v.rejects)) return -1;
        undecided |= v.undecided;
    }
    return anyLane(undecided) ? 0 : 1;
}

}  // namespace

// The inner ball
// --------------
// Centre C: the mean of the points that define the planes (p0, p0 + edge1,
// p0 + edge2), rounded to double. For each plane, in extended precision,
// n = edge1 x edge2, the distance dist = orientation * n . (C - p0) / |n| of C
// from the plane, reach = |C - p0|, and M = |m| (m as above). The radius r is
// the least dist less a 2^-10 share. For q with |q - C| <= r the exact
// orientation * det(edge1, edge2, q - p0) is at least |n| (dist - r), while the
// extended evaluation errs by at most 9 ue P <= 9 ue (reach + r) M (steps 1
// and 2 above). The ball is kept only if for every plane
//     (dist - r) |n| >= 2^-40 (reach + r) M,
// a margin of 2^20 over that error and over the rounding of dist itself, so
// det keeps the orientation's sign throughout the ball: every plane passes q.
// The margin is checked in the same pass that finds the least dist, before r
// is known, in a stronger form: dist 2^-12 |n| >= 2^-40 (reach + dist) M.
// Since r <= least (1 - 2^-10) (1 + ue) <= dist (1 - 2^-10) (1 + ue),
// dist - r >= dist 2^-11 and reach + r <= reach + dist, so it implies the
// condition above with a factor 2 to spare for the rounding of the check.
// The query test |qd - C|^2 <= (r (1 - 2^-20))^2 is made in double on the
// rounded point: qd is within ud |q| of q and the sum of squares is within a
// relative 4 ud, which the 2^-20 shrink covers as long as r >= 2^-30 |C|_1.
// r stays within [2^-200, 2^200] so that r^2 is a normal double.
namespace {

struct planeGeometry {
    long double dist, reach, normalLength, permanentLength;
};

planeGeometry geometryOf(plane const& p, vec3 const& c) {
    vec3 const a = edge1(p);
    vec3 const b = edge2(p);
    vec3 const n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    vec3 const m{std::fabs(a.y * b.z) + std::fabs(a.z * b.y), std::fabs(a.z * b.x) + std::fabs(a.x * b.z),
                 std::fabs(a.x * b.y) + std::fabs(a.y * b.x)};
    vec3 const d = c - origin(p);
    long double const nn = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    return {p.orientation * (n.x * d.x + n.y * d.y + n.z * d.z) / nn,
            std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z), nn, std::sqrt(m.x * m.x + m.y * m.y + m.z * m.z)};
}

innerBall ballOf(std::vector<plane> const& planes) {
    innerBall const none{0, 0, 0, 0};
    if (planes.empty()) return none;
    long double sx = 0, sy = 0, sz = 0;
    for (plane const& p : planes) {
        if (!inCertifiedRange(p)) return none;
        vec3 const& p0 = origin(p);
        vec3 const a = edge1(p);
        vec3 const b = edge2(p);
        sx += 3 * p0.x + a.x + b.x;
        sy += 3 * p0.y + a.y + b.y;
        sz += 3 * p0.z + a.z + b.z;
    }
    long double const count = 3 * static_cast<long double>(planes.size());
    vec3 const c{static_cast<double>(sx / count), static_cast<double>(sy / count),
                 static_cast<double>(sz / count)};
    long double least = HUGE_VALL;
    for (plane const& p : planes) {
        planeGeometry const g = geometryOf(p, c);
        if (!(g.dist > 0)) return none;  // C is not inside this plane (or n is 0)
        // Implies the margin for r = least (1 - 2^-10), before least is known.
        if (!(g.dist * 0x1p-12L * g.normalLength >= 0x1p-40L * (g.reach + g.dist) * g.permanentLength))
            return none;
        if (g.dist < least) least = g.dist;
    }
    long double const r = least * (1 - 0x1p-10L);
    long double const centreSize = std::fabs(c.x) + std::fabs(c.y) + std::fabs(c.z);
    if (!(r >= 0x1p-30L * centreSize) || !(r >= 0x1p-200L && r <= 0x1p200L)) return none;
    double const shrunk = static_cast<double>(r) * (1 - 0x1p-20);
    return {static_cast<double>(c.x), static_cast<double>(c.y), static_cast<double>(c.z), shrunk * shrunk};
}

}  // namespace

constexpr long queriesWorthABall = 64;

namespace {

constexpr std::uint32_t noBlock = UINT32_MAX;
// Below this many blocks a full scan is short enough.
constexpr std::size_t blocksWorthHints = 16;

// The cube-map cell of direction (x, y, z): the face of its largest
// coordinate, then the other two divided by it. -1 for the zero vector;
// NaN and infinite parts land in some cell, which only costs a look. The
// cell only orders the search, so its arithmetic need not be exact, and it
// has no branch on the face or the clamping: a query's face is as good as
// random, and mispredicted branches cost more than the whole sum.
int cellOf(double x, double y, double z, int resolution) {
    double const coordinate[3] = {x, y, z};
    double const magnitude[3] = {std::fabs(x), std::fabs(y), std::fabs(z)};
    auto const bit = [](bool b) { return static_cast<int>(b); };
    int const onX = bit(magnitude[0] >= magnitude[1]) & bit(magnitude[0] >= magnitude[2]);
    int const onY = (1 - onX) & bit(magnitude[1] >= magnitude[2]);
    int const axis = 2 - 2 * onX - onY;
    double const major = magnitude[axis];
    if (!(major > 0)) return -1;
    int const face = 2 * axis + bit(coordinate[axis] < 0);
    double const u = coordinate[bit(axis == 0)];      // y on the x faces, else x
    double const v = coordinate[2 - bit(axis == 2)];  // y on the z faces, else z
    __m128d const scale = _mm_set_sd(0.5 * resolution / major);
    __m128d const last = _mm_set_sd(resolution - 1);
    auto index = [&](double t) {
        __m128d const scaled = _mm_mul_sd(_mm_add_sd(_mm_set_sd(t), _mm_set_sd(major)), scale);
        // max takes 0 for NaN.
        return _mm_cvttsd_si32(_mm_min_sd(_mm_max_sd(scaled, _mm_setzero_pd()), last));
    };
    return (face * resolution + index(u)) * resolution + index(v);
}

}  // namespace

namespace {

// Slot `slot` (block slot / 4, lane slot % 4) holds the lane of planes[index].
__attribute__((always_inline)) inline void setLaneOf(std::vector<filterBlock>& blocks, std::size_t slot,
                                                     planeLane const& v, std::size_t index) {
    filterBlock& b = blocks[slot / 4];
    std::size_t const lane = slot % 4;
    b.p0x[lane] = v.p0x;
    b.p0y[lane] = v.p0y;
    b.p0z[lane] = v.p0z;
    b.absP0x[lane] = std::fabs(v.p0x);
    b.absP0y[lane] = std::fabs(v.p0y);
    b.absP0z[lane] = std::fabs(v.p0z);
    b.nx[lane] = v.nx;
    b.ny[lane] = v.ny;
    b.nz[lane] = v.nz;
    b.mx[lane] = v.mx;
    b.my[lane] = v.my;
    b.mz[lane] = v.mz;
    b.planeIndex[lane] = static_cast<std::uint32_t>(index);
}

// Lays out the planes' lanes (`laneAt(i)` for `planes[i]`, orientation
// applied) in blocks, sorted by direction for a large solid.
template <class LaneAt>
void layOutFilter(std::vector<plane> const& planes, LaneAt const& laneAt, pointFilter& filter,
                  long expectedQueries) {
    filter.ball = expectedQueries >= queriesWorthABall ? ballOf(planes) : innerBall{0, 0, 0, 0};
    std::size_t const blockCount = (planes.size() + 3) / 4;
    filter.blocks.resize(blockCount);
    auto setLane = [&](std::size_t slot, planeLane const& v, std::size_t index) {
        setLaneOf(filter.blocks, slot, v, index);
    };
    directionHints& hints = filter.hints;
    hints.resolution = 0;
    if (blockCount < blocksWorthHints) {
        for (std::size_t index = 0; index < planes.size(); ++index) setLane(index, laneAt(index), index);
        // Padding lanes repeat the last plane: a duplicate wall changes no verdict.
        for (std::size_t slot = planes.size(); slot < blockCount * 4; ++slot)
            setLane(slot, laneAt(planes.size() - 1), planes.size() - 1);
        return;
    }

    // About two planes per cell, at most 6 * 32^2 cells.
    int const resolution = std::clamp(static_cast<int>(std::sqrt(planes.size() / 12.0)), 1, 32);
    std::size_t const cellCount = 6 * static_cast<std::size_t>(resolution) * resolution;
    // The centre and the cells need only rough directions: the planes' first
    // vertices and normals in double.
    double sx = 0, sy = 0, sz = 0;
    for (plane const& p : planes) {
        sx += static_cast<double>(origin(p).x), sy += static_cast<double>(origin(p).y),
            sz += static_cast<double>(origin(p).z);
    }
    double const count = static_cast<double>(planes.size());
    hints.x = sx / count, hints.y = sy / count, hints.z = sz / count;
    // Counting sort of the planes by the cell of their outward normal
    // (orientation * n points inwards); planes without a cell go last.
    std::vector<int> cells(planes.size());
    std::vector<std::size_t> start(cellCount + 2, 0);
    for (std::size_t index = 0; index < planes.size(); ++index) {
        // The cells need only rough normals: from the edges in double,
        // computed again here rather than kept (a copy of every lane would
        // add a fifth to the memory of a huge solid).
        plane const& p = planes[index];
        vec3 const a = edge1(p), b = edge2(p);
        double const ax = static_cast<double>(a.x), ay = static_cast<double>(a.y),
                     az = static_cast<double>(a.z);
        double const bx = static_cast<double>(b.x), by = static_cast<double>(b.y),
                     bz = static_cast<double>(b.z);
        double const outward = -p.orientation;
        cells[index] = cellOf(outward * (ay * bz - az * by), outward * (az * bx - ax * bz),
                              outward * (ax * by - ay * bx), resolution);
        ++start[static_cast<std::size_t>(cells[index] < 0 ? static_cast<int>(cellCount) : cells[index]) + 1];
    }
    for (std::size_t cell = 0; cell <= cellCount; ++cell) start[cell + 1] += start[cell];
    hints.blockOfCell.assign(cellCount, noBlock);
    for (std::size_t cell = 0; cell < cellCount; ++cell) {
        if (start[cell] != start[cell + 1])
            hints.blockOfCell[cell] = static_cast<std::uint32_t>(start[cell] / 4);
    }
    std::size_t last = 0;
    for (std::size_t index = 0; index < planes.size(); ++index) {
        std::size_t const cell = cells[index] < 0 ? cellCount : static_cast<std::size_t>(cells[index]);
        std::size_t const slot = start[cell]++;
        setLane(slot, laneAt(index), index);
        if (slot == planes.size() - 1) last = index;
    }
    for (std::size_t slot = planes.size(); slot < blockCount * 4; ++slot) setLane(slot, laneAt(last), last);
    hints.resolution = resolution;
}

}  // namespace

void prepareFilter(std::vector<plane> const& planes, pointFilter& filter, long expectedQueries) {
    layOutFilter(
        planes, [&](std::size_t index) { return laneOf(planes[index]); }, filter, expectedQueries);
}

void orientAndPrepareFilter(solid& diamond, std::vector<plane>& planes, pointFilter& filter,
                            long expectedQueries) {
    static_assert(smallSolidWalls == 4 * blocksWorthHints, "a small solid never needs direction hints");
    if (diamond.walls.size() >= smallSolidWalls) {
        // A large solid: one det per wall is little beside the rest of its
        // set-up, and the lanes are computed in sorted order, never kept.
        calculateOrientations(diamond);
        preparePlanes(diamond, planes);
        auto const laneAt = [&](std::size_t index) {
            plane const& p = planes[index];
            planeLane l;
            bool small = false;
            if (!integerLane(p.vertices, l, small)) return laneOf(p);
            if (p.orientation < 0) l.nx = -l.nx, l.ny = -l.ny, l.nz = -l.nz;
            return l;
        };
        layOutFilter(planes, laneAt, filter, expectedQueries);
        return;
    }
    // A small solid: each wall's lane goes straight to its block once the
    // wall is oriented, as layOutFilter would lay it out.
    planes.clear();
    planes.reserve(diamond.walls.size());
    filter.hints.resolution = 0;
    filter.blocks.resize((diamond.walls.size() + 3) / 4);  // trimmed below
    if (diamond.walls.size() >= 2) {
        // The reader's integer corners, when it kept them, spare decoding the
        // extended values of small integer walls.
        double const* const corners =
            diamond.cornerWalls == diamond.walls.size() ? diamond.integerCorners.data() : nullptr;
        auto integerCornersOf = [&](std::size_t i) -> double const* {
            if (corners == nullptr || std::isnan(corners[9 * i])) return nullptr;
            return corners + 9 * i;
        };
        double const* const referenceCorners[2] = {integerCornersOf(1), integerCornersOf(0)};
        // As calculateOrientations: the first reference vertex off the wall's
        // plane decides; the lane's test stands for det where it is certain.
        for (std::size_t i = 0; i < diamond.walls.size(); ++i) {
            wall& w = diamond.walls[i];
            wall const& reference = diamond.walls[i == 0 ? 1 : 0];
            vec3 const* const p = verticesOf(diamond, w);
            vec3 const* const r = verticesOf(diamond, reference);
            planeLane l;
            bool small = false;
            if (double const* const own = integerCornersOf(i)) {
                l = laneOfIntegers(own);
                small = true;
            } else if (!integerLane(p, l, small)) {
                l = laneOf(p, 1);
            }
            // Into the next free slot now; overwritten by the next wall if
            // this one imposes nothing.
            std::size_t const slot = planes.size();
            setLaneOf(filter.blocks, slot, l, slot);
            double const* const rc = referenceCorners[i == 0 ? 0 : 1];
            for (std::uint32_t k = 0; k < reference.count && w.orientation == 0; ++k) {
                int side = 2;
                if (small) {
                    side = rc != nullptr && k < 3 ? exactSide(l, rc[3 * k], rc[3 * k + 1], rc[3 * k + 2])
                                                  : exactSide(l, r[k]);
                }
                if (side != 2) {
                    w.orientation = side;
                    continue;
                }
                w.orientation = certainSide(l, r[k]);
                if (w.orientation == 0) w.orientation = det(p[1] - p[0], p[2] - p[0], r[k] - p[0]);
            }
            if (w.orientation == 0) continue;
            // Rounding is symmetric, so the lane of n times the orientation
            // is the lane with its normal negated or not: a product by -1 or
            // 1, exact and without a branch (the windings of the walls are
            // as good as random).
            // (In the block: a copy of the lane's fields would be read back
            // in a 16-byte load from two 8-byte stores, which stalls.)
            filterBlock& b = filter.blocks[slot / 4];
            double const sign = w.orientation;
            b.nx[slot % 4] *= sign, b.ny[slot % 4] *= sign, b.nz[slot % 4] *= sign;
            planes.push_back({p, w.orientation});
        }
    }
    std::size_t const blockCount = (planes.size() + 3) / 4;
    filter.blocks.resize(blockCount);
    // Padding lanes repeat the last plane: a duplicate wall changes no verdict.
    for (std::size_t slot = planes.size(); slot < blockCount * 4; ++slot) {
        filterBlock& b = filter.blocks[blockCount - 1];
        std::size_t const last = (planes.size() - 1) % 4;
        for (auto field : {&filterBlock::p0x, &filterBlock::p0y, &filterBlock::p0z, &filterBlock::absP0x,
                           &filterBlock::absP0y, &filterBlock::absP0z, &filterBlock::nx, &filterBlock::ny,
                           &filterBlock::nz, &filterBlock::mx, &filterBlock::my, &filterBlock::mz})
            (b.*field)[slot % 4] = (b.*field)[last];
        b.planeIndex[slot % 4] = b.planeIndex[last];
    }
    filter.ball = expectedQueries >= queriesWorthABall ? ballOf(planes) : innerBall{0, 0, 0, 0};
}

namespace {

// In two versions, the lanes' arithmetic in 256-bit registers where the
// processor has them. Defined apart from the declared functions: clang does
// not allow a function already declared (and called) to become
// multiversioned. ThreadSanitizer builds keep one version: the loader runs
// the versions' resolver before the sanitizer's runtime is up, and its
// instrumented code crashes there.
#if defined(__SANITIZE_THREAD__)
#define JUDGE_VERSIONS
#else
#define JUDGE_VERSIONS __attribute__((target_clones("avx2", "default")))
#endif
JUDGE_VERSIONS int judgeByFilter(pointFilter const& filter, double x, double y, double z) {
    query const qd{x, y, z, std::fabs(x), std::fabs(y), std::fabs(z)};
    directionHints const& hints = filter.hints;
    if (hints.resolution > 0) {
        int const cell = cellOf(x - hints.x, y - hints.y, z - hints.z, hints.resolution);
        std::uint32_t const block = cell < 0 ? noBlock : hints.blockOfCell[static_cast<std::size_t>(cell)];
        if (block != noBlock && anyLane(judge(filter.blocks[block], qd).rejects)) return -1;
    }
    return scanBlocks(filter.blocks.data(), filter.blocks.size(), qd);
}

}  // namespace

int filteredSide(pointFilter const& filter, double x, double y, double z) {
    return judgeByFilter(filter, x, y, z);
}

bool containsUndecided(pointFilter const& filter, std::vector<plane> const& planes, vec3 const& q, double x,
                       double y, double z) {
    // Some planes were too close to call: the exact det decides for them alone.
    query const qd{x, y, z, std::fabs(x), std::fabs(y), std::fabs(z)};
    for (filterBlock const& b : filter.blocks) {
        laneMask const undecided = judge(b, qd).undecided;
        for (int lane = 0; lane < 4; ++lane) {
            if (undecided[lane] == 0) continue;
            plane const& p = planes[b.planeIndex[lane]];
            if (sideOf(p, q) * p.orientation < 0) return false;
        }
    }
    return true;
}

bool containsFilteredPastBall(pointFilter const& filter, std::vector<plane> const& planes, vec3 const& q,
                              double x, double y, double z) {
    int const side = judgeByFilter(filter, x, y, z);
    if (side != 0) return side > 0;
    return containsUndecided(filter, planes, q, x, y, z);
}

}  // namespace gemprobe
