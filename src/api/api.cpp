// api.cpp - the public C++ API (pmedian/pmedian.hpp) over the solver value.
//
// An Instance is plain arrays; solve builds a Solver from them exactly as
// the reader builds one from the files (a zero diagonal, the distance bits
// for the radius), runs the classic optimisation and copies the results out.
// The progress callback, the time limit and the gap are checked after every
// outer iteration through the solver's iteration hook; a stop keeps the best
// solution found.  The classic summary is captured as text, and warnings are
// collected instead of going to standard error.
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <limits>
#ifdef _OPENMP
#include <omp.h>
#endif

#include "solver.h"

#ifndef PMEDIAN_VERSION  // the build defines it from project(); a build without it says so
#define PMEDIAN_VERSION "unknown"
#endif

namespace pmedian {

const char *version() { return PMEDIAN_VERSION; }

// The message without the line breaks and blanks around it.
static std::string trimmed(const std::string &text) {
    size_t a = text.find_first_not_of(" \n");
    size_t b = text.find_last_not_of(" \n");
    return a == std::string::npos ? "" : text.substr(a, b - a + 1);
}

Error::Error(const std::string &printed, int error_number)
    : std::runtime_error(trimmed(printed)), printed_(printed), error_number_(error_number) {}

double Result::relative_gap() const {
    if (!found) return std::numeric_limits<double>::infinity();
    return (upper_bound - lower_bound) / std::fabs(upper_bound);
}

const char *describe(StopReason reason) {
    switch (reason) {
    case StopReason::relaxation_feasible: return "relaxed solution feasible (proven optimal)";
    case StopReason::bounds_within_one: return "bounds within 1 (absolute)";
    case StopReason::step_exhausted: return "step size exhausted";
    case StopReason::gap_reached: return "gap reached";
    case StopReason::time_limit: return "time limit";
    case StopReason::stopped: return "stopped by the caller";
    }
    return "?";
}

// What the reader makes of a real number: the float nearest to its shortest
// decimal text, which is the float nearest to the number itself except when
// the number lies exactly halfway between two floats (then the text decides)
// or beyond the float range.
template <class Real>
static float float_as_read(Real x) {
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

float reader_float(double x) { return float_as_read(x); }
float reader_float(long double x) { return float_as_read(x); }

// ---- instances ---------------------------------------------------------------

Instance read_instance(const std::string &folder) {
    std::string base = folder.empty() ? "." : folder;
    return read_instance(base + "/pmeddata.dat", base + "/pmedmtrx.dat");
}

Instance read_instance(const std::string &data_file, const std::string &matrix_file) {
    Instance instance;
    Solver s;
    s.summary_stream = nullptr;
    s.warning_handler = [&instance](const char *message) { instance.warnings.push_back(trimmed(message)); };
    std::vector<float> &dist = instance.dist;
    s.read_instance_files(data_file.c_str(), matrix_file.c_str(), [&s, &dist](int i, int j, float d) {
        if (dist.empty()) {
            try {
                dist.assign((size_t)s.n * s.n, 0.0f);
            } catch (const std::bad_alloc &) {
                s.fatal("\n >>> Memoria insuficiente para dist[%d][%d]\n", 0, s.n);
            }
        }
        dist[(size_t)i * s.n + j] = d;
        dist[(size_t)j * s.n + i] = d;
    });
    instance.n = s.n;
    instance.p = s.p;
    instance.has_radius = true;
    instance.radius = s.radius;
    instance.cost.resize((size_t)s.n * s.n);
    for (int i = 0; i < s.n; ++i) memcpy(&instance.cost[(size_t)i * s.n], s.cost[i], (size_t)s.n * sizeof(float));
    if (instance.dist.empty()) instance.dist.assign((size_t)s.n * s.n, 0.0f);  // n = 1
    return instance;
}

static void check_sizes(int n, int p, size_t costs, size_t distances) {
    if (n < 1 || p < 1 || p > n)
        throw Error("invalid size: n = " + std::to_string(n) + ", p = " + std::to_string(p) +
                        " (n >= 1 and 1 <= p <= n are required)",
                    0);
    size_t square = (size_t)n * (size_t)n;
    if (costs != square) throw Error("cost must hold n x n = " + std::to_string(square) + " values", 0);
    if (distances != 0 && distances != square)
        throw Error("dist must be empty or hold n x n = " + std::to_string(square) + " values", 0);
}

Instance make_instance(int n, int p, const std::vector<float> &cost, const std::vector<float> &dist, float radius) {
    check_sizes(n, p, cost.size(), dist.size());
    Instance instance;
    instance.n = n;
    instance.p = p;
    instance.cost = cost;
    instance.dist = dist;
    instance.has_radius = !std::isnan(radius);
    instance.radius = instance.has_radius ? radius : 0.0f;
    return instance;
}

Instance make_instance(int n, int p, const std::vector<double> &cost, const std::vector<double> &dist,
                       double radius) {
    check_sizes(n, p, cost.size(), dist.size());
    Instance instance;
    instance.n = n;
    instance.p = p;
    instance.cost.resize(cost.size());
    for (size_t k = 0; k < cost.size(); ++k) instance.cost[k] = reader_float(cost[k]);
    instance.dist.resize(dist.size());
    for (size_t k = 0; k < dist.size(); ++k) instance.dist[k] = reader_float(dist[k]);
    instance.has_radius = !std::isnan(radius);
    instance.radius = instance.has_radius ? reader_float(radius) : 0.0f;
    return instance;
}

// ---- solving -------------------------------------------------------------------

// The solver's state filled from the instance as the reader would fill it:
// the diagonal stays 0, and only the upper triangle of the distances counts.
static void load(Solver &s, const Instance &instance) {
    const size_t square = (size_t)instance.n * (size_t)std::max(instance.n, 0);
    check_sizes(instance.n, instance.p, instance.cost_rows ? square : instance.cost.size(),
                instance.dist_rows ? square : instance.dist.size());
    const int n = instance.n;
    s.allocate_instance(n, instance.p);
    for (int i = 0; i < n; ++i) {
        if (instance.cost_rows) {
            instance.cost_rows(i, s.cost[i]);
        } else {
            memcpy(s.cost[i], &instance.cost[(size_t)i * n], (size_t)n * sizeof(float));
        }
        s.cost[i][i] = 0.0f;
    }
    if (instance.has_radius) {
        s.radius = instance.radius;
        std::vector<float> row(instance.dist_rows ? (size_t)n : 0);
        for (int i = 0; i < n; ++i) {
            const float *d;
            if (instance.dist_rows) {
                instance.dist_rows(i, row.data());
                d = row.data();
            } else if (!instance.dist.empty()) {
                d = &instance.dist[(size_t)i * n];
            } else {
                d = s.cost[i];  // the costs' upper triangle
            }
            for (int j = i + 1; j < n; ++j) s.set_distance(i, j, d[j]);
        }
    } else {
        s.radius = INFINITY;
    }
    s.finish_instance();
}

// The summary goes to a memory stream, read back when the run is over.
struct CapturedText {
    char *text = nullptr;
    size_t size = 0;
    FILE *stream = open_memstream(&text, &size);
    ~CapturedText() {
        if (stream) fclose(stream);
        free(text);
    }
    std::string str() {
        if (!stream || fflush(stream) != 0) return "";
        return std::string(text, size);
    }
};

// Sets the thread count of this thread's parallel regions for one solve.
struct ThreadCount {
#ifdef _OPENMP
    int before = omp_get_max_threads();
    explicit ThreadCount(int threads) {
        if (threads > 0) omp_set_num_threads(threads);
    }
    ~ThreadCount() { omp_set_num_threads(before); }
#else
    explicit ThreadCount(int) {}
#endif
};

Result solve(const Instance &instance, const Options &options) {
    using clock = std::chrono::steady_clock;
    const clock::time_point started = clock::now();
    auto elapsed = [&started] { return std::chrono::duration<double>(clock::now() - started).count(); };

    Result result;
    ThreadCount threads(options.threads);
    CapturedText summary;
    Solver s;
    s.summary_stream = summary.stream;
    s.warning_handler = [&result](const char *message) { result.warnings.push_back(trimmed(message)); };
    StopReason limit = StopReason::stopped;
    s.iteration_hook = [&]() {
        result.history.insert(result.history.end(), {s.ZD, s.LB, s.UB});
        double seconds = elapsed();
        if (options.progress) {
            Progress now;
            now.iteration = s.iterations;
            now.upper_bound = s.UB;
            now.lower_bound = s.LB;
            now.dual_value = s.ZD;
            now.elapsed_seconds = seconds;
            now.context = options.context;
            if (!options.progress(now)) {
                limit = StopReason::stopped;
                return true;
            }
        }
        if (options.gap > 0 && s.UB < INFINITE_COST &&
            ((double)s.UB - (double)s.LB) <= options.gap * std::fabs((double)s.UB)) {
            limit = StopReason::gap_reached;
            return true;
        }
        if (options.time_limit > 0 && seconds >= options.time_limit) {
            limit = StopReason::time_limit;
            return true;
        }
        return false;
    };

    load(s, instance);
    s.start_run();
    s.subgradient_optimization();
    if (!options.solution_file.empty())
        s.write_solution_file(options.solution_file.c_str());  // rebuilds the best clusters as well
    else
        s.allocate_best();

    const int n = s.n, p = s.p;
    result.medians.assign(s.best, s.best + p);
    result.assignment.resize(n);
    result.client_cost.assign(n, 0.0f);
    for (int i = 0; i < p; ++i) {
        const Cluster &c = s.vc[i];
        result.assignment[c.median] = c.median;
        for (int k = 0; k < c.size; ++k) {
            result.assignment[c.members[k]] = c.median;
            result.client_cost[c.members[k]] = s.cost[c.median][c.members[k]];
        }
    }
    result.upper_bound = s.UB;
    result.lower_bound = s.LB;
    result.status = (int)s.status;
    switch (s.status) {
    case STATUS_RELAXATION_FEASIBLE: result.stop_reason = StopReason::relaxation_feasible; break;
    case STATUS_GAP_CLOSED: result.stop_reason = StopReason::bounds_within_one; break;
    case STATUS_STEP_EXHAUSTED: result.stop_reason = StopReason::step_exhausted; break;
    case STATUS_STOPPED: result.stop_reason = limit; break;
    }
    result.found = s.UB < INFINITE_COST;
    result.iterations = s.iterations;
    result.feasible_solutions = s.feasible_count;
    result.cpu_time = s.cpu_time;
    result.dual_value = s.ZD;
    result.primal_value = s.ZP;
    result.step = s.Pi;
    result.factor = s.TFator;
    result.summary = summary.str();
    result.wall_time = elapsed();
    return result;
}

}  // namespace pmedian
