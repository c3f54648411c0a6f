#pragma once

#include "cells.h"
#include "filter.h"
#include "planes.h"

#include <cstddef>
#include <vector>

namespace gemprobe {

// The points of a query section, read and judged straight from an input
// block, without the per-number bookkeeping of the general reader: the loop
// that most of a many-point run spends its time in.
struct pointRun {
    char const* stop = nullptr;  // after the last point taken, before the blanks that follow it
    std::size_t points = 0;      // points judged
    long lines = 0;              // newlines between the start and stop
    std::size_t ballMisses = 0;  // points the inner ball did not decide
};

// Reads whole points (x y z) from p on and writes each one's verdict, "TAK\n"
// or "NIE\n", as four bytes at `verdicts`, at most `maxPoints` of them. Stops
// before a point that does not start before `limit`, or that has a number
// the fast reader does not take (anything but a decimal, of any spelling
// that parseShortDecimal takes, lying wholly before `blockEnd`): the general
// reader goes on from there. The block must be the input's, NUL-terminated
// at blockEnd and padded after it; limit is at most blockEnd.
pointRun scanPoints(char const* p, char const* limit, char const* blockEnd, std::size_t maxPoints,
                    pointFilter const& filter, std::vector<plane> const& planes, cellGrid const& cells,
                    char* verdicts);

// The loop runs on one of three engines that give the same results: one for
// any x86-64 processor, one for processors with AVX2 and one for processors
// with AVX-512. The best one that the processor runs is used unless a test
// asks for another.
enum class pointEngineKind { sse2, avx2, avx512 };
constexpr pointEngineKind everyPointEngineKind[] = {pointEngineKind::sse2, pointEngineKind::avx2,
                                                    pointEngineKind::avx512};
bool pointEngineRuns(pointEngineKind kind);
// Falls back to the next best engine where the one asked for does not run.
void usePointEngine(pointEngineKind kind);

}  // namespace gemprobe
