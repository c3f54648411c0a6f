#pragma once

#include "filter.h"
#include "planes.h"
#include "point_run.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

struct Input;
struct Output;
struct splitHelper;

// The points of a long query section in a file (or memory) read at offsets,
// judged by two threads that take whole blocks in turn with no wait between
// blocks: each reads its block at its offset and judges the points that
// start in it, while this thread also writes out, in order, the verdicts of
// every block whose start has been checked. Block k is the section's bytes
// from start + k * block on. Its first point is taken to begin after the
// first newline in it; the guess holds when the previous block's last point
// ends there, with only blanks between. The first block whose guess fails,
// or that stops at a spelling the point loop does not take, ends the run,
// and reading goes on in order from the end of the last point written out,
// so the verdicts, the lines and the errors are those of one thread.

constexpr std::size_t defaultPipelineBlock = std::size_t{128} << 10;
// Blocks in flight: the one being written out, the one before it (whose
// last bytes the check needs) and two more, one per thread.
constexpr std::size_t pipelineSlots = 4;
// Bytes read past a block's end: the point that starts in it and ends after
// it must end within them (at most a long line's worth); a longer one ends
// the run, and the next run starts after it.
constexpr std::size_t pipelineTail = 1024;

struct pipelineSlot {
    std::unique_ptr<char[]> bytes;     // the byte before the block, the block, the tail, padding
    std::unique_ptr<char[]> verdicts;  // four bytes per point
    long long offset = 0;              // of bytes[0] in the source
    std::size_t got = 0;               // bytes read
    int error = 0;
    char const* limit = nullptr;  // the block's end: its points start before it
    char const* first = nullptr;  // where its first point is taken to begin
    pointRun run;
    std::atomic<long long> ready{-1};  // the block whose results these are
};

struct pointPipeline {
    std::size_t block = defaultPipelineBlock;
    std::array<pipelineSlot, pipelineSlots> slots;

    // The run's source and section, fixed while it lasts.
    Input const* input = nullptr;
    long long start = 0;  // offset of the section's first unread byte
    pointFilter const* filter = nullptr;
    std::vector<plane> const* planes = nullptr;

    std::atomic<long long> next{0};  // the next block to take
    std::atomic<long long> held{0};  // the oldest block whose slot is still in use
    std::atomic<long long> last{
        0};  // no block at or past it holds bytes (the end of the source, or a read error)
    std::atomic<bool> stopping{false};
};

std::unique_ptr<pointPipeline> makePointPipeline(std::size_t block);

// What a run did: `points` verdicts went to the output, and the input stands
// after the last of them. `misplaced`: a block's first point did not begin
// after its first newline (lines do not hold whole points).
struct pipelineOutcome {
    std::size_t points = 0;
    std::size_t blocks = 0;  // blocks whose verdicts went out
    bool misplaced = false;
    bool outputFailed = false;
};

// Judges up to maxPoints points from the input's position on, with the
// helper thread taking blocks beside this one. The input must be read at
// offsets; afterwards it reads on in order from where the run stopped.
pipelineOutcome judgePipeline(pointPipeline& pipeline, splitHelper& helper, Input& in, Output& out,
                              std::size_t maxPoints, pointFilter const& filter,
                              std::vector<plane> const& planes);

// The helper thread's part of a run: takes and judges blocks until the run
// stops.
void takePipelineBlocks(pointPipeline& pipeline);
