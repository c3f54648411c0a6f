// motifscan: for every task, how many pattern occurrences a left-to-right
// scan of the message completes. Reads tasks from standard input, prints one
// count per task.

#include "driver.h"
#include "input.h"
#include "output.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

Output out;  // large block buffer, kept out of the stack

}  // namespace

int main() {
    Input in = inputFromStandardInput();
    in.flushBeforeRead = &out;
    bool finished = false;
    try {
        finished = runMotifscan(in, out);
    } catch (std::bad_alloc const&) {
        flush(out);
        std::fputs("motifscan: out of memory\n", stderr);
        return 1;
    }
    // A mapped file cut inside a page reads as zero bytes there, with no fault.
    if (finished && mappedFileShrank(in)) {
        finished = false;
        in.error = std::string("read error: ") + std::strerror(in.readError);
    }
    flush(out);
    if (out.writeError != 0) {
        std::fprintf(stderr, "motifscan: write error: %s\n", std::strerror(out.writeError));
        return 1;
    }
    if (!finished) {
        std::fprintf(stderr, "motifscan: %s\n", in.error.c_str());
        return 1;
    }
    return 0;
}
