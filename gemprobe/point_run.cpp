#include "point_run.h"

#include "input.h"

#include "decimal.h"
#include "point_tokens.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace gemprobe {

// The loop in two stages, so that reading one number does not wait for the
// previous one. The first stage marks the blanks and newlines of 64 bytes at
// a time and lists where tokens start (a byte that is not blank after one
// that is); the second converts the listed tokens three at a time and judges
// each point. A token's conversion needs only its start, so the processor
// overlaps the conversions of neighbouring numbers; in a byte-by-byte reader
// each number's start waits for the end of the number before it.
//
// The second stage takes a token that is a decimal from start to blank: the
// engines take the plain ones (sign, one to seven integer digits, optionally
// a point and up to seven fraction digits; the AVX2 engine up to fifteen
// bytes after the sign, and longer ones too) their own way, and every other
// spelling that the number reader's fast conversion takes ("1e5",
// "-0.0018796984676084534") follows in takeLongToken.
// Anything else, such as "1-2", a huge exponent or a token that reaches the
// end of the block, sends that point through the general
// one-number-at-a-time path below, which takes what the program's number
// reader would take and stops the run otherwise.

namespace {

// The general path, one number at a time: blanks skipped byte by byte,
// counting newlines, then the fast reader's conversion. One number after
// blanks, when it starts before `limit` and the fast reader takes it;
// nullptr otherwise.
__attribute__((always_inline)) inline char const* takeNumber(char const* p, char const* limit,
                                                             char const* blockEnd, long& lines,
                                                             long double& value) {
    p = skipBlanks(p, lines);
    if (p >= limit) return nullptr;
    return parseShortDecimal(p, blockEnd, value);
}

constexpr std::uint32_t takText = 'T' | 'A' << 8 | 'K' << 16 | '\n' << 24;
constexpr std::uint32_t nieText = 'N' | 'I' << 8 | 'E' << 16 | '\n' << 24;

// One point through the general path: the run's next point, when the fast
// reader takes it; false otherwise (nothing consumed).
__attribute__((always_inline)) inline bool takeGeneralPoint(pointRun& run, char const* limit,
                                                            char const* blockEnd, pointFilter const& filter,
                                                            std::vector<plane> const& planes,
                                                            char* verdicts) {
    long lines = 0;
    vec3 q;
    char const* after = takeNumber(run.stop, limit, blockEnd, lines, q.x);
    if (after != nullptr) after = takeNumber(after, blockEnd, blockEnd, lines, q.y);
    if (after != nullptr) after = takeNumber(after, blockEnd, blockEnd, lines, q.z);
    if (after == nullptr) return false;
    std::uint32_t const text = containsFiltered(filter, planes, q) ? takText : nieText;
    std::memcpy(verdicts + 4 * run.points, &text, 4);
    ++run.points;
    run.stop = after;
    run.lines += lines;
    return true;
}

// How many of the batch's first `points` points start before `limit`.
unsigned pointsBefore(tokenList const& list, char const* base, unsigned points, char const* limit) {
    unsigned count = 0;
    while (count < points && base + list.starts[3 * count] < limit) ++count;
    return count;
}

pointEngine const* bestEngine() {
    return avx512EngineRuns() ? &avx512Engine : avx2EngineRuns() ? &avx2Engine : &sse2Engine;
}

pointEngine const* activeEngine = bestEngine();

pointRun scanPointsWith(pointEngine const& engine, char const* p, char const* limit, char const* blockEnd,
                        std::size_t maxPoints, pointFilter const& filter, std::vector<plane> const& planes,
                        cellGrid const& cells, char* verdicts) {
    pointRun run;
    run.stop = p;
    innerBall const ball = filter.ball;
    // No point is within a negative square: one comparison for both of
    // containsFiltered's conditions.
    double const ballReach = ball.radiusSquared > 0 ? ball.radiusSquared : -1;
    tokenList list;
    tokenValues values;
    while (run.points < maxPoints) {
        char const* const base = run.stop;
        std::size_t const left = maxPoints - run.points;
        unsigned const wanted = left < batchPoints ? static_cast<unsigned>(left) : batchPoints;
        engine.listTokens(base, blockEnd, 3 * wanted, list);
        unsigned const listed = list.tokens < 3 * wanted ? list.tokens / 3 * 3 : 3 * wanted;
        unsigned const points = engine.convertTokens(base, p, list, listed, values) / 3;
        // Points start in order, so the limit can only cut the batch short
        // when its last point starts at or after it.
        bool const atLimit = points > 0 && base + list.starts[3 * (points - 1)] >= limit;
        unsigned const allowed = atLimit ? pointsBefore(list, base, points, limit) : points;
        // The inner ball decides most points, but which ones is as good as
        // random (on some inputs one in seven is outside it): the ones it does
        // not decide are listed without a branch and judged after the batch.
        unsigned missed[batchPoints];
        unsigned misses = 0;
        for (unsigned taken = 0; taken < allowed; ++taken) {
            double const dx = values.rounded[3 * taken] - ball.x;
            double const dy = values.rounded[3 * taken + 1] - ball.y;
            double const dz = values.rounded[3 * taken + 2] - ball.z;
            missed[misses] = taken;
            misses += dx * dx + dy * dy + dz * dz <= ballReach ? 0 : 1;
            std::memcpy(verdicts + 4 * (run.points + taken), &takText, 4);
        }
        // The cells, where the set has them, decide most of the rest with one
        // load, again without a branch (inside and outside come as they
        // will); the planes judge the few left.
        // Without a grid (small sets never build one) every miss is open:
        // the lookup would only find each point off the grid, a call apiece.
        bool const hasGrid = cells.resolution != 0;
        unsigned open = hasGrid ? 0 : misses;
        for (unsigned k = 0; hasGrid && k < misses; ++k) {
            unsigned const taken = missed[k];
            double const* const rounded = values.rounded + 3 * taken;
            cellState const state = stateAt(cells, rounded[0], rounded[1], rounded[2]);
            // By a table, which the compiler cannot turn into a branch.
            static constexpr std::uint32_t textOfState[] = {takText, takText, nieText};
            static_assert(static_cast<int>(cellState::outside) == 2);
            std::memcpy(verdicts + 4 * (run.points + taken), &textOfState[static_cast<int>(state)], 4);
            missed[open] = taken;
            open += state == cellState::undecided ? 1 : 0;
        }
        // The extended values only for a point some plane is too close to
        // call for the doubles: most are decided without them.
        for (unsigned k = 0; k < open; ++k) {
            // (open <= misses: the first k entries were written just above.)
            // cppcheck-suppress uninitvar
            unsigned const taken = missed[k];
            double const* const rounded = values.rounded + 3 * taken;
            int side = filteredSide(filter, rounded[0], rounded[1], rounded[2]);
            if (side == 0) {
                vec3 q;
                q.x = extendedValueOf(base + list.starts[3 * taken]);
                q.y = extendedValueOf(base + list.starts[3 * taken + 1]);
                q.z = extendedValueOf(base + list.starts[3 * taken + 2]);
                side = containsUndecided(filter, planes, q, rounded[0], rounded[1], rounded[2]) ? 1 : -1;
            }
            if (side < 0) std::memcpy(verdicts + 4 * (run.points + taken), &nieText, 4);
        }
        if (allowed > 0) {
            // Tokens hold no newlines, so the newlines up to the run's stop
            // are those before the last point's last token, which ends the run.
            std::uint32_t const last = list.starts[3 * allowed - 1];
            std::uint64_t const before =
                list.newlineMasks[last / 64] & ((std::uint64_t{1} << (last % 64)) - 1);
            run.lines += list.linesBeforeChunk[last / 64] + std::popcount(before);
            // A converted token ends at the first blank.
            char const* stop = base + last;
            while (!isBlank(*stop)) ++stop;
            run.stop = stop;
            run.points += allowed;
            run.ballMisses += misses;
        }
        if (atLimit) break;
        if (allowed == wanted || run.points >= maxPoints) continue;
        // A batch whose chunks ended before its points (long lines: 32 points
        // of %.17e take more than its 2 KiB), with every point it listed
        // taken: the next batch goes on from there.
        if (allowed > 0 && allowed == listed / 3) continue;
        // A point the second stage did not take, or a batch cut short by the
        // end of the block or by a long stretch of blanks: one point through
        // the general path, which stops the run if it cannot take it either.
        if (!takeGeneralPoint(run, limit, blockEnd, filter, planes, verdicts)) break;
    }
    return run;
}

}  // namespace

void usePointEngine(pointEngineKind kind) {
    if (kind == pointEngineKind::avx512 && !avx512EngineRuns()) kind = pointEngineKind::avx2;
    if (kind == pointEngineKind::avx2 && !avx2EngineRuns()) kind = pointEngineKind::sse2;
    activeEngine = kind == pointEngineKind::avx512 ? &avx512Engine
                   : kind == pointEngineKind::avx2 ? &avx2Engine
                                                   : &sse2Engine;
}

bool pointEngineRuns(pointEngineKind kind) {
    return kind == pointEngineKind::sse2 ||
           (kind == pointEngineKind::avx2 ? avx2EngineRuns() : avx512EngineRuns());
}

pointRun scanPoints(char const* p, char const* limit, char const* blockEnd, std::size_t maxPoints,
                    pointFilter const& filter, std::vector<plane> const& planes, cellGrid const& cells,
                    char* verdicts) {
    return scanPointsWith(*activeEngine, p, limit, blockEnd, maxPoints, filter, planes, cells, verdicts);
}

}  // namespace gemprobe
