#include "diamond.h"

#include "input.h"

#include <algorithm>
#include <string>

void clearSolid(solid& s) {
    s.walls.clear();
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

vec3& appendVertex(solid& s, wall& w) {
    if (s.chunks.empty() || s.used == s.chunks[s.current].capacity) moveToNextChunk(s, w);
    if (w.count == 0) w.vertices = s.chunks[s.current].data.get() + s.used;
    ++w.count;
    return s.chunks[s.current].data[s.used++];
}

void addWall(solid& s, std::vector<vec3> const& vertices) {
    wall w;
    for (vec3 const& v : vertices) appendVertex(s, w) = v;
    s.walls.push_back(w);
}

namespace {

// readPoint inline in the loops below: the reader's fast path keeps the
// position in a register across a wall's vertices instead of a call per vertex.
__attribute__((always_inline)) inline bool readPointInline(Input& in, char const* what, vec3& point) {
    return readNumber(in, what, point.x) && readNumber(in, what, point.y) && readNumber(in, what, point.z);
}

}  // namespace

bool readPoint(Input& in, char const* what, vec3& point) { return readPointInline(in, what, point); }

bool readDiament(Input& in, solid& diamond) {
    clearSolid(diamond);
    int wallCount = 0;
    if (!readCount(in, "the number of walls", wallCount)) return false;
    if (wallCount == 1) return failExpected(in, "a solid of at least 2 walls", "1 wall");
    // Up to 1 MiB on the word of the count; beyond that the array grows with the walls read.
    diamond.walls.reserve(static_cast<std::size_t>(std::clamp(wallCount, 0, 1 << 16)));
    for (int i = 0; i < wallCount; ++i) {
        int vertexCount = 0;
        if (!readCount(in, "the number of vertices of a wall", vertexCount)) return false;
        if (vertexCount < 3) {
            return failExpected(in, "a wall of at least 3 vertices",
                                std::to_string(vertexCount) + (vertexCount == 1 ? " vertex" : " vertices"));
        }
        // Only the first two walls can be a reference, so only they keep
        // every vertex; the rest of a later wall is read and checked, then
        // dropped. Both arrays grow with the data read, never with a count.
        int const kept = i < 2 ? vertexCount : 3;
        wall w;
        for (int v = 0; v < kept; ++v) {
            if (!readPointInline(in, "a vertex coordinate", appendVertex(diamond, w))) return false;
        }
        vec3 dropped;
        for (int v = kept; v < vertexCount; ++v) {
            if (!readPointInline(in, "a vertex coordinate", dropped)) return false;
        }
        diamond.walls.push_back(w);
    }
    return true;
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
