#include "cells.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>

namespace gemprobe {

// Why a cell's state holds
// ------------------------
// Take one plane's lane (filter.h): p0d, nd = orientation * n rounded to
// double, and m (the lane's m * C divided by C = 2^-50, exact). For a point q
// in the certified range (filter.cpp), let L(q) = nd . (q - p0d) in exact
// arithmetic and S(q) = sum_k (|q_k| + |p0_k|) m_k. Steps 1 to 3 of the
// filter's bound give |D_ext - n . (q - p0)| <= 8 ue S and
// |n . (q - p0) - nd . (q - p0)| <= (ud + 3 ue) S, and replacing p0 by p0d
// moves nd . (q - p0) by at most ud S: so orientation * D_ext differs from
// L(q) by less than 3 ud S(q) = 3 2^-53 S(q).
//
// Over a box, L is linear and S convex, so L's least and greatest values and
// S's greatest are taken at corners; both are sums of one term per axis, so
// the extremes are sums of each axis' extreme terms at the box's two ends.
// If, computed in extended precision (error below 2^-60 S),
//     least L >= 2^-40 max S    the plane passes every point of the box,
//     most L <= -2^-40 max S    the plane rejects every point of the box,
// since 2^-40 - 2^-60 far exceeds 3 2^-53. A cell whose every plane passes
// it is inside; one that some plane rejects is outside.
//
// A query is looked up by its coordinates rounded to double, qd, with a
// scaled difference computed in double: qd's computed cell is its true cell
// up to a few ud of 32 cells, and q is within ud |q| of qd. The grid is kept
// only when that is below 1/16 of a cell on each axis, and each cell is
// certified enlarged by 1/8 of a cell on every side, so the box certified
// for a cell holds every q that can be looked up in it.
//
// Beyond the grid
// ---------------
// With c the grid's centre and h_k its half-size on axis k, take one patch
// of one face, say the face of +x: the directions e = (h_x, s h_y, t h_z)
// with s and t in the patch's ranges, each widened by 1/8 of the patch on
// both sides; and the region R of the points c + lambda e, lambda >= 7/8.
// R is convex, and each of its points is a + b with a in the hull of the
// four corner points P_i = c + 7/8 e_i and b in the cone of the four corner
// directions e_i. For one plane, L(a + b) = L(a) + n . b, and S(a + b) <=
// S(a) + sum_k |b_k| m_k, where n . b and that sum are linear and convex in
// b as S and L are in a. So if, computed in extended precision,
//     L(P_i) <= -2^-40 S(P_i)              at the four corner points,
//     n . e_i <= -2^-40 sum_k |e_ik| m_k   along the four corner directions,
// then L(q) <= -(2^-40 - 2^-60) S(q), and L(q) < 0, for every q in R
// (|n_k| <= m_k bounds the error of each left side by 2^-60 times its right
// side's sum; the corners are taken as computed, and the widening below
// dwarfs their rounding): the plane rejects every point of R, as above for
// a cell.
//
// The lookup finds the patch from qd's place (a, b, c) in cells from the
// centre: the face of the axis farthest out and the ratios of the other two
// to it. Its error is a few ud of the point's distance plus the 2^-48 of 32
// cells that the grid allows (above), so a point found 16 cells or more
// from the centre is q at 14 or more (lambda >= 7/8), and its ratios are
// q's within 2^-14, far less than the 1/32 that each patch is widened by.
// Each patch is tried against one plane: the one whose outward normal
// points most nearly along the patch's middle direction.

namespace {

constexpr int gridResolution = 32;  // a power of two: the cells are an octree's leaves
constexpr int farResolution = 8;    // patches per edge of a face
constexpr long double margin = 0x1p-40L;

struct lane {
    long double p0[3], n[3], m[3];
};

// One plane's terms of L and S per axis, at the grid's lines moved out by
// 1/8 of a cell: L and S are sums of one term per axis, so over a box L's
// least (greatest) value is the sum of each axis' least (greatest) term at
// the box's two ends, and so is S's greatest.
struct axisTerms {
    long double low[gridResolution + 1], high[gridResolution + 1];  // at line i - 1/8, i + 1/8
};

struct laneTerms {
    axisTerms value[3], size[3];  // n_k (q_k - p0_k) and (|q_k| + |p0_k|) m_k
};

struct builder {
    cellGrid& grid;
    std::vector<laneTerms> const& terms;
    std::vector<std::uint32_t> candidates[std::bit_width(unsigned{gridResolution}) + 1];

