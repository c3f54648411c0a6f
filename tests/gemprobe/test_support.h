#pragma once

// Set-up in one call, for tests that look at a solid's planes and filter
// rather than at how the program reuses their storage from set to set.

#include "diamond.h"
#include "filter.h"
#include "planes.h"

#include <limits>
#include <vector>

namespace gemprobe {

inline std::vector<plane> planesOf(solid const& diamond) {
    std::vector<plane> planes;
    preparePlanes(diamond, planes);
    return planes;
}

// The filter as a set with many queries gets it: the inner ball included.
inline pointFilter filterOf(std::vector<plane> const& planes) {
    pointFilter filter;
    prepareFilter(planes, filter, std::numeric_limits<long>::max());
    return filter;
}

}  // namespace gemprobe
