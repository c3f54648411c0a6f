#pragma once

#include "automaton.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace motifscan {

struct input;
struct output;

// Input of the whole program, one stream read in this order:
//   T                 number of tasks, read like scanf("%d") (0 or less: none)
//   T times:
//     m               number of patterns, read like scanf("%d\n"): the
//                     whitespace after it is skipped across lines, so the
//                     first pattern loses its leading blanks and blank lines
//                     (and, when m is 0, the skip runs on into the message)
//     m lines         the patterns, each read like std::getline: blanks, tabs
//                     and a carriage return before the newline stay in it
//     message         bytes "A".."Z" and "*", ended (and consumed) by the first
//                     other byte or the end of input
// Output: the count of each task (see automaton.h), one "%d\n" line per task.
//
// A pattern count that is not a number while input remains (such as a letter)
// leaves the task without patterns; the whitespace before the offending byte,
// and a sign before it, are consumed, and the message starts at that byte.

// Warnings about patterns that can never complete: one holding a carriage
// return (input with DOS line endings), one holding any other byte that no
// message holds. Each kind is given once per run, on `to`.
struct patternWarnings {
    std::FILE* to = nullptr;  // nullptr: none are given
    bool carriageReturnGiven = false;
    bool otherByteGiven = false;
};

// The state of the current task. Reset at the start of every task, so nothing
// of one task's patterns reaches the next; kept across tasks to reuse memory.
struct taskState {
    int m = 0;                                // number of patterns
    std::vector<std::string> wzorce;          // the patterns, in input order
    automaton machine;                        // built from wzorce once they are read
    automatonScan scan;                       // of the task's message
    scanChoice engine = scanChoice::fastest;  // the tests run every engine
    patternWarnings warnings;                 // not reset: they belong to the whole run
};

// One task: its pattern count, its patterns and its message. Returns the
// count, or nothing when the task cannot be read (in.error says why): the
// pattern count is negative or out of range, or the input ends before the
// pattern count or one of the pattern lines.
std::optional<std::int64_t> zadanie(input& in, taskState& task);

// The whole program. Returns false when it cannot go on: the input's error
// says why, or the output's writeError is set. Reads nothing after the last
// announced task. Warnings about patterns go to `warningsTo` unless it is null;
// they change neither the counts nor the result.
bool runMotifscan(input& in, output& out, std::FILE* warningsTo = nullptr,
                  scanChoice engine = scanChoice::fastest);

}  // namespace motifscan
