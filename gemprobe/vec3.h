#pragma once

#include <cfloat>

namespace gemprobe {

static_assert(LDBL_MANT_DIG == 64 && LDBL_MAX_EXP == 16384,
              "gemprobe needs long double to be the x87 80-bit extended format");

// A point or a displacement. Every coordinate and every intermediate result is
// x87 extended precision; nothing is ever narrowed.
struct vec3 {
    long double x, y, z;

    vec3 operator-(vec3 const& other) const { return {x - other.x, y - other.y, z - other.z}; }
};

// Sign of the determinant of the matrix with rows a, b, c: +1, -1 or 0.
// With a = p1 - p0, b = p2 - p0, c = q - p0 it tells on which side of the plane
// through p0, p1, p2 the point q lies; which side is +1 depends on the winding.
//
// The six products and the order of their combination are fixed: the verdicts
// are defined by this exact sequence of roundings, so it must not be
// rearranged (no factoring, no fused operations). An unordered result (NaN)
// counts as 0.
inline int det(vec3 a, vec3 b, vec3 c) {
    long double const t1 = (a.x * b.y) * c.z;
    long double const t2 = (b.x * c.y) * a.z;
    long double const t3 = (c.x * a.y) * b.z;
    long double const t4 = (a.z * b.y) * c.x;
    long double const t5 = (b.z * c.y) * a.x;
    long double const t6 = (c.z * a.y) * b.x;
    long double const d = ((((t1 + t2) + t3) - t4) - t5) - t6;
    if (d > 0) return 1;
    if (d < 0) return -1;
    return 0;
}

}  // namespace gemprobe
