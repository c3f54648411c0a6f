#include "probe.h"

#include "input.h"
#include "output.h"
#include "point_run.h"

#include <algorithm>

#include <cstdint>
#include <cstring>

namespace {

// "TAK\n" or "NIE\n" in one four-byte store.
__attribute__((always_inline)) inline void putVerdict(Output& out, bool inside) {
    if (out.capacity - out.used < 4) flush(out);
    std::uint32_t const tak = 'T' | 'A' << 8 | 'K' << 16 | '\n' << 24;
    std::uint32_t const nie = 'N' | 'I' << 8 | 'E' << 16 | '\n' << 24;
    std::uint32_t const text = inside ? tak : nie;
    std::memcpy(out.buffer + out.used, &text, 4);
    out.used += 4;
}

// A split pays when the block is large and the section's points can fill
// it (a point takes six bytes at least: "0 0 0\n"), and when they are many
// beside the walls: the helper's first points bring the walls' filter into
// its core's cache, which for a huge solid costs more than a block of points.
bool splitPays(queryWorkspace const& work, Input const& in, std::size_t pointsLeft) {
    std::size_t const bytes = static_cast<std::size_t>(in.end - in.pos);
    if (work.splitFrom == 0) return pointsLeft >= 2 && bytes >= 2;
    return bytes >= work.splitFrom && pointsLeft * 6 >= bytes && pointsLeft >= 16 * work.planes.size();
}

// The pipeline pays in a source read at offsets for a section surely longer
// than its blocks in flight (at six bytes a point at least), whose points
// are many beside the walls (as for a split).
bool pipelinePays(queryWorkspace const& work, Input const& in, std::size_t pointsLeft) {
    if (work.pipelineBlock == 0 || !in.positional || in.readError != 0) return false;
    if (work.splitFrom == 0) return pointsLeft >= 2;
    return pointsLeft * 6 >= pipelineSlots * work.pipelineBlock && pointsLeft >= 16 * work.planes.size();
}

// A pipeline run cut short by a spelling the point loop leaves to the
// general reader wastes the blocks in flight: after a short run, the next
// waits for twice as many points as the last wait.
constexpr std::size_t longPipelineRun = 16;  // blocks
constexpr std::size_t maxPipelineWait = std::size_t{1} << 20;

}  // namespace

bool checkPoints(Input& in, Output& out, solid& diamond, queryWorkspace& work) {
    int queryCount = 0;
    if (!readCount(in, "the number of points", queryCount)) return false;
    if (queryCount <= 0) return true;
    // Preparing the filter of a large solid costs about one exact test per
    // wall: a single point is cheaper to test exactly. A small solid's
    // filter costs less than one exact test per wall.
    if (queryCount == 1 && diamond.walls.size() >= smallSolidWalls) {
        calculateOrientations(diamond);
        preparePlanes(diamond, work.planes);
        vec3 q;
        if (!readPoint(in, "a point coordinate", q)) return false;
        putVerdict(out, containsExact(work.planes, q));
        return out.writeError == 0;
    }
    orientAndPrepareFilter(diamond, work.planes, work.filter, queryCount);
    bool splitting = true;
    bool countWords = false;
    bool pipelining = true;
    std::size_t pipelineFrom = 0;
    std::size_t pipelineWait = 1;
    for (int i = 0; i < queryCount;) {
        std::size_t const left = static_cast<std::size_t>(queryCount - i);
        if (pipelining && static_cast<std::size_t>(i) >= pipelineFrom && pipelinePays(work, in, left)) {
            if (!work.splitter) work.splitter = startSplitHelper(in);
            if (!work.pipeline) work.pipeline = makePointPipeline(work.pipelineBlock);
            pipelineOutcome const run =
                judgePipeline(*work.pipeline, *work.splitter, in, out, left, work.filter, work.planes);
            if (run.outputFailed) return false;
            i += static_cast<int>(run.points);
            if (i == queryCount) break;
            // Lines that do not hold whole points: the split halves, which
            // can count words, take the section on.
            if (run.misplaced) pipelining = false;
            if (run.blocks < longPipelineRun || run.points == 0) {
                pipelineFrom = static_cast<std::size_t>(i) + pipelineWait;
                pipelineWait = std::min(2 * pipelineWait, maxPipelineWait);
            } else {
                pipelineWait = 1;
            }
            continue;  // from the run's stop, with the points left counted again
        }
        if (splitting && splitPays(work, in, left) && (!work.splitter || helperDue(*work.splitter))) {
            if (!work.splitter) work.splitter = startSplitHelper(in);
            splitOutcome const split =
                judgeSplitBlock(*work.splitter, in, out, left, work.filter, work.planes, countWords);
            if (split.outputFailed) return false;
            i += static_cast<int>(split.points);
            if (i == queryCount) break;
            // Lines that do not hold whole points: count the words from
            // now on; if even that goes wrong, stop splitting this section.
            if (split.misplaced) splitting = !countWords, countWords = true;
        }
        // Runs of plain points straight from the block, their verdicts
        // straight into the output's; one point through the general reader
        // wherever a run stops (a refill, another spelling, a full output).
        std::size_t const room = (out.capacity - out.used) / 4;
        pointRun const run =
            scanPoints(in.pos, in.end, in.end, std::min(room, static_cast<std::size_t>(queryCount - i)),
                       work.filter, work.planes, out.buffer + out.used);
        in.pos = run.stop;
        in.line += run.lines;
        out.used += 4 * run.points;
        i += static_cast<int>(run.points);
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

bool analizujZestaw(Input& in, Output& out, queryWorkspace& work) {
    if (!readDiament(in, work.diamond)) return false;
    if (!checkPoints(in, out, work.diamond, work)) return false;
    put(out, "\n", 1);
    return out.writeError == 0;
}

bool runGemprobe(Input& in, Output& out, std::size_t splitFrom, std::size_t pipelineBlock) {
    int setCount = 0;
    if (!readCount(in, "the number of sets", setCount)) return false;
    queryWorkspace work;
    work.splitFrom = splitFrom;
    work.pipelineBlock = pipelineBlock;
    for (int k = 0; k < setCount; ++k) {
        if (!analizujZestaw(in, out, work)) return false;
    }
    return true;
}
