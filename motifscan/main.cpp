// motifscan: for every task, how many pattern occurrences a left-to-right
// scan of the message completes. Reads tasks from standard input, prints one
// count per task.

#include "driver.h"
#include "input.h"
#include "output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

namespace {

motifscan::output out;  // large block buffer, kept out of the stack

constexpr char const* usage =
    "Usage: motifscan [OPTION]... < INPUT\n"
    "Read tasks from standard input: a number of patterns, the patterns, one per\n"
    "line, and a message of the letters A to Z and '*'. For each task print how\n"
    "many occurrences a left-to-right scan of the message completes (the largest\n"
    "number of non-overlapping occurrences), one line per task.\n"
    "\n"
    "  --help     display this help and exit\n"
    "  --version  output version information and exit\n"
    "\n"
    "Exit status: 0 when every task was counted; 1 when the input cannot be\n"
    "processed or the output cannot be written; 2 for a wrong command line.\n"
    "Full documentation: man motifscan\n";

// What the command line asks for. The program reads only standard input, so
// the arguments can ask for the help or the version, and for nothing else.
enum class request { run, help, version, usageError };

// --help wins over every other argument, then --version; "--" ends the
// options. Anything else is refused before a byte of input is read.
request readCommandLine(int argc, char** argv) {
    bool help = false;
    bool version = false;
    bool optionsEnded = false;
    char const* refused = nullptr;  // the first argument that is neither
    bool refusedIsOption = false;
    for (int k = 1; k < argc; ++k) {
        std::string_view const argument = argv[k];
        if (!optionsEnded && argument == "--help") {
            help = true;
        } else if (!optionsEnded && argument == "--version") {
            version = true;
        } else if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (refused == nullptr) {
            refused = argv[k];
            refusedIsOption = !optionsEnded && argument.size() > 1 && argument[0] == '-';
        }
    }
    if (help) return request::help;
    if (version) return request::version;
    if (refused == nullptr) return request::run;
    std::fprintf(
        stderr, refusedIsOption ? "motifscan: unrecognized option '%s'\n" : "motifscan: extra operand '%s'\n",
        refused);
    std::fputs("Try 'motifscan --help' for more information.\n", stderr);
    return request::usageError;
}

// Prints the help or the version; returns the exit status.
int answer(request asked) {
    std::fputs(asked == request::help ? usage : "motifscan " PROJECT_VERSION "\n", stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "motifscan: write error: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    request const asked = readCommandLine(argc, argv);
    if (asked == request::usageError) return 2;
    if (asked != request::run) return answer(asked);

    // Every allocation, the input's block and the error message included,
    // happens inside: out of memory anywhere keeps the answers counted so far.
    try {
        motifscan::input in = motifscan::inputFromFd(0);
        in.flushBeforeRead = motifscan::flush;
        in.flushTarget = &out;
        bool const finished = motifscan::runMotifscan(in, out, stderr);
        if (!flush(out)) {
            std::fprintf(stderr, "motifscan: write error: %s\n", std::strerror(out.writeError));
            return 1;
        }
        if (!finished) {
            std::fprintf(stderr, "motifscan: %s\n", in.error.c_str());
            return 1;
        }
        return 0;
    } catch (std::bad_alloc const&) {
        flush(out);
        std::fputs("motifscan: out of memory\n", stderr);
        return 1;
    }
}
