// exact.h - pmedian-exact: proves the optimum of the instance that the
// solver core has just bounded.
//
// The proof (prove.cpp) goes in steps, each in its own file:
//  1. lagrangian.cpp carries the core's Lagrangian dual on in double
//     precision from the core's best multipliers, until the bound stalls;
//  2. reduction.cpp turns multipliers into fixings: vertices closed or open
//     in every solution within the limit, and for every client the medians
//     that may serve it in such a solution; probing sharpens both;
//  3. model.cpp writes what is left as a mixed-integer model in the radius
//     (distance-level) formulation;
//  4. a MIP solver from a library (mip_cbc.cpp, mip_glpk.cpp, behind the
//     small interface of mip.cpp) proves the optimum of that model.
// main.cpp is the program around it.  Everything here works on the
// instance of one solver value (n, p, cost), read by its read_instance; the
// candidate lists carry n and p along.
//
// Before the first reduction every pair is a candidate; those lists are
// not copied out of the core (AllPairs reads its cost order and its cost
// rows), so the proof needs little more memory than the program: the
// reduced lists are a small part of the n^2 pairs.
#ifndef PMEDIAN_EXACT_H
#define PMEDIAN_EXACT_H

#include <cfloat>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "cost_order.h"

// ---- Who may serve whom ---------------------------------------------------------
// For every client j the medians that may serve it, in ascending cost (ties
// by vertex index), and the state of every vertex.  At first every pair is
// a candidate and every vertex free; each reduction keeps fewer.  The
// Lagrangian evaluation and the reduction walk a client's list only as far
// as they need.
struct Candidates {
    int n = 0, p = 0;              // the instance's sizes
    std::vector<int> start;        // client j: entries start[j] .. start[j + 1] - 1
    std::vector<int> vertex;       // the median of each entry
    std::vector<float> cost;       // its cost of serving the client
    std::vector<signed char> fix;  // per vertex: -1 closed, 1 open, 0 free
    std::vector<char> capped;      // per client: 1 when its list ends at an open vertex
    long long pairs() const { return (long long)vertex.size(); }
    int count(int state) const;    // vertices in that state
    // For the candidates i of client j that cost less than u: adds cost - u
    // to beta[i], or counts those open.
    void add_values(int j, double u, double *beta) const;
    int count_open(int j, double u, const char *open) const;
};
// Every pair as a list (8 n^2 bytes): for small instances and the tests.
Candidates all_candidates(const pmedian::Solver &s);

// The smallest float that is at least x (+inf beyond the floats): a float
// lies below x exactly when it lies below this one.
inline float float_at_least(double x) {
    if (!(x <= FLT_MAX)) return x > 0 ? INFINITY : NAN;
    float f = (float)x;
    return (double)f < x ? std::nextafter(f, INFINITY) : f;
}

// Every pair of the instance, as the lists stand before any reduction,
// read from the solver core instead of copied: a client's pairs below a
// multiplier come from the core's cost order (each column's cheapest rows)
// and, where a multiplier reaches beyond those rows, from its whole column.
// Its pairs come in no particular order; the sums over them are made per
// vertex, one term per client, so the order does not change them.
struct AllPairs {
    const pmedian::Solver &s;
    int n, p;
    std::vector<signed char> fix;  // every vertex free
    explicit AllPairs(const pmedian::Solver &solver) : s(solver), n(solver.n), p(solver.p), fix(solver.n, 0) {}
    // Calls visit(i, cost) for every vertex i that serves client j for less
    // than u.
    template <class Visit> void below(int j, double u, Visit visit) const {
        s.rows_below(j, float_at_least(u), visit);
    }
    // As Candidates does them.
    void add_values(int j, double u, double *beta) const;
    int count_open(int j, double u, const char *open) const;
};

