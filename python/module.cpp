// module.cpp - the native part of the Python package pmedian (_pmedian).
//
// It fills the solver's process-wide state from numpy arrays, runs the same
// optimisation as the pmedian program and hands the results back; the Python
// layer (pmedian/__init__.py) checks the arguments and builds the Result.
//
// The solver state is process-wide, so one mutex lets one call at a time
// use it.  The GIL is released while a call holds the mutex and never taken
// while waiting for it, so two threads cannot block each other.  Fatal errors
// of the core arrive through fatal_handler as a C++ exception, and every way
// out of a call releases the storage, so the module stays usable after an
// error or an interrupt.  Once per outer iteration (at most every 100 ms)
// the iteration hook takes the GIL to let Python run its signal handlers; a
// KeyboardInterrupt raised there ends the optimisation.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "instance_formats.h"
#include "pmedian.h"
#include "tool_error.h"

namespace py = pybind11;

namespace {

// A fatal error of the core: its message and the errno at that moment.
struct CoreFatal : std::runtime_error {
    int cause;
    CoreFatal(const std::string &message, int error) : std::runtime_error(message), cause(error) {}
};

// Python's signal handler raised an exception, which is pending in the
// calling thread.
struct Interrupted {};

std::mutex solver_mutex;

// What one call collects while it holds the mutex.
struct Collected {
    std::vector<std::string> warnings;
    std::vector<float> history;  // dual value, LB, UB per outer iteration
    float ZP = 0.0f, Pi = 0.0f;
    std::chrono::steady_clock::time_point last_poll;
};
Collected *collected;

std::string trimmed(const char *message) {
    std::string text = message;
    size_t a = text.find_first_not_of(" \n");
    size_t b = text.find_last_not_of(" \n");
    return a == std::string::npos ? "" : text.substr(a, b - a + 1);
}

void on_fatal(const char *message) {
    int cause = errno;
    throw CoreFatal(trimmed(message), cause);
}

void on_warning(const char *message) { collected->warnings.push_back(trimmed(message)); }

void on_iteration(float ZP, float Pi) {
    collected->history.insert(collected->history.end(), {ZD, LB, UB});
    collected->ZP = ZP;
    collected->Pi = Pi;
    auto now = std::chrono::steady_clock::now();
    if (now - collected->last_poll < std::chrono::milliseconds(100)) return;
    collected->last_poll = now;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) throw Interrupted();
}

// Takes over the core's front-end pointers for one call and gives them back,
// with all storage released, however the call ends.
struct CoreSession {
    Collected data;
    FILE *summary = nullptr;
    char *summary_text = nullptr;
    size_t summary_size = 0;

    CoreSession() {
        collected = &data;
        data.last_poll = std::chrono::steady_clock::now();
        fatal_handler = on_fatal;
        warning_handler = on_warning;
        iteration_hook = on_iteration;
        summary = open_memstream(&summary_text, &summary_size);
        summary_stream = summary;
    }
    ~CoreSession() {
        release_storage();
        if (summary) fclose(summary);
        free(summary_text);
        fatal_handler = nullptr;
        warning_handler = nullptr;
        iteration_hook = nullptr;
        summary_stream = stdout;
        collected = nullptr;
    }
    std::string summary_output() {
        if (!summary || fflush(summary) != 0) return "";
        return std::string(summary_text, summary_size);
    }
};

// What the reader makes of a real number: the float nearest to its shortest
// decimal text, which is the float nearest to the number itself except when
// the number lies exactly halfway between two floats (then the text decides)
// or beyond the float range.
template <class Real>
float reader_float(Real x) {
    float f = (float)x;
    if ((Real)f == x || x != x) return f;
    bool beyond = std::fabs(x) > (Real)3.4028234663852886e38;
    float other = std::nextafter(f, x > (Real)f ? INFINITY : -INFINITY);
    if (!beyond && ((Real)f + (Real)other) / 2 != x) return f;
    char text[64];
    std::to_chars_result r = std::to_chars(text, text + sizeof text - 1, x);
    *r.ptr = '\0';
    return strtof(text, nullptr);
}

// An integer becomes the nearest float at once, as its digits would.
float reader_float(std::int64_t x) { return (float)x; }
float reader_float(std::uint64_t x) { return (float)x; }

// A 2-D array of one of the element types that the Python layer passes on,
// read entry by entry as the reader would store it.
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
    float operator()(long long i, long long j) const {
        const char *at = data + i * row_stride + j * column_stride;
        switch (kind) {
        case 0: return *(const float *)at;
        case 1: return reader_float(*(const double *)at);
        case 2: return reader_float(*(const long double *)at);
        case 3: return reader_float(*(const std::int64_t *)at);
        default: return reader_float(*(const std::uint64_t *)at);
        }
    }

private:
    py::array array;  // keeps the data alive
    const char *data;
    py::ssize_t row_stride, column_stride;
    int kind;
};

bool same_float(float a, float b) { return a == b || (a != a && b != b); }

