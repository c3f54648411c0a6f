#include "point_pipeline.h"

#include "input.h"
#include "output.h"
#include "point_split.h"

#include <unistd.h>
#include <algorithm>
#include <climits>
#include <cstring>
#include <thread>

#include <emmintrin.h>

namespace {

// A block of `block` bytes holds at most this many point starts: a point
// takes six bytes at least ("0 0 0\n").
std::size_t pointsPerBlock(std::size_t block) { return block / 6 + 2; }

void lowerLast(pointPipeline& pipeline, long long last) {
    long long seen = pipeline.last.load(std::memory_order_relaxed);
    while (last < seen && !pipeline.last.compare_exchange_weak(seen, last, std::memory_order_release,
                                                               std::memory_order_relaxed)) {
    }
}

enum class taking { taken, full, over };

// The next block, when its slot is free and the run goes on.
taking takeBlock(pointPipeline& pipeline, long long& block) {
    long long next = pipeline.next.load(std::memory_order_relaxed);
    for (;;) {
        if (pipeline.stopping.load(std::memory_order_acquire) ||
            next >= pipeline.last.load(std::memory_order_acquire))
            return taking::over;
        if (next >= pipeline.held.load(std::memory_order_acquire) + static_cast<long long>(pipelineSlots))
            return taking::full;
        if (pipeline.next.compare_exchange_weak(next, next + 1, std::memory_order_acq_rel,
                                                std::memory_order_relaxed)) {
            block = next;
            return taking::taken;
        }
    }
}

// Skips blanks from p on, counting newlines; the NUL after the bytes read
// stops it.
char const* skipBlanksCounting(char const* p, long& lines) {
    while (isBlank(*p)) lines += *p++ == '\n';
    return p;
}

// Reads block k, with the byte before it and the tail after it, into this
// thread's buffer, and judges the points that start in it.
void judgeBlock(pointPipeline& pipeline, long long k, char* bytes) {
    pipelineSlot& slot = pipeline.slots[static_cast<std::size_t>(k) % pipelineSlots];
    std::size_t const lead = k == 0 ? 0 : 1;
    long long const offset =
        pipeline.start + k * static_cast<long long>(pipeline.block) - static_cast<long long>(lead);
    int error = 0;
    std::size_t const got =
        readAt(*pipeline.input, bytes, lead + pipeline.block + pipelineTail, offset, error);
    slot.error = error;
    slot.empty = got <= lead;
    char const* const end = bytes + got;
    std::memset(bytes + got, 0, blockPadding);
    char const* const limit = bytes + std::min(got, lead + pipeline.block);
    if (error != 0 || got <= lead + pipeline.block) lowerLast(pipeline, k + 1);
    char const* first = bytes;
    if (lead > 0) {
        void const* const newline = std::memchr(bytes, '\n', static_cast<std::size_t>(limit - bytes));
        first = newline != nullptr ? static_cast<char const*>(newline) + 1 : limit;
    }
    slot.leadingLines = 0;
    char const* const firstPoint = skipBlanksCounting(first, slot.leadingLines);
    pointRun const run = scanPoints(firstPoint, limit, end, pointsPerBlock(pipeline.block), *pipeline.filter,
                                    *pipeline.planes, slot.verdicts.get());
    slot.linesToNextWord = 0;
    char const* const nextWord = skipBlanksCounting(run.stop, slot.linesToNextWord);
    slot.firstPointAt = offset + (firstPoint - bytes);
    slot.points = run.points;
    slot.lines = run.lines;
    slot.stopAt = offset + (run.stop - bytes);
    slot.beforeStop = run.stop != bytes ? run.stop[-1] : 0;
    slot.nextWordAt = offset + (nextWord - bytes);
    slot.stoppedEarly = nextWord < limit;
    slot.ready.store(k, std::memory_order_release);
}

// Writes out, in order, the blocks that are done and follow on, and stops
// the run at the first that does not (or at the section's end).
void writeReady(pointPipeline& pipeline) {
    pipelineWriter& w = pipeline.writer;
    while (!w.stopped) {
        long long const e = w.next;
        if (e >= pipeline.last.load(std::memory_order_acquire)) {
            w.stopped = true;
            break;
        }
        pipelineSlot const& slot = pipeline.slots[static_cast<std::size_t>(e) % pipelineSlots];
        if (slot.ready.load(std::memory_order_acquire) != e) return;
        // Reading in order meets an error again and reports it, and takes
        // the blanks at the end.
        if (slot.error != 0 || slot.empty) {
            w.stopped = true;
            break;
        }
        // The guess holds when only blanks lie between the previous block's
        // last point and this block's first.
        if (e > 0 && slot.firstPointAt != w.expectedFirstPoint) {
            w.outcome.misplaced = true;
            w.stopped = true;
            break;
        }
        if (slot.points > w.maxPoints - w.outcome.points) {
            w.stopped = true;
            break;
        }
        if (!putBlock(*w.out, slot.verdicts.get(), 4 * slot.points)) {
            w.outcome.outputFailed = true;
            w.stopped = true;
            break;
        }
        w.lines += (e == 0 ? slot.leadingLines : w.linesToExpected) + slot.lines;
        w.outcome.points += slot.points;
        ++w.outcome.blocks;
        if (slot.stopAt != pipeline.start) w.lastByte = slot.beforeStop;
        w.resume = slot.stopAt;
        w.expectedFirstPoint = slot.nextWordAt;
        w.linesToExpected = slot.linesToNextWord;
        // A block that stopped before a point starting in it (a spelling
        // the point loop leaves to the general reader): the next cannot
        // follow on.
        w.stopped = w.outcome.points == w.maxPoints || slot.stoppedEarly;
        // The slot is free from here on: another thread may fill it.
        w.next = e + 1;
        pipeline.held.store(e + 1, std::memory_order_release);
    }
    pipeline.stopping.store(true, std::memory_order_release);
}

// Either thread's part: write out what is ready when no other thread does,
// then take and judge the next block, until the run stops.
void takeAndWrite(pointPipeline& pipeline, char* bytes) {
    int idle = 0;
    for (;;) {
        if (!pipeline.writing.exchange(true, std::memory_order_acquire)) {
            writeReady(pipeline);
            pipeline.writing.store(false, std::memory_order_release);
        }
        long long k = 0;
        taking const took = takeBlock(pipeline, k);
        if (took == taking::over) return;
        if (took == taking::taken) {
            judgeBlock(pipeline, k, bytes);
        } else if (++idle % 4096 == 0) {
            std::this_thread::yield();  // every slot in use, and the other thread has no core of its own
        } else {
            _mm_pause();  // every slot in use until the next block is written out
        }
    }
}

}  // namespace