// ---- Lagrangian dual in double precision ----------------------------------------
// One evaluation of the relaxation at multipliers u (the effective
// multipliers TFator x lambda of the core), over the candidate pairs:
//   beta[i] = sum over the clients j of i of min(0, cost[i][j] - u[j]),
//   bound   = sum of u + sum of beta over the open vertices and the
//             p - (open vertices) free ones of smallest beta,
// a lower bound on the cost of every solution that serves each client from
// a candidate and respects the fixings.
struct DualPoint {
    std::vector<double> u;     // multipliers, never negative
    std::vector<double> beta;  // value of every vertex as a median
    std::vector<char> open;    // the vertices that the relaxed solution opens
    double bound = 0;          // the Lagrangian bound; +inf when no solution respects the fixings
    double beta_last = 0;      // largest beta among the free vertices it opens (-inf if none)
    double beta_next = 0;      // smallest beta among the free ones it leaves closed (+inf if none)
    double error = 0;          // bound on the rounding error of bound, and of any beta
};
// Pairs is Candidates or AllPairs.
template <class Pairs>
void evaluate_dual(const Pairs &candidates, const std::vector<signed char> &fix, DualPoint &point,
                   std::vector<int> *subgradient);
// The part of evaluate_dual after the values: the relaxed solution, bound and
// error at point.beta, given the sum of the multipliers.
void settle_relaxation(const std::vector<signed char> &fix, int p, double sum_u, DualPoint &point);

// Subgradient steps from point.u, keeping the best point in point (see
// improve_dual).
struct DualSearch {
    double target = 0;       // the step aims at it: theta (target - bound) / |d|^2
    double stop_at = 0;      // stop once the bound exceeds it
    double alpha = 0.1;      // weight of the newest subgradient in the direction d
    double theta = 0.1;      // the step's first scale, halved when the bound stalls
    int patience = 50;       // steps without a better bound before a halving
    int window = 300;        // steps over which the bound must rise ...
    double stall = 1e-4;     // ... by this share of its distance to the target
    int max_steps = 1 << 30;
    double deadline = 0;     // seconds since the start of the run, 0 for none
};
template <class Pairs>
int improve_dual(const Pairs &candidates, const std::vector<signed char> &fix, DualPoint &point,
                 const DualSearch &search);  // returns the number of steps

// ---- Reduction ----------------------------------------------------------------
// Keeps what a solution no dearer than limit can use: see reduction.cpp.
Candidates reduce(const Candidates &candidates, const DualPoint &point, double limit);
Candidates reduce(const AllPairs &all, const DualPoint &point, double limit);
// Where each vertex stands in the clients' lists: entries first[v] ..
// first[v + 1] - 1 of entries, and the client of every entry.
struct VertexEntries {
    std::vector<int> first, entries, client;
};
VertexEntries vertex_entries(const Candidates &candidates);
// The candidates without the entries marked 0 in keep.
Candidates keep_entries(const Candidates &candidates, const std::vector<char> &keep);
// Forces free vertices the other way than the relaxed solution at point has
// them and closes (or opens) each whose bound then exceeds limit; drops the
// pairs of a vertex forced open that its bound rules out.  See probing.cpp.
struct ProbeResult {
    int probed = 0;         // vertices probed
    int fixed = 0;          // vertices fixed
    long long dropped = 0;  // client-median pairs dropped
};
ProbeResult probe_vertices(Candidates &candidates, const DualPoint &point, double limit, double deadline);
// Drops the dearer candidates of a client when closing all its cheaper ones
// would lift the bound above limit; returns how many pairs it dropped.
// Stops at deadline (seconds since the start of the run, 0 for none),
// keeping what it dropped so far.
long long cover_clients(Candidates &candidates, const DualPoint &point, double limit, double deadline);

// ---- A better solution ----------------------------------------------------------
// Swap search from start and from the relaxed solution at point over the
// pairs kept (see upper_bound.cpp); returns the best solution found, never
// worse than start.  Stops at deadline (seconds since the start of the run,
// 0 for none).
std::vector<int> improve_solution(const pmedian::Solver &s, const Candidates &kept, const std::vector<int> &start,
                                  const DualPoint &point, double deadline);

