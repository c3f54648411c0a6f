// The built programs under hostile conditions, end to end: input cut at every
// byte, odd bytes in every position, counts at the edges of the 32-bit range,
// a full disk and too little memory. Whatever happens, a run ends by itself,
// quickly, with exit status 0, or 1 and one line on standard error; never a
// signal, never a sanitizer report.

#include "run_program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Program {
    std::string name;
    std::string path;
};

std::vector<Program> const programs = {{"gemprobe", GEMPROBE_PATH}, {"motifscan", MOTIFSCAN_PATH}};

#ifdef FAULT_TESTS_SANITIZED
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif

std::string readFile(std::filesystem::path const& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> exampleInputs(std::string const& program) {
    std::vector<std::string> inputs;
    for (auto const& entry :
         std::filesystem::directory_iterator(std::filesystem::path(EXAMPLES_DIR) / program)) {
        if (entry.path().extension() == ".in") inputs.push_back(readFile(entry.path()));
    }
    return inputs;
}

std::string printable(std::string const& text) {
    std::string shown;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f) {
            shown.push_back(static_cast<char>(c));
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", c);
            shown += code;
        }
    }
    return shown;
}

// Standard error without its warning lines ("NAME: line N: warning: ..."),
// of which there may be one per kind: two at most.
std::string withoutWarnings(std::string const& error, Program const& program) {
    std::string rest;
    int warnings = 0;
    std::istringstream lines(error);
    for (std::string line; std::getline(lines, line);) {
        bool const warning =
            line.rfind(program.name + ": line ", 0) == 0 && line.find(": warning: ") != std::string::npos;
        if (warning) {
            ++warnings;
        } else {
            rest += line + "\n";
        }
    }
    EXPECT_LE(warnings, 2) << error;
    return rest;
}

// The contract for any input: exit 0 with nothing on standard error but
// warnings, or exit 1 with exactly one line more there, starting with the
// program's name.
void expectCleanEnd(ProgramRun const& run, Program const& program, std::string const& input) {
    SCOPED_TRACE(program.name + " on \"" + printable(input) + "\"");
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.signal, 0);
    std::string const error = withoutWarnings(run.error, program);
    if (run.exitStatus == 0) {
        EXPECT_EQ(error, "") << run.error;
        return;
    }
    EXPECT_EQ(run.exitStatus, 1) << run.error;
    EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << run.error;
    EXPECT_EQ(error.rfind(program.name + ": ", 0), 0u) << run.error;
    EXPECT_EQ(run.error.back(), '\n');
}

TEST(Faults, ExamplesCutAtEveryByteEndCleanly) {
    for (Program const& program : programs) {
        for (std::string const& input : exampleInputs(program.name)) {
            for (std::size_t cut = 0; cut <= input.size(); ++cut) {
                std::string const prefix = input.substr(0, cut);
                expectCleanEnd(runProgram(program.path, prefix, {0, 1000, "", {}}), program, prefix);
                if (HasFailure()) return;
            }
        }
    }
}

TEST(Faults, OddBytesInEveryPositionEndCleanly) {
    std::string const odd[] = {std::string(1, '\0'), "\x80", "\xff", "\r"};
    for (Program const& program : programs) {
        std::string const input = exampleInputs(program.name).front();
        for (std::size_t position = 0; position < input.size(); ++position) {
            for (std::string const& byte : odd) {
                std::string replaced = input;
                replaced[position] = byte[0];
                expectCleanEnd(runProgram(program.path, replaced), program, replaced);
                std::string inserted = input;
                inserted.insert(position, byte);
                expectCleanEnd(runProgram(program.path, inserted), program, inserted);
                if (HasFailure()) return;
            }
        }
    }
}

