#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Runs a built program as a child process on the given standard input, with
// optional limits, and collects what it did.
struct ProgramRun {
    bool timedOut = false;
    int exitStatus = -1;  // when it exited
    int signal = 0;       // when a signal ended it
    std::string output;
    std::string error;
    long inputOffset = -1;  // where the program left standard input (a file)
};

struct RunLimits {
    std::size_t addressSpaceBytes = 0;  // 0: no limit
    int wallMilliseconds = 5000;
    std::string outputPath;              // empty: capture; otherwise standard output goes there
    std::vector<std::string> arguments;  // after the program's name
};

ProgramRun runProgram(std::string const& path, std::string const& input, RunLimits const& limits = {});
