#include "probe.h"

#include "input.h"
#include "output.h"

bool checkPoints(Input& in, Output& out, std::vector<wall> const& diamond, queryWorkspace& work) {
    int queryCount = 0;
    if (!readCount(in, "the number of points", queryCount)) return false;
    preparePlanes(diamond, work.planes);
    prepareFilter(work.planes, work.filter, queryCount);
    for (int i = 0; i < queryCount; ++i) {
        vec3 q;
        if (!readPoint(in, "a point coordinate", q)) return false;
        if (containsFiltered(work.filter, work.planes, q)) {
            put(out, "TAK\n", 4);
        } else {
            put(out, "NIE\n", 4);
        }
        if (out.writeError != 0) return false;
    }
    return true;
}

bool analizujZestaw(Input& in, Output& out, queryWorkspace& work) {
    std::vector<wall> diamond;
    if (!readDiament(in, diamond)) return false;
    calculateOrientations(diamond);
    if (!checkPoints(in, out, diamond, work)) return false;
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
