#pragma once

#include "filter.h"
#include "planes.h"

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
};

// The grid of the planes, from their lanes in the filter's blocks. No grid
// when there are no planes or one is out of the filter's certified range, or
// the solid is too flat or too far from the origin for its size. Costs about
// as much as judging some thousands of points.
cellGrid gridOf(std::vector<plane> const& planes, pointFilter const& filter);

// The state of the cell holding (x, y, z), a point's coordinates rounded by
// toCertifiedDouble; undecided outside the grid (NaN included).
__attribute__((always_inline)) inline cellState stateAt(cellGrid const& grid, double x, double y, double z) {
    double const n = grid.resolution;
    double const u = (x - grid.lowX) * grid.scaleX, v = (y - grid.lowY) * grid.scaleY,
                 w = (z - grid.lowZ) * grid.scaleZ;
    if (!(u >= 0 && u < n && v >= 0 && v < n && w >= 0 && w < n)) return cellState::undecided;
    // Through int, which converts in one instruction where size_t takes a
    // comparison and a branch; the indices are below the resolution.
    int const r = grid.resolution;
    int const cell = (static_cast<int>(w) * r + static_cast<int>(v)) * r + static_cast<int>(u);
    return grid.states[static_cast<std::size_t>(cell)];
}

}  // namespace gemprobe
