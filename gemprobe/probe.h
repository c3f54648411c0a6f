#pragma once

#include "cells.h"
#include "diamond.h"
#include "filter.h"
#include "planes.h"

#include <cstddef>

namespace gemprobe {

struct input;
struct output;

// Input of the whole program:
//   T                    number of test sets (0 or less: none)
//   T times:
//     diamond section    (see readDiament)
//     Q                  number of query points (0 or less: none)
//     Q times: x y z
// Output: "TAK\n" for a point in the solid (boundary included), "NIE\n" for
// one outside, and "\n" after every set.
//
// Each of the functions returns false when the run cannot go on: the input's
// error says why, or the output's writeError is set.

// Storage for a set, reused from one set to the next so that a run of many
// small sets does not allocate for each; no values carry over.
struct queryWorkspace {
    solid diamond;
    std::vector<plane> planes;
    pointFilter filter;
    cellGrid cells;  // only for sets of enough points to repay it
};

// Reads the query section and prints one verdict per point. A point is in the
// solid exactly when no wall sees it strictly on the side opposite to its
// orientation. The walls are oriented here, once the number of points is
// known: a set without points needs no orientations, one point takes the
// exact test, and more points the filter, which orients the walls as it is
// built.
bool checkPoints(input& in, output& out, solid& diamond, queryWorkspace& work);

// One whole test set: its diamond, then its queries, then the empty line.
bool analizujZestaw(input& in, output& out, queryWorkspace& work);

// Every set of the input. Reads nothing after the last announced set.
bool runGemprobe(input& in, output& out);

}  // namespace gemprobe
