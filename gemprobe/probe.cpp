#include "probe.h"

#include "input.h"
#include "output.h"
#include "point_run.h"

#include <algorithm>

#include <cstdint>
#include <cstring>

namespace gemprobe {

namespace {

// "TAK\n" or "NIE\n" in one four-byte store.
__attribute__((always_inline)) inline void putVerdict(output& out, bool inside) {
    if (out.capacity - out.used < 4) flush(out);
    std::uint32_t const tak = 'T' | 'A' << 8 | 'K' << 16 | '\n' << 24;
    std::uint32_t const nie = 'N' | 'I' << 8 | 'E' << 16 | '\n' << 24;
    std::uint32_t const text = inside ? tak : nie;
    std::memcpy(out.buffer + out.used, &text, 4);
    out.used += 4;
}

// How the points of a section are read: one at a time through the exact
// test when they cannot repay the filter, else through the filter.
enum class queryPath { exact, filtered };

// Preparing the filter of a large solid costs about one exact test per
// wall: a single point is cheaper to test exactly. A small solid's filter
// costs less than one exact test per wall.
queryPath choosePath(solid const& diamond, int queryCount) {
    return queryCount == 1 && diamond.walls.size() >= smallSolidWalls ? queryPath::exact
                                                                      : queryPath::filtered;
}

// The cells spare most of the plane tests of the points that the inner ball
// does not decide. Building them costs in proportion to the walls (0.3 ms
// for a cube, 2.5 ms for 80 walls on a 2-core AMD EPYC VM), while the direction hints keep a miss's
// plane tests to a block or two whatever the walls: so they are built once
// about a thousand points per wall have missed the ball, if as many are
// still to come. 400,000 points in 80 walls, which the ball mostly takes,
// then never pay for them.
constexpr std::size_t missesPerWallWorthCells = 1024;

}  // namespace

bool checkPoints(input& in, output& out, solid& diamond, queryWorkspace& work) {
    int queryCount = 0;
    if (!readCount(in, "the number of points", queryCount)) return false;
    if (queryCount <= 0) return true;
    if (choosePath(diamond, queryCount) == queryPath::exact) {
        calculateOrientations(diamond);
        preparePlanes(diamond, work.planes);
        vec3 q;
        if (!readPoint(in, "a point coordinate", q)) return false;
        putVerdict(out, containsExact(work.planes, q));
        return out.writeError == 0;
    }
    orientAndPrepareFilter(diamond, work.planes, work.filter, queryCount);
    work.cells.resolution = 0;
    std::size_t ballMisses = 0;
    std::size_t const missesWorthCells = missesPerWallWorthCells * work.planes.size();
    for (int i = 0; i < queryCount;) {
        // Runs of points straight from the block, their verdicts straight
        // into the output's; one point through the general reader wherever
        // a run stops (a refill, a spelling the run does not take, a full
        // output).
        std::size_t const room = (out.capacity - out.used) / 4;
        pointRun const run =
            scanPoints(in.pos, in.end, in.end, std::min(room, static_cast<std::size_t>(queryCount - i)),
                       work.filter, work.planes, work.cells, out.buffer + out.used);
        in.pos = run.stop;
        in.line += run.lines;
        out.used += 4 * run.points;
        i += static_cast<int>(run.points);
        if (ballMisses < missesWorthCells && (ballMisses += run.ballMisses) >= missesWorthCells &&
            static_cast<std::size_t>(queryCount - i) >= missesWorthCells)
            work.cells = gridOf(work.planes, work.filter);
        if (i == queryCount) break;
        vec3 q;
        if (!readNumber(in, "a point coordinate", q.x) || !readNumber(in, "a point coordinate", q.y) ||
            !readNumber(in, "a point coordinate", q.z))
            return false;
        putVerdict(out, containsFiltered(work.filter, work.planes, q));
        if (out.writeError != 0) return false;
        ++i;
    }
    return true;
}

bool analizujZestaw(input& in, output& out, queryWorkspace& work) {
    if (!readDiament(in, work.diamond)) return false;
    if (!checkPoints(in, out, work.diamond, work)) return false;
    put(out, "\n", 1);
    return out.writeError == 0;
}

bool runGemprobe(input& in, output& out) {
    int setCount = 0;
    if (!readCount(in, "the number of sets", setCount)) return false;
    queryWorkspace work;
    for (int k = 0; k < setCount; ++k) {
        if (!analizujZestaw(in, out, work)) return false;
    }
    return true;
}

}  // namespace gemprobe
