#pragma once

#include "diamond.h"

#include <vector>

namespace gemprobe {

// A wall as the point test sees it: the plane through its first three
// vertices p0, p1, p2 (pointing into the solid's vertex chunks, which outlive
// the plane) and its orientation.
struct plane {
    vec3 const* vertices;
    int orientation;  // never 0: walls of orientation 0 pass every point and are left out
};

inline vec3 const& origin(plane const& p) { return p.vertices[0]; }
inline vec3 edge1(plane const& p) { return p.vertices[1] - p.vertices[0]; }
inline vec3 edge2(plane const& p) { return p.vertices[2] - p.vertices[0]; }

// Replaces the contents of `planes` (keeping its storage) with the diamond's
// walls of non-zero orientation, in order.
void preparePlanes(solid const& diamond, std::vector<plane>& planes);

// The det sign of q against the plane.
inline int sideOf(plane const& p, vec3 const& q) { return det(edge1(p), edge2(p), q - origin(p)); }

// A point is in the solid exactly when no plane sees it strictly on the side
// opposite to its orientation. This is the unfiltered test: one det per plane.
bool containsExact(std::vector<plane> const& planes, vec3 const& q);

}  // namespace gemprobe
