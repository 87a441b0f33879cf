// solver.h - the solver value: the whole state of one run and every procedure
// of the solver core.
//
// One Solver owns everything a run reads and writes, so two solvers in two
// threads never meet.  Each member carries a one-line note on what it holds
// and which procedure group writes it.  Every real value is a 32-bit float;
// every expression that combines floats is evaluated in double precision and
// rounded to float only when it is stored (see the helpers in arith.h), so
// results are bit-reproducible on every machine.
//
// Front ends reach the solver through the public API (pmedian/pmedian.hpp);
// the classic program, the exact tool and the tests use this value directly.
#ifndef PMEDIAN_SOLVER_H
#define PMEDIAN_SOLVER_H

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "pmedian/pmedian.hpp"

namespace pmedian {

// One open median and the clients allocated to it (rebuilt by allocate_clients).
struct Cluster {
    int median;    // vertex index of the median
    int size;      // number of clients held in members
    int *members;  // clients in order of allocation; room for n - p entries
    float total;   // float sum of the members' allocation costs, in order
};

// INFINITE_COST (pmedian.hpp) starts every running minimum; its negative is
// the starting lower bound.

// How a run ended; the value is the status that the summary and the
// solution file print.
enum RunStatus : int {
    STATUS_RELAXATION_FEASIBLE = 0,  // the relaxed solution serves every vertex once: optimal
    STATUS_GAP_CLOSED = 1,           // UB - LB <= 1
    STATUS_STEP_EXHAUSTED = 2,       // the step parameter Pi ran out
    STATUS_STOPPED = 3,              // a front end stopped the run (a limit); the best solution stands
};

// What near1, near2 and the interchange's bookkeeping describe.
enum NearestState : int {
    NEAREST_INVALID = 0,  // nothing: recompute before use
    NEAREST_FULL = 1,     // nearest_for, with the interchange's groups and gains
    NEAREST_ONLY = 2,     // nearest_for, near1 and near2 only (after the fast allocation)
};

struct InterchangeScratch;  // working arrays of the fast interchange (fast_interchange.h)

struct Solver {
    Solver();
    ~Solver();
    Solver(const Solver &) = delete;
    Solver &operator=(const Solver &) = delete;

    // ---- Instance (written by read_instance) --------------------------------
    int n = 0;            // number of vertices
    int p = 0;            // number of medians to open
    float **cost = nullptr; // cost[i][j]: serving client j from a median at i; zero diagonal
    float radius = 0.0f;  // neighbourhood bound of the interchange
    unsigned long long **far = nullptr; // far[i]: bit j set when dist(i, j) exceeds the neighbourhood bound; null when no pair does (read_instance)
    int far_words = 0;    // 64-bit words in each row of far (read_instance)

    // ---- Cost order: each column's cheapest rows, for the walks below a limit --
    int order_depth = 0;                    // rows kept per column, at most n (build_cost_order)
    float *order_cost = nullptr;            // order_cost[j * order_depth + k]: k-th smallest cost of column j, NaN last (build_cost_order)
    unsigned short *order_row16 = nullptr;  // the rows of those costs when n <= 65536, else null (build_cost_order)
    int *order_row32 = nullptr;             // the rows of those costs when n > 65536, else null (build_cost_order)

    // ---- Lagrangian dual (written by the dual procedures) --------------------
    float *lambda = nullptr;   // multiplier direction, never negative (solve, subgradient loop)
    float TFator = 0.0f;       // factor applied to lambda (factor search, subgradient loop)
    float *beta = nullptr;     // relaxed values in ascending order (relaxation, factor search)
    int *node = nullptr;       // vertex order carrying beta; first p are open (relaxation, factor search)
    float *sv_beta = nullptr;  // save area of beta (factor search)
    int *subg = nullptr;       // subgradient of the relaxed assignment constraints (compute_subgradient)
    int feasible = 0;          // 1 when the relaxed solution serves every vertex once (compute_subgradient)
    float ZD = 0.0f;           // dual value of the latest evaluation (relaxation, factor search)
    double *multiplier = nullptr;         // TFator x lambda[j], exact, as form_multipliers last set them (fast dual)
    float *multiplier_ceiling = nullptr;  // smallest float >= multiplier[j]: c < it exactly when multiplier[j] > c (fast dual)
    int *taken_count = nullptr;           // per vertex: open medians that take it at the current multipliers (fast dual)
    char *is_open = nullptr;              // scratch marks of the open medians, all 0 between calls (fast dual)

