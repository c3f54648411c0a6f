#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// The straightforward motifscan, written literally: counts are read with scanf,
// patterns with std::getline on std::cin and the message with getchar, all on
// the process's standard input (the streams stay synchronised with stdio);
// every call of podciag keeps one list of partial-match lengths per pattern.
// Quadratic in the worst case; the fast program is checked against it, and it
// is the baseline its speed is measured against.
//
// Writes the literal program's output to `out`. Returns the number (from 1)
// of the task whose pattern count or one of whose pattern lines met the end of
// input, where motifscan stops with an error instead, or 0.
int referenceMotifscan(std::FILE* out);

// The count of the library for a message in memory, by the same literal scan:
// a byte outside "A".."Z" and "*" ends a podciag call as it ends the
// program's message, and the scan goes on after it with the next call.
std::uint64_t referenceCount(std::vector<std::string> const& patterns, std::string_view message);
