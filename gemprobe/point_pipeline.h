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
// blocks: each reads its block at its offset into a buffer of its own (which
// stays in its core's cache) and judges the points that start in the block,
// while this thread also writes out, in order, the verdicts of every block
// whose start has been checked. Block k is the section's bytes from
// start + k * block on. Its first point is taken to begin after the first
// newline in it; the guess holds when the previous block's last point is
// followed, after blanks only, by that first point. The first block whose
// guess fails, or that stops at a spelling the point loop does not take,
// ends the run, and reading goes on in order from the end of the last point
// written out, so the verdicts, the lines and the errors are those of one
// thread.

constexpr std::size_t defaultPipelineBlock = std::size_t{64} << 10;
// Blocks in flight: the one being written out, and room for the helper to
// run ahead while this thread judges a block of its own and writes out.
constexpr std::size_t pipelineSlots = 8;
// Bytes read past a block's end: the point that starts in it and ends after
// it must end within them (at most a long line's worth); a longer one ends
// the run, and the next run starts after it.
constexpr std::size_t pipelineTail = 1024;

// A block's results; offsets are in the source.
struct pipelineSlot {
    std::unique_ptr<char[]> verdicts;  // four bytes per point
    int error = 0;
    bool empty = false;          // nothing at or after the block's start
    long long firstPointAt = 0;  // the first word after the guessed line start
    long leadingLines = 0;       // newlines before it, from the block's start (block 0) or the guess
    std::size_t points = 0;      // points judged, from firstPointAt on
    long lines = 0;              // newlines between firstPointAt and stopAt
    long long stopAt = 0;        // after the last point judged
    char beforeStop = 0;         // the byte before stopAt (0 when stopAt is the section's start)
    long long nextWordAt = 0;    // the first word after stopAt, or the end of the bytes read
    long linesToNextWord = 0;    // newlines between them
    bool stoppedEarly = false;  // at a point that starts in the block (a spelling left to the general reader)
    std::atomic<long long> ready{-1};  // the block whose results these are
};

// What a run did: `points` verdicts went to the output, and the input stands
// after the last of them. `misplaced`: a block's first point did not begin
// after its first newline (lines do not hold whole points).
struct pipelineOutcome {
    std::size_t points = 0;
    std::size_t blocks = 0;  // blocks whose verdicts went out
    bool misplaced = false;
    bool outputFailed = false;
};

// The writing out, done by whichever thread holds `writing`: the next block
// to write out and where the verdicts written so far leave the input.
struct pipelineWriter {
    Output* out = nullptr;
    std::size_t maxPoints = 0;
    pipelineOutcome outcome;
    bool stopped = false;
    long long next = 0;
    long long resume = 0;               // after the last point written out
    long lines = 0;                     // newlines up to there
    char lastByte = 0;                  // the byte before it
    long long expectedFirstPoint = -1;  // the previous block's next word
    long linesToExpected = 0;
};

struct pointPipeline {
    std::size_t block = defaultPipelineBlock;
    std::array<pipelineSlot, pipelineSlots> slots;
    // Each thread's block: the byte before it, the block, the tail, padding.
    // This thread uses the input's block when it is large enough.
    std::unique_ptr<char[]> ownBytes;
    std::unique_ptr<char[]> helperBytes;

    // The run's source and section, fixed while it lasts.
    Input const* input = nullptr;
    long long start = 0;  // offset of the section's first unread byte
    pointFilter const* filter = nullptr;
    std::vector<plane> const* planes = nullptr;

    std::atomic<long long> next{0};  // the next block to take
    std::atomic<long long> held{0};  // the oldest block whose slot is still in use
    // No block at or past it holds bytes (the end of the source, or a read error).
    std::atomic<long long> last{0};
    std::atomic<bool> stopping{false};
    std::atomic<bool> writing{false};
    pipelineWriter writer;  // only for the thread that set `writing`
};

std::unique_ptr<pointPipeline> makePointPipeline(std::size_t block);

// Judges up to maxPoints points from the input's position on, with the
// helper thread taking blocks beside this one. The input must be read at
// offsets; afterwards it reads on in order from where the run stopped.
pipelineOutcome judgePipeline(pointPipeline& pipeline, splitHelper& helper, Input& in, Output& out,
                              std::size_t maxPoints, pointFilter const& filter,
                              std::vector<plane> const& planes);

// The helper thread's part of a run: takes and judges blocks, and writes out
// the blocks that are ready when this thread is not, until the run stops.
void takePipelineBlocks(pointPipeline& pipeline);
