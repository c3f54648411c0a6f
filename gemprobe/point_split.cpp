#include "point_split.h"

#include "input.h"
#include "output.h"
#include "point_pipeline.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include <emmintrin.h>

namespace {

// The helper's states: waiting for a job, a job posted, working on it, done
// with it (the main thread takes the result and sets it back to waiting),
// or asked to end. A posted job the helper has not begun when the main
// thread is ready for it is taken back and done by the main thread, so a
// helper that the system does not run soon costs no waiting.
constexpr int waiting = 0;
constexpr int posted = 1;
constexpr int working = 2;
constexpr int done = 3;
constexpr int quitting = 4;

// The halves of a round take about the same time, so the main thread's wait
// for the helper is mostly short: it spins for a while (16384 pauses are
// about 300 microseconds here, a round of 256 KiB about 200) before
// sleeping in the kernel, whose wake-up costs tens of microseconds or more.
// The helper spins longer for its next job (about 2.5 ms): one that has
// fallen asleep wakes too late for the next round, which the main thread
// then takes back, and that round, twice as long, would again outlast a
// short spin.
constexpr int mainSpins = 1 << 14;
constexpr int helperSpins = 1 << 17;

constexpr int maxBackoff = 64;

template <class Ready>
void waitFor(std::atomic<int>& state, Ready ready, int spins) {
    for (int k = 0; k < spins; ++k) {
        if (ready(state.load(std::memory_order_acquire))) return;
        _mm_pause();
    }
    for (;;) {
        int const seen = state.load(std::memory_order_acquire);
        if (ready(seen)) return;
        state.wait(seen, std::memory_order_acquire);
    }
}

// The back half's first point: after `words` words from p (each word blanks
// then non-blanks).
char const* passWords(char const* p, char const* blockEnd, int words) {
    for (int k = 0; k < words; ++k) {
        while (p != blockEnd && isBlank(*p)) ++p;
        while (p != blockEnd && !isBlank(*p)) ++p;
    }
    return p;
}

void runJob(splitHelper& helper) {
    splitJob& job = helper.job;
    if (job.kind == splitJobKind::pipeline) {
        takePipelineBlocks(*job.pipeline);
        return;
    }
    if (job.kind == splitJobKind::readBack) {
        job.error = 0;
        job.got = readAt(*job.input, job.destination, job.size, job.offset, job.error);
        return;
    }
    job.firstPoint = passWords(job.start, job.blockEnd, job.skipNumbers);
    job.run = scanPoints(job.firstPoint, job.blockEnd, job.blockEnd,
                         std::min(job.maxPoints, helper.verdictCapacity), *job.filter, *job.planes,
                         helper.verdicts.get());
}

void post(splitHelper& helper) {
    helper.state.store(posted, std::memory_order_release);
    helper.state.notify_one();
}

// Waits for the posted job, or takes it back and runs it here if the helper
// has not begun it. True when the helper ran it.
bool collect(splitHelper& helper) {
    int expected = posted;
    if (helper.state.compare_exchange_strong(expected, waiting, std::memory_order_acquire)) {
        runJob(helper);
        return false;
    }
    waitFor(
        helper.state, [](int s) { return s == done; }, mainSpins);
    helper.state.store(waiting, std::memory_order_relaxed);
    return true;
}

void startBackPart(void* context, char* destination, std::size_t size, long long offset) {
    splitHelper& helper = *static_cast<splitHelper*>(context);
    splitJob& job = helper.job;
    job.kind = splitJobKind::readBack;
    job.input = helper.readerOf;
    job.destination = destination;
    job.size = size;
    job.offset = offset;
    post(helper);
}

std::size_t finishBackPart(void* context, int& error) {
    splitHelper& helper = *static_cast<splitHelper*>(context);
    collect(helper);
    error = helper.job.error;
    return helper.job.got;
}

void serve(splitHelper& helper, unsigned short x87Control, unsigned sseControl) {
    __asm__ volatile("fldcw %0" : : "m"(x87Control));
    _mm_setcsr(sseControl);
    for (;;) {
        waitFor(
            helper.state, [](int s) { return s == posted || s == quitting; }, helperSpins);
        int expected = posted;
        if (!helper.state.compare_exchange_strong(expected, working, std::memory_order_acquire)) {
            if (expected == quitting) return;
            continue;  // taken back
        }
        runJob(helper);
        helper.state.store(done, std::memory_order_release);
        helper.state.notify_one();
    }
}

// Words (runs of non-blanks) that start in [p, end), sixteen bytes at a
// time; p counts as following a blank. Reads up to fifteen bytes past end,
// which lies within a padded block.
std::size_t wordsIn(char const* p, char const* end) {
    std::size_t words = 0;
    unsigned previousBlank = 1;
    __m128i const space = _mm_set1_epi8(' ');
    __m128i const tab = _mm_set1_epi8('\t');
    __m128i const four = _mm_set1_epi8(4);
    for (; p < end; p += 16) {
        __m128i const bytes = _mm_loadu_si128(reinterpret_cast<__m128i const*>(p));
        // '\t' to '\r' are the five bytes whose distance from '\t' is at most 4.
        __m128i const control = _mm_cmpeq_epi8(_mm_max_epu8(_mm_sub_epi8(bytes, tab), four), four);
        unsigned blank =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, space), control)));
        std::size_t const valid = static_cast<std::size_t>(end - p);
        if (valid < 16) blank |= 0xffffu << valid;  // bytes past the end start nothing
        unsigned const starts = ~blank & ~((blank << 1) | previousBlank) & 0xffffu;
        words += static_cast<std::size_t>(__builtin_popcount(starts));
        previousBlank = (blank >> 15) & 1;
    }
    return words;
}

}  // namespace

