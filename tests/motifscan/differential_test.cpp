// The whole program against the literal one (motifscan_reference, built from
// reference_main.cpp) on generated inputs: several tasks, small alphabets that
// force overlaps, empty and invalid patterns, m = 0, odd whitespace, counts
// that are not numbers, and inputs cut short. Where the input is complete,
// the output must be the same byte for byte. Where a task's pattern count or
// pattern lines meet the end of input (the literal program says which task on
// standard error), motifscan must print the literal counts of the tasks before
// it, none after, and report the end of input.

#include "run_in_memory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>
#include <random>
#include <sstream>

extern char** environ;

namespace {

struct ReferenceRun {
    std::string output;
    int endsInTask = 0;  // the task whose patterns met the end of input, or 0
};

std::string readFile(std::string const& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs the literal program with the input on its standard input.
ReferenceRun runReference(std::string const& input) {
    std::string const base = testing::TempDir() + "motifscan_reference." + std::to_string(::getpid());
    std::string const inPath = base + ".in", outPath = base + ".out", errPath = base + ".err";
    {
        std::ofstream file(inPath, std::ios::binary);
        file << input;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    char program[] = MOTIFSCAN_REFERENCE;
    char* argv[] = {program, nullptr};
    pid_t child = 0;
    int const spawned = posix_spawn(&child, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ReferenceRun run;
    EXPECT_EQ(spawned, 0) << "cannot start " << program;
    if (spawned != 0) return run;
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the literal program failed";
    run.output = readFile(outPath);
    std::string const notice = readFile(errPath);
    if (!notice.empty()) {
        EXPECT_EQ(std::sscanf(notice.c_str(), "input ends in task %d", &run.endsInTask), 1) << notice;
    }
    std::remove(inPath.c_str());
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return run;
}

std::string firstLines(std::string const& text, int count) {
    std::size_t end = 0;
    for (int k = 0; k < count; ++k) end = text.find('\n', end) + 1;
    return text.substr(0, end);
}

// Inputs in the shape of the format, with its corners made frequent.
struct Generator {
    std::mt19937 random;
    std::string alphabet;

    int below(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(random); }
    bool percent(int chance) { return below(100) < chance; }
    char pick(std::string const& bytes) {
        return bytes[static_cast<std::size_t>(below(static_cast<int>(bytes.size())))];
    }

    std::string whitespace(int maxLength) {
        std::string text;
        for (int n = below(maxLength + 1); n > 0; --n) text.push_back(pick("  \n\n\t\r\v\f"));
        return text;
    }

    std::string word(int maxLength) {
        std::string text;
        for (int n = below(maxLength + 1); n > 0; --n) text.push_back(pick(alphabet));
        return text;
    }

    std::string pattern() {
        if (percent(8)) return "";
        std::string text = word(5);
        if (percent(10))
            text.insert(static_cast<std::size_t>(below(static_cast<int>(text.size()) + 1)), 1,
                        pick("a?\r \t\x80"));
        return text;
    }

    // What follows a pattern count that is not a number; none starts with a
    // digit after a sign, which would be a negative count.
    std::string notACount() {
        static char const* const words[] = {"x", "-A", "+*", "AB", "?", "-\n", "+ 1", "A*B"};
        return words[below(8)];
    }

    std::string count(int value) {
        std::string text = percent(10) ? "+" : "";
        if (percent(10)) text += "00";
        return text + std::to_string(value);
    }

    std::string terminator() {
        if (percent(60)) return "\n";
        return std::string(1, pick("b?\r 7\xc3\x01"));
    }

    std::string task() {
        std::string text = whitespace(2);
        if (percent(6)) return text + notACount() + word(8) + terminator();
        int const m = below(5);
        text += count(m);
        text += percent(70) ? "\n" : whitespace(4);
        for (int k = 0; k < m; ++k) text += pattern() + (percent(3) ? "\r\n" : "\n");
        return text + word(40) + terminator();
    }

    std::string input() {
        static char const* const alphabets[] = {"AB", "AB*", "ABC", "A", "ABCDEFGHIJKLMNOPQRSTUVWXYZ*"};
        alphabet = alphabets[below(5)];
        int const tasks = below(8);
        int const announced = percent(10) ? tasks + 1 + below(2) : tasks;
        std::string text = std::to_string(announced) + pick(" \n\t");
        std::size_t const header = text.size();
        for (int k = 0; k < tasks; ++k) text += task();
        if (percent(25)) {
            std::size_t const cut =
                header + static_cast<std::size_t>(below(static_cast<int>(text.size() - header) + 1));
            text.resize(cut);
        }
        return text;
    }
};

void compareWithReference(std::string const& input) {
    ReferenceRun const reference = runReference(input);
    for (auto [source, engine] :
         {std::pair{Source{false, defaultInputCapacity}, scanChoice::fastest},
          std::pair{Source{false, 1}, scanChoice::fastest},
          std::pair{Source{true, defaultInputCapacity}, scanChoice::fastest},
          std::pair{Source{true, 1}, scanChoice::fastest}, std::pair{Source{false, 3}, scanChoice::endFilter},
          std::pair{Source{false, 2}, scanChoice::wideBitParallel},
          std::pair{Source{false, defaultInputCapacity}, scanChoice::denseTable},
          std::pair{Source{false, 5}, scanChoice::sparseTable},
          std::pair{Source{false, 1}, scanChoice::compact}}) {
        SCOPED_TRACE(testing::Message() << source << ", engine " << static_cast<int>(engine));
        RunResult const result = runFrom(input, source, engine);
        if (reference.endsInTask == 0) {
            EXPECT_TRUE(result.finished) << result.error;
            EXPECT_EQ(result.output, reference.output);
        } else {
            EXPECT_FALSE(result.finished);
            EXPECT_EQ(result.output, firstLines(reference.output, reference.endsInTask - 1));
            EXPECT_NE(result.error.find("found end of input"), std::string::npos) << result.error;
        }
    }
}

std::string printable(std::string const& text) {
    std::string shown;
    for (unsigned char c : text) {
        if (c == '\n')
            shown += "\\n\n";
        else if (c >= 0x20 && c < 0x7f && c != '\\')
            shown.push_back(static_cast<char>(c));
        else
            shown += "\\x" + std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
    }
    return shown;
}

TEST(MotifscanDifferential, GeneratedInputs) {
    Generator generator{std::mt19937(20240601), ""};
    for (int trial = 0; trial < 800; ++trial) {
        std::string const input = generator.input();
        SCOPED_TRACE(testing::Message() << "trial " << trial << ", input:\n" << printable(input));
        compareWithReference(input);
        if (HasFailure()) break;
    }
}

}  // namespace
