#pragma once

#include "vec3.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace gemprobe {

struct input;

// Solids of fewer walls are oriented and laid out wall by wall; the reader
// keeps their integer corners.
constexpr std::size_t smallSolidWalls = 64;

// One plane face of the solid. Only the first three vertices define its
// plane; the others matter only when this wall is the reference of another
// wall, which only the first two walls ever are, so later walls keep just
// their first three.
struct wall {
    vec3* vertices = nullptr;  // in one of the solid's chunks, contiguous
    std::uint32_t count = 0;   // vertices kept
    int orientation = 0;       // det sign of the inside; 0 = undecided, imposes nothing
};

struct vertexChunk {
    std::unique_ptr<vec3[]> data;
    std::size_t capacity = 0;
};

// The walls of one set in input order, and their vertices in chunks. Kept
// from one set to the next and refilled, so that a run of many small sets
// allocates nothing once the chunks have grown to the largest set. Chunks
// never move, so a huge solid's vertices are never copied (as a doubling
// array's would be, with old and new copies held at once); only a wall that
// outgrows the rest of a chunk moves, whole, to the next one.
struct solid {
    std::vector<vertexChunk> chunks;
    std::size_t current = 0;  // the chunk being filled
    std::size_t used = 0;     // its vertices in use
    std::vector<wall> walls;
    // For a solid of fewer than smallSolidWalls walls, read by readDiament
    // or built by addWall (cornerWalls is 0 otherwise): wall i's first three
    // vertices as nine doubles from 9 i on, when all nine coordinates are
    // integers of magnitude below 2^15; NaN at 9 i when they are not (or the
    // reader did not see them spelled as such). Their planes need no
    // decoding of extended values. No storage to clear or allocate per set.
    std::array<double, 9 * smallSolidWalls> integerCorners{};
    std::size_t cornerWalls = 0;
};

inline vec3 const* verticesOf(solid const&, wall const& w) { return w.vertices; }

// Forgets the walls and vertices, keeping the storage.
void clearSolid(solid& s);

// Room for one more vertex at the end of `w`, the wall being filled (the last
// one started in `s`).
vec3& appendVertexSlowly(solid& s, wall& w);
inline vec3& appendVertex(solid& s, wall& w) {
    if (s.chunks.empty() || s.used == s.chunks[s.current].capacity) return appendVertexSlowly(s, w);
    vec3* const slot = s.chunks[s.current].data.get() + s.used++;
    if (w.count++ == 0) w.vertices = slot;
    return *slot;
}

// Appends a wall with the given vertices (all of them kept), and its integer
// corners to a small solid's.
void addWall(solid& s, std::vector<vec3> const& vertices);

// Reads three coordinates x y z.
bool readPoint(input& in, char const* what, vec3& point);

// Replaces the contents of `diamond` (keeping its storage) with one diamond
// section:
//   W                 number of walls; 0 or less means no walls
//   W times: V x1 y1 z1 ... xV yV zV
// A wall needs at least three vertices and a diamond with walls at least two
// (the orientation of a wall is learnt from another wall). Memory grows only
// with what is actually read, never with a count. On failure returns false
// with the reason in the input's error.
bool readDiament(input& in, solid& diamond);

// Gives every wall the det sign of the side where the solid lies: the first
// vertex of the reference wall (the first wall, or the second for the first
// wall itself) that is off the wall's plane decides. If all of the reference's
// vertices lie in the plane, the orientation stays 0.
void calculateOrientations(solid& diamond);

}  // namespace gemprobe
