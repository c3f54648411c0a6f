#include "diamond.h"

#include "input.h"

#include <algorithm>
#include <string>

bool readPoint(Input& in, char const* what, vec3& point) {
    return readNumber(in, what, point.x) && readNumber(in, what, point.y) && readNumber(in, what, point.z);
}

bool readDiament(Input& in, std::vector<wall>& diamond) {
    int wallCount = 0;
    if (!readCount(in, "the number of walls", wallCount)) return false;
    if (wallCount == 1) return failExpected(in, "a solid of at least 2 walls", "1 wall");
    diamond.reserve(static_cast<std::size_t>(std::clamp(wallCount, 0, 64)));
    for (int i = 0; i < wallCount; ++i) {
        wall w;
        w.orientation = 0;
        int vertexCount = 0;
        if (!readCount(in, "the number of vertices of a wall", vertexCount)) return false;
        if (vertexCount < 3) {
            return failExpected(in, "a wall of at least 3 vertices",
                                std::to_string(vertexCount) + (vertexCount == 1 ? " vertex" : " vertices"));
        }
        // A small reservation saves the regrowth of typical walls; larger ones
        // grow with the data actually read, never with the count alone.
        w.vertices.reserve(static_cast<std::size_t>(std::min(vertexCount, 8)));
        for (int v = 0; v < vertexCount; ++v) {
            vec3 vertex;
            if (!readPoint(in, "a vertex coordinate", vertex)) return false;
            w.vertices.push_back(vertex);
        }
        diamond.push_back(std::move(w));
    }
    return true;
}

void calculateOrientations(std::vector<wall>& diamond) {
    if (diamond.size() < 2) return;  // no reference wall; the reader rejects this
    for (std::size_t i = 0; i < diamond.size(); ++i) {
        wall& w = diamond[i];
        wall const& reference = diamond[i == 0 ? 1 : 0];
        vec3 const p0 = w.vertices[0];
        vec3 const edge1 = w.vertices[1] - p0;
        vec3 const edge2 = w.vertices[2] - p0;
        for (vec3 const& v : reference.vertices) {
            if (w.orientation != 0) break;
            w.orientation = det(edge1, edge2, v - p0);
        }
    }
}
