#pragma once

#include "diamond.h"
#include "filter.h"
#include "planes.h"
#include "point_pipeline.h"
#include "point_split.h"

#include <cstddef>
#include <memory>

struct Input;
struct Output;

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

constexpr std::size_t defaultSplitFrom = std::size_t{32} << 10;

// Storage for a set, reused from one set to the next so that a run of many
// small sets does not allocate for each; no values carry over.
struct queryWorkspace {
    solid diamond;
    std::vector<plane> planes;
    pointFilter filter;
    // Blocks of at least this many unread bytes, in a query section that
    // can fill them, are split between two threads; 0 splits every block
    // with two points or more left, whatever their size (for the tests).
    std::size_t splitFrom = defaultSplitFrom;
    // Long sections of a source read at offsets go to the pipeline, in
    // blocks of this many bytes; 0: never (with splitFrom 0: every section
    // of two points or more, for the tests).
    std::size_t pipelineBlock = defaultPipelineBlock;
    std::unique_ptr<splitHelper> splitter;  // started with the first split
    std::unique_ptr<pointPipeline> pipeline;
};

// Reads the query section and prints one verdict per point. A point is in the
// solid exactly when no wall sees it strictly on the side opposite to its
// orientation. The walls are oriented here, once the number of points is
// known: a set without points needs no orientations, one point takes the
// exact test, and more points the filter, which orients the walls as it is
// built.
bool checkPoints(Input& in, Output& out, solid& diamond, queryWorkspace& work);

// One whole test set: its diamond, then its queries, then the empty line.
bool analizujZestaw(Input& in, Output& out, queryWorkspace& work);

// Every set of the input. Reads nothing after the last announced set.
bool runGemprobe(Input& in, Output& out, std::size_t splitFrom = defaultSplitFrom,
                 std::size_t pipelineBlock = defaultPipelineBlock);
