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

// Reads block k with the byte before it and the tail after it, and judges
// the points that start in it.
void judgeBlock(pointPipeline& pipeline, long long k) {
    pipelineSlot& slot = pipeline.slots[static_cast<std::size_t>(k) % pipelineSlots];
    std::size_t const lead = k == 0 ? 0 : 1;
    slot.offset = pipeline.start + k * static_cast<long long>(pipeline.block) - static_cast<long long>(lead);
    char* const bytes = slot.bytes.get();
    int error = 0;
    slot.got = readAt(*pipeline.input, bytes, lead + pipeline.block + pipelineTail, slot.offset, error);
    slot.error = error;
    char const* const end = bytes + slot.got;
    std::memset(bytes + slot.got, 0, blockPadding);
    slot.limit = bytes + std::min(slot.got, lead + pipeline.block);
    if (error != 0 || slot.got <= lead + pipeline.block) lowerLast(pipeline, k + 1);
    char const* first = bytes;
    if (lead > 0) {
        void const* const newline = std::memchr(bytes, '\n', static_cast<std::size_t>(slot.limit - bytes));
        first = newline != nullptr ? static_cast<char const*>(newline) + 1 : slot.limit;
    }
    slot.first = first;
    slot.run = scanPoints(first, slot.limit, end, pointsPerBlock(pipeline.block), *pipeline.filter,
                          *pipeline.planes, slot.verdicts.get());
    slot.ready.store(k, std::memory_order_release);
}

// The first byte after the run's stop that is not blank (the NUL after the
// bytes read, at the latest).
char const* nextWord(pipelineSlot const& slot) {
    char const* p = slot.run.stop;
    while (isBlank(*p)) ++p;
    return p;
}

// Appends verdicts to the output, flushing as it fills.
bool putVerdicts(Output& out, char const* verdicts, std::size_t bytes) {
    while (bytes > 0) {
        if (out.used == out.capacity && !flush(out)) return false;
        std::size_t const part = std::min(bytes, out.capacity - out.used);
        std::memcpy(out.buffer + out.used, verdicts, part);
        out.used += part;
        verdicts += part;
        bytes -= part;
    }
    return out.writeError == 0;
}

long long offsetOf(pipelineSlot const& slot, char const* p) { return slot.offset + (p - slot.bytes.get()); }

}  // namespace

std::unique_ptr<pointPipeline> makePointPipeline(std::size_t block) {
    auto pipeline = std::make_unique<pointPipeline>();
    pipeline->block = block;
    for (pipelineSlot& slot : pipeline->slots) {
        slot.bytes = std::make_unique_for_overwrite<char[]>(1 + block + pipelineTail + blockPadding);
        slot.verdicts = std::make_unique_for_overwrite<char[]>(4 * pointsPerBlock(block));
    }
    return pipeline;
}

void takePipelineBlocks(pointPipeline& pipeline) {
    for (;;) {
        long long k = 0;
        taking const took = takeBlock(pipeline, k);
        if (took == taking::over) return;
        if (took == taking::taken) {
            judgeBlock(pipeline, k);
        } else {
            _mm_pause();  // every slot in use: this thread is ahead of the writing out
        }
    }
}

pipelineOutcome judgePipeline(pointPipeline& pipeline, splitHelper& helper, Input& in, Output& out,
                              std::size_t maxPoints, pointFilter const& filter,
                              std::vector<plane> const& planes) {
    pipelineOutcome outcome;
    long long const start = in.offset - (in.end - in.pos);
    char lastByte = in.pos != in.buffer.get() ? in.pos[-1] : in.lastConsumed;
    pipeline.input = &in;
    pipeline.start = start;
    pipeline.filter = &filter;
    pipeline.planes = &planes;
    pipeline.next.store(0, std::memory_order_relaxed);
    pipeline.held.store(0, std::memory_order_relaxed);
    pipeline.last.store(LLONG_MAX, std::memory_order_relaxed);
    pipeline.stopping.store(false, std::memory_order_relaxed);
    for (pipelineSlot& slot : pipeline.slots) slot.ready.store(-1, std::memory_order_relaxed);
    startPipelineRun(helper, pipeline);

    long long resume = start;  // after the last point written out
    long lines = 0;
    pipelineSlot const* previous = nullptr;
    int idle = 0;
    for (long long e = 0; e < pipeline.last.load(std::memory_order_acquire);) {
        pipelineSlot const& slot = pipeline.slots[static_cast<std::size_t>(e) % pipelineSlots];
        if (slot.ready.load(std::memory_order_acquire) != e) {
            // Take a block of its own while the next one to write out is
            // not done; wait when the helper has it (or every slot is used).
            long long k = 0;
            if (takeBlock(pipeline, k) == taking::taken) {
                judgeBlock(pipeline, k);
            } else if (++idle % 4096 == 0) {
                std::this_thread::yield();  // a helper without a core of its own
            } else {
                _mm_pause();
            }
            continue;
        }
        if (slot.error != 0) break;  // reading in order meets it again and reports it
        if (previous != nullptr) {
            // The guess holds when only blanks lie between the previous
            // block's last point and this block's first.
            long long const firstAt = offsetOf(slot, slot.first);
            long long const previousEnd = previous->offset + static_cast<long long>(previous->got);
            long gapLines = 0;
            bool agrees = resume <= firstAt;
            for (long long at = resume; agrees && at < firstAt; ++at) {
                char const c = at < previousEnd
                                   ? previous->bytes[static_cast<std::size_t>(at - previous->offset)]
                                   : slot.bytes[static_cast<std::size_t>(at - slot.offset)];
                agrees = isBlank(c);
                gapLines += c == '\n';
            }
            if (!agrees) {
                outcome.misplaced = true;
                break;
            }
            lines += gapLines;
        }
        if (slot.run.points > maxPoints - outcome.points) break;
        if (!putVerdicts(out, slot.verdicts.get(), 4 * slot.run.points)) {
            outcome.outputFailed = true;
            break;
        }
        outcome.points += slot.run.points;
        ++outcome.blocks;
        lines += slot.run.lines;
        resume = offsetOf(slot, slot.run.stop);
        if (slot.run.stop != slot.bytes.get()) lastByte = slot.run.stop[-1];
        previous = &slot;
        // A block that stopped before a point starting in it (a spelling
        // the point loop leaves to the general reader): the next cannot
        // follow on.
        if (outcome.points == maxPoints || nextWord(slot) < slot.limit) break;
        ++e;
        pipeline.held.store(e - 1, std::memory_order_release);
    }

    pipeline.stopping.store(true, std::memory_order_release);
    endPipelineRun(helper);
    // Reading goes on in order from the stop, as if the block read last had
    // ended there.
    char* const block = in.buffer.get();
    std::memset(block, 0, blockPadding);
    in.pos = in.end = block;
    in.atEnd = false;
    in.offset = resume;
    in.lastConsumed = lastByte;
    in.line += lines;
    if (in.memory == nullptr) ::lseek(in.fd, resume, SEEK_SET);
    return outcome;
}
