#include "driver.h"

#include "input.h"
#include "output.h"

#include <cstring>

namespace {

constexpr char const* patternCountName = "the number of patterns";

bool readTaskCount(Input& in, int& taskCount) {
    constexpr char const* what = "the number of tasks";
    switch (readCount(in, taskCount)) {
        case CountStatus::read:
            return true;
        case CountStatus::outOfRange:
            return failExpected(in, what, quoted(in.token) + " (out of range)");
        case CountStatus::notANumber:
        case CountStatus::endOfInput:
            break;
    }
    return failExpected(in, what, describeFound(in, in.token));
}

// Leaves m at 0 when the count is not a number, with the offending byte unread.
bool readPatternCount(Input& in, int& m) {
    switch (readCount(in, m)) {
        case CountStatus::read:
            if (m < 0) return failExpected(in, patternCountName, quoted(in.token) + " (negative)");
            skipWhitespace(in);
            return true;
        case CountStatus::notANumber:
            m = 0;
            return true;
        case CountStatus::outOfRange:
            return failExpected(in, patternCountName, quoted(in.token) + " (out of range)");
        case CountStatus::endOfInput:
            break;
    }
    return failExpected(in, patternCountName, describeFound(in, in.token));
}

}  // namespace

std::optional<std::int64_t> zadanie(Input& in, TaskState& task) {
    task.m = 0;
    task.wzorce.clear();
    if (!readPatternCount(in, task.m)) return std::nullopt;
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
    buildAutomaton(task.automaton, task.wzorce);
    std::int64_t count = 0;
    while (podciag(in, task.automaton) == 1) ++count;
    return count;
}

bool runMotifscan(Input& in, Output& out) {
    int taskCount = 0;
    if (!readTaskCount(in, taskCount)) return false;
    TaskState task;
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
