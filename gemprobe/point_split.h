#pragma once

#include "filter.h"
#include "input.h"
#include "planes.h"
#include "point_run.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

struct Output;
struct pointPipeline;

// A large block of points judged by two threads: this one takes the front
// half, a second thread the back half, each with scanPoints. The back half
// starts at a guess of where a point begins; the guess is checked against
// where the front half's points really end, and the back half's work is used
// only when the two agree, so the verdicts and the position reached are
// those of reading the block in order.

// What the second thread is asked to do, and what it found: read the back
// part of the next block, judge the back half of the current one, or take
// blocks of a pipeline run (point_pipeline.h) until it stops.
enum class splitJobKind { readBack, backHalf, pipeline };
struct splitJob {
    splitJobKind kind = splitJobKind::readBack;
    pointPipeline* pipeline = nullptr;
    Input const* input = nullptr;
    char* destination = nullptr;
    std::size_t size = 0;
    long long offset = 0;
    std::size_t got = 0;
    int error = 0;

    char const* start = nullptr;  // a blank byte in the block; the back half begins after it
    char const* blockEnd = nullptr;
    int skipNumbers = 0;  // words to pass over first: the end of a point begun in the front half
    std::size_t maxPoints = 0;
    pointFilter const* filter = nullptr;
    std::vector<plane> const* planes = nullptr;

    char const* firstPoint = nullptr;  // where its first point begins
    pointRun run;
};

struct splitHelper {
    std::thread thread;
    std::atomic<int> state{0};  // see the states in point_split.cpp
    splitJob job;
    backPartReader reader{};  // installed in the Input the helper reads for
    Input* readerOf = nullptr;
    std::unique_ptr<char[]> verdicts;  // the back half's verdicts
    std::size_t verdictCapacity = 0;   // in points
    int blocksAlone = 0;               // blocks to judge without the helper, after it was late
    int backoff = 1;                   // blocksAlone the next time it is late
    ~splitHelper();                    // stops the thread
};

// Starts the second thread, which inherits this thread's floating-point
// control settings (the verdicts depend on the x87 precision and rounding),
// and lets it read the back part of every block of `in` from now on: each
// thread then finds its half of a block in its own core's cache.
std::unique_ptr<splitHelper> startSplitHelper(Input& in);
// Stops and joins it (also on destruction), and takes it out of the Input.
void stopSplitHelper(splitHelper& helper);

// Has the helper take blocks of the pipeline's run beside this thread;
// endPipelineRun waits until it has left the run (after the run was told to
// stop), or takes the job back if the helper never began it.
void startPipelineRun(splitHelper& helper, pointPipeline& pipeline);
void endPipelineRun(splitHelper& helper);

// Whether to split the next block: false for a while after the helper kept
// this thread waiting (it had no core of its own).
bool helperDue(splitHelper& helper);

// What a split round did. `points` verdicts went to the output; the input's
// position and line moved past them. `agreed` is false when the back half's
// guess did not hold (the front half's verdicts still stand, and the caller
// goes on from there in order).
struct splitOutcome {
    std::size_t points = 0;
    bool agreed = false;
    bool misplaced = false;  // not agreed although the front half reached the split: a wrong guess
    bool outputFailed = false;
};

// Reads and judges up to maxPoints points from the input's current block,
// the front half here and the back half on the helper. `countWords`: find
// the back half's first point by counting the words of the front half
// rather than by assuming that every line holds whole points.
splitOutcome judgeSplitBlock(splitHelper& helper, Input& in, Output& out, std::size_t maxPoints,
                             pointFilter const& filter, std::vector<plane> const& planes, bool countWords);
