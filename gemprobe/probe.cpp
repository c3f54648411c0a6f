#include "probe.h"

#include "filter.h"
#include "input.h"
#include "output.h"
#include "planes.h"


bool checkPoints(Input& in, Output& out, std::vector<wall> const& diamond) {
    int queryCount = 0;
    if (!readCount(in, "the number of points", queryCount)) return false;
    std::vector<plane> const planes = planesOf(diamond);
    pointFilter const filter = filterOf(planes);
    for (int i = 0; i < queryCount; ++i) {
        vec3 q;
        if (!readPoint(in, "a point coordinate", q)) return false;
        if (containsFiltered(filter, planes, q)) {
            put(out, "TAK\n", 4);
        } else {
            put(out, "NIE\n", 4);
        }
        if (out.writeError != 0) return false;
    }
    return true;
}

bool analizujZestaw(Input& in, Output& out) {
    std::vector<wall> diamond;
    if (!readDiament(in, diamond)) return false;
    calculateOrientations(diamond);
    if (!checkPoints(in, out, diamond)) return false;
    put(out, "\n", 1);
    return out.writeError == 0;
}

bool runGemprobe(Input& in, Output& out) {
    int setCount = 0;
    if (!readCount(in, "the number of sets", setCount)) return false;
    for (int k = 0; k < setCount; ++k) {
        if (!analizujZestaw(in, out)) return false;
    }
    return true;
}
