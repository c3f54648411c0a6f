// gemprobe: for every query point, whether it lies in a convex solid.
// Reads test sets from standard input, prints TAK or NIE per point.

#include "input.h"
#include "output.h"
#include "probe.h"

#include <cstdio>
#include <cstring>
#include <new>

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

Output out;  // large block buffer, kept out of the stack

}  // namespace

int main() {
    useExtendedPrecisionRoundToNearest();
    Input in = inputFromFd(0);
    in.flushBeforeRead = &out;
    bool finished = false;
    try {
        finished = runGemprobe(in, out);
    } catch (std::bad_alloc const&) {
        flush(out);
        std::fputs("gemprobe: out of memory\n", stderr);
        return 1;
    }
    bool const written = flush(out);
    if (!written || out.writeError != 0) {
        std::fprintf(stderr, "gemprobe: write error: %s\n", std::strerror(out.writeError));
        return 1;
    }
    if (!finished) {
        std::fprintf(stderr, "gemprobe: %s\n", in.error.c_str());
        return 1;
    }
    return 0;
}