// ---- Mixed-integer model ----------------------------------------------------
// minimise constant + sum obj[c] x[c]  subject to  row_lo <= A x <= row_hi,
// col_lo <= x <= col_hi, x[c] integer where integer[c].
struct Model {
    int columns = 0;
    std::vector<double> obj, col_lo, col_hi;
    std::vector<char> integer;
    std::vector<int> row_start;  // rows in compressed form: entries row_start[r] .. row_start[r + 1] - 1
    std::vector<int> row_col;
    std::vector<double> row_val;
    std::vector<double> row_lo, row_hi;
    double constant = 0;
    std::vector<int> median_col;  // per vertex: the column of "open", -1 when fixed
    std::vector<int> fixed_open;  // vertices open in every solution of the model
    std::vector<double> start;    // the start solution as a point of the model; empty when none
    bool interrupted = false;     // the builder reached its deadline: the model is incomplete
    int rows() const { return (int)row_lo.size(); }
    long long nonzeros() const { return (long long)row_col.size(); }
};
struct ModelSize {
    long long rows = 0, columns = 0, nonzeros = 0;
};
// Both builders also write the solution that opens start_medians (none when
// empty) into Model::start.  The radius model takes candidates as reduce
// leaves them: no closed vertex in a list, an open one only at the end of
// a capped list.  A builder that reaches deadline (seconds since the start
// of the run, 0 for none) returns at once with Model::interrupted set.
Model radius_model(const Candidates &candidates, const std::vector<int> &start_medians, double deadline);
Model classic_model(const pmedian::Solver &s, const std::vector<int> &start_medians, double deadline);  // the plain model of the whole instance
ModelSize radius_model_size(const Candidates &candidates);  // the radius model of these lists
ModelSize radius_model_size(const AllPairs &all);           // ... and before any reduction
std::vector<int> model_medians(const Model &model, const std::vector<double> &x);
bool model_feasible(const Model &model, const std::vector<double> &x, double tolerance);
double model_value(const Model &model, const std::vector<double> &x);

// ---- MIP solvers ----------------------------------------------------------------
struct MipOptions {
    double time_limit = 0;           // seconds, 0 for none
    bool integral_objective = false; // every solution's cost is a whole number
    bool tuned = true;               // the solver's own heuristics off, the start and cutoff given
    double cutoff = INFINITY;        // only solutions of at most this value matter
    bool progress = false;           // the decomposition's progress lines on standard error (show_progress)
};
struct MipResult {
    // INFEASIBLE: no solution of the model within the cutoff.
    enum Status { OPTIMAL, INFEASIBLE, TIME_LIMIT, FAILED } status = FAILED;
    std::vector<double> x;  // best point found; empty when none
    double value = 0;       // its objective, constant included
    double bound = 0;       // best proven lower bound, constant included
    long long nodes = 0;
    int restarts = 0;       // the decomposition's branch and cut started again after a point it had to reject
    bool overran = false;   // the solver kept on past its time limit and was stopped from outside
    std::string message;    // what went wrong, for FAILED
};
struct MipSolver {
    const char *name;
    MipResult (*solve)(const Model &model, const MipOptions &options);
};
// The solvers this build has, the default first.
const std::vector<MipSolver> &mip_solvers();
// Solves with solver within options.time_limit: see mip.cpp.
MipResult solve_within_limit(const MipSolver &solver, const Model &model, const MipOptions &options);
// The same for any solve, given the options with the limit it should keep.
MipResult run_within_limit(const std::function<MipResult(const MipOptions &)> &solve, const MipOptions &options);
// The radius model of these lists by Benders decomposition on CBC (see
// benders.cpp), from the multipliers u of the Lagrangian dual (may be
// empty); improve, when given, takes p medians to as good or better ones.
// Its point x has one entry per vertex, 1 for the open ones.
bool have_benders();
MipResult solve_benders(const Candidates &candidates, const std::vector<int> &start_medians,
                        const std::vector<double> &u, const MipOptions &options,
                        const std::function<std::vector<int>(const std::vector<int> &)> &improve = {});

