// gemprobe: for every query point, whether it lies in a convex solid.
// Reads test sets from standard input, prints TAK or NIE per point.

#include "input.h"
#include "output.h"
#include "probe.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

namespace {

// The verdicts are defined by 80-bit arithmetic rounded to nearest; make sure
// the x87 unit is set that way (64-bit significand, round to nearest even)
// whatever the loader or a library left behind.
void useExtendedPrecisionRoundToNearest() {
    unsigned short control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    control = static_cast<unsigned short>((control & ~0x0F00u) | 0x0300u);
    __asm__ volatile("fldcw %0" : : "m"(control));
}

gemprobe::output out;  // large block buffer, kept out of the stack

constexpr char const* usage =
    "Usage: gemprobe [OPTION]... < INPUT\n"
    "Read test sets from standard input: a convex solid given by its walls, then\n"
    "query points. For each point print TAK (yes: the point lies in the solid,\n"
    "its boundary included) or NIE (no), one line per point, and an empty line\n"
    "after each set.\n"
    "\n"
    "  --help     display this help and exit\n"
    "  --version  output version information and exit\n"
    "\n"
    "Exit status: 0 when every set was answered; 1 when the input cannot be\n"
    "processed or the output cannot be written; 2 for a wrong command line.\n"
    "Full documentation: man gemprobe\n";

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
    std::fprintf(stderr,
                 refusedIsOption ? "gemprobe: unrecognized option '%s'\n" : "gemprobe: extra operand '%s'\n",
                 refused);
    std::fputs("Try 'gemprobe --help' for more information.\n", stderr);
    return request::usageError;
}

// Prints the help or the version; returns the exit status.
int answer(request asked) {
    std::fputs(asked == request::help ? usage : "gemprobe " PROJECT_VERSION "\n", stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "gemprobe: write error: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    request const asked = readCommandLine(argc, argv);
    if (asked == request::usageError) return 2;
    if (asked != request::run) return answer(asked);

    useExtendedPrecisionRoundToNearest();
    // Every allocation, the input's block and the error message included,
    // happens inside: out of memory anywhere keeps the answers judged so far.
    try {
        gemprobe::input in = gemprobe::inputFromFd(0);
        in.flushBeforeRead = &out;
        bool const finished = gemprobe::runGemprobe(in, out);
        if (!flush(out)) {
            std::fprintf(stderr, "gemprobe: write error: %s\n", std::strerror(out.writeError));
            return 1;
        }
        if (!finished) {
            std::fprintf(stderr, "gemprobe: %s\n", in.error.c_str());
            return 1;
        }
        return 0;
    } catch (std::bad_alloc const&) {
        flush(out);
        std::fputs("gemprobe: out of memory\n", stderr);
        return 1;
    }
}