std::unique_ptr<splitHelper> startSplitHelper(Input& in) {
    auto helper = std::make_unique<splitHelper>();
    // Half of a block, at six bytes ("0 0 0\n") per point at least; a back
    // half with more points stops there and the rest is read in order.
    helper->verdictCapacity = defaultInputCapacity / 12 + 1;
    helper->verdicts = std::make_unique_for_overwrite<char[]>(4 * helper->verdictCapacity);
    unsigned short x87Control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(x87Control));
    unsigned const sseControl = _mm_getcsr();
    splitHelper& h = *helper;
    helper->thread = std::thread([&h, x87Control, sseControl] { serve(h, x87Control, sseControl); });
    helper->reader = {helper.get(), startBackPart, finishBackPart};
    helper->readerOf = &in;
    in.backPart = &helper->reader;
    return helper;
}

void startPipelineRun(splitHelper& helper, pointPipeline& pipeline) {
    helper.job.kind = splitJobKind::pipeline;
    helper.job.pipeline = &pipeline;
    post(helper);
}

void endPipelineRun(splitHelper& helper) { collect(helper); }

bool helperDue(splitHelper& helper) {
    if (helper.blocksAlone == 0) return true;
    --helper.blocksAlone;
    return false;
}

splitHelper::~splitHelper() { stopSplitHelper(*this); }

void stopSplitHelper(splitHelper& helper) {
    if (helper.readerOf != nullptr) helper.readerOf->backPart = nullptr;
    helper.readerOf = nullptr;
    if (!helper.thread.joinable()) return;
    helper.state.store(quitting, std::memory_order_release);
    helper.state.notify_one();
    helper.thread.join();
}

splitOutcome judgeSplitBlock(splitHelper& helper, Input& in, Output& out, std::size_t maxPoints,
                             pointFilter const& filter, std::vector<plane> const& planes, bool countWords) {
    splitOutcome outcome;
    char const* const begin = in.pos;
    char const* const blockEnd = in.end;
    char const* const middle = begin + (blockEnd - begin) / 2;
    // The back half starts after a blank: a newline when lines are taken to
    // hold whole points, any blank when the words are counted.
    char const* split = middle;
    while (split != blockEnd && (countWords ? !isBlank(*split) : *split != '\n')) ++split;
    if (split == blockEnd) return outcome;
    int skipNumbers = 0;
    if (countWords) skipNumbers = static_cast<int>((3 - wordsIn(begin, split) % 3) % 3);

    auto const started = std::chrono::steady_clock::now();
    splitJob& job = helper.job;
    job.kind = splitJobKind::backHalf;
    job.start = split;
    job.blockEnd = blockEnd;
    job.skipNumbers = skipNumbers;
    job.maxPoints = maxPoints;
    job.filter = &filter;
    job.planes = &planes;
    post(helper);

    // The front half: every point that starts before the split, straight
    // into the output, flushing whenever it fills.
    char const* p = begin;
    long lines = 0;
    for (;;) {
        std::size_t const room = (out.capacity - out.used) / 4;
        std::size_t const wanted = std::min(room, maxPoints - outcome.points);
        pointRun const run = scanPoints(p, split, blockEnd, wanted, filter, planes, out.buffer + out.used);
        out.used += 4 * run.points;
        outcome.points += run.points;
        lines += run.lines;
        p = run.stop;
        if (run.points < wanted || outcome.points == maxPoints) break;
        if (!flush(out)) {
            outcome.outputFailed = true;
            break;
        }
    }

    // The back half, taken back if the helper has not begun it; otherwise
    // wait for it whatever happens next, as the helper reads the block.
    auto const frontDone = std::chrono::steady_clock::now();
    if (collect(helper)) {
        // A helper that keeps this thread waiting longer than its own half
        // took is not getting a core of its own (a busy machine): judge the
        // next blocks alone, twice as many each time it happens again.
        if (std::chrono::steady_clock::now() - frontDone > frontDone - started) {
            helper.blocksAlone = helper.backoff;
            helper.backoff = std::min(2 * helper.backoff, maxBackoff);
        } else {
            helper.backoff = 1;
        }
    }

    // The back half's points follow on exactly when the front half's last
    // point ends where the back half's first begins: right after the skipped
    // words, or, with none skipped, with only blanks up to the split.
    long gapLines = 0;
    bool agrees = false;
    char const* next = p;  // where the front half's next point would begin
    while (next != blockEnd && isBlank(*next)) ++next;
    outcome.misplaced = next >= split;
    if (skipNumbers > 0) {
        agrees = p == job.firstPoint;
    } else if (p <= split) {
        char const* q = p;
        while (q != split && isBlank(*q)) gapLines += *q++ == '\n';
        agrees = q == split;
    }
    agrees = agrees && !outcome.outputFailed && outcome.points + job.run.points <= maxPoints;
    if (!agrees) {
        in.pos = p;
        in.line += lines;
        return outcome;
    }
    outcome.agreed = true;
    outcome.misplaced = false;
    in.pos = job.run.stop;
    in.line += lines + gapLines + job.run.lines;
    outcome.points += job.run.points;
    if (!putBlock(out, helper.verdicts.get(), 4 * job.run.points)) outcome.outputFailed = true;
    return outcome;
}
