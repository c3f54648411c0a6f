#pragma once

#include "diamond.h"

#include <vector>

// A wall reduced to what the point test needs. The two edges are the very
// values that det's callers compute from the vertices, p1 - p0 and p2 - p0,
// taken once per set instead of once per query.
struct plane {
    vec3 p0, edge1, edge2;
    int orientation;  // never 0: walls of orientation 0 pass every point and are left out
};

// Replaces the contents of `planes` (keeping its storage) with the diamond's
// walls of non-zero orientation, in order.
void preparePlanes(std::vector<wall> const& diamond, std::vector<plane>& planes);

std::vector<plane> planesOf(std::vector<wall> const& diamond);

// The det sign of q against the plane.
inline int sideOf(plane const& p, vec3 q) { return det(p.edge1, p.edge2, q - p.p0); }

// A point is in the solid exactly when no plane sees it strictly on the side
// opposite to its orientation. This is the unfiltered test: one det per plane.
bool containsExact(std::vector<plane> const& planes, vec3 q);
