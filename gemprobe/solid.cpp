// The solid's storage and the walls' orientations: the model that the
// point test and the library share. The reader (diamond.cpp) fills it.

#include "diamond.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

namespace gemprobe {

void clearSolid(solid& s) {
    s.walls.clear();
    s.cornerWalls = 0;
    s.current = 0;
    s.used = 0;
}

namespace {

// Small sets stay in a first chunk of 64 KiB; the others have 4 MiB, which
// the program's allocator puts on huge pages (see large_blocks.cpp): a few
// faults instead of one per 4 KiB page.
std::size_t chunkCapacity(std::size_t index) {
    return (index == 0 ? std::size_t{64} << 10 : std::size_t{4} << 20) / sizeof(vec3);
}

// Moves the wall being filled to the start of the next chunk that can hold
// it and one more vertex, allocating one when none is left. A wall that
// already fills a chunk alone replaces that chunk by one twice its size, so
// a wall of n vertices holds at most about 2n, as a doubling array would.
void moveToNextChunk(solid& s, wall& w) {
    std::size_t const needed = std::size_t{w.count} + 1;
    std::size_t next = s.chunks.empty() ? 0 : s.current + 1;
    while (next < s.chunks.size() && s.chunks[next].capacity < needed) ++next;
    if (next == s.chunks.size()) {
        bool const alone = w.count > 0 && w.vertices == s.chunks[s.current].data.get();
        if (alone) next = s.current;
        std::size_t const capacity = std::max(chunkCapacity(next), 2 * needed);
        vertexChunk bigger{std::make_unique_for_overwrite<vec3[]>(capacity), capacity};
        if (alone) {
            std::copy(w.vertices, w.vertices + w.count, bigger.data.get());
            w.vertices = bigger.data.get();
            s.chunks[next] = std::move(bigger);  // frees the old copy
            s.used = w.count;
            return;
        }
        s.chunks.push_back(std::move(bigger));
    }
    vec3* const start = s.chunks[next].data.get();
    if (w.count > 0) std::copy(w.vertices, w.vertices + w.count, start);
    w.vertices = start;
    s.current = next;
    s.used = w.count;
}

}  // namespace

vec3& appendVertexSlowly(solid& s, wall& w) {
    if (s.chunks.empty() || s.used == s.chunks[s.current].capacity) moveToNextChunk(s, w);
    if (w.count == 0) w.vertices = s.chunks[s.current].data.get() + s.used;
    ++w.count;
    return s.chunks[s.current].data[s.used++];
}

void addWall(solid& s, std::vector<vec3> const& vertices) {
    if (s.walls.size() < smallSolidWalls && s.cornerWalls == s.walls.size()) {
        double* const corners = s.integerCorners.data() + 9 * s.cornerWalls++;
        bool integers = vertices.size() >= 3;
        for (std::size_t k = 0; k < 9 && integers; ++k) {
            vec3 const& v = vertices[k / 3];
            long double const x = k % 3 == 0 ? v.x : k % 3 == 1 ? v.y : v.z;
            integers = x == std::nearbyint(x) && std::fabs(x) < 0x1p15L;
            corners[k] = static_cast<double>(x);
        }
        if (!integers) corners[0] = std::nan("");
    }
    wall w;
    for (vec3 const& v : vertices) appendVertex(s, w) = v;
    s.walls.push_back(w);
}

void calculateOrientations(solid& diamond) {
    if (diamond.walls.size() < 2) return;  // no reference wall; the reader rejects this
    for (std::size_t i = 0; i < diamond.walls.size(); ++i) {
        wall& w = diamond.walls[i];
        wall const& reference = diamond.walls[i == 0 ? 1 : 0];
        vec3 const* const p = verticesOf(diamond, w);
        vec3 const p0 = p[0];
        vec3 const edge1 = p[1] - p0;
        vec3 const edge2 = p[2] - p0;
        vec3 const* const r = verticesOf(diamond, reference);
        for (std::uint32_t k = 0; k < reference.count && w.orientation == 0; ++k) {
            w.orientation = det(edge1, edge2, r[k] - p0);
        }
    }
}

}  // namespace gemprobe
