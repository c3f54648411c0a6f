"""The Python module gemprobe: arrays in, verdicts out, errors as ValueError."""

import threading

import numpy as np
import pytest

import gemprobe

UNIT_CUBE = [
    [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0)],
    [(0, 0, 1), (0, 1, 1), (1, 1, 1), (1, 0, 1)],
    [(0, 0, 0), (0, 0, 1), (1, 0, 1), (1, 0, 0)],
    [(0, 1, 0), (1, 1, 0), (1, 1, 1), (0, 1, 1)],
    [(0, 0, 0), (0, 1, 0), (0, 1, 1), (0, 0, 1)],
    [(1, 0, 0), (1, 0, 1), (1, 1, 1), (1, 1, 0)],
]


def cube(dtype):
    return gemprobe.Solid([np.array(wall, dtype=dtype) for wall in UNIT_CUBE])


@pytest.mark.parametrize("dtype", [np.float64, np.longdouble])
def test_verdicts_of_both_dtypes(dtype):
    solid = cube(dtype)
    rng = np.random.default_rng(1)
    points = rng.uniform(-0.5, 1.5, size=(10000, 3))
    expected = np.all((points >= 0) & (points <= 1), axis=1)
    verdicts = solid.contains(points.astype(dtype))
    assert verdicts.dtype == np.bool_ and verdicts.shape == (10000,)
    np.testing.assert_array_equal(verdicts, expected)
    # Boundary included: corners, edges and faces.
    on_boundary = np.array([[0, 0, 0], [1, 1, 1], [0.5, 0, 0], [0.5, 0.5, 1]], dtype=dtype)
    assert solid.contains(on_boundary).all()


def test_one_point_gives_a_bool():
    solid = cube(np.float64)
    assert solid.contains(np.array([0.5, 0.5, 0.5])) is True
    assert solid.contains([2.0, 0.5, 0.5]) is False
    assert solid.contains(np.zeros((0, 3))).shape == (0,)


def test_longdouble_coordinates_are_not_narrowed():
    solid = cube(np.longdouble)
    beyond = np.longdouble(1) + np.longdouble(2) ** -60  # 1.0 as a float64
    assert solid.contains(np.array([beyond, 0.5, 0.5], dtype=np.longdouble)) is False
    assert solid.contains(np.array([float(beyond), 0.5, 0.5])) is True
    # The program's example: this face point of the tetrahedron is outside
    # by one rounding of the slanted wall's det.
    tetrahedron = gemprobe.Solid(
        [
            np.array(w, dtype=np.longdouble)
            for w in [
                [(0, 0, 0), (1, 0, 0), (0, 1, 0)],
                [(0, 0, 0), (0, 1, 0), (0, 0, 1)],
                [(0, 0, 0), (0, 0, 1), (1, 0, 0)],
                [(1, 0, 0), (0, 1, 0), (0, 0, 1)],
            ]
        ]
    )
    face = np.array(["0.1", "0.1", "0.8"], dtype=np.longdouble)
    assert tetrahedron.contains(face) is False


def test_layouts_and_threads_give_the_same_verdicts():
    solid = cube(np.float64)
    points = np.random.default_rng(2).uniform(-0.5, 1.5, size=(20000, 3))
    expected = solid.contains(points)
    np.testing.assert_array_equal(solid.contains(np.asfortranarray(points)), expected)
    np.testing.assert_array_equal(solid.contains(points[::-1])[::-1], expected)
    results = [None] * 4
    threads = [threading.Thread(target=lambda k=k: results.__setitem__(k, solid.contains(points))) for k in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(np.array_equal(r, expected) for r in results)


@pytest.mark.parametrize(
    "points",
    [np.zeros((4, 2)), np.zeros((2, 3, 3)), np.zeros(2), np.zeros(()), np.zeros((3, 1))],
)
def test_wrong_shapes_of_points(points):
    with pytest.raises(ValueError, match="shape"):
        cube(np.float64).contains(points)


@pytest.mark.parametrize("dtype", [np.int64, np.float32, np.complex128, object])
def test_wrong_dtypes(dtype):
    with pytest.raises(ValueError, match="float64 or numpy.longdouble"):
        cube(np.float64).contains(np.zeros((2, 3), dtype=dtype))
    with pytest.raises(ValueError, match="float64 or numpy.longdouble"):
        gemprobe.Solid([np.array(wall, dtype=dtype) for wall in UNIT_CUBE])


def test_wrong_shapes_of_walls():
    with pytest.raises(ValueError, match=r"found shape \(3,\)"):
        gemprobe.Solid(np.array(UNIT_CUBE[0], dtype=np.float64))  # one wall, not a list of walls
    with pytest.raises(ValueError, match=r"found shape \(4, 2\)"):
        gemprobe.Solid([np.zeros((4, 2)), np.zeros((4, 2))])


def test_the_programs_errors():
    triangle = np.array([(0, 0, 0), (1, 0, 0), (0, 1, 0)], dtype=np.float64)
    with pytest.raises(ValueError, match="^expected a solid of at least 2 walls, found 1 wall$"):
        gemprobe.Solid([triangle])
    with pytest.raises(ValueError, match="^expected a wall of at least 3 vertices, found 2 vertices$"):
        gemprobe.Solid([triangle, triangle[:2]])