// Raises the Python exception for an error of the core or of the tools.
[[noreturn]] void raise_os_error(int cause, const std::string &message, const std::string &path) {
    py::object error = py::reinterpret_steal<py::object>(PyObject_CallFunction(
        PyExc_OSError, "isO", cause, message.c_str(), path.empty() ? Py_None : py::str(path).ptr()));
    if (error) PyErr_SetObject((PyObject *)Py_TYPE(error.ptr()), error.ptr());
    throw py::error_already_set();
}

[[noreturn]] void raise_core_error(const CoreFatal &e, const std::string &path) {
    std::string message = e.what();
    if (message.find("Memoria insuficiente") != std::string::npos) {
        PyErr_SetString(PyExc_MemoryError, message.c_str());
        throw py::error_already_set();
    }
    if (message.find("nao pode ser aberto") != std::string::npos && e.cause) raise_os_error(e.cause, message, path);
    throw py::value_error(message);
}

py::list to_list(const std::vector<std::string> &texts) {
    py::list list;
    for (const std::string &t : texts) list.append(t);
    return list;
}

py::array_t<float> float_array(const std::vector<float> &values, std::vector<py::ssize_t> shape) {
    py::array_t<float> a(shape);
    if (!values.empty()) memcpy(a.mutable_data(), values.data(), values.size() * sizeof(float));
    return a;
}

py::array_t<int> int_array(const std::vector<int> &values) {
    py::array_t<int> a((py::ssize_t)values.size());
    if (!values.empty()) memcpy(a.mutable_data(), values.data(), values.size() * sizeof(int));
    return a;
}

// Everything a solve hands back, copied out of the state before the mutex
// is released.
struct Outcome {
    std::vector<int> medians, assignment;
    std::vector<float> client_cost, history;
    std::string summary;
    float UB = 0, LB = 0, ZD = 0, ZP = 0, Pi = 0, TFator = 0, cpu_time = 0;
    int status = 0, iterations = 0, feasible_count = 0;
    bool diagonal = false, asymmetric = false;
};

// Fills the state from the arrays, solves and collects the outcome; the
// caller holds the mutex and the session.
void solve_locked(const Matrix &costs, const Matrix *distances, int nv, int pv, float r, bool restricted,
                  Outcome &out) {
    allocate_instance(nv, pv);
    for (int i = 0; i < nv; ++i) {
        float *row = cost[i];
        for (int j = 0; j < nv; ++j)
            if (j != i) row[j] = costs(i, j);
        out.diagonal = out.diagonal || costs(i, i) != 0.0f;
    }
    radius = r;
    if (restricted) {
        const Matrix &d = distances ? *distances : costs;
        for (int i = 0; i < nv; ++i)
            for (int j = i + 1; j < nv; ++j) {
                float value = d(i, j);
                set_distance(i, j, value);
                out.asymmetric = out.asymmetric || (distances && !same_float(value, d(j, i)));
            }
    }
    finish_instance();
    start_run();
    subgradient_optimization();

    allocate_best();
    out.medians.assign(best, best + p);
    out.assignment.resize(n);
    out.client_cost.assign(n, 0.0f);
    for (int i = 0; i < p; ++i) {
        out.assignment[vc[i].median] = vc[i].median;
        for (int k = 0; k < vc[i].size; ++k) {
            int client = vc[i].members[k];
            out.assignment[client] = vc[i].median;
            out.client_cost[client] = cost[vc[i].median][client];
        }
    }
    out.UB = UB;
    out.LB = LB;
    out.ZD = ZD;
    out.TFator = TFator;
    out.cpu_time = cpu_time;
    out.status = status;
    out.iterations = iterations;
    out.feasible_count = feasible_count;
}

// Solves the instance; cost and dist are square arrays of the same size (dist
// may be None: cost's upper triangle), radius None means every exchange.
py::dict py_solve(py::array cost_array, int pv, py::object dist_object, py::object radius_object) {
    Matrix costs(cost_array);
    std::optional<Matrix> distances;
    if (!dist_object.is_none()) distances.emplace(dist_object.cast<py::array>());
    int nv = (int)cost_array.shape(0);
    bool restricted = !radius_object.is_none();
    float r = restricted ? reader_float(radius_object.cast<double>()) : INFINITY;

    Outcome out;
    std::optional<CoreFatal> failure;
    bool interrupted = false;
    {
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(solver_mutex);
        try {
            CoreSession session;
            solve_locked(costs, distances ? &*distances : nullptr, nv, pv, r, restricted, out);
            out.summary = session.summary_output();
            out.history.swap(session.data.history);
            out.ZP = session.data.ZP;
            out.Pi = session.data.Pi;
        } catch (const CoreFatal &e) {
            failure = e;
        } catch (const Interrupted &) {
            interrupted = true;
        }
    }
    if (interrupted) throw py::error_already_set();
    if (failure) raise_core_error(*failure, "");

    std::vector<std::string> notes;
    if (out.diagonal)
        notes.push_back("cost has non-zero entries on its diagonal: they are not used (a median serves itself at no cost)");
    if (out.asymmetric) notes.push_back("dist is not symmetric: only its upper triangle is used");
    py::dict result;
    result["medians"] = int_array(out.medians);
    result["assignment"] = int_array(out.assignment);
    result["client_cost"] = float_array(out.client_cost, {(py::ssize_t)out.client_cost.size()});
    result["history"] = float_array(out.history, {(py::ssize_t)out.history.size() / 3, 3});
    result["upper_bound"] = (double)out.UB;
    result["lower_bound"] = (double)out.LB;
    result["dual_value"] = (double)out.ZD;
    result["primal_value"] = (double)out.ZP;
    result["step"] = (double)out.Pi;
    result["factor"] = (double)out.TFator;
    result["status"] = out.status;
    result["iterations"] = out.iterations;
    result["feasible_solutions"] = out.feasible_count;
    result["cpu_time"] = (double)out.cpu_time;
    result["summary"] = out.summary;
    result["warnings"] = to_list(notes);
    return result;
}

