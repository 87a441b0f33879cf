// pmedian/pmedian.hpp - the p-median solver as a C++ library.
//
// The solver bounds a p-median instance from both sides by Lagrangian
// relaxation: the upper bound is the cost of the best solution it found, the
// lower bound a proof that no solution costs less.  Every solve owns its
// whole state, so solves in different threads run side by side and give
// exactly the bits that each gives alone; a solve's own threads never change
// its result either.
//
//     #include <pmedian/pmedian.hpp>
//
//     pmedian::Instance instance = pmedian::read_instance("pmed1");
//     pmedian::Result result = pmedian::solve(instance);
//     printf("%.2f >= optimum >= %.2f\n", result.upper_bound, result.lower_bound);
//
// Build against an installed copy with CMake (find_package(pmedian CONFIG
// REQUIRED), target pmedian::pmedian) or pkg-config (pmedian).  Failures
// throw pmedian::Error; the library never ends the process.
#ifndef PMEDIAN_PMEDIAN_HPP
#define PMEDIAN_PMEDIAN_HPP

#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#if defined(PMEDIAN_BUILDING_LIBRARY) && defined(__GNUC__)
#define PMEDIAN_API __attribute__((visibility("default")))
#else
#define PMEDIAN_API
#endif

namespace pmedian {

// The bound that no solution reaches: the solver's running minima start at
// this float (exactly 99899998208), and an upper bound equal to it means
// that no solution was found.
const float INFINITE_COST = 9.99e10f;

// The project version, "major.minor.patch".
PMEDIAN_API const char *version();

// A failure of the solver: an instance that cannot be read, memory that runs
// out, a solution file that cannot be written.  what() is the program's own
// message (in Portuguese, as the classic program prints it) without its
// surrounding line breaks; printed() is that text exactly as printed, and
// error_number() the errno of a failed file operation, else 0.
class PMEDIAN_API Error : public std::runtime_error {
public:
    Error(const std::string &printed, int error_number);
    const std::string &printed() const { return printed_; }
    int error_number() const { return error_number_; }

private:
    std::string printed_;
    int error_number_;
};

// An instance: n vertices, p medians to open, the n x n costs (cost[i * n + j]
// serves client j from a median at i; the diagonal is not used), and the
// interchange's neighbourhood: when has_radius, only vertices whose distance
// is at most the radius (0.8 x it from 700 vertices on) are exchanged, with
// the distances in dist (n x n, upper triangle used) or, when dist is empty,
// the costs' upper triangle.
struct PMEDIAN_API Instance {
    int n = 0;
    int p = 0;
    std::vector<float> cost;
    std::vector<float> dist;
    // Instead of cost or dist, a function that writes row i (n floats) into
    // row when solve loads the instance: a caller that holds its own matrix
    // saves the copy.  Called from the solving thread, rows in order.
    std::function<void(int i, float *row)> cost_rows;
    std::function<void(int i, float *row)> dist_rows;
    bool has_radius = false;
    float radius = 0.0f;
    std::vector<std::string> warnings;  // what the reader noticed (a short file), as the program prints it
};

// Reads the classic files "pmeddata.dat" and "pmedmtrx.dat" of a folder, or
// two files by path, exactly as the pmedian program reads them.
PMEDIAN_API Instance read_instance(const std::string &folder);
PMEDIAN_API Instance read_instance(const std::string &data_file, const std::string &matrix_file);

// An instance from arrays.  Doubles and integers become floats by the
// reader's rule: the float that their shortest decimal text reads as.  An
// empty dist with a radius means the costs' upper triangle; a NaN radius
// means none (every exchange).  Throws Error for sizes outside n >= 1,
// 1 <= p <= n, or arrays that are not n x n.
PMEDIAN_API Instance make_instance(int n, int p, const std::vector<float> &cost, const std::vector<float> &dist = {},
                                   float radius = std::numeric_limits<float>::quiet_NaN());
PMEDIAN_API Instance make_instance(int n, int p, const std::vector<double> &cost,
                                   const std::vector<double> &dist = {}, double radius = std::numeric_limits<double>::quiet_NaN());

// The float that a real number reads as in an instance file.
PMEDIAN_API float reader_float(double x);

// What a progress callback sees, once per outer iteration.
struct Progress {
    int iteration = 0;           // relaxation evaluations so far
    double upper_bound = 0;      // best solution cost so far (9.99e10 before the first)
    double lower_bound = 0;      // best dual bound so far
    double dual_value = 0;       // this iteration's dual value
    double elapsed_seconds = 0;  // wall time since solve began
    void *context = nullptr;     // Options::context
};

// Why a run ended.
enum class StopReason {
    relaxation_feasible,  // the relaxed solution is feasible: proven optimal (status 0)
    bounds_within_one,    // UB - LB <= 1 (status 1)
    step_exhausted,       // the step size ran out, the normal end (status 2)
    gap_reached,          // the relative gap fell to Options::gap (status 3)
    time_limit,           // Options::time_limit passed (status 3)
    stopped,              // the progress callback asked to stop (status 3)
};

struct Options {
    // Called after every outer iteration; return false to stop the run, which
    // then ends with its best solution and StopReason::stopped.
    std::function<bool(const Progress &)> progress;
    void *context = nullptr;      // handed to progress as Progress::context
    double time_limit = 0;        // wall seconds, checked after each iteration; 0 for none
    double gap = 0;               // stop once (UB - LB) / |UB| is at or below it (0.01 is 1 %); 0 for none
    int threads = 0;              // threads of this solve; 0 for the OpenMP default
    std::string solution_file;    // when set, the solution is written there in the classic format
};

struct PMEDIAN_API Result {
    double upper_bound = 0;        // cost of the best solution found (UB)
    double lower_bound = 0;        // Lagrangian lower bound on the optimum (LB)
    int status = 0;                // 0 relaxation feasible, 1 UB - LB <= 1, 2 step exhausted, 3 stopped by a limit
    StopReason stop_reason = StopReason::step_exhausted;
    bool found = false;            // whether any solution below 9.99e10 was found
    int iterations = 0;            // relaxation evaluations
    int feasible_solutions = 0;    // primal solutions built
    double cpu_time = 0;           // seconds of processor time in the iterations, as the summary prints it
    double wall_time = 0;          // seconds from start to end of the solve
    std::vector<int> medians;      // the p medians, in the solution file's order
    std::vector<int> assignment;   // per vertex: its median (a median serves itself)
    std::vector<float> client_cost;// per vertex: its cost from its median (0 for a median)
    double dual_value = 0;         // ZD of the last evaluation
    double primal_value = 0;       // ZP of the last iteration
    double step = 0;               // the step parameter Pi at the end
    double factor = 0;             // TFator at the end
    std::vector<float> history;    // per iteration: dual value, LB, UB (3 floats each)
    std::string summary;           // the classic program's summary text
    std::vector<std::string> warnings;  // what the solver noticed
    double relative_gap() const;   // (UB - LB) / |UB|, or infinity when nothing was found
};

// Solves the instance.  Throws Error (memory, a solution file that cannot be
// written).
PMEDIAN_API Result solve(const Instance &instance, const Options &options = {});

// The words for a stop reason, as pmedian-solve prints them.
PMEDIAN_API const char *describe(StopReason reason);

}  // namespace pmedian

#endif