    // ---- Primal side (written by the subgradient loop and the heuristics) ----
    int *sv_node = nullptr;   // working primal arrangement; save area of node in the factor search
    int *best = nullptr;      // arrangement of the best primal solution (subgradient loop)
    double *best_multiplier = nullptr; // TFator x lambda[j], exact, at the best LB (subgradient loop, when a front end points it at n doubles; else null)
    Cluster *vc = nullptr;    // p clusters of the last allocation (allocate_clients)

    // ---- Nearest medians, shared by the fast allocation and the fast interchange --
    float *near1 = nullptr;      // cheapest open-median cost of each vertex as a client (find_nearest, fast interchange)
    int *near1_pos = nullptr;    // median position attaining near1, first on ties; -1 if none (find_nearest, fast interchange)
    float *near2 = nullptr;      // cheapest cost among the other open medians (find_nearest, fast interchange)
    int *near2_pos = nullptr;    // median position attaining near2; -1 if none (find_nearest, fast interchange)
    int *nearest_for = nullptr;  // the arrangement that near1, near2 and the interchange's bookkeeping describe (fast allocation, interchange)
    NearestState nearest_valid = NEAREST_INVALID; // what of that bookkeeping holds for nearest_for (fast allocation, interchange)
    std::unique_ptr<InterchangeScratch> interchange_work; // the fast interchange's own arrays (allocate_storage, fast interchange)

    // ---- What the costs allow (written by survey_costs) -------------------------
    double *row_abs = nullptr;  // row_abs[u]: sum of |cost[u][v]| over the row
    int costs_finite = 0;       // 1 when no cost is NaN or infinite
    int costs_whole = 0;        // 1 when costs are whole numbers so small that float sums of n of them are exact
    int costs_nonnegative = 0;  // 1 when every cost is finite and at least 0
    int costs_symmetric = 0;    // 1 when cost[i][j] and cost[j][i] are the same float for all i, j

    // ---- Threads --------------------------------------------------------------
    int parallel_work = 4096;   // least independent work worth sharing among threads, in loop items (tests lower it)

    // ---- Bounds and run statistics -------------------------------------------
    float LB = 0.0f;          // best dual bound (solve, subgradient loop)
    float UB = 0.0f;          // best primal bound (solve, subgradient loop)
    int iterations = 0;       // relaxation evaluations (solve resets, relaxation counts)
    int feasible_count = 0;   // primal solutions built, one per rise of LB (subgradient loop)
    RunStatus status = STATUS_RELAXATION_FEASIBLE; // how the run ended (subgradient loop)
    float cpu_time = 0.0f;    // seconds spent in the outer iterations (subgradient loop)
    int t_start = 0;          // clock reading in ms at the start of an iteration (subgradient loop)
    int t_end = 0;            // clock reading in ms at the end of an iteration (subgradient loop)
    float ZP = 0.0f;          // primal value of the latest iteration's chain; 0 until one is built (subgradient loop)
    float Pi = 0.0f;          // step parameter at the end of the latest iteration (subgradient loop)

    // ---- Front ends: what a program that embeds the solver sets --------------
    std::function<void(const char *message)> warning_handler; // takes warnings instead of standard error (front end)
    std::function<bool()> iteration_hook; // called after every outer iteration; true stops the run with STATUS_STOPPED (front end)
    FILE *summary_stream = stdout;        // where print_summary writes: stdout, or null for nothing (front end)

