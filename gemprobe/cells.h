#pragma once

#include "filter.h"
#include "planes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace gemprobe {

// A grid of cells over the solid, each known to lie wholly inside it, wholly
// outside it or neither, for the library's many-point queries: a point in a
// decided cell needs no plane test at all. Certified like the filter (cells.cpp
// gives the bound), so every verdict it gives is containsExact's.
enum class cellState : std::uint8_t { undecided, inside, outside };

struct cellGrid {
    int resolution = 0;                         // cells per axis; 0: no grid
    double lowX = 0, lowY = 0, lowZ = 0;        // the grid's lower corner
    double scaleX = 0, scaleY = 0, scaleZ = 0;  // cells per unit of length
    std::vector<cellState> states;              // x fastest, then y, then z
    // Beyond the grid: seen from its centre, each face of the grid split
    // into farResolution^2 patches, and for each the state of every point
    // outside the grid in that patch's directions (outside or undecided).
    // Faces -x, +x, -y, +y, -z, +z; on the face of axis k, the patch's
    // place along axis k + 1 (cyclically) fastest.
    int farResolution = 0;  // 0: none
    std::vector<cellState> far;
};

// The grid of the planes, from their lanes in the filter's blocks. No grid
// when there are no planes or one is out of the filter's certified range, or
// the solid is too flat or too far from the origin for its size. Costs about
// as much as judging some thousands of points.
cellGrid gridOf(std::vector<plane> const& planes, pointFilter const& filter);

// The far patches' state for a point outside the grid, from its place
// (a, b, c) in cells from the grid's centre; undecided for a point that
// turns out to be inside the grid, and for NaN. Out of line: inlined, it
// cost the points on the grid about ten instructions each.
__attribute__((noinline)) inline cellState farStateAt(cellGrid const& grid, double a, double b, double c) {
    int const r = grid.farResolution;
    if (r == 0) return cellState::undecided;  // no grid (yet)
    // The axis farthest out, and the other two after it cyclically: by
    // arithmetic on the comparisons and an indexed load, since which axis
    // it is is as good as random (as selects, they became branches).
    double const place[5] = {a, b, c, a, b};
    double const fa = std::fabs(a), fb = std::fabs(b), fc = std::fabs(c);
    double const fab = std::max(fa, fb);
    int const bFirst = fb > fa ? 1 : 0;
    int const cFirst = fc > fab ? 1 : 0;
    int const axis = bFirst + cFirst * (2 - bFirst);
    double const reach = std::max(fc, fab);
    double const along = place[axis + 1], across = place[axis + 2];
    int const face = 2 * axis + (place[axis] > 0 ? 1 : 0);
    // (Infinities and NaN fail, and so do points more than 2^60 cells out,
    // which the filter judges.)
    if (!(reach >= 0.5 * grid.resolution && fa + fb + fc <= 0x1p60)) return cellState::undecided;
    double const toPatch = 0.5 * r / reach;
    // along / reach is in [-1, 1]: a patch index from 0 to r, r taken as r - 1.
    int const i = std::min(static_cast<int>(along * toPatch + 0.5 * r), r - 1);
    int const j = std::min(static_cast<int>(across * toPatch + 0.5 * r), r - 1);
    return grid.far[static_cast<std::size_t>((face * r + j) * r + i)];
}

// The state of the cell holding (x, y, z), a point's coordinates rounded by
// toCertifiedDouble; beyond the grid, the far patches' (NaN: undecided).
__attribute__((always_inline)) inline cellState stateAt(cellGrid const& grid, double x, double y, double z) {
    double const n = grid.resolution;
    double const u = (x - grid.lowX) * grid.scaleX, v = (y - grid.lowY) * grid.scaleY,
                 w = (z - grid.lowZ) * grid.scaleZ;
    if (!(u >= 0 && u < n && v >= 0 && v < n && w >= 0 && w < n))
        return farStateAt(grid, u - 0.5 * n, v - 0.5 * n, w - 0.5 * n);
    // Through int, which converts in one instruction where size_t takes a
    // comparison and a branch; the indices are below the resolution.
    int const r = grid.resolution;
    int const cell = (static_cast<int>(w) * r + static_cast<int>(v)) * r + static_cast<int>(u);
    return grid.states[static_cast<std::size_t>(cell)];
}

}  // namespace gemprobe
