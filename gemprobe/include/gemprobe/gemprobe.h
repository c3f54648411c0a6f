#pragma once

// gemprobe as a library: whether points lie in a convex solid given by its
// walls, with the verdicts of the gemprobe program, for points already in
// memory.
//
// Arithmetic: every coordinate, difference and product is x87 extended
// precision (long double, 64-bit significand), and each sign is exact with
// no tolerance. The library assumes what Linux sets up for every thread: the
// x87 unit in 64-bit precision, rounding to nearest (ties to even). A caller
// that changes the x87 control word (precision or rounding) gets verdicts
// that may differ from the program's on points near a wall.

#include <cstddef>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

namespace gemprobe {

// A point in space, or a vertex of a wall.
struct Point {
    long double x, y, z;
};

// What the constructors of Solid throw for walls the program would refuse.
// what() is the program's message without its "gemprobe: line N: " prefix,
// for instance "expected a wall of at least 3 vertices, found 2 vertices" or
// "expected a solid of at least 2 walls, found 1 wall".
class InvalidSolid : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// A solid: the intersection of the closed half-spaces of its walls. A wall is
// the plane through its first three vertices; which side is inside is learnt
// from the other walls' vertices (from the second wall's for the first wall,
// from the first wall's for every other), so walls may list their vertices
// in either winding, exactly as in the program's input. A wall whose
// reference vertices all lie in its plane imposes nothing. A solid with no
// walls holds every point.
//
// Thread safety: a Solid is fully prepared by its constructor and never
// changes afterwards, so any number of threads may query one Solid (or
// copies of it) at once. Copies share the prepared data and are cheap; a
// moved-from Solid may only be assigned to or destroyed.
class Solid {
public:
    // Builds the solid from its walls, in order; each wall is its vertices.
    // Throws InvalidSolid when there is exactly one wall ("expected a solid
    // of at least 2 walls, found 1 wall") or, checked next and in order, for
    // the first wall of fewer than three vertices ("expected a wall of at
    // least 3 vertices, found N vertices", "found 1 vertex" for one), and
    // std::bad_alloc when out of memory. The vertices are copied.
    // Cost: linear in the vertices, plus the preparation of the queries: a
    // grid of 32^3 cells (32 KiB) sorted into inside, outside and near a
    // wall, about 0.3 ms for a cube and 2 ms for 80 walls.
    explicit Solid(std::vector<std::vector<Point>> const& walls);
    // The same, from views of the walls held elsewhere.
    explicit Solid(std::span<std::span<Point const> const> walls);

    // Whether the point lies in the solid, its boundary included: no wall
    // sees it strictly on the side opposite to the inside. The verdict is
    // the program's for the same coordinates (infinities and NaN included).
    // Cost: most points are decided by the cell they lie in; in a cell near
    // a wall, by double-precision plane tests four walls at a time, and
    // only a point too close to a wall to call takes the exact
    // extended-precision test of that wall. Allocates nothing and throws
    // nothing.
    bool contains(Point const& point) const;

    // contains() for every point, verdicts[i] for points[i]: on one thread
    // about 10 to 40 ns a point on a machine where the program takes 80 to
    // 130 ns to read and judge one written as text. Throws
    // std::invalid_argument, and writes nothing, when the two spans differ
    // in size.
    void contains(std::span<Point const> points, std::span<bool> verdicts) const;

private:
    struct Prepared;
    std::shared_ptr<Prepared const> prepared_;
};

}  // namespace gemprobe