    // ---- Reading (written by read_instance) ------------------------------------
    FILE *reading = nullptr;   // the instance file being read, closed when reading fails
    double memory_budget = 0;  // bytes the remaining allocations may still take (allocate_storage)
    std::vector<std::function<void()>> owned; // one release per allocation, in allocation order (allocate_storage)

    // ---- driver (solve.cpp) ------------------------------------------------------
    void solve();
    void start_run();
    void initial_multipliers();
    void release_storage();

    // ---- instance (read_instance.cpp, state.cpp, cost_order.cpp) -----------------
    void read_instance();
    void read_instance_files(const char *data_path, const char *matrix_path,
                             const std::function<void(int i, int j, float d)> &keep_distance);
    void allocate_instance(int nv, int pv);
    void allocate_storage();
    void finish_instance();
    [[noreturn]] void fatal(const char *format, ...) __attribute__((format(printf, 2, 3)));
    void warn(const char *format, ...) __attribute__((format(printf, 2, 3)));
    void survey_costs();
    void build_cost_order(int depth);
    int default_order_depth() const;
    void set_distance(int i, int j, float d);
    long long read_cost_rows(FILE *f);
    long long read_distance_triangle(FILE *f, const std::function<void(int i, int j, float d)> &keep_distance);
    void release_far_if_empty();
    void warn_short(FILE *f, const char *file, long long got, long long expected);
    void *allocate(long long count, size_t size);
    template <class T> void take(T *&slot, long long count, const char *label);
    template <class T> void take_rows(T **&slot, int rows, long long count, const char *name, const char *row_name);

    // ---- dual (relaxation.cpp, subgradient.cpp, factor_search.cpp, optimization.cpp) --
    void solve_relaxation();
    void solve_relaxation_reference();
    void solve_relaxation_fast();
    void sort_by_beta(int lo, int hi);
    void sum_dual_value();
    void swept_values();
    void column_swept_values();
    void walked_values();
    void compute_subgradient();
    void compute_subgradient_reference();
    void form_multipliers();
    void count_takers();
    float factor_slope();
    float search_factor(float &factor, float &factor_step);
    void subgradient_optimization();

    // ---- heuristics (allocate.cpp, interchange.cpp, fast_interchange.cpp) --------
    float allocate_clients();
    float allocate_clients_reference();
    float allocate_clients_fast();
    void reset_clusters();
    void find_nearest();
    float clusters_from_nearest();
    float interchange();
    float interchange_reference();
    float interchange_fast();
    float trial_cost();
    double neighbourhood_bound() const;

    // ---- report (summary.cpp, solution.cpp) ---------------------------------------
    void print_summary(float ZP, float Pi);
    void allocate_best();
    void write_solution();
    void write_solution_file(const char *name);
    void write_body(FILE *f);

    // ---- small accessors of the state (cost_order.h for the walks) ----------------
    // True when the interchange may not exchange vertices i and j.
    bool is_far(int i, int j) const { return far && (far[i][j >> 6] >> (j & 63) & 1); }
    // Row of the k-th entry of the cost order at flat position at = j * order_depth + k.
    int order_row(long long at) const { return order_row16 ? (int)order_row16[at] : order_row32[at]; }
    bool column_overflows(int j, float limit) const;
    int kept_below(int j, float limit) const;
    template <class Visit> void rows_below(int j, float limit, Visit visit) const;
};

// ---- procedures that need no state ----------------------------------------------
double elapsed_seconds(float start_ms, float end_ms);
int clock_ms();
bool read_sizes(FILE *f, int &nv, int &pv);  // n and p; false if unreadable or beyond an int
int integer_part(float x);
void swap_int(int &a, int &b);
void swap_float(float &a, float &b);

}  // namespace pmedian

#endif
