// pmedian.h - the whole solver state and every procedure of the solver core.
//
// The solver is a set of plain procedures that communicate through the
// process-wide state declared here, once.  Each variable carries a one-line
// note on what it holds and which procedure group writes it.  Every real
// value is a 32-bit float; every expression that combines floats is evaluated
// in double precision and rounded to float only when it is stored (see the
// helpers in arith.h), so results are bit-reproducible on every machine.
#ifndef PMEDIAN_H
#define PMEDIAN_H

#include <cstdio>

// The state and the procedures are internal to the program or module that
// embeds the solver: hidden, so that position-independent code (the Python
// module) reaches the state as directly as the program does.
#pragma GCC visibility push(hidden)

// One open median and the clients allocated to it (rebuilt by allocate_clients).
struct Cluster {
    int median;    // vertex index of the median
    int size;      // number of clients held in members
    int *members;  // clients in order of allocation; room for n - p entries
    float total;   // float sum of the members' allocation costs, in order
};

// A candidate exchange whose float trial cost is known to lie in [low, high]
// (filled by the fast interchange).
struct TrialBracket {
    int position;  // client position of the candidate
    double low, high;
};

// Starting value of every running minimum: the float nearest to 9.99e10,
// exactly 99899998208.  Its negative is the starting lower bound.
const float INFINITE_COST = 9.99e10f;

// ---- Instance (written by read_instance) --------------------------------
extern int n;          // number of vertices
extern int p;          // number of medians to open
extern float **cost;   // cost[i][j]: serving client j from a median at i; zero diagonal
extern float radius;   // neighbourhood bound of the interchange
extern unsigned long long **far; // far[i]: bit j set when dist(i, j) exceeds the neighbourhood bound; null when no pair does (read_instance)
extern int far_words;  // 64-bit words in each row of far (read_instance)

// ---- Cost order: each column's cheapest rows, for the walks below a limit --
extern int order_depth;         // rows kept per column, at most n (build_cost_order)
extern float *order_cost;       // order_cost[j * order_depth + k]: k-th smallest cost of column j, NaN last (build_cost_order)
extern unsigned short *order_row16; // the rows of those costs when n <= 65536, else null (build_cost_order)
extern int *order_row32;        // the rows of those costs when n > 65536, else null (build_cost_order)

// ---- Lagrangian dual (written by the dual procedures) --------------------
extern float *lambda;  // multiplier direction, never negative (solve, subgradient loop)
extern float TFator;   // factor applied to lambda (factor search, subgradient loop)
extern float *beta;    // relaxed values in ascending order (relaxation, factor search)
extern int *node;      // vertex order carrying beta; first p are open (relaxation, factor search)
extern float *sv_beta; // save area of beta (factor search)
extern int *subg;      // subgradient of the relaxed assignment constraints (compute_subgradient)
extern int feasible;   // 1 when the relaxed solution serves every vertex once (compute_subgradient)
extern float ZD;       // dual value of the latest evaluation (relaxation, factor search)
extern double *multiplier;       // TFator x lambda[j], exact, as form_multipliers last set them (fast dual)
extern float *multiplier_ceiling;// smallest float >= multiplier[j]: c < it exactly when multiplier[j] > c (fast dual)
extern int *taken_count;         // per vertex: open medians that take it at the current multipliers (fast dual)
extern char *is_open;            // scratch marks of the open medians, all 0 between calls (fast dual)

// ---- Primal side (written by the subgradient loop and the heuristics) ----
extern int *sv_node;   // working primal arrangement; save area of node in the factor search
extern int *best;      // arrangement of the best primal solution (subgradient loop)
extern double *best_multiplier; // TFator x lambda[j], exact, at the best LB (subgradient loop, when a front end allocates it; else null)
extern Cluster *vc;    // p clusters of the last allocation (allocate_clients)

