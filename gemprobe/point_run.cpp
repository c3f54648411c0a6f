#include "point_run.h"

#include "decimal.h"

#include <cstdint>
#include <cstring>

namespace {

// Skips blanks and control whitespace from p, counting newlines.
__attribute__((always_inline)) inline char const* skipBlanks(char const* p, long& lines) {
    for (;; ++p) {
        if (*p == ' ') continue;
        if (*p == '\n') {
            ++lines;
            continue;
        }
        if (*p >= '\t' && *p <= '\r') continue;
        return p;
    }
}

// One number after blanks, when it starts before `limit` and the fast reader
// takes it; nullptr otherwise.
__attribute__((always_inline)) inline char const* takeNumber(char const* p, char const* limit,
                                                             char const* blockEnd, long& lines,
                                                             long double& value) {
    p = skipBlanks(p, lines);
    if (p >= limit) return nullptr;
    return parseShortDecimal(p, blockEnd, value);
}

}  // namespace

pointRun scanPoints(char const* p, char const* limit, char const* blockEnd, std::size_t maxPoints,
                    pointFilter const& filter, std::vector<plane> const& planes, char* verdicts) {
    std::uint32_t const tak = 'T' | 'A' << 8 | 'K' << 16 | '\n' << 24;
    std::uint32_t const nie = 'N' | 'I' << 8 | 'E' << 16 | '\n' << 24;
    pointRun run;
    run.stop = p;
    for (; run.points < maxPoints; ++run.points) {
        // Newlines count only once the whole point is taken, so that the
        // count stops where the run does.
        long lines = 0;
        vec3 q;
        char const* after = takeNumber(run.stop, limit, blockEnd, lines, q.x);
        if (after != nullptr) after = takeNumber(after, blockEnd, blockEnd, lines, q.y);
        if (after != nullptr) after = takeNumber(after, blockEnd, blockEnd, lines, q.z);
        if (after == nullptr) break;
        std::uint32_t const text = containsFiltered(filter, planes, q) ? tak : nie;
        std::memcpy(verdicts + 4 * run.points, &text, 4);
        run.stop = after;
        run.lines += lines;
    }
    return run;
}
