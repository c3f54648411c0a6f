// The literal gemprobe as a stand-alone program: the baseline of the benchmarks.
#include "reference_model.h"

int main() { return referenceGemprobe(stdin, stdout); }
