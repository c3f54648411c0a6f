// The Python module motifscan: Patterns, Counter and count over the C++
// library. Patterns are str (taken as UTF-8) or bytes; messages are str,
// bytes or any object with the buffer protocol, read in place.

#include <motifscan/motifscan.h>

#include <pybind11/pybind11.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace py = pybind11;

namespace motifscan {
namespace {

// Below this many bytes a scan takes less time than handing the interpreter
// lock to another thread and back.
constexpr std::size_t releaseLockFrom = std::size_t{1} << 14;

// The bytes of a str (its UTF-8 form, cached by the interpreter) or bytes
// object, valid while the object lives; nullptr for any other type.
bool textBytes(py::handle object, std::string_view& bytes) {
    if (PyUnicode_Check(object.ptr())) {
        Py_ssize_t size = 0;
        char const* const data = PyUnicode_AsUTF8AndSize(object.ptr(), &size);
        if (data == nullptr) throw py::error_already_set();
        bytes = std::string_view(data, static_cast<std::size_t>(size));
        return true;
    }
    if (PyBytes_Check(object.ptr())) {
        bytes = std::string_view(PyBytes_AS_STRING(object.ptr()),
                                 static_cast<std::size_t>(PyBytes_GET_SIZE(object.ptr())));
        return true;
    }
    return false;
}

// A message's bytes, held for as long as the view lives.
class messageBytes {
public:
    explicit messageBytes(py::handle message) {
        if (textBytes(message, bytes)) return;
        if (!PyObject_CheckBuffer(message.ptr())) {
            throw py::type_error("a message is str, bytes or a buffer, not " +
                                 std::string(Py_TYPE(message.ptr())->tp_name));
        }
        if (PyObject_GetBuffer(message.ptr(), &buffer, PyBUF_SIMPLE) != 0) throw py::error_already_set();
        held = true;
        bytes = std::string_view(static_cast<char const*>(buffer.buf), static_cast<std::size_t>(buffer.len));
    }
    messageBytes(messageBytes const&) = delete;
    messageBytes& operator=(messageBytes const&) = delete;
    ~messageBytes() {
        if (held) PyBuffer_Release(&buffer);
    }

    std::string_view bytes;

private:
    Py_buffer buffer{};
    bool held = false;
};

Patterns makePatterns(py::iterable const& items) {
    if (PyUnicode_Check(items.ptr()) || PyBytes_Check(items.ptr())) {
        throw py::type_error("Patterns takes a list of patterns, not a single str or bytes");
    }
    std::vector<py::object> kept;  // the items stay alive until their bytes are copied
    std::vector<std::string_view> views;
    for (py::handle item : items) {
        std::string_view bytes;
        if (!textBytes(item, bytes)) {
            throw py::type_error("a pattern is str or bytes, not " +
                                 std::string(Py_TYPE(item.ptr())->tp_name));
        }
        kept.push_back(py::reinterpret_borrow<py::object>(item));
        views.push_back(bytes);
    }
    return Patterns(views);
}

// A Counter used from Python: the interpreter lock is let go during long
// scans, so the lock here keeps two threads from feeding it at once.
struct pythonCounter {
    explicit pythonCounter(Patterns const& patterns) : counter(patterns) {}

    void feed(py::handle chunk) {
        messageBytes const message(chunk);
        if (message.bytes.size() < releaseLockFrom) {
            std::lock_guard<std::mutex> const lock(busy);
            counter.feed(message.bytes);
            return;
        }
        py::gil_scoped_release const release;
        std::lock_guard<std::mutex> const lock(busy);
        counter.feed(message.bytes);
    }

    std::uint64_t count() {
        std::lock_guard<std::mutex> const lock(busy);
        return counter.count();
    }

    Counter counter;
    std::mutex busy;
};

std::uint64_t countMessage(Patterns const& patterns, py::handle message) {
    messageBytes const bytes(message);
    if (bytes.bytes.size() < releaseLockFrom) return count(patterns, bytes.bytes);
    py::gil_scoped_release const release;
    return count(patterns, bytes.bytes);
}

}  // namespace
}  // namespace motifscan

PYBIND11_MODULE(motifscan, module) {
    using namespace motifscan;
    module.doc() =
        "Counts the occurrences of a set of patterns that a left-to-right scan of a message completes, "
        "every completed occurrence discarding the partial matches in progress: the largest number of "
        "non-overlapping occurrences. Symbols are the bytes A-Z and '*'; a pattern holding another byte "
        "never completes, and a message byte outside them breaks every partial match.";

    py::class_<Patterns>(
        module, "Patterns",
        "A compiled set of patterns (str, taken as UTF-8, or bytes), shared by any number of "
        "Counters and threads.")
        .def(py::init(&makePatterns), py::arg("patterns"))
        .def("__len__", &Patterns::size);

    py::class_<pythonCounter>(module, "Counter",
                              "Counts the occurrences in a message fed in chunks of any size; keeps its "
                              "Patterns alive.")
        .def(py::init<Patterns const&>(), py::arg("patterns"), py::keep_alive<1, 2>())
        .def("feed", &pythonCounter::feed, py::arg("chunk"),
             "Scans the next chunk of the message: str, bytes or a buffer.")
        .def_property_readonly("count", &pythonCounter::count, "The occurrences completed so far.");

    module.def("count", &countMessage, py::arg("patterns"), py::arg("message"),
               "The occurrences in the whole message (str, bytes or a buffer).");
}
