#!/usr/bin/python3
"""gemprobe.Solid.contains against numpy's usual test with the hull's plane
equations, numpy.all(points @ A.T + b <= eps, axis=1), on 10^6 float64
points and a solid of 80 walls: a prism over a regular 78-gon of radius 1
and height 1 (its vertices rounded to double), as bench_library_solid's.

Prints the best of RUNS interleaved runs of each (seconds), and how many
points the two disagree on: among the 10^6 uniform points, and among 10^5
points placed on the walls and moved off them by up to 1e-9.

    PYTHONPATH=build/release/python /usr/bin/python3 bench/gemprobe_module.py [RUNS] [EPS]
"""

import sys
import time

import numpy as np

import gemprobe

SIDES = 78


def prism():
    angles = 2 * np.pi * np.arange(SIDES) / SIDES
    bottom = np.stack([np.cos(angles), np.sin(angles), np.zeros(SIDES)], axis=1)
    top = bottom + [0, 0, 1]
    walls = []
    for k in range(SIDES):
        n = (k + 1) % SIDES
        walls.append(np.array([bottom[k], bottom[n], top[n], top[k]]))
    walls += [bottom, top]
    return walls


def equations(walls):
    """Unit outward normals A and offsets b: inside is A x + b <= 0."""
    centre = np.mean([w.mean(axis=0) for w in walls], axis=0)
    rows = []
    for w in walls:
        n = np.cross(w[1] - w[0], w[2] - w[0])
        n /= np.linalg.norm(n)
        offset = -n @ w[0]
        if n @ centre + offset > 0:
            n, offset = -n, -offset
        rows.append(np.append(n, offset))
    rows = np.array(rows)
    return rows[:, :3], rows[:, 3]


def best_of(runs, work):
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        result = work()
        best = min(best, time.perf_counter() - start)
    return best, result


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    eps = float(sys.argv[2]) if len(sys.argv) > 2 else 1e-12
    walls = prism()
    A, b = equations(walls)
    rng = np.random.default_rng(19)
    points = np.column_stack(
        [rng.uniform(-1.2, 1.2, 10**6), rng.uniform(-1.2, 1.2, 10**6), rng.uniform(-0.1, 1.1, 10**6)]
    )

    start = time.perf_counter()
    solid = gemprobe.Solid(walls)
    built = time.perf_counter() - start

    ours, theirs = float("inf"), float("inf")
    for _ in range(runs):  # interleaved
        t, exact = best_of(1, lambda: solid.contains(points))
        ours = min(ours, t)
        t, usual = best_of(1, lambda: np.all(points @ A.T + b <= eps, axis=1))
        theirs = min(theirs, t)

    # Points on the walls (random mixtures of a wall's first three
    # vertices), moved off by up to 1e-9 in a random direction.
    count = 10**5
    which = rng.integers(0, len(walls), count)
    weights = rng.dirichlet([1, 1, 1], count)
    corners = np.array([w[:3] for w in walls])[which]
    near = np.einsum("ij,ijk->ik", weights, corners)
    near += rng.normal(size=near.shape) * 10.0 ** rng.uniform(-18, -9, (count, 1))
    near_exact = solid.contains(near)
    near_usual = np.all(near @ A.T + b <= eps, axis=1)

    print(f"walls {len(walls)}, points {len(points)}, eps {eps:g}, best of {runs}")
    print(f"gemprobe.Solid(walls)            {built:.6f} s")
    print(f"gemprobe Solid.contains          {ours:.6f} s  ({exact.sum()} inside)")
    print(f"numpy all(points @ A.T + b <= eps) {theirs:.6f} s  ({usual.sum()} inside)")
    print(f"ratio numpy / gemprobe           {theirs / ours:.2f}")
    print(f"disagreements, uniform points    {np.count_nonzero(exact != usual)} of {len(points)}")
    print(f"disagreements, near-wall points  {np.count_nonzero(near_exact != near_usual)} of {count}")


if __name__ == "__main__":
    main()
