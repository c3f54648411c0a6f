#include "planes.h"

namespace gemprobe {

void preparePlanes(solid const& diamond, std::vector<plane>& planes) {
    planes.clear();
    planes.reserve(diamond.walls.size());
    for (wall const& w : diamond.walls) {
        if (w.orientation == 0) continue;
        planes.push_back({verticesOf(diamond, w), w.orientation});
    }
}

bool containsExact(std::vector<plane> const& planes, vec3 const& q) {
    for (plane const& p : planes) {
        if (sideOf(p, q) * p.orientation < 0) return false;
    }
    return true;
}

}  // namespace gemprobe
