#include "probe.h"

#include "input.h"
#include "output.h"

bool checkPoints(Input& in, Output& out, solid& diamond, queryWorkspace& work) {
    int queryCount = 0;
    if (!readCount(in, "the number of points", queryCount)) return false;
    if (queryCount <= 0) return true;
    // Preparing the filter costs about one exact test per wall: a single
    // point is cheaper to test exactly.
    bool const filtered = queryCount > 1;
    if (filtered) {
        orientAndPrepareFilter(diamond, work.planes, work.filter, queryCount);
    } else {
        calculateOrientations(diamond);
        preparePlanes(diamond, work.planes);
    }
    for (int i = 0; i < queryCount; ++i) {
        vec3 q;
        if (!readPoint(in, "a point coordinate", q)) return false;
        if (filtered ? containsFiltered(work.filter, work.planes, q) : containsExact(work.planes, q)) {
            put(out, "TAK\n", 4);
        } else {
            put(out, "NIE\n", 4);
        }
        if (out.writeError != 0) return false;
    }
    return true;
}

bool analizujZestaw(Input& in, Output& out, queryWorkspace& work) {
    if (!readDiament(in, work.diamond)) return false;
    if (!checkPoints(in, out, work.diamond, work)) return false;
    put(out, "\n", 1);
    return out.writeError == 0;
}

bool runGemprobe(Input& in, Output& out) {
    int setCount = 0;
    if (!readCount(in, "the number of sets", setCount)) return false;
    queryWorkspace work;
    for (int k = 0; k < setCount; ++k) {
        if (!analizujZestaw(in, out, work)) return false;
    }
    return true;
}