    void fill(int const at[3], int span, cellState state) {
        std::size_t const r = gridResolution;
        for (int z = at[2]; z < at[2] + span; ++z)
            for (int y = at[1]; y < at[1] + span; ++y)
                for (int x = at[0]; x < at[0] + span; ++x)
                    grid.states[(static_cast<std::size_t>(z) * r + static_cast<std::size_t>(y)) * r +
                                static_cast<std::size_t>(x)] = state;
    }

    // The cells from `at` on, span of them per axis, against the planes in
    // candidates[level] (those that pass no enclosing box as a whole); the
    // planes left undecided go to candidates[level + 1] for the octants.
    void classify(int const at[3], int span, std::size_t level) {
        std::vector<std::uint32_t>& left = candidates[level + 1];
        left.clear();
        for (std::uint32_t const c : candidates[level]) {
            laneTerms const& t = terms[c];
            long double least = 0, most = 0, largest = 0;
            for (int k = 0; k < 3; ++k) {
                long double const a = t.value[k].low[at[k]], b = t.value[k].high[at[k] + span];
                least += std::min(a, b);
                most += std::max(a, b);
                largest += std::max(t.size[k].low[at[k]], t.size[k].high[at[k] + span]);
            }
            // (S is 0 only for a plane of no normal, which orientation 0
            // keeps out; it decides nothing here either.)
            if (largest > 0 && most <= -margin * largest) return fill(at, span, cellState::outside);
            if (!(largest > 0 && least >= margin * largest)) left.push_back(c);
        }
        if (left.empty()) return fill(at, span, cellState::inside);
        if (span == 1) return;  // undecided
        int const half = span / 2;
        for (int octant = 0; octant < 8; ++octant) {
            int const child[3] = {at[0] + (octant & 1) * half, at[1] + (octant >> 1 & 1) * half,
                                  at[2] + (octant >> 2 & 1) * half};
            classify(child, half, level + 1);
        }
    }
};

// The far patches of a grid with that centre and half-sizes, as above.
void fillFarPatches(cellGrid& grid, std::vector<lane> const& lanes, long double const centre[3],
                    long double const half[3]) {
    int const r = farResolution;
    grid.far.assign(std::size_t{6} * r * r, cellState::undecided);
    grid.farResolution = r;
    // Each plane's normal scaled to length 1 (or left 0), for choosing the
    // plane to try: only the verdict below needs care.
    std::vector<std::array<double, 3>> units(lanes.size());
    for (std::size_t l = 0; l < lanes.size(); ++l) {
        double const n[3] = {static_cast<double>(lanes[l].n[0]), static_cast<double>(lanes[l].n[1]),
                             static_cast<double>(lanes[l].n[2])};
        double const length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (length > 0 && std::isfinite(length)) units[l] = {n[0] / length, n[1] / length, n[2] / length};
    }
    for (int face = 0; face < 6; ++face) {
        int const axis = face / 2, along = (axis + 1) % 3, across = (axis + 2) % 3;
        long double const side = face % 2 == 1 ? 1 : -1;
        for (int j = 0; j < r; ++j) {
            for (int i = 0; i < r; ++i) {
                // The patch's ranges of ratios, widened by 1/8 of a patch.
                long double const width = 2.0L / r;
                long double const alongRange[2] = {-1 + (i - 0.125L) * width, -1 + (i + 1.125L) * width};
                long double const acrossRange[2] = {-1 + (j - 0.125L) * width, -1 + (j + 1.125L) * width};
                long double corners[4][3];
                for (int corner = 0; corner < 4; ++corner) {
                    corners[corner][axis] = side * half[axis];
                    corners[corner][along] = alongRange[corner & 1] * half[along];
                    corners[corner][across] = acrossRange[corner >> 1] * half[across];
                }
                long double middle[3];
                for (int k = 0; k < 3; ++k)
                    middle[k] = (corners[0][k] + corners[1][k] + corners[2][k] + corners[3][k]) / 4;
                // The inward normal most nearly against the middle direction.
                lane const* best = nullptr;
                double bestCosine = 0;
                for (std::size_t l = 0; l < lanes.size(); ++l) {
                    double const cosine = -(units[l][0] * static_cast<double>(middle[0]) +
                                            units[l][1] * static_cast<double>(middle[1]) +
                                            units[l][2] * static_cast<double>(middle[2]));
                    if (cosine > bestCosine) bestCosine = cosine, best = &lanes[l];
                }
                if (best == nullptr) continue;
                bool rejected = true;
                for (auto const& e : corners) {
                    long double value = 0, size = 0, direction = 0, directionSize = 0;
                    for (int k = 0; k < 3; ++k) {
                        long double const p = centre[k] + 0.875L * e[k];
                        value += best->n[k] * (p - best->p0[k]);
                        size += (std::fabs(p) + std::fabs(best->p0[k])) * best->m[k];
                        direction += best->n[k] * e[k];
                        directionSize += std::fabs(e[k]) * best->m[k];
                    }
                    rejected = rejected && size > 0 && value <= -margin * size &&
                               direction <= -margin * directionSize;
                }
                if (rejected) grid.far[static_cast<std::size_t>((face * r + j) * r + i)] = cellState::outside;
            }
        }
    }
}

}  // namespace

cellGrid gridOf(std::vector<plane> const& planes, pointFilter const& filter) {
    cellGrid grid;
    std::vector<lane> lanes;
    for (filterBlock const& b : filter.blocks) {
        for (int i = 0; i < 4; ++i) {
            lane const l{{b.p0x[i], b.p0y[i], b.p0z[i]},
                         {b.nx[i], b.ny[i], b.nz[i]},
                         {b.mx[i] * 0x1p50L, b.my[i] * 0x1p50L, b.mz[i] * 0x1p50L}};
            // A plane out of the certified range (m NaN) leaves no grid.
            if (std::isnan(l.m[0] + l.m[1] + l.m[2])) return grid;
            lanes.push_back(l);
        }
    }
    if (lanes.empty()) return grid;
    // The vertices that define the planes span the solid but for its far
    // corners; the grid reaches a quarter of their span beyond them on
    // every side, so that points near the solid are decided too.
    double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (plane const& p : planes) {
        for (int j = 0; j < 3; ++j) {
            double const v[3] = {static_cast<double>(p.vertices[j].x), static_cast<double>(p.vertices[j].y),
                                 static_cast<double>(p.vertices[j].z)};
            for (int k = 0; k < 3; ++k) low[k] = std::min(low[k], v[k]), high[k] = std::max(high[k], v[k]);
        }
    }
    long double origin[3], size[3];
    for (int k = 0; k < 3; ++k) {
        double const extent = high[k] - low[k];
        double const from = low[k] - extent / 4, to = high[k] + extent / 4;
        double const cell = (to - from) / gridResolution;
        if (!(cell > 0) || !std::isfinite(to - from) ||
            !(cell / 16 >= 0x1p-48 * (std::fabs(from) + std::fabs(to))))
            return grid;
        origin[k] = from;
        size[k] = cell;
    }
    std::vector<laneTerms> terms(lanes.size());
    for (std::size_t i = 0; i < lanes.size(); ++i) {
        lane const& l = lanes[i];
        for (int k = 0; k < 3; ++k) {
            for (int line = 0; line <= gridResolution; ++line) {
                long double const low = origin[k] + (line - 0.125L) * size[k];
                long double const high = origin[k] + (line + 0.125L) * size[k];
                terms[i].value[k].low[line] = l.n[k] * (low - l.p0[k]);
                terms[i].value[k].high[line] = l.n[k] * (high - l.p0[k]);
                terms[i].size[k].low[line] = (std::fabs(low) + std::fabs(l.p0[k])) * l.m[k];
                terms[i].size[k].high[line] = (std::fabs(high) + std::fabs(l.p0[k])) * l.m[k];
            }
        }
    }
    builder build{grid, terms, {}};
    grid.states.assign(std::size_t{gridResolution} * gridResolution * gridResolution, cellState::undecided);
    grid.resolution = gridResolution;
    for (std::vector<std::uint32_t>& level : build.candidates) level.reserve(lanes.size());
    for (std::uint32_t i = 0; i < lanes.size(); ++i) build.candidates[0].push_back(i);
    int const first[3] = {0, 0, 0};
    build.classify(first, gridResolution, 0);
    grid.lowX = static_cast<double>(origin[0]), grid.lowY = static_cast<double>(origin[1]),
    grid.lowZ = static_cast<double>(origin[2]);
    grid.scaleX = static_cast<double>(1 / size[0]), grid.scaleY = static_cast<double>(1 / size[1]),
    grid.scaleZ = static_cast<double>(1 / size[2]);
    long double centre[3], half[3];
    for (int k = 0; k < 3; ++k) {
        half[k] = size[k] * (gridResolution / 2);
        centre[k] = origin[k] + half[k];
    }
    fillFarPatches(grid, lanes, centre, half);
    return grid;
}

}  // namespace gemprobe
