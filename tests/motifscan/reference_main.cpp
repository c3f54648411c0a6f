// motifscan_reference: the literal program on standard input and output. Its
// standard output is the literal program's; only one thing is added, on
// standard error: "input ends in task K" when task K's pattern count or one of
// its pattern lines meets the end of input.

#include "reference_model.h"

#include <cstdio>

int main() {
    int const taskWhereInputEnds = referenceMotifscan(stdout);
    if (taskWhereInputEnds != 0) std::fprintf(stderr, "input ends in task %d\n", taskWhereInputEnds);
    return 0;
}