// ---- The proof ------------------------------------------------------------------
// Wall seconds by phase; each phase adds its own.
struct PhaseSeconds {
    double reading = 0;    // the instance files
    double core = 0;       // the solver core's Lagrangian optimisation and heuristics
    double search = 0;     // the swap search for a better solution
    double dual = 0;       // the carried-on dual (subgradient steps)
    double reduction = 0;  // the reduction and the client covers
    double probing = 0;    // probing the free vertices
    double model = 0;      // building the model
    double mip = 0;        // the MIP solver
};
// Adds the wall seconds of its lifetime to one phase.
struct PhaseClock {
    double &slot;
    double started;
    explicit PhaseClock(double &phase);
    ~PhaseClock();
};

struct Proof {
    enum Status { OPTIMAL, TIME_LIMIT, FAILED } status = FAILED;
    std::vector<int> medians;  // the best solution known at the end
    double value = 0;          // its cost
    double bound = 0;          // proven lower bound on the optimum
    std::string message;       // what went wrong, for FAILED
    // How it went.
    double program = 0;                  // cost of the program's solution
    double known = 0;                    // cost of the solution the reduction starts from
    double first_bound = 0;              // Lagrangian bound over every pair
    double dual_bound = 0;               // ... and over the pairs left by the reduction
    int steps = 0, rounds = 0, probed = 0;  // dual steps, reduction rounds, vertices fixed by probing
    int probes = 0;                         // vertices probed
    bool mip_used = false;
    int closed = 0, opened = 0, free = 0;   // vertex states when the model is built
    long long pairs = 0;                    // client-median pairs in the model
    ModelSize before, after;                // the model before and after the reduction
    long long nodes = 0;
    bool mip_ran = false;                   // the MIP solver was called
    bool decomposed = false;                // ... on the Benders decomposition
    int restarts = 0;                       // times its branch and cut started again
    bool mip_overran = false;               // ... and stopped from outside at the time limit
    PhaseSeconds seconds;                   // reading and core: set by the caller
};
// How the MIP phase treats what the reduction leaves: the radius model to
// the MIP solver, or its Benders decomposition on CBC; AUTO picks by the
// model's size (see prove.cpp).
enum class MipPath { AUTO, RADIUS, BENDERS };
// Proves the optimum of the instance that the core holds, starting from the
// solution that opens start and the core's multipliers; deadline in seconds
// since the start of the run, 0 for none; progress: a line on standard error
// after each step (show_progress).
Proof prove_optimum(const pmedian::Solver &s, const std::vector<int> &start, const std::vector<double> &multipliers, const MipSolver &solver,
                    double deadline, MipPath path = MipPath::AUTO,
                    bool progress = false);
// The classic model of the whole instance, handed to the MIP solver as it
// stands: what a plain MIP approach costs.
Proof solve_plain(const pmedian::Solver &s, const MipSolver &solver, double deadline);

bool costs_are_whole(const pmedian::Solver &s);                         // every cost a whole number, sums exact in double
double solution_cost(const pmedian::Solver &s, const std::vector<int> &medians);  // summed in double
double wall_seconds();                             // seconds since the start of the run
// One line of progress on standard error: the step the proof has reached,
// its best solution and bound, and the time (of deadline, when not 0).
void show_progress(const std::string &step, double upper, double lower, double deadline);
// Whether a deadline in wall_seconds() has passed; 0 means none.
inline bool past(double deadline) { return deadline > 0 && wall_seconds() >= deadline; }

#endif
