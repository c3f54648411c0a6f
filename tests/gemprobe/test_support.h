#pragma once

// Set-up in one call, for tests that look at a solid's planes and filter
// rather than at how the program reuses their storage from set to set.

#include "diamond.h"
#include "filter.h"
#include "planes.h"
#include "point_run.h"
#include "point_tokens.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

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

// The engines' checked division for a plain decimal, one value at a time:
// its magnitude, and whether quotientStands lets it stand (up to four
// fraction digits one division always does).
inline bool checkedQuotient(std::uint64_t digits, unsigned fractionDigits, double& quotient) {
    double const dividend = static_cast<double>(static_cast<std::int64_t>(digits));
    double const divisor = powersOfTenUpTo7[fractionDigits];
    quotient = dividend / divisor;
    return fractionDigits <= 4 || quotientStands(dividend, divisor, quotient);
}

inline char const* pointEngineName(pointEngineKind kind) {
    return kind == pointEngineKind::sse2 ? "sse2" : kind == pointEngineKind::avx2 ? "avx2" : "avx512";
}

// Whether the tests that loop over the point engines take this one: every
// engine the processor runs, or only the one named by the environment
// variable GEMPROBE_TEST_POINT_ENGINE (sse2, avx2 or avx512), so that one
// engine's tests can run alone.
inline bool pointEngineTested(pointEngineKind kind) {
    if (!pointEngineRuns(kind)) return false;
    char const* const only = std::getenv("GEMPROBE_TEST_POINT_ENGINE");
    return only == nullptr || *only == '\0' || std::string_view(only) == pointEngineName(kind);
}

}  // namespace gemprobe