// Every count of both formats at the edges of the signed 32-bit range: a clear
// error or the defined behaviour, at once, in little memory.
TEST(Faults, CountsAtTheEdgesOfTheRange) {
    struct Case {
        std::size_t program;  // index into programs
        std::string input;
        std::string output;
        std::string error;
    };
    std::string const forty(40, '9');
    std::vector<Case> const cases = {
        // gemprobe: sets, walls, vertices, points.
        {0, "2147483647\n", "", "gemprobe: line 1: expected the number of walls, found end of input\n"},
        {0, "-2147483648\n", "", ""},
        {0, "2147483648\n", "",
         "gemprobe: line 1: expected the number of sets, found \"2147483648\" (out of range)\n"},
        {0, forty + "\n", "",
         "gemprobe: line 1: expected the number of sets, found \"" + forty.substr(0, 32) +
             "...\" (out of range)\n"},
        {0, "1\n2147483647\n", "",
         "gemprobe: line 2: expected the number of vertices of a wall, found end of input\n"},
        {0, "1\n-2147483648\n0\n", "\n", ""},
        {0, "1\n2147483648\n", "",
         "gemprobe: line 2: expected the number of walls, found \"2147483648\" (out of range)\n"},
        {0, "1\n2\n2147483647\n0 0 0\n", "",
         "gemprobe: line 4: expected a vertex coordinate, found end of input\n"},
        {0, "1\n2\n-2147483648\n", "",
         "gemprobe: line 3: expected a wall of at least 3 vertices, found -2147483648 vertices\n"},
        {0, "1\n2\n" + forty + "\n", "",
         "gemprobe: line 3: expected the number of vertices of a wall, found \"" + forty.substr(0, 32) +
             "...\" (out of range)\n"},
        {0, "1\n0\n2147483647\n1 2 3\n", "TAK\n",
         "gemprobe: line 4: expected a point coordinate, found end of input\n"},
        {0, "1\n0\n-2147483648\n", "\n", ""},
        {0, "1\n0\n2147483648\n", "",
         "gemprobe: line 3: expected the number of points, found \"2147483648\" (out of range)\n"},
        // motifscan: tasks, patterns.
        {1, "2147483647\n0\nAB\n", "0\n",
         "motifscan: line 3: expected the number of patterns, found end of input\n"},
        {1, "-2147483648\n", "", ""},
        {1, "2147483648\n", "",
         "motifscan: line 1: expected the number of tasks, found \"2147483648\" (out of range)\n"},
        {1, forty + "\n", "",
         "motifscan: line 1: expected the number of tasks, found \"" + forty.substr(0, 32) +
             "...\" (out of range)\n"},
        {1, "1\n2147483647\nA\nB\n", "",
         "motifscan: line 4: expected pattern 3 of 2147483647, found end of input\n"},
        {1, "1\n-2147483648\nA\n", "",
         "motifscan: line 2: expected the number of patterns, found \"-2147483648\" (negative)\n"},
        {1, "1\n2147483648\nA\n", "",
         "motifscan: line 2: expected the number of patterns, found \"2147483648\" (out of range)\n"},
    };
    for (Case const& c : cases) {
        Program const& program = programs[c.program];
        SCOPED_TRACE(program.name + " on \"" + printable(c.input) + "\"");
        RunLimits limits;
        limits.wallMilliseconds = 2000;
        if (!sanitized) limits.addressSpaceBytes = std::size_t{256} << 20;
        ProgramRun const run = runProgram(program.path, c.input, limits);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.output, c.output);
        EXPECT_EQ(run.error, c.error);
        EXPECT_EQ(run.exitStatus, c.error.empty() ? 0 : 1);
    }
}

TEST(Faults, AFullDiskInMidRunIsReported) {
    std::string manyPoints = "1\n0\n300000\n";
    for (int i = 0; i < 300000; ++i) manyPoints += "0 0 0\n";
    std::string manyTasks = "300000\n";
    for (int i = 0; i < 300000; ++i) manyTasks += "1\nA\nAAAA\n";
    std::string const inputs[] = {manyPoints, manyTasks};
    for (std::size_t i = 0; i < programs.size(); ++i) {
        RunLimits limits;
        limits.outputPath = "/dev/full";
        limits.wallMilliseconds = 20000;
        ProgramRun const run = runProgram(programs[i].path, inputs[i], limits);
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.error, programs[i].name + ": write error: No space left on device\n");
    }
}

