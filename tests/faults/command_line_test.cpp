// The command line of both built programs, end to end: each option, an
// operand, an unknown option, their exit statuses, and that nothing of
// standard input is read unless the program runs (standard input is a file
// whose offset the child shares, so any read would move it).

#include "run_program.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Program {
    std::string name;
    std::string path;
    std::string input;   // a small valid input
    std::string output;  // what the program prints for it
};

std::vector<Program> const programs = {
    {"gemprobe", GEMPROBE_PATH, "1\n2\n3 0 0 0 1 0 0 0 1 0\n3 0 0 1 1 0 1 0 1 1\n1\n0 0 0.5\n", "TAK\n\n"},
    {"motifscan", MOTIFSCAN_PATH, "1\n1\nAB\nABAB\n", "2\n"},
};

enum class Expect { usage, version, answers, refusal };

struct CommandLineCase {
    std::vector<std::string> arguments;
    Expect expect;
    std::string refusal;  // for Expect::refusal: the first line, after "NAME: "
};

std::vector<CommandLineCase> const cases = {
    {{"--help"}, Expect::usage, ""},
    {{"--version"}, Expect::version, ""},
    {{"--"}, Expect::answers, ""},
    {{}, Expect::answers, ""},
    // --help wins over anything; --version over anything but --help.
    {{"input.txt", "--bogus", "--help", "--version"}, Expect::usage, ""},
    {{"--version", "input.txt"}, Expect::version, ""},
    {{"input.txt"}, Expect::refusal, "extra operand 'input.txt'"},
    {{"-"}, Expect::refusal, "extra operand '-'"},
    {{"--", "--help"}, Expect::refusal, "extra operand '--help'"},
    {{"--x"}, Expect::refusal, "unrecognized option '--x'"},
    {{"-h", "input.txt"}, Expect::refusal, "unrecognized option '-h'"},
    {{"--", "--"}, Expect::refusal, "extra operand '--'"},
};

std::string shown(std::vector<std::string> const& arguments) {
    std::string text;
    for (std::string const& argument : arguments) text += " " + argument;
    return text;
}

TEST(CommandLine, OptionsOperandsAndExitStatuses) {
    for (Program const& program : programs) {
        for (CommandLineCase const& c : cases) {
            SCOPED_TRACE(program.name + shown(c.arguments));
            RunLimits limits;
            limits.arguments = c.arguments;
            ProgramRun const run = runProgram(program.path, program.input, limits);
            EXPECT_FALSE(run.timedOut);
            EXPECT_EQ(run.signal, 0);
            switch (c.expect) {
                case Expect::usage:
                    EXPECT_EQ(run.output.rfind("Usage: " + program.name + " [OPTION]... < INPUT\n", 0), 0u);
                    EXPECT_NE(run.output.find("man " + program.name), std::string::npos) << run.output;
                    break;
                case Expect::version:
                    EXPECT_EQ(run.output, program.name + " " PROJECT_VERSION "\n");
                    break;
                case Expect::answers:
                    EXPECT_EQ(run.output, program.output);
                    break;
                case Expect::refusal:
                    EXPECT_EQ(run.output, "");
                    EXPECT_EQ(run.error, program.name + ": " + c.refusal + "\nTry '" + program.name +
                                             " --help' for more information.\n");
                    EXPECT_EQ(run.exitStatus, 2);
                    EXPECT_EQ(run.inputOffset, 0);
                    continue;
            }
            EXPECT_EQ(run.error, "");
            EXPECT_EQ(run.exitStatus, 0);
            if (c.expect == Expect::answers) {
                EXPECT_GT(run.inputOffset, 0);
            } else {
                EXPECT_EQ(run.inputOffset, 0);
            }
        }
    }
}

TEST(CommandLine, HelpAndVersionReportAFullOutput) {
    for (Program const& program : programs) {
        for (char const* option : {"--help", "--version"}) {
            SCOPED_TRACE(program.name + " " + option);
            RunLimits limits;
            limits.arguments = {option};
            limits.outputPath = "/dev/full";
            ProgramRun const run = runProgram(program.path, program.input, limits);
            EXPECT_EQ(run.error, program.name + ": write error: No space left on device\n");
            EXPECT_EQ(run.exitStatus, 1);
        }
    }
}

}  // namespace
