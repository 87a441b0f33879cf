// module.cpp - the native part of the Python package pmedian (_pmedian).
//
// It turns numpy arrays into a pmedian::Instance, solves it through the
// library's public API (pmedian/pmedian.hpp) and hands the Result back as a
// dict; the Python layer (pmedian/__init__.py) checks the arguments and
// builds its Result.  It also reaches the instance formats that
// pmedian-convert uses.
//
// Every solve owns its whole state, so a call releases the GIL from the
// moment the arrays are read until the result is complete, and calls from
// several threads run side by side.  The library reports failures as
// pmedian::Error, which become Python exceptions once the GIL is back; no
// exception ever crosses the library.  Ctrl-C: a solve on the main thread
// takes the GIL at most every 100 ms from the progress callback to let
// Python run its signal handlers, and stops the run when one raised.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "instance_formats.h"
#include "pmedian/pmedian.hpp"
#include "tool_error.h"

namespace py = pybind11;

namespace {


// A 2-D array of one of the element types that the Python layer passes on,
// read as the reader would store each entry: floats as they are, doubles
// and long doubles as the float their shortest text reads as, integers as
// the nearest float.
class Matrix {
public:
    explicit Matrix(const py::array &a) : array(a) {
        data = (const char *)a.data();
        row_stride = a.strides(0);
        column_stride = a.strides(1);
        if (py::isinstance<py::array_t<float>>(a)) kind = 0;
        else if (py::isinstance<py::array_t<double>>(a)) kind = 1;
        else if (py::isinstance<py::array_t<long double>>(a)) kind = 2;
        else if (py::isinstance<py::array_t<std::int64_t>>(a)) kind = 3;
        else if (py::isinstance<py::array_t<std::uint64_t>>(a)) kind = 4;
        else throw py::value_error("unsupported element type " + std::string(py::str(a.dtype())));
    }

    // Row i, count entries from column from on, into out.  Needs no GIL:
    // the array is kept alive by this object.
    void row(long long i, long long count, float *out, long long from = 0) const {
        switch (kind) {
        case 0: return convert<float>(i, from, count, out, [](float x) { return x; });
        case 1: return convert<double>(i, from, count, out, [](double x) { return pmedian::reader_float(x); });
        case 2: return convert<long double>(i, from, count, out, [](long double x) { return pmedian::reader_float(x); });
        case 3: return convert<std::int64_t>(i, from, count, out, [](std::int64_t x) { return (float)x; });
        default: return convert<std::uint64_t>(i, from, count, out, [](std::uint64_t x) { return (float)x; });
        }
    }

    void cell(long long i, long long j, float *out) const { row(i, 1, out, j); }

private:
    template <class T, class Convert>
    void convert(long long i, long long from, long long count, float *out, Convert to_float) const {
        const char *at = data + i * row_stride + from * column_stride;
        for (long long j = 0; j < count; ++j, at += column_stride) {
            T x;
            memcpy(&x, at, sizeof x);
            out[j] = to_float(x);
        }
    }