// ---- Working storage of the fast interchange (allocated by read_instance) --
extern float *near1;      // cheapest open-median cost of each vertex as a client (find_nearest, fast interchange)
extern int *near1_pos;    // median position attaining near1, first on ties; -1 if none (find_nearest, fast interchange)
extern float *near2;      // cheapest cost among the other open medians (find_nearest, fast interchange)
extern int *near2_pos;    // median position attaining near2; -1 if none (find_nearest, fast interchange)
extern double *gain;      // gain[u]: saving if vertex u opened beside the current medians (fast interchange)
extern double *gain_error;// bound on the rounding error that gain[u] carries (fast interchange)
extern int *taken_clients; // taken_clients[u]: the clients u would serve cheaper than their nearest (fast interchange)
extern float *base_prefix;// per client position: the float sum of near1 up to it, in position order (fast interchange)
extern double *own_correction; // per vertex: its extra saving on the clients of the position under exchange, 0 elsewhere (fast interchange)
extern float *to_displaced; // per vertex: its cost to the median under exchange where below the others', else +inf (fast interchange)
extern int *touched;      // vertices the walks of the position under exchange reached, n + 1 slots (fast interchange)
extern char *in_list;     // marks of the vertices in touched, all 0 between positions (fast interchange)
extern int *candidates;   // client positions to judge for the position under exchange (fast interchange)
extern TrialBracket *brackets; // the candidates that may win there, with their trial costs' bounds (fast interchange)
extern int *position_of;  // position_of[v]: where vertex v stands in nearest_for (fast interchange)
extern double *block_gain;// per 64 client positions: an upper bound of gain + gain_error there (fast interchange)
extern int *nearest_for;  // the arrangement that near1, near2, the groups and gain describe (fast interchange)
extern int nearest_valid; // 1: nearest_for holds that arrangement; 2: near1, near2 only (fast allocation, interchange; 0 invalid)
extern int *changed;      // clients whose cheapest cost an exchange changed (fast interchange)
extern float *changed_from; // their cheapest cost before that exchange (fast interchange)
extern int *attached;     // client vertices grouped by the median position that serves them (fast interchange)
extern int *attached_start; // p + 1 offsets of those groups in attached (fast interchange)
extern double *row_abs;   // row_abs[u]: sum of |cost[u][v]| over the row (survey_costs)
extern int costs_finite;  // 1 when no cost is NaN or infinite (survey_costs)
extern int costs_whole;   // 1 when costs are whole numbers so small that float sums of n of them are exact (survey_costs)
extern int costs_nonnegative; // 1 when every cost is finite and at least 0 (survey_costs)
extern int costs_symmetric; // 1 when cost[i][j] and cost[j][i] are the same float for all i, j (survey_costs)

// ---- Threads --------------------------------------------------------------
extern int parallel_work; // least independent work worth sharing among threads, in loop items (4096; tests lower it)

// ---- Bounds and run statistics -------------------------------------------
extern float LB;          // best dual bound (solve, subgradient loop)
extern float UB;          // best primal bound (solve, subgradient loop)
extern int iterations;    // relaxation evaluations (solve resets, relaxation counts)
extern int feasible_count;// primal solutions built, one per rise of LB (subgradient loop)
extern int status;        // 1 gap closed, 0 relaxation feasible, 2 step exhausted (subgradient loop)
extern float cpu_time;    // seconds spent in the outer iterations (subgradient loop)
extern int t_start;       // clock reading in ms at the start of an iteration (subgradient loop)
extern int t_end;         // clock reading in ms at the end of an iteration (subgradient loop)

// ---- Front ends: a program that embeds the solver sets these; pmedian does not --
extern void (*fatal_handler)(const char *message); // takes fatal errors instead of printing and exiting; must not return (front end)
extern void (*warning_handler)(const char *message); // takes warnings instead of standard error (front end)
extern void (*iteration_hook)(float ZP, float Pi); // called at the end of every outer iteration (front end)
extern FILE *summary_stream; // where print_summary writes: stdout, or null for nothing (front end)

// ---- driver ----------------------------------------------------------------
void solve();
void start_run();
void initial_multipliers();
double elapsed_seconds(float start_ms, float end_ms);
int clock_ms();
void release_storage();

// ---- instance ----------------------------------------------------------------
void read_instance();
void read_instance_files(const char *data_path, const char *matrix_path,
                         void (*keep_distance)(int i, int j, float d));
void allocate_instance(int nv, int pv);
void finish_instance();
bool read_sizes(FILE *f, int &nv, int &pv);  // n and p; false if unreadable or beyond an int
void fatal(const char *format, ...);
void warn(const char *format, ...);
void begin_numbers(FILE *f);
int next_number(float *target);
void survey_costs();
void build_cost_order(int depth);
int default_order_depth();
void set_distance(int i, int j, float d);

// ---- dual ------------------------------------------------------------------
void solve_relaxation();
void solve_relaxation_reference();
void solve_relaxation_fast();
void sort_by_beta(int lo, int hi);
void swap_int(int &a, int &b);
void swap_float(float &a, float &b);
void compute_subgradient();
void compute_subgradient_reference();
void form_multipliers();
void count_takers();
float search_factor(float &factor, float &factor_step);
void subgradient_optimization();
int integer_part(float x);

// ---- heuristics --------------------------------------------------------------
float allocate_clients();
float allocate_clients_reference();
float allocate_clients_fast();
void find_nearest();
float clusters_from_nearest();
float interchange();
float interchange_reference();
float interchange_fast();
double neighbourhood_bound();

// ---- report ----------------------------------------------------------------
void print_summary(float ZP, float Pi);
void allocate_best();
void write_solution();
void write_solution_file(const char *name);

// ---- small accessors of the state ----------------------------------------------
// True when the interchange may not exchange vertices i and j.
inline bool is_far(int i, int j) { return far && (far[i][j >> 6] >> (j & 63) & 1); }

// Row of the k-th entry of the cost order at flat position at = j * order_depth + k.
inline int order_row(long long at) { return order_row16 ? (int)order_row16[at] : order_row32[at]; }

#pragma GCC visibility pop

#endif
