// The library's Solid: the program's model and point test, prepared once for
// any number of queries.

#include <gemprobe/gemprobe.h>

#include "cells.h"
#include "diamond.h"
#include "filter.h"
#include "planes.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

namespace gemprobe {

// Everything a query reads, built by the constructor and never written
// again: the planes point into the solid's vertex chunks, the filter's
// blocks and inner ball and the cells are complete. Nothing is learnt per
// query.
struct Solid::Prepared {
    solid diamond;
    std::vector<plane> planes;
    pointFilter filter;
    cellGrid cells;  // decides most points before the filter
};

namespace {

std::vector<std::span<Point const>> viewsOf(std::vector<std::vector<Point>> const& walls) {
    return {walls.begin(), walls.end()};
}

// The checks of the program's reader, in its order: the wall count before
// any wall, then each wall's vertex count.
void checkWalls(std::span<std::span<Point const> const> walls) {
    if (walls.size() == 1) throw InvalidSolid("expected a solid of at least 2 walls, found 1 wall");
    for (std::span<Point const> const w : walls) {
        if (w.size() >= 3) continue;
        throw InvalidSolid("expected a wall of at least 3 vertices, found " + std::to_string(w.size()) +
                           (w.size() == 1 ? " vertex" : " vertices"));
    }
}

}  // namespace

Solid::Solid(std::vector<std::vector<Point>> const& walls) : Solid(viewsOf(walls)) {}

Solid::Solid(std::span<std::span<Point const> const> walls) {
    checkWalls(walls);
    auto prepared = std::make_shared<Prepared>();
    std::vector<vec3> vertices;
    for (std::size_t i = 0; i < walls.size(); ++i) {
        // Only the first two walls are ever a reference, so only they need
        // more than the three vertices of their plane (as in the reader).
        std::size_t const kept = i < 2 ? walls[i].size() : 3;
        vertices.clear();
        for (Point const& v : walls[i].first(kept)) vertices.push_back({v.x, v.y, v.z});
        addWall(prepared->diamond, vertices);
    }
    // Orients the walls as calculateOrientations does and builds the filter
    // with its inner ball, as the program does for a set of many points.
    orientAndPrepareFilter(prepared->diamond, prepared->planes, prepared->filter,
                           std::numeric_limits<long>::max());
    prepared->cells = gridOf(prepared->planes, prepared->filter);
    prepared_ = std::move(prepared);
}

bool Solid::contains(Point const& point) const {
    double x, y, z;
    if (toCertifiedDouble(point.x, x) && toCertifiedDouble(point.y, y) && toCertifiedDouble(point.z, z)) {
        cellState const state = stateAt(prepared_->cells, x, y, z);
        if (state != cellState::undecided) return state == cellState::inside;
    }
    return containsFiltered(prepared_->filter, prepared_->planes, vec3{point.x, point.y, point.z});
}

void Solid::contains(std::span<Point const> points, std::span<bool> verdicts) const {
    if (points.size() != verdicts.size())
        throw std::invalid_argument("expected one verdict per point, found " +
                                    std::to_string(verdicts.size()) + " verdicts for " +
                                    std::to_string(points.size()) + " points");
    pointFilter const& filter = prepared_->filter;
    std::vector<plane> const& planes = prepared_->planes;
    cellGrid const& cells = prepared_->cells;
    innerBall const ball = filter.ball;
    // No point is within a negative square: one comparison for both of
    // containsFiltered's conditions.
    double const ballReach = ball.radiusSquared > 0 ? ball.radiusSquared : -1;
    // In two passes over a slice, as the program's point loop: the first
    // looks the points up in the cells and lists, without a branch, those
    // that no cell decides (which ones is as good as random); the second
    // takes them through containsFiltered's steps.
    constexpr std::size_t slice = 256;
    double rounded[3 * slice];
    std::uint32_t missed[slice];
    bool certain[slice];  // all three coordinates rounded by toCertifiedDouble
    for (std::size_t first = 0; first < points.size(); first += slice) {
        std::size_t const count = std::min(slice, points.size() - first);
        std::size_t misses = 0;
        for (std::size_t i = 0; i < count; ++i) {
            Point const& p = points[first + i];
            double* const r = rounded + 3 * i;
            int const certified = static_cast<int>(toCertifiedDouble(p.x, r[0])) &
                                  static_cast<int>(toCertifiedDouble(p.y, r[1])) &
                                  static_cast<int>(toCertifiedDouble(p.z, r[2]));
            cellState const state = certified != 0 ? stateAt(cells, r[0], r[1], r[2]) : cellState::undecided;
            certain[i] = certified != 0;
            missed[misses] = static_cast<std::uint32_t>(i);
            misses += state == cellState::undecided;
            verdicts[first + i] = state != cellState::outside;
        }
        for (std::size_t k = 0; k < misses; ++k) {
            std::size_t const i = missed[k];
            Point const& p = points[first + i];
            vec3 const q{p.x, p.y, p.z};
            double const* const r = rounded + 3 * i;
            double const dx = r[0] - ball.x, dy = r[1] - ball.y, dz = r[2] - ball.z;
            bool inside = true;
            if (!certain[i]) {
                inside = containsExact(planes, q);
            } else if (!(dx * dx + dy * dy + dz * dz <= ballReach)) {
                int const side = filteredSide(filter, r[0], r[1], r[2]);
                inside = side != 0 ? side > 0 : containsUndecided(filter, planes, q, r[0], r[1], r[2]);
            }
            verdicts[first + i] = inside;
        }
    }
}

}  // namespace gemprobe