std::unique_ptr<pointPipeline> makePointPipeline(std::size_t block) {
    auto pipeline = std::make_unique<pointPipeline>();
    pipeline->block = block;
    for (pipelineSlot& slot : pipeline->slots)
        slot.verdicts = std::make_unique_for_overwrite<char[]>(4 * pointsPerBlock(block));
    pipeline->helperBytes = std::make_unique_for_overwrite<char[]>(1 + block + pipelineTail + blockPadding);
    return pipeline;
}

void takePipelineBlocks(pointPipeline& pipeline) { takeAndWrite(pipeline, pipeline.helperBytes.get()); }

pipelineOutcome judgePipeline(pointPipeline& pipeline, splitHelper& helper, Input& in, Output& out,
                              std::size_t maxPoints, pointFilter const& filter,
                              std::vector<plane> const& planes) {
    long long const start = in.offset - (in.end - in.pos);
    pipeline.input = &in;
    pipeline.start = start;
    pipeline.filter = &filter;
    pipeline.planes = &planes;
    pipeline.next.store(0, std::memory_order_relaxed);
    pipeline.held.store(0, std::memory_order_relaxed);
    pipeline.last.store(LLONG_MAX, std::memory_order_relaxed);
    pipeline.stopping.store(false, std::memory_order_relaxed);
    pipeline.writing.store(false, std::memory_order_relaxed);
    for (pipelineSlot& slot : pipeline.slots) slot.ready.store(-1, std::memory_order_relaxed);
    pipelineWriter& w = pipeline.writer;
    w = pipelineWriter{};
    w.out = &out;
    w.maxPoints = maxPoints;
    w.resume = start;
    w.lastByte = in.pos != in.buffer.get() ? in.pos[-1] : in.lastConsumed;
    // This thread reads its blocks into the input's own block, whose bytes
    // are read again anyway, when it is large enough.
    char* ownBytes = in.buffer.get();
    if (in.capacity < 1 + pipeline.block + pipelineTail) {
        if (!pipeline.ownBytes)
            pipeline.ownBytes =
                std::make_unique_for_overwrite<char[]>(1 + pipeline.block + pipelineTail + blockPadding);
        ownBytes = pipeline.ownBytes.get();
    }
    startPipelineRun(helper, pipeline);
    takeAndWrite(pipeline, ownBytes);
    // The last blocks may have been done after either thread last wrote out.
    endPipelineRun(helper);
    writeReady(pipeline);

    // Reading goes on in order from the stop, as if the block read last had
    // ended there.
    char* const block = in.buffer.get();
    std::memset(block, 0, blockPadding);
    in.pos = in.end = block;
    in.atEnd = false;
    in.offset = w.resume;
    in.lastConsumed = w.lastByte;
    in.line += w.lines;
    if (in.memory == nullptr) ::lseek(in.fd, w.resume, SEEK_SET);
    return w.outcome;
}
