#include "probe.h"

#include "input.h"
#include "output.h"

namespace {

// A wall reduced to what the point test needs. The two edge vectors are the
// same values every query would compute from the vertices.
struct plane {
    vec3 p0, edge1, edge2;
    int orientation;
};

std::vector<plane> planesOf(std::vector<wall> const& diamond) {
    std::vector<plane> planes;
    planes.reserve(diamond.size());
    for (wall const& w : diamond) {
        // A wall of orientation 0 passes every point.
        if (w.orientation == 0) continue;
        vec3 const p0 = w.vertices[0];
        planes.push_back({p0, w.vertices[1] - p0, w.vertices[2] - p0, w.orientation});
    }
    return planes;
}

bool contains(std::vector<plane> const& planes, vec3 q) {
    for (plane const& p : planes) {
        if (det(p.edge1, p.edge2, q - p.p0) * p.orientation < 0) return false;
    }
    return true;
}

}  // namespace

bool checkPoints(Input& in, Output& out, std::vector<wall> const& diamond) {
    int queryCount = 0;
    if (!readCount(in, "the number of points", queryCount)) return false;
    std::vector<plane> const planes = planesOf(diamond);
    for (int i = 0; i < queryCount; ++i) {
        vec3 q;
        if (!readPoint(in, "a point coordinate", q)) return false;
        if (contains(planes, q)) {
            put(out, "TAK\n", 4);
        } else {
            put(out, "NIE\n", 4);
        }
        if (out.writeError != 0) return false;
    }
    return true;
}

bool analizujZestaw(Input& in, Output& out) {
    std::vector<wall> diamond;
    if (!readDiament(in, diamond)) return false;
    calculateOrientations(diamond);
    if (!checkPoints(in, out, diamond)) return false;
    put(out, "\n", 1);
    return out.writeError == 0;
}

bool runGemprobe(Input& in, Output& out) {
    int setCount = 0;
    if (!readCount(in, "the number of sets", setCount)) return false;
    for (int k = 0; k < setCount; ++k) {
        if (!analizujZestaw(in, out)) return false;
    }
    return true;
}
