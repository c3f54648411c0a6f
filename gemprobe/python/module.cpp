// The Python module gemprobe: Solid(walls) and Solid.contains(points) over
// numpy arrays of float64 or numpy.longdouble coordinates.

#include <gemprobe/gemprobe.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

static_assert(sizeof(long double) == 16, "numpy.longdouble is taken to be the x87 extended format");

// "(4, 2)" for an array of that shape, as numpy writes it.
std::string shapeText(py::array const& a) {
    std::string text = "(";
    for (py::ssize_t k = 0; k < a.ndim(); ++k) {
        if (k > 0) text += ", ";
        text += std::to_string(a.shape(k));
    }
    return text + (a.ndim() == 1 ? ",)" : ")");
}

// The object as an array of float64 or numpy.longdouble, in neither case
// converted; ValueError for any other dtype. `what` names the argument.
py::array coordinatesOf(py::handle object, char const* what) {
    py::array const a = py::array::ensure(object);
    if (!a) throw py::value_error(std::string("expected ") + what + " as an array of coordinates");
    char const kind = a.dtype().char_();
    if (kind != 'd' && kind != 'g')
        throw py::value_error(std::string("expected ") + what +
                              " of dtype float64 or numpy.longdouble, found " +
                              py::str(a.dtype()).cast<std::string>());
    return a;
}

// Rows `first` to `first + count` of an (n, 3) array (or its only row when
// one-dimensional) as points. The array is C-contiguous of its own dtype.
template <class T>
void copyRows(py::array const& a, std::size_t first, std::size_t count, gemprobe::Point* points) {
    T const* const data = static_cast<T const*>(a.data()) + 3 * first;
    for (std::size_t i = 0; i < count; ++i) points[i] = {data[3 * i], data[3 * i + 1], data[3 * i + 2]};
}

void copyRows(py::array const& a, std::size_t first, std::size_t count, gemprobe::Point* points) {
    if (a.dtype().char_() == 'd')
        copyRows<double>(a, first, count, points);
    else
        copyRows<long double>(a, first, count, points);
}

// C-contiguous in its own dtype (a copy only when it is not).
py::array contiguous(py::array const& a) {
    if (a.dtype().char_() == 'd')
        return py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(a);
    return py::array_t<long double, py::array::c_style | py::array::forcecast>::ensure(a);
}

gemprobe::Solid solidOf(py::iterable const& walls) {
    std::vector<std::vector<gemprobe::Point>> vertices;
    for (py::handle const item : walls) {
        py::array const wall = coordinatesOf(item, "a wall");
        if (wall.ndim() != 2 || wall.shape(1) != 3)
            throw py::value_error("expected a wall of shape (k, 3), found shape " + shapeText(wall));
        py::array const rows = contiguous(wall);
        std::size_t const count = static_cast<std::size_t>(rows.shape(0));
        vertices.emplace_back(count);
        copyRows(rows, 0, count, vertices.back().data());
    }
    // InvalidSolid is a std::invalid_argument, which pybind11 raises as ValueError.
    return gemprobe::Solid(vertices);
}

py::object contains(gemprobe::Solid const& solid, py::handle points) {
    py::array const a = contiguous(coordinatesOf(points, "points"));
    if (a.ndim() == 1 && a.shape(0) == 3) {
        gemprobe::Point point;
        copyRows(a, 0, 1, &point);
        return py::bool_(solid.contains(point));
    }
    if (a.ndim() != 2 || a.shape(1) != 3)
        throw py::value_error("expected points of shape (n, 3) or (3,), found shape " + shapeText(a));
    std::size_t const n = static_cast<std::size_t>(a.shape(0));
    py::array_t<bool> verdicts(static_cast<py::ssize_t>(n));
    bool* const out = verdicts.mutable_data();
    {
        py::gil_scoped_release released;
        // Converted a slice at a time, so that the points stay in the cache
        // between their conversion and their test.
        constexpr std::size_t slice = 1024;
        gemprobe::Point buffer[slice];
        for (std::size_t first = 0; first < n; first += slice) {
            std::size_t const count = std::min(slice, n - first);
            copyRows(a, first, count, buffer);
            solid.contains(std::span<gemprobe::Point const>(buffer, count),
                           std::span<bool>(out + first, count));
        }
    }
    return verdicts;
}

}  // namespace

PYBIND11_MODULE(gemprobe, m) {
    m.doc() =
        "Whether points lie in a convex solid, with exact 80-bit verdicts (those of the gemprobe program)";
    py::class_<gemprobe::Solid>(
        m, "Solid", "A convex solid given by its walls: the intersection of their closed half-spaces.")
        .def(py::init(&solidOf), py::arg("walls"),
             "Builds the solid from a sequence of walls, each an array of shape (k, 3) of float64 or\n"
             "numpy.longdouble vertices, k >= 3. The inside of each wall is learnt from the other walls'\n"
             "vertices, so either winding will do; no walls: every point is inside. Raises ValueError for\n"
             "a wrong shape or dtype, a wall of fewer than 3 vertices or a solid of exactly one wall.")
        .def("contains", &contains, py::arg("points"),
             "For an array of shape (n, 3) (float64 or numpy.longdouble), a bool array of shape (n,):\n"
             "whether each point lies in the solid, boundary included. For one point of shape (3,), a bool.\n"
             "Releases the GIL while it judges the points.");
}