// Reads the program's two files through its own reader.  Returns (cost, p,
// dist, radius, warnings) with dist mirrored from the upper triangle.
std::vector<float> *distances_read;  // n x n, allocated at the first distance

void keep_distance(int i, int j, float d) {
    std::vector<float> &d_all = *distances_read;
    if (d_all.empty()) {
        try {
            d_all.assign((size_t)n * n, 0.0f);
        } catch (const std::bad_alloc &) {
            fatal("\n >>> Memoria insuficiente para dist[%d][%d]\n", 0, n);
        }
    }
    d_all[(size_t)i * n + j] = d;
    d_all[(size_t)j * n + i] = d;
}

py::tuple py_read(const std::string &data_path, const std::string &matrix_path) {
    std::vector<float> costs, distances;
    std::vector<std::string> warnings;
    int nv = 0, pv = 0;
    float r = 0.0f;
    std::optional<CoreFatal> failure;
    {
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(solver_mutex);
        try {
            CoreSession session;
            distances_read = &distances;
            read_instance_files(data_path.c_str(), matrix_path.c_str(), keep_distance);
            nv = n;
            pv = p;
            r = radius;
            costs.resize((size_t)n * n);
            for (int i = 0; i < n; ++i) memcpy(&costs[(size_t)i * n], cost[i], (size_t)n * sizeof(float));
            if (distances.empty()) distances.assign((size_t)n * n, 0.0f);  // n = 1
            warnings.swap(session.data.warnings);
        } catch (const CoreFatal &e) {
            failure = e;
        }
        distances_read = nullptr;
    }
    if (failure)
        raise_core_error(*failure, std::string(failure->what()).find("pmedmtrx") != std::string::npos ? matrix_path
                                                                                                   : data_path);
    return py::make_tuple(float_array(costs, {nv, nv}), pv, float_array(distances, {nv, nv}), (double)r,
                          to_list(warnings));
}

// A ToolError of a converter is bad content (the Python layer opens the
// file first, so that its own errors are Python's); one of the writer is a
// failed write.
py::array_t<float> matrix_array(Instance &inst) {
    auto *values = new std::vector<float>(std::move(inst.matrix));
    py::capsule owner(values, [](void *v) { delete (std::vector<float> *)v; });
    return py::array_t<float>({(py::ssize_t)inst.n, (py::ssize_t)inst.n}, values->data(), owner);
}

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
    Matrix distances(dist_object.is_none() ? cost_array : dist_object.cast<py::array>());
    bool default_radius = radius_object.is_none();
    float r = default_radius ? 0.0f : reader_float(radius_object.cast<double>());
    try {
        py::gil_scoped_release release;
        Instance inst;
        inst.n = (int)cost_array.shape(0);
        inst.p = pv;
        long long nv = inst.n;
        inst.cost.resize((size_t)(nv * nv));
        inst.matrix.resize((size_t)(nv * nv));
        for (long long i = 0; i < nv; ++i)
            for (long long j = 0; j < nv; ++j) {
                inst.cost[i * nv + j] = i == j ? 0.0f : costs(i, j);
                inst.matrix[i * nv + j] = i < j ? distances(i, j) : 0.0f;  // the file holds the upper triangle
            }
        if (default_radius) r = full_radius(inst);
        write_instance_files(inst, r, folder);
    } catch (const ToolError &e) {
        PyErr_SetString(PyExc_OSError, e.what());
        throw py::error_already_set();
    }
    return r;
}

}  // namespace

PYBIND11_MODULE(_pmedian, m) {
    m.doc() = "Native part of pmedian: the solver core and the instance formats.";
    m.def("solve", &py_solve);
    m.def("read", &py_read);
    m.def("write", &py_write);
    m.def("read_orlib", &py_read_orlib);
    m.def("read_tsplib", &py_read_tsplib);
    m.attr("INFINITE_COST") = (double)INFINITE_COST;
    m.attr("MAX_VERTICES") = MAX_VERTICES;
}