// More memory than allowed: the answers so far, then "out of memory".
TEST(Faults, RunningOutOfMemoryKeepsTheAnswersSoFar) {
    if (sanitized) GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
    std::string hugeWall = "2\n0\n1\n1 2 3\n2\n4000000\n";
    for (int i = 0; i < 4000000; ++i) hugeWall += "1 2 3\n";
    // Eight million patterns take more than 128 MiB to hold, whatever the engine.
    std::string hugePattern = "2\n1\nA\nAAA\n8000000\n";
    for (int i = 0; i < 8000000; ++i) hugePattern += "B\n";
    hugePattern += "B\n";
    struct Case {
        std::string input, output;
    } const cases[] = {{hugeWall, "TAK\n\n"}, {hugePattern, "3\n"}};
    for (std::size_t i = 0; i < programs.size(); ++i) {
        RunLimits limits;
        limits.addressSpaceBytes = std::size_t{128} << 20;
        limits.wallMilliseconds = 20000;
        ProgramRun const run = runProgram(programs[i].path, cases[i].input, limits);
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.output, cases[i].output);
        EXPECT_EQ(run.error, programs[i].name + ": out of memory\n");
    }
}

// Each program under every address-space limit from where it cannot start
// to where it has room: it ends with every answer, or with the answers so
// far and "out of memory" (exit status 1), never by a signal; the input's
// first block is allocated under the limit too.
TEST(Faults, UnderAnyMemoryLimitEachProgramEndsCleanly) {
    if (sanitized) GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
    std::string solids =
        "3\n4\n3 0 0 0 1 0 0 0 1 0\n3 0 0 0 0 1 0 0 0 1\n3 0 0 0 0 0 1 1 0 0\n"
        "3 1 0 0 0 1 0 0 0 1\n2\n0.1 0.1 0.1\n1 1 1\n";
    solids += "0\n2\n0 0 0\n1 1 1\n2\n";
    solids += std::to_string(1 << 20);  // a wall that outgrows most limits
    for (int i = 0; i < (1 << 20); ++i) solids += "\n1.5 2.5 3.5";
    solids += "\n3 0 0 0 1 0 0 0 1 0\n1\n0 0 0\n";
    // A pattern of 2^22 symbols outgrows most limits too.
    std::string tasks = "3\n1\nA\nAAA\n1\nB\nBB\n1\n";
    std::uint64_t seed = 7;
    for (int i = 0; i < (1 << 22); ++i) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        tasks += static_cast<char>('A' + (seed >> 33) % 26);
    }
    tasks += "\nA\n";
    struct Case {
        std::string input, full;
    } const cases[] = {{solids, "TAK\nNIE\n\nTAK\nTAK\n\nTAK\n\n"}, {tasks, "3\n2\n0\n"}};
    for (std::size_t i = 0; i < programs.size(); ++i) {
        std::string const& name = programs[i].name;
        bool sawOutOfMemory = false;
        for (std::size_t megabytes = 2; megabytes <= 160; megabytes += megabytes < 16 ? 1 : 8) {
            RunLimits limits;
            limits.addressSpaceBytes = megabytes << 20;
            ProgramRun const run = runProgram(programs[i].path, cases[i].input, limits);
            ASSERT_EQ(run.signal, 0) << name << ", " << megabytes << " MiB: " << run.error;
            if (run.exitStatus == 0) {
                EXPECT_EQ(run.output, cases[i].full) << name << ", " << megabytes << " MiB";
                continue;
            }
            if (run.error.starts_with(name + ":")) {  // not the loader's refusal to start
                EXPECT_EQ(run.exitStatus, 1) << name << ", " << megabytes << " MiB";
                EXPECT_EQ(run.error, name + ": out of memory\n") << name << ", " << megabytes << " MiB";
                EXPECT_TRUE(cases[i].full.starts_with(run.output)) << name << ", " << megabytes << " MiB";
                sawOutOfMemory = true;
            }
        }
        EXPECT_TRUE(sawOutOfMemory) << name;
    }
}

// A pattern of 30 million symbols with itself as the message walks through
// every state of the automaton, in memory proportional to the pattern.
TEST(Faults, LongPatternFitsInHalfAGigabyte) {
    if (sanitized) GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
    std::string pattern(30000000, 'A');
    std::uint64_t seed = 12345;
    for (char& c : pattern) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        c = "ABCDEFGHIJKLMNOPQRSTUVWXYZ*"[(seed >> 33) % 27];
    }
    RunLimits limits;
    limits.addressSpaceBytes = std::size_t{512} << 20;
    limits.wallMilliseconds = 60000;
    ProgramRun const run = runProgram(MOTIFSCAN_PATH, "1\n1\n" + pattern + "\n" + pattern + "\n", limits);
    EXPECT_EQ(run.exitStatus, 0) << run.error;
    EXPECT_EQ(run.output, "1\n");
}

}  // namespace
