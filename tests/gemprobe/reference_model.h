#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// The straightforward program, written literally: scanf-style formatted reads,
// the walls' orientations and the point test exactly as the algorithm reads,
// printf-style output. Trusts its input (no read result is examined), so it is
// only meaningful on well-formed input. Returns the exit status.
int referenceGemprobe(std::FILE* in, std::FILE* out);

// The same on an input in memory; returns what it prints.
std::string referenceOutput(std::string_view input);
