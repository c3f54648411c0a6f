#pragma once

#include "vec3.h"

#include <vector>

struct Input;

// One plane face of the solid. Only the first three vertices define its plane;
// the others matter only when this wall is the reference of another wall.
struct wall {
    std::vector<vec3> vertices;
    int orientation = 0;  // det sign of the inside; 0 = undecided, imposes nothing
};

// Reads three coordinates x y z.
bool readPoint(Input& in, char const* what, vec3& point);

// Reads one diamond section into `diamond` (empty on entry):
//   W                 number of walls; 0 or less means no walls
//   W times: V x1 y1 z1 ... xV yV zV
// A wall needs at least three vertices and a diamond with walls at least two
// (the orientation of a wall is learnt from another wall). Memory grows only
// with what is actually read, never with a count. On failure returns false
// with the reason in the input's error.
bool readDiament(Input& in, std::vector<wall>& diamond);

// Gives every wall the det sign of the side where the solid lies: the first
// vertex of the reference wall (the first wall, or the second for the first
// wall itself) that is off the wall's plane decides. If all of the reference's
// vertices lie in the plane, the orientation stays 0.
void calculateOrientations(std::vector<wall>& diamond);
