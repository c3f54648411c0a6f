#include "driver.h"

#include "input.h"
#include "output.h"

#include <cstring>
#include <string_view>

namespace motifscan {

namespace {

constexpr char const* patternCountName = "the number of patterns";

bool readTaskCount(input& in, int& taskCount) {
    constexpr char const* what = "the number of tasks";
    switch (readCount(in, taskCount)) {
        case countStatus::read:
            return true;
        case countStatus::outOfRange:
            return failExpected(in, what, quoted(in.token) + " (out of range)");
        case countStatus::notANumber:
        case countStatus::endOfInput:
            break;
    }
    std::string found = describeFound(in, in.token);
    // Some editors on Windows start a file with one; quoted it reads as noise.
    if (found.rfind("\"\\xef\\xbb\\xbf", 0) == 0) found = "a UTF-8 byte-order mark";
    return failExpected(in, what, found);
}

// Leaves m at 0 when the count is not a number, with the offending byte unread.
bool readPatternCount(input& in, int& m) {
    switch (readCount(in, m)) {
        case countStatus::read:
            if (m < 0) return failExpected(in, patternCountName, quoted(in.token) + " (negative)");
            skipWhitespace(in);
            return true;
        case countStatus::notANumber:
            m = 0;
            return true;
        case countStatus::outOfRange:
            return failExpected(in, patternCountName, quoted(in.token) + " (out of range)");
        case countStatus::endOfInput:
            break;
    }
    return failExpected(in, patternCountName, describeFound(in, in.token));
}

// No message holds a carriage return or a byte outside A-Z and '*', so a
// pattern holding one never completes and the count comes out silently low.
// The pattern stays as it is (the counting rule wants it); the first pattern
// of each kind in the run is pointed out. Pattern k is on line firstLine + k.
void warnAboutPatterns(taskState& task, long firstLine) {
    patternWarnings& warnings = task.warnings;
    if (warnings.to == nullptr) return;
    for (std::size_t k = 0; k < task.wzorce.size(); ++k) {
        if (warnings.carriageReturnGiven && warnings.otherByteGiven) return;
        std::string const& pattern = task.wzorce[k];
        long const line = firstLine + static_cast<long>(k);
        std::size_t const carriageReturn = pattern.find('\r');
        if (!warnings.carriageReturnGiven && carriageReturn != std::string::npos) {
            warnings.carriageReturnGiven = true;
            bool const atEnd = carriageReturn + 1 == pattern.size();
            std::fprintf(warnings.to, "motifscan: line %ld: warning: pattern %zu %s\n", line, k + 1,
                         atEnd ? "ends in a carriage return and can never match (DOS line endings?)"
                               : "holds a carriage return and can never match");
        }
        if (warnings.otherByteGiven) continue;
        for (char const c : pattern) {
            if ((c >= 'A' && c <= 'Z') || c == '*' || c == '\r') continue;
            warnings.otherByteGiven = true;
            std::fprintf(warnings.to,
                         "motifscan: line %ld: warning: pattern %zu holds %s, not A-Z or \"*\", "
                         "and can never match\n",
                         line, k + 1, quoted(std::string_view(&c, 1)).c_str());
            break;
        }
    }
}

}  // namespace

std::optional<std::int64_t> zadanie(input& in, taskState& task) {
    task.m = 0;
    task.wzorce.clear();
    if (!readPatternCount(in, task.m)) return std::nullopt;
    long const firstPatternLine = in.line;
    // The patterns are stored as they arrive, never reserved from m: the count
    // may promise far more lines than the input holds.
    for (int k = 0; k < task.m; ++k) {
        task.wzorce.emplace_back();
        if (!readLine(in, task.wzorce.back())) {
            std::string const what = "pattern " + std::to_string(k + 1) + " of " + std::to_string(task.m);
            failExpected(in, what, "end of input");
            return std::nullopt;
        }
    }
    warnAboutPatterns(task, firstPatternLine);
    buildAutomaton(task.machine, task.wzorce, task.engine);
    startScan(task.scan, task.machine);
    std::int64_t count = 0;
    while (podciag(in, task.machine, task.scan) == 1) ++count;
    return count;
}

bool runMotifscan(input& in, output& out, std::FILE* warningsTo, scanChoice engine) {
    int taskCount = 0;
    if (!readTaskCount(in, taskCount)) return false;
    taskState task;
    task.warnings.to = warningsTo;
    task.engine = engine;
    for (int k = 0; k < taskCount; ++k) {
        std::optional<std::int64_t> const count = zadanie(in, task);
        if (!count) return false;
        // A failed read ends the message early, so the count would be wrong.
        if (in.readError != 0) {
            in.error = std::string("read error: ") + std::strerror(in.readError);
            return false;
        }
        putCount(out, *count);
        if (out.writeError != 0) return false;
    }
    return true;
}

}  // namespace motifscan