    py::array array;  // keeps the data alive
    const char *data;
    py::ssize_t row_stride, column_stride;
    int kind;
};

// A numpy matrix handed to the writer a row at a time, converted as the
// reader converts: writing an instance holds a row, not a copy of each matrix.
class ArrayRows : public MatrixRows {
public:
    ArrayRows(const Matrix &values, int size) : MatrixRows(size), values(values) {}
    void row(int i, int from, float *out) const override { values.row(i, n - from, out + from, from); }

private:
    const Matrix &values;
};

bool same_float(float a, float b) { return a == b || (a != a && b != b); }

// Raises the Python exception for an error of the library or of the tools.
[[noreturn]] void raise_os_error(int cause, const std::string &message, const std::string &path) {
    py::object error = py::reinterpret_steal<py::object>(PyObject_CallFunction(
        PyExc_OSError, "isO", cause, message.c_str(), path.empty() ? Py_None : py::str(path).ptr()));
    if (error) PyErr_SetObject((PyObject *)Py_TYPE(error.ptr()), error.ptr());
    throw py::error_already_set();
}

[[noreturn]] void raise_memory_error(const std::string &message) {
    PyErr_SetString(PyExc_MemoryError, message.c_str());
    throw py::error_already_set();
}

[[noreturn]] void raise_core_error(const pmedian::Error &e, const std::string &path) {
    std::string message = e.what();
    if (message.find("Memoria insuficiente") != std::string::npos) raise_memory_error(message);
    if (message.find("nao pode ser aberto") != std::string::npos && e.error_number())
        raise_os_error(e.error_number(), message, path);
    throw py::value_error(message);
}

py::list to_list(const std::vector<std::string> &texts) {
    py::list list;
    for (const std::string &t : texts) list.append(t);
    return list;
}

// A numpy array of the given number of columns (0: one dimension) that
// takes over the vector's storage.
template <class T>
py::array_t<T> owning_array(std::vector<T> &&values, py::ssize_t columns = 0) {
    auto *owned = new std::vector<T>(std::move(values));
    py::capsule owner(owned, [](void *v) { delete (std::vector<T> *)v; });
    py::ssize_t size = (py::ssize_t)owned->size();
    std::vector<py::ssize_t> shape{size};
    if (columns > 0) shape = {size / columns, columns};
    return py::array_t<T>(shape, owned->data(), owner);
}

// Whether this is the thread that runs Python's signal handlers.
bool on_main_thread() {
    py::object main = py::module_::import("threading").attr("main_thread")();
    return main.attr("ident").cast<unsigned long>() == PyThread_get_thread_ident();
}

// The progress callback of a solve: at most every 100 ms it takes the GIL,
// lets Python run its signal handlers (on the main thread, where Python runs
// them) and calls the caller's progress function, if any.  A handler or the
// function that raised, or a function that returned something false, stops
// the run; an exception stays pending in this thread until the solve
// returns, and none is thrown into the library.
class Poll {
public:
    Poll(bool signals, py::object function) : signals(signals), function(std::move(function)) {}
    bool operator()(const pmedian::Progress &now) {
        auto clock = std::chrono::steady_clock::now();
        if (clock - last < std::chrono::milliseconds(100)) return true;
        last = clock;
        py::gil_scoped_acquire gil;
        if (signals && PyErr_CheckSignals() != 0) {
            raised = true;
            return false;
        }
        if (function.is_none()) return true;
        try {
            py::dict state;
            state["iteration"] = now.iteration;
            state["upper_bound"] = now.upper_bound;
            state["lower_bound"] = now.lower_bound;
            state["dual_value"] = now.dual_value;
            state["elapsed_seconds"] = now.elapsed_seconds;
            py::object answer = function(**state);
            return answer.is_none() || py::bool_(answer);
        } catch (py::error_already_set &e) {
            e.restore();
            raised = true;
            return false;
        }
    }
    bool active() const { return signals || !function.is_none(); }
    bool raised = false;

private:
    bool signals;
    py::object function;
    std::chrono::steady_clock::time_point last;  // the first iteration is always seen
};

// Solves the instance; cost and dist are square arrays of the same size (dist
// may be None: cost's upper triangle), radius None means every exchange.
// The solver reads the arrays row by row: no copy of the matrices is made.
py::dict py_solve(py::array cost_array, int pv, py::object dist_object, py::object radius_object,
                  double time_limit, double gap, int threads, py::object progress) {
    Matrix costs(cost_array);
    std::optional<Matrix> distances;
    if (!dist_object.is_none()) distances.emplace(dist_object.cast<py::array>());
    int nv = (int)cost_array.shape(0);
    bool restricted = !radius_object.is_none();
    float r = restricted ? pmedian::reader_float(radius_object.cast<double>()) : 0.0f;

    Poll poll(on_main_thread(), progress);
    pmedian::Options options;
    options.time_limit = time_limit;
    options.gap = gap;
    options.threads = threads;
    if (poll.active()) options.progress = [&poll](const pmedian::Progress &now) { return poll(now); };

    pmedian::Instance instance;
    instance.n = nv;
    instance.p = pv;
    // The rows are read once the solver has its storage, so a matrix too
    // large for memory fails at once; the notes of the Python layer are
    // made on the way.
    bool diagonal = false, asymmetric = false;
    instance.cost_rows = [&costs, nv, &diagonal](int i, float *row) {
        costs.row(i, nv, row);
        diagonal = diagonal || row[i] != 0.0f;
    };
    instance.has_radius = restricted;
    instance.radius = r;
    if (restricted && distances) {  // without one, the library takes cost's upper triangle
        const Matrix &d = *distances;
        instance.dist_rows = [&d, nv, &asymmetric](int i, float *row) {
            d.row(i, nv, row);
            for (int j = i + 1; j < nv && !asymmetric; ++j) {
                float other;
                d.cell(j, i, &other);
                asymmetric = !same_float(row[j], other);
            }
        };
    }

    pmedian::Result result;
    std::optional<pmedian::Error> failure;
    bool out_of_memory = false;
    {
        py::gil_scoped_release release;
        try {
            result = pmedian::solve(instance, options);
        } catch (const pmedian::Error &e) {
            failure = e;
        } catch (const std::bad_alloc &) {
            out_of_memory = true;
        }
    }
    if (poll.raised) throw py::error_already_set();
    if (failure) raise_core_error(*failure, "");
    if (out_of_memory) raise_memory_error(">>> Memoria insuficiente");

    std::vector<std::string> notes;
    if (diagonal)
        notes.push_back("cost has non-zero entries on its diagonal: they are not used (a median serves itself at no cost)");
    if (asymmetric) notes.push_back("dist is not symmetric: only its upper triangle is used");
    notes.insert(notes.end(), result.warnings.begin(), result.warnings.end());
    py::dict values;
    values["medians"] = owning_array(std::move(result.medians));
    values["assignment"] = owning_array(std::move(result.assignment));
    values["client_cost"] = owning_array(std::move(result.client_cost));
    values["history"] = owning_array(std::move(result.history), 3);  // dual value, LB, UB per iteration
    values["upper_bound"] = result.upper_bound;
    values["lower_bound"] = result.lower_bound;
    values["dual_value"] = result.dual_value;
    values["primal_value"] = result.primal_value;
    values["step"] = result.step;
    values["factor"] = result.factor;
    values["status"] = result.status;
    values["stop_reason"] = pmedian::describe(result.stop_reason);
    values["found"] = result.found;
    values["wall_time"] = result.wall_time;
    values["iterations"] = result.iterations;
    values["feasible_solutions"] = result.feasible_solutions;
    values["cpu_time"] = result.cpu_time;
    values["summary"] = result.summary;
    values["warnings"] = to_list(notes);
    return values;
}

// Reads the program's two files through its own reader.  Returns (cost, p,
// dist, radius, warnings) with dist mirrored from the upper triangle.
py::tuple py_read(const std::string &data_path, const std::string &matrix_path) {
    pmedian::Instance inst;
    std::optional<pmedian::Error> failure;
    {
        py::gil_scoped_release release;
        try {
            inst = pmedian::read_instance(data_path, matrix_path);
        } catch (const pmedian::Error &e) {
            failure = e;
        }
    }
    if (failure)
        raise_core_error(*failure, std::string(failure->what()).find("pmedmtrx") != std::string::npos ? matrix_path
                                                                                                   : data_path);
    return py::make_tuple(owning_array(std::move(inst.cost), inst.n), inst.p, owning_array(std::move(inst.dist), inst.n),
                          (double)inst.radius, to_list(inst.warnings));
}

// A ToolError of a converter is bad content (the Python layer opens the
// file first, so that its own errors are Python's); one of the writer is a
// failed write.
py::array_t<float> matrix_array(Instance &inst) { return owning_array(std::move(inst.matrix), inst.n); }

py::tuple py_read_orlib(const std::string &path) {
    Instance inst;
    try {
        py::gil_scoped_release release;
        inst = read_orlib(path);
    } catch (const ToolError &e) {
        throw py::value_error(e.what());
    }
    long long pv = inst.p;
    return py::make_tuple(matrix_array(inst), pv);
}

// The matrix and the n x 2 coordinates of the nodes (longitude and latitude
// in degrees for GEO).
py::tuple py_read_tsplib(const std::string &path, const std::string &round) {
    if (round != "none" && round != "nint" && round != "floor")
        throw py::value_error("round must be \"none\", \"nint\" or \"floor\", not \"" + round + "\"");
    Instance inst;
    try {
        py::gil_scoped_release release;
        inst = read_tsplib(path, round);
    } catch (const ToolError &e) {
        throw py::value_error(e.what());
    }
    py::array_t<double> xy({(py::ssize_t)inst.n, (py::ssize_t)2});
    for (int i = 0; i < inst.n; ++i) {
        xy.mutable_at(i, 0) = inst.info.x[i];
        xy.mutable_at(i, 1) = inst.info.y[i];
    }
    return py::make_tuple(matrix_array(inst), xy);
}

// Writes the two files for cost, p, dist (None: cost's upper triangle) and
// radius (None: every exchange).  Returns the radius written.
double py_write(const std::string &folder, py::array cost_array, long long pv, py::object dist_object,
                py::object radius_object) {
    Matrix costs(cost_array);
    bool same = dist_object.is_none();
    Matrix distances(same ? cost_array : dist_object.cast<py::array>());
    bool default_radius = radius_object.is_none();
    float r = default_radius ? 0.0f : pmedian::reader_float(radius_object.cast<double>());
    try {
        py::gil_scoped_release release;
        int nv = (int)cost_array.shape(0);
        ArrayRows cost_rows(costs, nv), dist_rows(distances, nv);
        const MatrixRows &dist = same ? (const MatrixRows &)cost_rows : dist_rows;
        if (default_radius) r = full_radius(dist);
        write_instance_files(cost_rows, dist, pv, r, VertexInfo(), folder);
    } catch (const ToolError &e) {
        PyErr_SetString(PyExc_OSError, e.what());
        throw py::error_already_set();
    }
    return r;
}

}  // namespace

PYBIND11_MODULE(_pmedian, m) {
    m.doc() = "Native part of pmedian: the solver library and the instance formats.";
    m.def("solve", &py_solve, py::arg("cost"), py::arg("p"), py::arg("dist"), py::arg("radius"), py::arg("time_limit") = 0.0,
          py::arg("gap") = 0.0, py::arg("threads") = 0, py::arg("progress") = py::none());
    m.def("read", &py_read);
    m.def("write", &py_write);
    m.def("read_orlib", &py_read_orlib);
    m.def("read_tsplib", &py_read_tsplib);
    m.attr("INFINITE_COST") = (double)pmedian::INFINITE_COST;
    m.attr("MAX_VERTICES") = MAX_VERTICES;
    m.attr("__version__") = pmedian::version();
}
