// fast_interchange.cpp - the interchange pass, fast and with the same bits.
//
// The straightforward pass costs every trial from scratch: p x (n - p)
// comparisons for each of up to p x (n - p) trials.  This pass keeps, for
// every client c, its cheapest open-median cost near1[c] (and the position
// that gives it) and the cheapest cost among the other medians near2[c].
// When the median at position j is replaced by the client u, the cheapest
// cost of client c becomes min(cost[u][c], o_j(c)), where o_j(c) is near2[c]
// if position j served c and near1[c] otherwise, so the exact change of the
// solution cost is
//
//   delta(u) = loss_j - o_j(u) + max(0, o_j(u)) - gain_j(u) + newmin_j(u)
//
// with loss_j the cost of moving position j's clients to their second
// median, gain_j(u) = sum over clients c of max(0, o_j(c) - cost[u][c]) the
// saving that u brings, and newmin_j(u) the cost of serving the displaced
// median from the new set.  gain_j(u) is gain[u], the saving over near1,
// plus a correction over position j's own clients (Resende and Werneck's
// "extra"): an own client c adds near2[c] - max(cost[u][c], near1[c]) to the
// correction of every u with cost[u][c] < near2[c].  Those u are the head of
// column c in the cost order (cost_order.h), a few dozen vertices, so the
// corrections of a position cost the walks of its own clients.
//
// Only two kinds of candidate can improve at position j: the vertices those
// walks reach (a correction, or a cheap way to serve the displaced median),
// and vertices whose gain alone pays for loss_j; with non-negative costs the
// others' exact change is known without looking at them.  Gains are kept
// with upper bounds per block of 64 client positions, so the blocks whose
// bound falls short are passed over whole, and a pass costs the walks and
// the few candidates instead of p x (n - p) trials.
//
// gain[u] is kept up to date across exchanges the same way: a client whose
// near1 changes walks its column below the old and the new value and moves
// the gain of each vertex there.  After an exchange only the clients it
// touches are rescanned, and the whole bookkeeping is kept for the next pass
// when that starts from the same arrangement.  Such a pass also passes over,
// until its first exchange, the positions after the previous pass's last
// exchange: they found nothing on this arrangement.  With few medians the
// walks would be whole columns, and rows are swept instead, four at a time,
// their parts made in float within a bound that the brackets allow for.
//
// delta is formed in double.  What decides a trial, though, is its float
// sum in client-position order, exactly as the straightforward pass adds it.
// Every candidate that may win is first bracketed: its exact cost widened by
// a rigorous bound on the rounding of that float sum, and with non-negative
// costs, much tighter, the current arrangement's own float sum moved by the
// exact change (shifted_error).  Float sums are then made in order of the
// brackets, only while a bracket can still hold the lowest trial, each from
// the current arrangement's partial sums and the few terms the trial
// changes (sparse_trial_sums), where those are few.  When the
// costs are small whole numbers every float sum is exact, and delta alone
// decides.
//
// Gains pay when a vertex is a candidate at many positions.  When the
// neighbourhood bound leaves a position few candidates, or p is so small
// that every walk is a whole column, it is cheaper to cost the allowed
// candidates one by one from near1 and near2, n - p terms each, eight
// candidates side by side, or with a symmetric matrix the trials of every
// vertex at once from one sweep of the clients' rows (direct_trials.h).
// Either way each trial is its float sum in client-position order, and no
// bracket is needed.  A cost model in measured nanoseconds chooses per pass
// whether to keep gains at all and per position which way to judge it; all
// ways find the same float trials, so the choice never changes a bit.  A
// position whose median may be exchanged with no client is skipped.
//
// The lowest trial below the current cost wins, and among equal trials the
// lowest position, as in the straightforward scan, so the pass chooses the
// same exchanges, and the clusters it leaves are those allocate_clients
// builds.  Instances with NaN or infinite costs take the straightforward
// pass.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "arith.h"
#include "cost_order.h"
#include "direct_trials.h"
#include "fast_interchange.h"
#include "solver.h"

namespace pmedian {
namespace {

typedef float float4 __attribute__((vector_size(16)));
typedef double double4 __attribute__((vector_size(32)));
typedef long long long4 __attribute__((vector_size(32)));  // a double4 comparison: -1 where true
typedef int int4 __attribute__((vector_size(16)));
typedef float float8 __attribute__((vector_size(32)));
typedef int int8 __attribute__((vector_size(32)));  // a float8 comparison: -1 where true

// Bound on how far the row sweeps' float parts move a position's
// corrections, relative to its loss (add_four_row_corrections_in).
const double CORRECTION_PART_ERROR = 0x1p-21;
// Rows are swept four at a time in float parts from this many vertices on:
// then whole-number costs (below 2^24 / n) keep every part and every sum of
// four parts a whole number below 2^24, exact in float.  Fewer vertices
// take the double sweeps of one row.
const int FLOAT_PARTS_FROM = 16;
// The same for the gains' moves, relative to their float parts (move_four_row_gains_in).
const double GAIN_PART_ERROR = 0x1p-20;

// Sum over v of max(0, near[v] - row[v]), in double.  The order of this sum
// is free: it is only an estimate with a known error bound (and exact for
// whole-number costs).
VECTOR_CLONES
static double positive_gap_sum(const float *near, const float *row, int count) {
    double4 acc = {0.0, 0.0, 0.0, 0.0}, zero = {0.0, 0.0, 0.0, 0.0};
    int v = 0;
    for (; v + 4 <= count; v += 4) {
        float4 a, b;
        memcpy(&a, near + v, sizeof a);
        memcpy(&b, row + v, sizeof b);
        double4 d = __builtin_convertvector(a, double4) - __builtin_convertvector(b, double4);
        acc += d > zero ? d : zero;
    }
    double sum = (acc[0] + acc[1]) + (acc[2] + acc[3]);
    for (; v < count; ++v) {
        double d = (double)near[v] - (double)row[v];
        if (d > 0.0) sum += d;
    }
    return sum;
}

// Lowers (first, second) by the median at position pos with cost value, as a
// scan of the medians in position order would: a lower position wins a tie.
static inline void take_median(float value, int pos, float &first, int &first_pos, float &second, int &second_pos) {
    if (value < first || (value == first && pos < first_pos)) {
        second = first;
        second_pos = first_pos;
        first = value;
        first_pos = pos;
    } else if (value < second || (value == second && pos < second_pos)) {
        second = value;
        second_pos = pos;
    }
}

// How many v have row[v] < near[v].
VECTOR_CLONES
static int count_below(const float *row, const float *near, int count) {
    int below = 0;
    for (int v = 0; v < count; ++v) below += row[v] < near[v];
    return below;
}

struct ClientSums;
struct Position;
struct Bounds;

// A bound shared by the candidates that a position's walks did not reach
// (Pass::unreached): one whose gain + gain_error is at most `key` and whose
// taken clients are at most `taken` cannot improve on the position when
// rules_out says so.
struct Unreached {
    bool usable;
    double room, spacing, fixed, drift, double_error;
    bool rules_out(double key, int taken) const {
        if (!usable) return false;
        // A little more than the sum, for the rounding of the sums it bounds.
        double error = (fixed + (double)taken * spacing) * (1.0 + std::ldexp(1.0, -40));
        return error <= drift && key + double_error * std::fabs(key) + error <= room;
    }
};

// The fast pass's view of the solver: the solver's arrays and the pass's own
// working arrays under their names, for one call of interchange_fast.
struct Pass {
    Solver &s;
    const int n, p, order_depth;
    float *const *const cost;
    int *const sv_node;
    float *const near1, *const near2;
    int *const near1_pos, *const near2_pos;
    const float *const order_cost;
    const unsigned short *const order_row16;
    const int *const order_row32;
    unsigned long long *const *const far;
    const double *const row_abs;
    const int costs_symmetric, costs_whole, costs_nonnegative;
    Cluster *const vc;
    int *const nearest_for;
    NearestState &nearest_valid;
    double *const gain, *const gain_error;
    int *const taken_clients;
    float *const base_prefix;
    float *const base_terms;
    PrefixSums *const prefix_sums;
    double *const own_correction;
    float *const to_displaced;
    int *const touched;
    char *const in_list;
    int *const candidates;
    TrialBracket *const brackets;
    int *const position_of;
    double *const block_gain;
    int *const block_taken;
    int *const changed;
    float *const changed_from;
    int *const attached;
    int *const group_head, *const group_next, *const group_prev, *const member_of;
    int *const regroup;
    TrialEvent *const trial_events;
    int *const trial_hits;

    explicit Pass(Solver &solver)
        : s(solver), n(solver.n), p(solver.p), order_depth(solver.order_depth), cost(solver.cost),
          sv_node(solver.sv_node), near1(solver.near1), near2(solver.near2), near1_pos(solver.near1_pos),
          near2_pos(solver.near2_pos), order_cost(solver.order_cost), order_row16(solver.order_row16),
          order_row32(solver.order_row32), far(solver.far), row_abs(solver.row_abs),
          costs_symmetric(solver.costs_symmetric), costs_whole(solver.costs_whole),
          costs_nonnegative(solver.costs_nonnegative), vc(solver.vc), nearest_for(solver.nearest_for),
          nearest_valid(solver.nearest_valid), gain(solver.interchange_work->gain),
          gain_error(solver.interchange_work->gain_error), taken_clients(solver.interchange_work->taken_clients),
          base_prefix(solver.interchange_work->base_prefix), base_terms(solver.interchange_work->base_terms),
          prefix_sums(solver.interchange_work->prefix_sums),
          own_correction(solver.interchange_work->own_correction),
          to_displaced(solver.interchange_work->to_displaced), touched(solver.interchange_work->touched),
          in_list(solver.interchange_work->in_list), candidates(solver.interchange_work->candidates),
          brackets(solver.interchange_work->brackets), position_of(solver.interchange_work->position_of),
          block_gain(solver.interchange_work->block_gain), block_taken(solver.interchange_work->block_taken), changed(solver.interchange_work->changed),
          changed_from(solver.interchange_work->changed_from), attached(solver.interchange_work->attached),
          group_head(solver.interchange_work->group_head),
          group_next(solver.interchange_work->group_next), group_prev(solver.interchange_work->group_prev),
          member_of(solver.interchange_work->member_of), regroup(solver.interchange_work->regroup),
          trial_events(solver.interchange_work->trial_events), trial_hits(solver.interchange_work->trial_hits) {}

    // The solver's procedures and accessors that the pass uses.
    bool is_far(int i, int j) const { return far && (far[i][j >> 6] >> (j & 63) & 1); }
    int order_row(long long at) const { return order_row16 ? (int)order_row16[at] : order_row32[at]; }
    bool column_overflows(int j, float limit) const { return s.column_overflows(j, limit); }
    template <class Visit> void rows_below(int j, float limit, Visit visit) const { s.rows_below(j, limit, visit); }
    void find_nearest() { s.find_nearest(); }
    float allocate_clients() { return s.allocate_clients(); }
    float clusters_from_nearest() { return s.clusters_from_nearest(); }

    void move_row_gains(int c, float now, float before, double scale);
    void move_rows_gains(const int *list, const float *from, int count, double scale);
    void add_gain_rounding(double scale);
    void add_row_corrections(int c);
    void add_rows_corrections(const int *list, int count);

    void find_nearest_of(int c);
    double fresh_gain_error(double sum);
    void group_clients();
    void link_client(int c, int group);
    void unlink_client(int c);
    void regroup_client(int c);
    int own_clients(int j);
    ClientSums client_totals(int from);
    void raise_block_gain(int u);
    bool sweeps_row(int c, float limit);
    void bound_block_gains();
    ClientSums fresh_gains();
    void move_gains(int count);
    int exchanged_nearest_only(int j, int removed, int added);
    void exchange_one(int c, int j, const float *added_row, int &count);
    int renewed_nearest(int removed, int added);
    ClientSums exchanged_nearest(int j, int removed, int added);

    int first_moved;  // the first client position whose near1 an exchange changed (exchanged_nearest_only)
    int regrouped;    // the clients an exchange gave another serving position, in regroup (exchanged_nearest_only)
    int own_count;    // the clients of the position under exchange, in attached (own_clients)
    float trial_sum(const float *row, int j, int d, float displaced_cost);
    Bounds rounding_bounds();
    double crossing_error(double up, double down, int top_binade);
    double shifted_error(Position &q, int u, float displaced_cost);
    int bracket_candidates(Position &q, const Bounds &b, const int *list, int from, int to, double &ceiling);
    int taken_by(int u, const float *row, float most, int room);
    bool sparse_sums(const Position &q, const float *const *rows, const int *d, const float *displaced, int lanes,
                     float *sums);
    int settle_candidates(const Position &q, int count, double ceiling, float &best_trial);
    int choose_candidate(Position &q, const Bounds &b, const int *list, int count, float &best_trial);
    __attribute__((always_inline)) void list_vertex(int u, int &listed);
    void mark_position(Position &q);
    void clear_position(const Position &q);
    int gather_candidates(const Position &q, const Bounds &b);
    Unreached unreached(const Position &q, const Bounds &b);
    float cheapest_other_median(int j);
    int choose_from_gains(int j, const ClientSums &sums, const Bounds &b, float &best_trial);
    int allowed_count(int j);
    bool any_allowed();
    int choose_directly(int j, int allowed, float other_median, bool by_rows, float &best_trial);
    double term_work();
    double row_term_work();
    double direct_work(int allowed, double term, bool &by_rows);
    double update_work(int c, float limit);
    double position_overhead();
    double position_work(double limit);
    bool gains_pay();
    float run();
};

// Up to this many medians a vertex's two nearest are quicker to find from
// the median rows, which stay in cache from one vertex to the next, than by
// a walk of its column, some 2n/p steps.
const int ROW_SCAN_MEDIANS = 32;

// near1, near2 and their positions for one vertex, from INFINITE_COST down.
// The medians (near1 = -infinity) are met in its column's cost order, where
// the walk stops at the first cost above the second-nearest; only a column
// whose kept rows run out first, or few medians, read across the median rows.
void Pass::find_nearest_of(int c) {
    float first = INFINITE_COST, second = INFINITE_COST;
    int first_pos = -1, second_pos = -1;
    long long at = (long long)c * order_depth;
    int k = p <= ROW_SCAN_MEDIANS ? order_depth : 0;
    for (; k < order_depth; ++k) {
        float value = order_cost[at + k];
        if (value > second) break;
        int v = order_row(at + k);
        if (near1[v] == -INFINITY) take_median(value, position_of[v], first, first_pos, second, second_pos);
    }
    if (k == order_depth && (order_depth < n || p <= ROW_SCAN_MEDIANS)) {
        first = second = INFINITE_COST;
        first_pos = second_pos = -1;
        for (int l = 0; l < p; ++l) take_median(cost[sv_node[l]][c], l, first, first_pos, second, second_pos);
    }
    near1[c] = first;
    near2[c] = second;
    near1_pos[c] = first_pos;
    near2_pos[c] = second_pos;
}

// Rounding error bound of a fresh gain, a double sum of at most n terms,
// rows of them added four at a time in float (move_four_row_gains_in).
double Pass::fresh_gain_error(double sum) { return (((double)n + 2.0) * std::ldexp(1.0, -52) + GAIN_PART_ERROR) * sum; }

// The clients grouped by the position that serves them: a list per
// position (group_head, group_next, group_prev) and the group each client
// is listed in (member_of, -1 for none).  A client that no median serves
// below INFINITE_COST, and a median, belongs to no group.  An exchange
// moves only the clients whose serving position it changed, so the lists
// are made whole once per pass and then relinked (regroup_client); the
// order within a group is free, as what is summed over one is exact or a
// double with a bound on its rounding.  Medians get near1 = -infinity, so
// that they count as no client anywhere.
void Pass::group_clients() {
    for (int j = 0; j < p; ++j) group_head[j] = -1;
    for (int c = n - 1; c >= 0; --c) {
        member_of[c] = -1;
        if (position_of[c] >= p && near1_pos[c] >= 0) link_client(c, near1_pos[c]);
    }
    for (int l = 0; l < p; ++l) near1[sv_node[l]] = -INFINITY;
}

void Pass::link_client(int c, int group) {
    int first = group_head[group];
    group_next[c] = first;
    group_prev[c] = -1;
    if (first >= 0) group_prev[first] = c;
    group_head[group] = c;
    member_of[c] = group;
}

void Pass::unlink_client(int c) {
    int group = member_of[c], before = group_prev[c], after = group_next[c];
    if (before >= 0)
        group_next[before] = after;
    else
        group_head[group] = after;
    if (after >= 0) group_prev[after] = before;
    member_of[c] = -1;
}

// Lists vertex c in the group it now belongs to.
void Pass::regroup_client(int c) {
    int want = position_of[c] >= p && near1_pos[c] >= 0 ? near1_pos[c] : -1;
    if (member_of[c] == want) return;
    if (member_of[c] >= 0) unlink_client(c);
    if (want >= 0) link_client(c, want);
}

// Lays position j's clients out in attached; returns their count, also
// kept in own_count for the judging of that position.
int Pass::own_clients(int j) {
    int count = 0;
    for (int c = group_head[j]; c >= 0; c = group_next[c]) attached[count++] = c;
    own_count = count;
    return count;
}

// Everything the candidates of a pass are measured against, for the
// arrangement now in sv_node.
struct ClientSums {
    double total;      // sum of near1 over the clients
    double abs_total;  // sum of |near1| over the clients
    double partials;   // sum over client positions k of the sum of near1 up to k
    float ordered;     // the float sum of near1 in client-position order (prefix in base_prefix)
    int ties;          // additions of that sum that fell exactly halfway between two floats
    double most;       // the largest near1 of a client
};

// Whether rounding r, a sum of two floats (exact in double), to float was
// a tie: the 29 bits that a normal float drops are then exactly one half.
// Results below the normal range are counted as ties, to be safe.
static inline bool halfway(double r) {
    uint64_t bits;
    memcpy(&bits, &r, sizeof bits);
    return (bits & 0x1FFFFFFFULL) == 0x10000000ULL || (r != 0.0 && r < std::ldexp(1.0, -125));
}

// The sums for the arrangement in sv_node, made again from client position
// `from` on (p: afresh); the terms before it must be those of the previous
// call.  Each position keeps the sums up to it in base_prefix and
// prefix_sums.
ClientSums Pass::client_totals(int from) {
    ClientSums s = {0.0, 0.0, 0.0, 0.0f, 0, -INFINITY};
    float ordered = 0.0f;
    if (from > p) {
        const PrefixSums &r = prefix_sums[from - 1];
        s.total = r.total;
        s.abs_total = r.abs_total;
        s.partials = r.partials;
        s.most = r.most;
        s.ties = r.ties;
        ordered = base_prefix[from - 1];
    }
    for (int k = from; k < n; ++k) {
        float term = near1[sv_node[k]];
        double value = term;
        if (value > s.most) s.most = value;
        s.total += value;
        s.abs_total += std::fabs(value);
        s.partials += s.total;
        if (halfway((double)ordered + value)) ++s.ties;
        ordered = float_sum(ordered, term);
        base_terms[k] = term;
        base_prefix[k] = ordered;
        prefix_sums[k] = PrefixSums{s.total, s.abs_total, s.partials, s.most, s.ties};
    }
    s.ordered = ordered;
    return s;
}

// Keeps block_gain an upper bound of gain + gain_error, and block_taken one
// of taken_clients, over each block of 64 client positions, after vertex u's
// gain or taken clients rose or it came to a client position.
void Pass::raise_block_gain(int u) {
    int d = position_of[u];
    if (d < p) return;
    double key = gain[u] + gain_error[u];
    double &top = block_gain[(d - p) >> 6];
    if (key > top) top = key;
    int &taken = block_taken[(d - p) >> 6];
    if (taken_clients[u] > taken) taken = taken_clients[u];
}

// Whether client c's updates below limit are better made along its row (a
// symmetric matrix's row c is column c) than by a walk: when the column runs
// beyond its kept rows, or the walk would be long (few medians).
bool Pass::sweeps_row(int c, float limit) {
    if (!costs_symmetric) return false;
    int far_row = n / 8;  // a walk past this many rows reads more than the row would
    if (far_row < order_depth) return order_cost[(long long)c * order_depth + far_row] < limit;
    return column_overflows(c, limit);
}

// block_gain made afresh from the gains of the vertices at client positions.
void Pass::bound_block_gains() {
    for (int b = 0; b * 64 < n - p; ++b) {
        block_gain[b] = -INFINITY;
        block_taken[b] = 0;
    }
    for (int k = p; k < n; ++k) {
        int u = sv_node[k];
        double key = gain[u] + gain_error[u];
        double &top = block_gain[(k - p) >> 6];
        if (key > top) top = key;
        int &taken = block_taken[(k - p) >> 6];
        if (taken_clients[u] > taken) taken = taken_clients[u];
    }
}

// With a symmetric matrix, row c is column c: a change of client c's near1
// from before to now moves every vertex's gain at once, in sequence, as in
// move_gains; the error bound grows by scale x the two differences
// (move_gains adds the rest for all the rows it sweeps at once).  From
// before = -infinity it adds the client's whole part, for fresh gains.
VECTOR_CLONES
static void move_row_gains_in(const float *row, int n, double *gain, double *gain_error, int *taken_clients, float now,
                              float before, double scale) {
    double4 now4 = {now, now, now, now}, before4 = {before, before, before, before};
    double4 zero = {0.0, 0.0, 0.0, 0.0}, scale4 = {scale, scale, scale, scale};
    int v = 0;
    for (; v + 4 <= n; v += 4) {
        float4 x;
        memcpy(&x, row + v, sizeof x);
        double4 value = __builtin_convertvector(x, double4), g, e;
        memcpy(&g, gain + v, sizeof g);
        memcpy(&e, gain_error + v, sizeof e);
        double4 a = now4 - value, b = before4 - value;
        long4 below_now = a > zero, below_before = b > zero;
        int4 taken;
        memcpy(&taken, taken_clients + v, sizeof taken);
        a = below_now ? a : zero;
        b = below_before ? b : zero;
        g += a - b;
        e += scale4 * (a + b);
        taken += __builtin_convertvector(below_before - below_now, int4);
        memcpy(gain + v, &g, sizeof g);
        memcpy(gain_error + v, &e, sizeof e);
        memcpy(taken_clients + v, &taken, sizeof taken);
    }
    for (; v < n; ++v) {
        double a = (double)now - (double)row[v], b = (double)before - (double)row[v];
        taken_clients[v] += (a > 0.0) - (b > 0.0);
        a = a > 0.0 ? a : 0.0;
        b = b > 0.0 ? b : 0.0;
        gain[v] += a - b;
        gain_error[v] += scale * (a + b);
    }
}

// The same for four clients at once, eight vertices at a time, which reads
// and writes the gains once for the four rows.  As in the corrections'
// sweep, the differences are made and the four rows' moves added in float
// (add_four_row_corrections_in): each difference errs by at most 2^-24 of
// itself, their difference and the three additions by 2^-24 of the sum of
// their parts, so a vertex's move errs by under 2^-21 of its float parts,
// which the bound allows for with GAIN_PART_ERROR of them.  Comparisons are
// exact, and so are the parts of whole-number costs.  The next four rows
// are fetched ahead: each row is too short a stream for the prefetchers.
VECTOR_CLONES
static void move_four_row_gains_in(const float *const *rows, const float *const *next, int n, double *gain,
                                   double *gain_error, int *taken_clients, const float *now, const float *before,
                                   double scale) {
    float8 now8[4], before8[4], zero = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    const double wider = scale + GAIN_PART_ERROR;
    double4 wider4 = {wider, wider, wider, wider};
    for (int r = 0; r < 4; ++r) {
        now8[r] = float8{now[r], now[r], now[r], now[r], now[r], now[r], now[r], now[r]};
        before8[r] = float8{before[r], before[r], before[r], before[r], before[r], before[r], before[r], before[r]};
    }
    int v = 0;
    for (; v + 8 <= n; v += 8) {
        float8 moved = zero, parts = zero;
        int8 taken = {0, 0, 0, 0, 0, 0, 0, 0};
        for (int r = 0; r < 4; ++r) __builtin_prefetch(next[r] + v);
        for (int r = 0; r < 4; ++r) {
            float8 x;
            memcpy(&x, rows[r] + v, sizeof x);
            int8 below_now = x < now8[r], below_before = x < before8[r];
            float8 a = below_now ? now8[r] - x : zero, b = below_before ? before8[r] - x : zero;
            moved += a - b;
            parts += a + b;
            taken += below_before - below_now;
        }
        int8 t;
        memcpy(&t, taken_clients + v, sizeof t);
        t += taken;
        memcpy(taken_clients + v, &t, sizeof t);
        for (int half = 0; half < 2; ++half) {
            float4 m, q;
            memcpy(&m, (const char *)&moved + half * sizeof m, sizeof m);
            memcpy(&q, (const char *)&parts + half * sizeof q, sizeof q);
            double4 g, e;
            memcpy(&g, gain + v + 4 * half, sizeof g);
            memcpy(&e, gain_error + v + 4 * half, sizeof e);
            g += __builtin_convertvector(m, double4);
            e += wider4 * __builtin_convertvector(q, double4);
            memcpy(gain + v + 4 * half, &g, sizeof g);
            memcpy(gain_error + v + 4 * half, &e, sizeof e);
        }
    }
    for (; v < n; ++v)
        for (int r = 0; r < 4; ++r) {
            double a = (double)now[r] - (double)rows[r][v], b = (double)before[r] - (double)rows[r][v];
            taken_clients[v] += (a > 0.0) - (b > 0.0);
            a = a > 0.0 ? a : 0.0;
            b = b > 0.0 ? b : 0.0;
            gain[v] += a - b;
            gain_error[v] += wider * (a + b);
        }
}

void Pass::move_row_gains(int c, float now, float before, double scale) {
    move_row_gains_in(cost[c], n, gain, gain_error, taken_clients, now, before, scale);
}

// Rows gathered for the four-row sweeps, each with its two thresholds and
// the row to fetch ahead.
struct FourRows {
    const float *rows[4], *next[4];
    float first[4], second[4];
    int count = 0;
    // Adds a row; true when it makes four, which stay for the sweep while
    // count starts again from 0.
    bool add(const float *row, const float *ahead, float a, float b) {
        rows[count] = row;
        next[count] = ahead;
        first[count] = a;
        second[count] = b;
        if (++count < 4) return false;
        count = 0;
        return true;
    }
};

// Moves the gains by the rows of clients list[0..count-1], whose cheapest
// cost went from from[i] to near1, four rows at a time.
// A client that no median serves (near1 = INFINITE_COST, before or now)
// takes the double sweep: its parts are whole numbers too large for a float.
void Pass::move_rows_gains(const int *list, const float *from, int count, double scale) {
    FourRows g;
    for (int i = 0; i < count; ++i) {
        int c = list[i];
        if (n < FLOAT_PARTS_FROM || near1[c] == INFINITE_COST || from[i] == INFINITE_COST)
            move_row_gains(c, near1[c], from[i], scale);
        else if (g.add(cost[c], cost[list[i + 4 < count ? i + 4 : i]], near1[c], from[i]))
            move_four_row_gains_in(g.rows, g.next, n, gain, gain_error, taken_clients, g.first, g.second, scale);
    }
    for (int r = 0; r < g.count; ++r)
        move_row_gains_in(g.rows[r], n, gain, gain_error, taken_clients, g.first[r], g.second[r], scale);
}

// gain_error[v] += scale x |gain[v]| for every vertex.
VECTOR_CLONES
static void add_gain_rounding_in(double *gain_error, const double *gain, int n, double scale) {
    for (int v = 0; v < n; ++v) gain_error[v] += scale * std::fabs(gain[v]);
}

void Pass::add_gain_rounding(double scale) { add_gain_rounding_in(gain_error, gain, n, scale); }

// Builds every vertex's gain from scratch, with near1, near2, the groups
// and position_of already made for the arrangement: each client adds
// near1[c] - cost[u][c] to the gain of every u below its near1.
ClientSums Pass::fresh_gains() {
    for (int v = 0; v < n; ++v) {
        gain[v] = 0.0;
        taken_clients[v] = 0;
    }
    int *by_row = candidates;  // free between positions
    float *from = changed_from;  // free between exchanges
    int rows = 0;
    for (int k = p; k < n; ++k) {
        int c = sv_node[k];
        double first = near1[c];
        if (sweeps_row(c, near1[c])) {
            by_row[rows] = c;
            from[rows++] = -INFINITY;
            continue;
        }
        rows_below(c, near1[c], [this, first](int u, float x) {
            gain[u] += first - (double)x;
            ++taken_clients[u];
        });
    }
    move_rows_gains(by_row, from, rows, 0.0);
    for (int v = 0; v < n; ++v) gain_error[v] = fresh_gain_error(gain[v]);
    bound_block_gains();
    return client_totals(p);
}

// Gain updates after an exchange: every vertex u gains, for each changed
// client c, max(0, now - cost[u][c]) - max(0, before - cost[u][c]), which is
// non-zero only below the larger of the two.  gain_error grows by a bound on
// the rounding of each update: the two differences and their difference,
// then the addition.  Changed clients whose walks would be long (few medians,
// a symmetric matrix) move every gain along their rows first, k of them in
// all: then each partial sum of a gain is at most its final value plus the
// later differences, and (k + 2) x 2^-52 x (differences + |final gain|)
// bounds the rounding of those k additions.  The walks follow.
void Pass::move_gains(int count) {
    const double term_error = std::ldexp(1.0, -51), sum_error = std::ldexp(1.0, -52);
    // The rows go first in changed[], the walks after them.
    int rows = 0;
    for (int i = 0; i < count; ++i) {
        float now = near1[changed[i]], before = changed_from[i];
        if (sweeps_row(changed[i], now > before ? now : before)) {
            std::swap(changed[i], changed[rows]);
            std::swap(changed_from[i], changed_from[rows]);
            ++rows;
        }
    }
    if (rows > 0) {
        double scale = ((double)rows + 2.0) * sum_error;
        move_rows_gains(changed, changed_from, rows, scale);
        add_gain_rounding(scale);
    }
    // After row sweeps the block bounds are made afresh below; the walks
    // need not raise them one vertex at a time.
    const bool raise = rows == 0;
    for (int i = rows; i < count; ++i) {
        int c = changed[i];
        float now = near1[c], before = changed_from[i];
        rows_below(c, now > before ? now : before, [=, this](int u, float x) {
            double a = (double)now - (double)x, b = (double)before - (double)x;
            a = a > 0.0 ? a : 0.0;
            b = b > 0.0 ? b : 0.0;
            gain[u] += a - b;
            gain_error[u] += term_error * (a + b) + sum_error * std::fabs(gain[u]);
            taken_clients[u] += (x < now) - (x < before);
            if (raise) raise_block_gain(u);
        });
    }
    if (rows > 0) bound_block_gains();
}

// The start of the first run of 16 vertices from `from` on that holds one
// the exchange at position j may change (served first or second by position
// j, or with a cost on added_row at most its second-nearest), or else of
// the shorter run that ends at count.  Medians may set a run off too.
VECTOR_CLONES
static int next_affected(const int *first_pos, const int *second_pos, const float *added_row, const float *second,
                         int j, int from, int count) {
    for (; from + 16 <= count; from += 16) {
        int hit = 0;
        for (int i = from; i < from + 16; ++i)
            hit |= (first_pos[i] == j) | (second_pos[i] == j) | (added_row[i] <= second[i]);
        if (hit) return from;
    }
    return from;
}

// Client c's near1 and near2 after the median at position j became the
// vertex of added_row; lists c in changed when its cheapest cost changed,
// and lowers first_moved to c's position when its bits did.
inline void Pass::exchange_one(int c, int j, const float *added_row, int &count) {
    float before = near1[c];
    if (near1_pos[c] == j || near2_pos[c] == j) {
        find_nearest_of(c);
    } else {
        // Position j competes with the others as a scan in position
        // order would have it: an equal cost at a lower position wins.
        float value = added_row[c];
        if (value < near1[c] || (value == near1[c] && j < near1_pos[c])) {
            near2[c] = near1[c];
            near2_pos[c] = near1_pos[c];
            near1[c] = value;
            near1_pos[c] = j;
        } else if (value < near2[c] || (value == near2[c] && j < near2_pos[c])) {
            near2[c] = value;
            near2_pos[c] = j;
        } else {
            return;
        }
    }
    if (near1[c] != before) {
        changed[count] = c;
        changed_from[count++] = before;
    }
    if (memcmp(&near1[c], &before, sizeof before) != 0 && position_of[c] < first_moved) first_moved = position_of[c];
}

// Brings near1 and near2 up to date after the exchange that put `added` at
// median position j and `removed` among the clients, and lists the clients
// whose cheapest cost changed, with the cost before, in changed and
// changed_from; returns their count.  Only clients that position j served
// first or second need a new scan of the medians; the others just compare
// the new median's cost, and only those at most their second-nearest from
// it can change at all.  Vertices are visited in index order, where runs of
// them that hold no such client are passed over side by side.
int Pass::exchanged_nearest_only(int j, int removed, int added) {
    if (p <= 16) {
        first_moved = p;  // renewed_nearest borrows base_prefix
        return renewed_nearest(removed, added);
    }
    int count = 0;
    regrouped = 0;
    changed[count] = added;
    changed_from[count++] = near1[added];
    near1[added] = -INFINITY;  // medians are known by this mark
    near1[removed] = INFINITE_COST;
    first_moved = n;
    const float *added_row = cost[added];
    for (int from = 0; from < n; from += 16) {
        from = next_affected(near1_pos, near2_pos, added_row, near2, j, from, n);
        int to = from + 16 < n ? from + 16 : n;
        for (int c = from; c < to; ++c)
            if (position_of[c] >= p && c != removed) {
                int served_by = near1_pos[c];
                exchange_one(c, j, added_row, count);
                if (near1_pos[c] != served_by) regroup[regrouped++] = c;
            }
    }
    find_nearest_of(removed);
    changed[count] = removed;
    changed_from[count++] = -INFINITY;
    return count;
}

// The same for few medians, where a client that position j served would
// read every median row anyway: near1 and near2 made afresh for all
// vertices, eight at a time (find_nearest), and compared with the costs
// before.  base_prefix holds those until client_totals makes it again.
int Pass::renewed_nearest(int removed, int added) {
    float *before = base_prefix;
    for (int k = p; k < n; ++k) before[sv_node[k]] = near1[sv_node[k]];
    int count = 0;
    changed[count] = added;
    changed_from[count++] = near1[added];
    find_nearest();
    for (int l = 0; l < p; ++l) near1[sv_node[l]] = -INFINITY;  // medians are known by this mark
    for (int k = p; k < n; ++k) {
        int c = sv_node[k];
        if (c != removed && near1[c] != before[c]) {
            changed[count] = c;
            changed_from[count++] = before[c];
        }
    }
    changed[count] = removed;
    changed_from[count++] = -INFINITY;
    return count;
}

// The same, and the groups and the gains with it: the gains change only
// through the clients whose cheapest cost changed, through `added` leaving
// the clients and through `removed` joining them.
ClientSums Pass::exchanged_nearest(int j, int removed, int added) {
    int count = exchanged_nearest_only(j, removed, added);
    // Client positions before the first changed term keep their sums: the
    // removed median came to the added client's position.
    int from = position_of[removed] < first_moved ? position_of[removed] : first_moved;
    move_gains(count);
    if (p <= 16) {
        group_clients();  // renewed_nearest made every client afresh
    } else {
        for (int i = 0; i < regrouped; ++i) regroup_client(regroup[i]);
        regroup_client(added);
        regroup_client(removed);
    }
    gain[removed] = positive_gap_sum(near1, cost[removed], n);  // it was a median: start afresh
    gain_error[removed] = fresh_gain_error(gain[removed]);
    taken_clients[removed] = count_below(cost[removed], near1, n);
    raise_block_gain(removed);
    return client_totals(from);
}

// The ordered float sum of a trial: the straightforward pass's trial cost,
// for candidate row `row` at position j and the displaced median at client
// position d, whose cost from the new set is displaced_cost.  Each other
// client costs the cheaper of the candidate and its best median other than
// position j.
float Pass::trial_sum(const float *row, int j, int d, float displaced_cost) {
    auto add_range = [&](float sum, int from, int to) {
        for (int k = from; k < to; ++k) {
            int c = sv_node[k];
            float x = row[c], other = near1_pos[c] == j ? near2[c] : near1[c];
            sum = float_sum(sum, x < other ? x : other);
        }
        return sum;
    };
    float sum = add_range(0.0f, p, d);
    sum = float_sum(sum, displaced_cost);
    return add_range(sum, d + 1, n);
}

// Everything a candidate of position j is judged with.
struct Position {
    int j, median;
    double loss, own_abs;  // loss_j and the sum of |near2| over the own clients
    float other_median;    // the displaced median's cheapest cost from the other medians
    float current;         // cost of the arrangement, to beat
    ClientSums sums;
    int listed;            // vertices marked by the walks, in `touched`
    bool sweep;            // the corrections came from a row sweep: any vertex may have one
    double correction_error;  // bound on the error of the corrections' float parts (row sweeps)
    double gain_top;       // an upper bound of gain + gain_error over the client positions
    double widest_up, widest_down, widest_drift;  // rises and falls of the partial sums that q.crossing covers
    int widest_binade;     // the top binade it covers
    double crossing;       // crossing_error for those, once worked out, else -1
};

// The constants of the rounding bounds.  Each addition of an ordered float
// sum errs by at most unit x |the partial sum it makes|, so a trial's float
// sum differs from its exact value by at most float_unit times the sum of
// its exact partial sums (float_unit allows for the partials' own rounding).
// With non-negative costs that sum is at most the current arrangement's
// (ClientSums::partials) plus, at every position, the terms that the trial
// raises: position j's clients, by at most loss_j in all, and the displaced
// median in the candidate's place.  Otherwise the classical bound serves:
// sum_error times the sum of the terms' magnitudes.  delta, formed in double
// from sums of up to n terms, carries at most double_error times the
// magnitudes of its parts.
struct Bounds {
    double float_unit, sum_error, double_error;
};

Bounds Pass::rounding_bounds() {
    const double terms = n - p, unit = std::ldexp(1.0, -24);
    const double gamma = terms * unit / (1.0 - terms * unit);
    Bounds b;
    b.float_unit = unit / (1.0 - unit) * (1.0 + gamma) * (1.0 + std::ldexp(1.0, -30));
    b.sum_error = 2.0 * terms * unit / (1.0 - terms * unit);
    b.double_error = 2.0 * (4.0 * n + 64.0) * std::ldexp(1.0, -52);
    return b;
}

const double EXACT_LIMIT = 16777216.0;  // whole-number sums below 2^24 are exact in float

// 2^e for a normal double exponent, and the exponent of a positive normal
// double: bit operations, where ldexp and ilogb are library calls.
static inline double power_of_two(int e) {
    uint64_t bits = (uint64_t)(e + 1023) << 52;
    double x;
    memcpy(&x, &bits, sizeof x);
    return x;
}

static inline int binade_of(double x) {
    uint64_t bits;
    memcpy(&bits, &x, sizeof bits);
    return (int)((bits >> 52) & 0x7FF) - 1023;
}

// The part of a shifted bound (see shifted_error) that the additions near
// powers of two contribute, for partial sums that may rise by up to `up`
// and fall by up to `down` from the current ones; spacing is the float
// spacing of the top binade, top_binade its exponent.  Step k (which makes
// base_prefix[k] from the partial sum before it) can straddle 2^e only when
// base_prefix[k] >= 2^e - up and the sum before it is at most 2^e + down;
// the partial sums rise with k, so those steps are one run, found by two
// binary searches.  Powers far below the top add at most n spacings of
// their binade, which together stay below one spacing of a low binade.
double Pass::crossing_error(double up, double down, int top_binade) {
    const float *prefix = base_prefix + p;
    const long long terms = n - p;
    int low = top_binade - binade_of((double)terms) - 2;
    if (low < -125) low = -125;  // below 2^-125 the float spacing does not change
    double error = (double)terms * power_of_two(low - 23);
    for (int e = low; e <= top_binade; ++e) {
        double power = power_of_two(e);
        long long first = std::lower_bound(prefix, prefix + terms, power - up) - prefix;
        long long past = std::upper_bound(prefix, prefix + terms, power + down) - prefix;
        if (first < 1) first = 1;  // the first addition starts from 0 and is exact
        long long last = past < terms - 1 ? past : terms - 1;
        if (last >= first) error += (double)(last - first + 1) * power_of_two(e - 23);
    }
    return error;
}

// The rises and falls that a position's shared crossing part covers: every
// candidate's rise (the loss and at most the displaced median's cost, costs
// being non-negative) and the falls of the candidates whose gain and own
// cost stay within the top gain and the loss.
static void widen(Position &q) {
    const double most = 4096.0;
    q.widest_up = q.loss + (double)q.other_median;
    q.widest_down = q.gain_top + q.loss;
    double top = (double)q.sums.ordered + q.widest_up + 1.0;
    q.widest_drift = top < 1e38 ? most * power_of_two(binade_of(top) - 23) : INFINITY;
    q.widest_binade = top < 1e38 ? binade_of(top + q.widest_drift) : 0;
    q.crossing = -1.0;
}

// A rigorous bound on how far a trial's float sum can lie from the current
// arrangement's float sum (sums.ordered) moved by the exact change of the
// terms, or infinity.  Non-negative costs only.
//
// Both sums add the same terms in the same order, except at the positions
// the trial changes: position j's own clients, the clients u takes over and
// the displaced median at d.  Let D be the difference of the two partial
// sums.  Where both lie in one binade of floats, D is a whole number of the
// float spacing there, and an addition that changes no term rounds both
// alike (rounding commutes with a shift by whole spacings), unless the
// current sum's addition fell exactly halfway.  So only the changed
// additions, the ties and the additions that straddle a power of two can
// round differently, each by at most one spacing of the binade it reaches.
// D never exceeds the terms' rises (up) or falls (down), so the straddling
// additions lie near the powers (crossing_error).  A position works that
// part out once, for the widest rises and falls of its candidates
// (q.crossing); a candidate beyond them works out its own.
double Pass::shifted_error(Position &q, int u, float displaced_cost) {
    const double most = 4096.0;  // differences of rounding allowed for, in top spacings
    double raise = (double)displaced_cost - (double)near1[u];
    double up = q.loss + (raise > 0.0 ? raise : 0.0), down = gain[u] + gain_error[u] + (raise < 0.0 ? -raise : 0.0);
    double top = (double)q.sums.ordered + up + 1.0;
    if (!(top < 1e38)) return INFINITY;
    double drift = most * power_of_two(binade_of(top) - 23);
    int top_binade = binade_of(top + drift);
    double spacing = power_of_two(top_binade - 23);
    double crossing;
    if (up <= q.widest_up && down <= q.widest_down) {
        if (q.crossing < 0.0)
            q.crossing = crossing_error(q.widest_up + q.widest_drift, q.widest_down + q.widest_drift, q.widest_binade);
        crossing = q.crossing;
    } else {
        crossing = crossing_error(up + drift, down + drift, top_binade);
    }
    // Besides position j's own clients, a trial changes the additions of the
    // clients that u would serve cheaper than their nearest median, which
    // the gain updates count (walks and row sweeps alike).
    double error = (double)(own_count + 1 + q.sums.ties + taken_clients[u]) * spacing + crossing;
    return error <= drift ? error : INFINITY;
}

// Brackets the trial costs of the candidates at client positions
// list[from..to-1] (or from..to-1 without a list) for position q.j: every
// candidate whose trial can still be the lowest one below the current cost
// is stored, from brackets[from] on, with an interval that holds its float
// trial sum.  `ceiling` is the lowest upper end met so far: a candidate whose
// interval starts above it cannot be the lowest.  Returns the count stored.
//
// The interval comes from the exact cost, formed in double from the
// bookkeeping, and the rounding bounds; without position j's correction the
// exact cost is a lower bound, which settles most candidates.  With small
// whole-number costs the exact cost is the float sum itself.
int Pass::bracket_candidates(Position &q, const Bounds &b, const int *list, int from, int to, double &ceiling) {
    const int j = q.j;
    const double current = q.current;
    int stored = from;
    for (int at = from; at < to; ++at) {
        int d = list ? list[at] : at;
        int u = sv_node[d];
        if (is_far(q.median, u)) continue;
        float displaced_cost = to_displaced[u] < q.other_median ? to_displaced[u] : q.other_median;
        double own_other = near1_pos[u] == j ? near2[u] : near1[u];

        double lower = q.sums.total + (own_other > 0.0 ? 0.0 : -own_other) - gain[u] + (double)displaced_cost;
        double error, float_error = 0.0;
        // A float sum that overflows leaves the rounding bounds behind.  It
        // can only overflow downwards (no term exceeds INFINITE_COST), and
        // only when the terms' magnitudes reach the float range: then its
        // float sum may be -infinity, whatever its exact value.
        bool may_overflow = false;
        if (costs_nonnegative) {
            double raised = (double)displaced_cost - own_other;
            float_error = b.float_unit * (q.sums.partials + (n - p) * (q.loss + (raised > 0.0 ? raised : 0.0)));
            double parts = q.sums.total + q.loss + gain[u] + (double)displaced_cost;
            error = float_error + b.double_error * parts + gain_error[u];
        } else {
            double magnitude = row_abs[u] + q.sums.abs_total + q.own_abs + std::fabs((double)displaced_cost);
            error = (b.sum_error + b.double_error) * magnitude + gain_error[u];
            may_overflow = magnitude * (1.0 + b.sum_error) >= (double)FLT_MAX;
        }
        double low = may_overflow ? -INFINITY : lower - error;
        if (!(low < current) || low > ceiling) continue;

        double correction = own_correction[u];
        double exact = lower + (q.loss - correction);
        double high;
        if (costs_whole && std::fabs(exact) < EXACT_LIMIT) {
            low = high = (float)exact;  // every partial sum is a whole number below 2^24
        } else {
            if (costs_nonnegative) {
                double parts = q.sums.total + q.loss + gain[u] + correction + (double)displaced_cost;
                error = float_error + b.double_error * parts + gain_error[u];
            }
            error += q.correction_error;
            low = may_overflow ? -INFINITY : exact - error;
            high = exact + error;
            if (!(low < current) || low > ceiling) continue;
            if (costs_nonnegative) {
                // The current float sum moved by the exact change, with a far
                // tighter bound where it applies.
                double center = (double)q.sums.ordered + (exact - q.sums.total);
                double parts = q.sums.total + q.loss + gain[u] + correction + (double)displaced_cost;
                double near = shifted_error(q, u, displaced_cost) + b.double_error * parts + gain_error[u] +
                              q.correction_error;
                if (center - near > low) low = center - near;
                if (center + near < high) high = center + near;
                if (!(low < current) || low > ceiling) continue;
            }
        }
        if (high < ceiling) ceiling = high;
        brackets[stored].position = d;
        brackets[stored].low = low;
        brackets[stored].high = high;
        ++stored;
    }
    return stored - from;
}

// The vertices v with row[v] < near[v], in index order, into hits; -1 when
// they are more than room.
VECTOR_CLONES
static int cheaper_clients(const float *row, const float *near, int n, int *hits, int room) {
    int count = 0, v = 0;
    for (; v + 16 <= n; v += 16) {
        int any = 0;
        for (int i = v; i < v + 16; ++i) any |= row[i] < near[i];
        if (!any) continue;
        for (int i = v; i < v + 16; ++i)
            if (row[i] < near[i]) {
                if (count == room) return -1;
                hits[count++] = i;
            }
    }
    for (; v < n; ++v)
        if (row[v] < near[v]) {
            if (count == room) return -1;
            hits[count++] = v;
        }
    return count;
}

// The clients that vertex u (cost row `row`) would serve cheaper than their
// nearest median, and perhaps medians, into trial_hits; -1 when more than
// room.  None of them costs u as much as `most`, the dearest client's
// nearest cost, so with a symmetric matrix a walk of u's column (its row)
// up to there finds them, unless it runs past the kept rows.
int Pass::taken_by(int u, const float *row, float most, int room) {
    if (!costs_symmetric || column_overflows(u, most)) return cheaper_clients(row, near1, n, trial_hits, room);
    int count = 0;
    const long long at = (long long)u * order_depth;
    for (int k = 0; k < order_depth && order_cost[at + k] < most; ++k) {
        int c = order_row(at + k);
        if (order_cost[at + k] < near1[c]) {
            if (count == room) return -1;
            trial_hits[count++] = c;
        }
    }
    return count;
}

// The float trial sums at position q.j of `lanes` candidates at client
// positions d[], with rows rows[] (all TRIAL_LANES filled) and displaced
// costs, from the terms their trials change (sparse_trial_sums): position
// j's own clients, the clients each candidate would serve cheaper than their
// nearest median, and the candidate's own position.  False, with nothing
// summed, when those are too many for that to pay: sorting them would cost
// more than gathering every term.
bool Pass::sparse_sums(const Position &q, const float *const *rows, const int *d, const float *displaced, int lanes,
                       float *sums) {
    const int room = std::min(n, std::max(64, (n - p) / 16));  // trial_events has n slots
    const int *own = attached;
    if (own_count + lanes > room) return false;
    TrialEvent *events = trial_events;
    int count = 0;
    for (int a = 0; a < own_count; ++a) events[count++] = TrialEvent{position_of[own[a]], -1, near2[own[a]]};
    for (int i = 0; i < lanes; ++i) {
        const int u = sv_node[d[i]];
        events[count++] = TrialEvent{d[i], i, displaced[i]};
        int hits = taken_by(u, rows[i], (float)q.sums.most, room - count);
        if (hits < 0) return false;
        for (int h = 0; h < hits; ++h) {
            int c = trial_hits[h];
            // Medians (near1 -infinity) never come; own clients and the
            // candidate's own position have their changes already.
            if (c == u || near1_pos[c] == q.j || position_of[c] < p) continue;
            events[count++] = TrialEvent{position_of[c], i, rows[i][c]};
        }
    }
    std::sort(events, events + count, [](const TrialEvent &x, const TrialEvent &y) {
        return x.position != y.position ? x.position < y.position : x.lane < y.lane;
    });
    const int from = events[0].position;
    const float start = from > p ? base_prefix[from - 1] : 0.0f;
    sparse_trial_sums(rows, sv_node, base_terms, start, from, n, events, count, sums);
    return true;
}

// The candidate that a scan in position order would choose among the count
// bracketed ones in brackets[]: the lowest float trial below the current
// cost, and the lowest position among equal trials; -1 if none.  Float sums
// are made in order of the intervals' lower ends and only while an interval
// can still hold a trial that wins.  Where several intervals are still open
// at once, their sums are made side by side, eight at a time
// (direct_trials.h), from a table of the other costs made on first need:
// a sum that the scan then does not use is only work lost.
int Pass::settle_candidates(const Position &q, int count, double ceiling, float &best_trial) {
    std::sort(brackets, brackets + count, [](const TrialBracket &x, const TrialBracket &y) { return x.low < y.low; });
    int chosen = -1;
    best_trial = q.current;
    float *other = nullptr;  // changed_from, free until the next exchange
    float lane_sums[TRIAL_LANES];
    int summed_to = 0;  // the open brackets before this one that need a sum have it in lane_sums
    int lane_of[TRIAL_LANES];
    for (int a = 0; a < count; ++a) {
        const TrialBracket &t = brackets[a];
        if (t.low > ceiling || t.low > (double)best_trial) break;
        int d = t.position;
        if (t.low == (double)best_trial && (chosen < 0 || d > chosen)) continue;
        float trial;
        if (t.low == t.high) {
            trial = (float)t.low;
        } else {
            if (a >= summed_to) {
                // The open intervals from here on that need a sum, up to a lane's worth.
                const float *rows[TRIAL_LANES];
                int at[TRIAL_LANES], lanes = 0;
                float displaced[TRIAL_LANES];
                int e = a;
                for (; e < count && lanes < TRIAL_LANES; ++e) {
                    const TrialBracket &x = brackets[e];
                    if (x.low > ceiling || x.low > (double)best_trial) break;
                    if (x.low == x.high) continue;
                    int v = sv_node[x.position];
                    rows[lanes] = cost[v];
                    at[lanes] = x.position - p;
                    displaced[lanes] = to_displaced[v] < q.other_median ? to_displaced[v] : q.other_median;
                    lane_of[lanes++] = e;
                }
                summed_to = e;
                int d_of[TRIAL_LANES];
                for (int i = 0; i < lanes; ++i) d_of[i] = at[i] + p;
                for (int i = lanes; i < TRIAL_LANES; ++i) rows[i] = rows[lanes - 1];
                if (sparse_sums(q, rows, d_of, displaced, lanes, lane_sums)) {
                    // summed from the changed terms
                } else if (lanes == 1) {
                    lane_sums[0] = trial_sum(rows[0], q.j, d, displaced[0]);
                } else {
                    if (!other) {
                        other = changed_from;
                        for (int k = p; k < n; ++k) {
                            int c = sv_node[k];
                            other[k - p] = near1_pos[c] == q.j ? near2[c] : near1[c];
                        }
                    }
                    direct_trial_sums(rows, lanes, sv_node + p, other, n - p, at, displaced, lane_sums);
                }
            }
            int lane = 0;
            while (lane_of[lane] != a) ++lane;
            trial = lane_sums[lane];
        }
        if (trial < best_trial || (trial == best_trial && chosen >= 0 && d < chosen)) {
            best_trial = trial;
            chosen = d;
        }
    }
    return chosen;
}

// The candidate of position q.j among count client positions (from `list`,
// or all of them) and its trial.
int Pass::choose_candidate(Position &q, const Bounds &b, const int *list, int count, float &best_trial) {
    int first = list ? 0 : p;
    double ceiling = INFINITY;
    int stored = bracket_candidates(q, b, list, first, first + count, ceiling);
    if (first > 0) memmove(brackets, brackets + first, stored * sizeof(TrialBracket));
    return settle_candidates(q, stored, ceiling, best_trial);
}

// With a symmetric matrix, row c is column c: own client c's correction of
// every vertex at once, in sequence, four vertices at a time.
VECTOR_CLONES
static void add_row_corrections_in(const float *row, int n, double first, double second, double *own_correction) {
    double4 first4 = {first, first, first, first}, second4 = {second, second, second, second};
    int u = 0;
    for (; u + 4 <= n; u += 4) {
        float4 x;
        memcpy(&x, row + u, sizeof x);
        double4 value = __builtin_convertvector(x, double4), sum;
        memcpy(&sum, own_correction + u, sizeof sum);
        double4 taken = value > first4 ? value : first4;
        sum += value < second4 ? second4 - taken : double4{0.0, 0.0, 0.0, 0.0};
        memcpy(own_correction + u, &sum, sizeof sum);
    }
    for (; u < n; ++u) {
        double x = row[u];
        if (x < second) own_correction[u] += second - (x > first ? x : first);
    }
}

// The same for four own clients at once, eight vertices at a time, with the
// next four rows fetched ahead (each row is too short a stream for the
// prefetchers).  The parts are made in float, twice as many to an
// instruction as in double, and the four rows' parts of a vertex are added
// in float before one conversion adds them to its double correction.  A native
// float operation on floats is their double result rounded once to float;
// each part, in [0, near2 - near1], then errs by at most 2^-24 of itself and
// each of the three additions by 2^-24 of the sum, so a correction errs by
// under 2^-21 of itself beyond the rounding of its double sum, and so by
// under CORRECTION_PART_ERROR of the position's loss.
VECTOR_CLONES
static void add_four_row_corrections_in(const float *const *rows, const float *const *next, int n, const float *first,
                                        const float *second, double *own_correction) {
    float8 first8[4], second8[4], zero = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    for (int r = 0; r < 4; ++r) {
        first8[r] = float8{first[r], first[r], first[r], first[r], first[r], first[r], first[r], first[r]};
        second8[r] = float8{second[r], second[r], second[r], second[r], second[r], second[r], second[r], second[r]};
    }
    int u = 0;
    for (; u + 8 <= n; u += 8) {
        float8 added = zero;
        for (int r = 0; r < 4; ++r) __builtin_prefetch(next[r] + u);
        for (int r = 0; r < 4; ++r) {
            float8 x;
            memcpy(&x, rows[r] + u, sizeof x);
            float8 part = second8[r] - (x > first8[r] ? x : first8[r]);  // below 0 when x >= near2
            added += part > zero ? part : zero;
        }
        float4 low, high;
        memcpy(&low, &added, sizeof low);
        memcpy(&high, (const char *)&added + sizeof low, sizeof high);
        double4 sum_low, sum_high;
        memcpy(&sum_low, own_correction + u, sizeof sum_low);
        memcpy(&sum_high, own_correction + u + 4, sizeof sum_high);
        sum_low += __builtin_convertvector(low, double4);
        sum_high += __builtin_convertvector(high, double4);
        memcpy(own_correction + u, &sum_low, sizeof sum_low);
        memcpy(own_correction + u + 4, &sum_high, sizeof sum_high);
    }
    for (; u < n; ++u)
        for (int r = 0; r < 4; ++r) {
            double x = rows[r][u];
            if (x < second[r]) own_correction[u] += (double)second[r] - (x > first[r] ? x : (double)first[r]);
        }
}

void Pass::add_row_corrections(int c) { add_row_corrections_in(cost[c], n, near1[c], near2[c], own_correction); }

// Own clients list[0..count-1]'s corrections of every vertex, by rows.
// A client with no second median (near2 = INFINITE_COST) takes the double
// sweep: its parts are whole numbers too large for a float.
void Pass::add_rows_corrections(const int *list, int count) {
    FourRows g;
    for (int a = 0; a < count; ++a) {
        int c = list[a];
        if (n < FLOAT_PARTS_FROM || near2[c] == INFINITE_COST)
            add_row_corrections(c);
        else if (g.add(cost[c], cost[list[a + 4 < count ? a + 4 : a]], near1[c], near2[c]))
            add_four_row_corrections_in(g.rows, g.next, n, g.first, g.second, own_correction);
    }
    for (int r = 0; r < g.count; ++r) add_row_corrections_in(g.rows[r], n, g.first[r], g.second[r], own_correction);
}

// Adds vertex u to the walks' list, once.  Without a branch: neighbouring
// clients share most of their walks, so whether u is new is a coin toss for
// the branch predictor.  touched has room for n + 1, the slot past the end.
inline void Pass::list_vertex(int u, int &listed) {
    touched[listed] = u;
    listed += in_list[u] ^ 1;
    in_list[u] = 1;
}

// Sets own_correction for position j's own clients and to_displaced for its
// median, and lists every vertex those walks reach, with the own clients
// (in `touched`; q.listed counts them).  An own client whose second-nearest
// cost lies beyond its column's kept rows needs its whole column, and with a
// symmetric matrix a long walk is slower than its row; when many own clients
// are such (few medians, long columns), their rows or one sweep of all rows
// serve them together, and then any vertex may have a correction (q.sweep).
void Pass::mark_position(Position &q) {
    const int *own = attached;
    // Until the candidates are gathered, `candidates` holds which own clients
    // need their whole column (or, symmetric, would walk far).
    int *wide = candidates, wide_count = 0;
    for (int a = 0; a < own_count; ++a) {
        int c = own[a];
        wide[a] = column_overflows(c, near2[c]) || sweeps_row(c, near2[c]);
        wide_count += wide[a];
    }
    bool sweep = 16LL * wide_count > n;
    int listed = 0;
    for (int a = 0; a < own_count; ++a) {
        int c = own[a];
        double first = near1[c], second = near2[c];
        list_vertex(c, listed);
        if (sweep && wide[a]) continue;
        double *correction = own_correction;  // a local, not reloaded after every store
        rows_below(c, near2[c], [this, first, second, correction, &listed](int u, float x) {
            correction[u] += second - ((double)x > first ? (double)x : first);
            list_vertex(u, listed);
        });
    }
    rows_below(q.median, q.other_median, [this, &listed](int u, float x) {
        to_displaced[u] = x;
        list_vertex(u, listed);
    });
    q.listed = listed;
    q.sweep = sweep;
    q.correction_error = sweep && costs_symmetric ? CORRECTION_PART_ERROR * q.loss : 0.0;
    if (!sweep) return;
    // Every candidate is judged after a sweep, so `candidates` stays free.
    int count = 0;
    for (int a = 0; a < own_count; ++a)
        if (wide[a]) wide[count++] = own[a];
    if (costs_symmetric) {
        add_rows_corrections(wide, count);
        return;
    }
    for (int u = 0; u < n; ++u) {
        const float *row = cost[u];
        double sum = 0.0;
        for (int a = 0; a < count; ++a) {
            int c = wide[a];
            double x = row[c], first = near1[c], second = near2[c];
            if (x < second) sum += second - (x > first ? x : first);
        }
        own_correction[u] += sum;
    }
}

// Puts own_correction, to_displaced and the marks back to rest.
void Pass::clear_position(const Position &q) {
    if (q.sweep)
        for (int u = 0; u < n; ++u) own_correction[u] = 0.0;
    for (int a = 0; a < q.listed; ++a) {
        int u = touched[a];
        own_correction[u] = 0.0;
        to_displaced[u] = INFINITY;
        in_list[u] = 0;
    }
}

// The client positions whose candidates can possibly improve on position
// q.j, into `candidates`; returns their count.  The listed vertices may have
// a correction or a cheap displaced median.  Any other candidate u has
// neither, so with non-negative costs its exact cost is sums.total + loss +
// other_median - gain[u], and it can only beat the current cost if gain[u] +
// gain_error[u] reaches a threshold; blocks of 64 positions whose upper bound
// stays below it are passed over whole.
//
// Two thresholds apply, as in bracket_candidates.  The first allows for the
// rounding of a whole float sum, which grows with the square of the client
// count (at 20,000 vertices it exceeds most positions' loss, and then it
// lets every candidate through).  The second is the shifted bound: such a
// candidate's trial lies within shifted_error of the current float sum moved
// by its exact change, and that error is bounded for all of them at once
// (Unreached); only their taken clients differ, bounded per block too.
int Pass::gather_candidates(const Position &q, const Bounds &b) {
    int count = 0;
    for (int a = 0; a < q.listed; ++a) {
        int d = position_of[touched[a]];
        if (d >= p) candidates[count++] = d;
    }
    int blocks = (n - p + 63) / 64;
    double top = q.gain_top;
    const double terms = n - p, other = q.other_median;
    double rest = b.float_unit * (q.sums.partials + terms * (q.loss + other)) +
                  b.double_error * (q.sums.total + q.loss + top + other);
    double slack = std::ldexp(1.0, -40) * (q.sums.total + q.loss + other + std::fabs((double)q.current) + rest + top);
    double threshold = q.sums.total + q.loss + other - (double)q.current - rest - slack;
    Unreached shifted = unreached(q, b);
    for (int k = 0; k < blocks; ++k) {
        if (!(block_gain[k] >= threshold) || shifted.rules_out(block_gain[k], block_taken[k])) continue;
        int from = p + 64 * k, to = from + 64 < n ? from + 64 : n;
        double exact_top = -INFINITY;
        int taken_top = 0;
        for (int d = from; d < to; ++d) {
            int u = sv_node[d];
            double key = gain[u] + gain_error[u];
            if (key > exact_top) exact_top = key;
            if (taken_clients[u] > taken_top) taken_top = taken_clients[u];
            if (key >= threshold && !in_list[u] && !shifted.rules_out(key, taken_clients[u])) candidates[count++] = d;
        }
        block_gain[k] = exact_top;
        block_taken[k] = taken_top;
    }
    return count;
}

// The shifted bound of every candidate that the walks of position q.j did
// not reach, from what they share (non-negative costs, not whole ones, whose
// brackets are their exact costs).  Such a candidate u displaces the median
// at other_median and leaves its own near1[u] >= 0 in place, so its rise
// (shifted_error's up) is at most loss + other_median, q.widest_up, and its
// fall at most the top gain plus near1[u] - other_median, below `down`.
// Its top binade is then at most q.widest_binade and its drift at least the
// one of the current sum alone, and the crossing part, which only grows
// with the rises, the falls and the top binade, is at most `crossing`.  So
// its shifted error is at most fixed + taken_clients[u] x spacing and is
// finite while that stays within the least drift.
Unreached Pass::unreached(const Position &q, const Bounds &b) {
    Unreached r = {false, 0.0, 0.0, 0.0, 0.0, 0.0};
    if (!costs_nonnegative || costs_whole) return r;
    double top = (double)q.sums.ordered + q.widest_up + 1.0;
    if (!(top < 1e38) || !(q.widest_drift < INFINITY)) return r;
    double most = q.sums.most - (double)q.other_median;
    double down = q.gain_top + std::max(0.0, std::max(most, q.loss));
    double drift = q.widest_drift;
    double crossing = crossing_error(q.widest_up + drift, down + drift, q.widest_binade);
    r.spacing = power_of_two(q.widest_binade - 23);
    r.fixed = (double)(own_count + 1 + q.sums.ties) * r.spacing + crossing;
    r.drift = 4096.0 * power_of_two(binade_of((double)q.sums.ordered + 1.0) - 23);
    // The candidate's low end is at least ordered + loss + other - gain -
    // (gain_error + shifted error + double_error x (total + loss + gain +
    // other)); it must lie below the current cost.
    double other = q.other_median, parts = q.sums.total + q.loss + other;
    double room = (double)q.sums.ordered + q.loss + other - (double)q.current - b.double_error * parts;
    double slack = std::ldexp(1.0, -40) * (std::fabs((double)q.sums.ordered) + parts + std::fabs((double)q.current) +
                                           q.gain_top + r.drift);
    r.room = room - slack;
    r.double_error = b.double_error;
    r.usable = r.fixed <= r.drift;
    return r;
}

// The cheapest cost of serving the median at position j from the other
// medians, from INFINITE_COST down: the first other median in its column's
// cost order (medians carry near1 = -infinity), or the column itself when
// the kept rows hold none.
float Pass::cheapest_other_median(int j) {
    int median = sv_node[j];
    float other = INFINITE_COST;
    long long at = (long long)median * order_depth;
    for (int k = p <= 16 ? order_depth : 0; k < order_depth; ++k) {  // few medians: their rows are quicker
        int v = order_row(at + k);
        if (v != median && near1[v] == -INFINITY) return order_cost[at + k] < other ? order_cost[at + k] : other;
    }
    for (int l = 0; l < p; ++l)
        if (l != j && cost[sv_node[l]][median] < other) other = cost[sv_node[l]][median];
    return other;
}

// The candidate of position j judged from the gains, for the arrangement
// whose sums are `sums` and whose cost is best_trial; -1 if none improves.
int Pass::choose_from_gains(int j, const ClientSums &sums, const Bounds &b, float &best_trial) {
    Position q;
    q.j = j;
    q.median = sv_node[j];
    q.current = best_trial;
    q.sums = sums;
    q.loss = q.own_abs = 0.0;
    for (int a = 0; a < own_count; ++a) {
        int c = attached[a];
        q.loss += (double)near2[c] - (double)near1[c];
        q.own_abs += std::fabs((double)near2[c]);
    }
    q.other_median = cheapest_other_median(j);

    q.gain_top = 0.0;
    for (int k = 0; k < (n - p + 63) / 64; ++k)
        if (block_gain[k] > q.gain_top) q.gain_top = block_gain[k];
    widen(q);
    mark_position(q);
    int chosen;
    if (q.sweep || !costs_nonnegative) {
        chosen = choose_candidate(q, b, nullptr, n - p, best_trial);
    } else {
        int count = gather_candidates(q, b);
        chosen = choose_candidate(q, b, candidates, count, best_trial);
    }
    clear_position(q);
    return chosen;
}

// How many candidates the median at position j may hand its place to: the
// clients within the neighbourhood bound of it, counted from the distance
// bits (an upper bound when other medians are near it too).
int Pass::allowed_count(int j) {
    if (!s.far) return n - p;
    const unsigned long long *row = s.far[sv_node[j]];
    int words = s.far_words, near = 0;
    for (int w = 0; w < words; ++w) near += __builtin_popcountll(~row[w]);
    near -= words * 64 - n;  // the bits past the last vertex are 0
    return near - 1;         // the median itself
}

// Whether any median may hand its place to any client.
bool Pass::any_allowed() {
    for (int j = 0; j < p; ++j)
        if (allowed_count(j) > 0) return true;
    return false;
}

// The candidates of position j costed one by one (direct_trials.h): the
// lowest float trial below best_trial wins, the lowest position among equal
// trials.  allowed is allowed_count(j).  Needs near1, near2 and position_of
// only.  The candidates are the clients near the median, found from its
// distance bits a word at a time; their trials come eight at a time, or,
// by_rows (a symmetric matrix), for every vertex at once from a sweep of
// the clients' rows into to_displaced, which is put back to rest after.
int Pass::choose_directly(int j, int allowed, float other_median, bool by_rows, float &best_trial) {
    const int median = sv_node[j];
    // Vector lanes pay for the table of other costs from a few candidates
    // on; below, each trial looks them up as it goes.
    const bool lanes_pay = !by_rows && allowed >= 3;
    float *other = changed_from;  // free until the next exchange
    if (lanes_pay)
        for (int k = p; k < n; ++k) {
            int c = sv_node[k];
            other[k - p] = near1_pos[c] == j ? near2[c] : near1[c];
        }
    float *sums = to_displaced;
    if (by_rows) {
        for (int u = 0; u < n; ++u) sums[u] = 0.0f;
        const float *rows[4];
        int client[4], count = 0;
        float stay[4], moved[4];
        for (int k = p; k < n; ++k) {
            int c = sv_node[k];
            float x = cost[c][median];
            rows[count] = cost[c];
            client[count] = c;
            stay[count] = near1_pos[c] == j ? near2[c] : near1[c];
            moved[count] = x < other_median ? x : other_median;
            if (++count == 4 || k == n - 1) {
                const float *next[4];
                for (int r = 0; r < 4; ++r) next[r] = cost[sv_node[k + 1 + r < n ? k + 1 + r : n - 1]];
                rows_trial_sums(rows, next, client, stay, moved, count, n, sums);
                count = 0;
            }
        }
    }
    const float *rows[TRIAL_LANES];
    int at[TRIAL_LANES], lanes = 0, chosen = -1;
    float displaced[TRIAL_LANES], lane_sums[TRIAL_LANES];
    auto take = [&](float trial, int d) {
        if (trial < best_trial || (trial == best_trial && chosen >= 0 && d < chosen)) {
            best_trial = trial;
            chosen = d;
        }
    };
    auto settle = [&]() {
        direct_trial_sums(rows, lanes, sv_node + p, other, n - p, at, displaced, lane_sums);
        for (int i = 0; i < lanes; ++i) take(lane_sums[i], p + at[i]);
        lanes = 0;
    };
    auto judge = [&](int d) {
        if (by_rows) {
            take(sums[sv_node[d]], d);
            return;
        }
        const float *row = cost[sv_node[d]];
        float x = row[median], moved = x < other_median ? x : other_median;
        if (!lanes_pay) {
            take(trial_sum(row, j, d, moved), d);
            return;
        }
        rows[lanes] = row;
        at[lanes] = d - p;
        displaced[lanes] = moved;
        if (++lanes == TRIAL_LANES) settle();
    };
    if (!s.far) {
        for (int d = p; d < n; ++d) judge(d);
    } else {
        const unsigned long long *far_row = s.far[median];
        for (int w = 0; w < s.far_words; ++w)
            for (unsigned long long near = ~far_row[w]; near; near &= near - 1) {
                int v = w * 64 + __builtin_ctzll(near);
                if (v >= n) break;
                if (position_of[v] >= p) judge(position_of[v]);
            }
    }
    if (lanes > 0) settle();
    if (by_rows)
        for (int u = 0; u < n; ++u) sums[u] = INFINITY;
    return chosen;
}

// The cost model that chooses between the gains and direct trials, in
// nanoseconds as measured on an x86-64 server core: a term of a direct trial
// (eight candidates side by side); a term of the trials of all vertices from
// the clients' rows; a walk's step, which reads one row of the cost order
// and updates a vertex at random; a row sweep's update of a vertex, four
// rows at a time; a column read, a row per cost; a bracket; a term of a
// single float sum that settles the candidates.  The corrections of a
// position's own clients come with as much work again (`exchange`) in the
// gains of the clients that an exchange changes, which a pass without gains
// saves.
struct WorkUnits {
    double term, row_term, walk, sweep, column, bracket, trial, exchange, setup_share;
};
const WorkUnits UNITS = {0.25, 0.1, 8.0, 0.45, 6.0, 2.0, 4.0, 1.0, 0.5};

// A direct term reads eight cost rows at random columns: quick while the
// rows stay in the first-level cache (up to about a thousand vertices),
// nearly four times slower once they spill to the next (three thousand).
double Pass::term_work() {
    double spill = std::min(1.0, std::max(0.0, (n - 1000.0) / 2000.0));
    return UNITS.term * (1.0 + 2.8 * spill);
}

// A row term streams the matrix: quick while it stays in the last-level
// cache (a thousand vertices), three times slower from memory.
double Pass::row_term_work() {
    double spill = std::min(1.0, std::max(0.0, (n - 1000.0) / 2000.0));
    return UNITS.row_term * (1.0 + 2.0 * spill);
}

// The work of direct trials for `allowed` candidates: eight at a time, or
// with a symmetric matrix, when that is cheaper, all vertices at once from
// the clients' rows (by_rows), a term of every vertex for every client.
double Pass::direct_work(int allowed, double term, bool &by_rows) {
    double lanes = (double)allowed * (n - p) * term, rows = (double)(n - p) * n * row_term_work();
    by_rows = costs_symmetric && rows < lanes;
    return by_rows ? rows : lanes;
}

// The work of updating client c below limit: a sweep of its row, or a walk
// over its kept rows, or a read of its column and a visit of every cost
// below limit there.  How many costs lie below limit is read off the spread
// of the kept rows' costs, which is quicker than counting them.
double Pass::update_work(int c, float limit) {
    if (sweeps_row(c, limit)) return n * UNITS.sweep;
    const float *costs = order_cost + (long long)c * order_depth;
    double low = costs[0], high = costs[order_depth - 1], below = limit > low ? n : 0.0;
    if (high > low) below = std::min((double)n, order_depth * ((double)limit - low) / (high - low));
    if (!(order_depth < n && high < limit)) return std::min(below, (double)order_depth) * UNITS.walk;
    return n * (costs_symmetric ? UNITS.sweep : UNITS.column) + below * UNITS.walk;
}

// The work of the gains at any position besides its own clients: the
// blocks of gains, the candidates' brackets and a float sum to settle them.
double Pass::position_overhead() {
    double work = (double)(n - p) / 64.0 * UNITS.walk + (costs_whole ? 0.0 : (n - p) * UNITS.trial);
    if (!costs_nonnegative) work += (n - p) * UNITS.bracket;
    return work;
}

// The work of the gains at the position whose clients own_clients laid
// out, or `limit` if that is less: the overhead and the corrections of its
// own clients; just the overhead when their most would stay below limit.  Once gains are
// kept, an exchange updates them whichever way the position was judged.
double Pass::position_work(double limit) {
    double work = position_overhead();
    // No client costs more than a read of its row or column and a walk of all of it.
    double most = n * ((costs_symmetric ? UNITS.sweep : UNITS.column) + UNITS.walk);
    if (work + own_count * most < limit) return work;
    for (int a = 0; a < own_count && work < limit; ++a)
        work += update_work(attached[a], near2[attached[a]]);
    return work < limit ? work : limit;
}

// Whether to make gains for this pass from scratch: they cost their setup,
// of which the passes after this one on the arrangement it leaves take a
// share (setup_share is this pass's), and the work of each position, where direct trials cost n - p terms per
// allowed candidate; a position where direct trials are cheaper takes them
// in either case.  The groups are not built yet, so the own clients' work
// is summed per position in `gain`, which fresh_gains makes afresh; and
// only when the overhead and the setup leave the gains a chance.
bool Pass::gains_pay() {
    double direct = 0.0, with_gains = 0.0, overhead = position_overhead(), term = term_work();
    double *alone = gain_error, *own = gain;  // both free until fresh_gains
    for (int j = 0; j < p; ++j) {
        bool by_rows;
        alone[j] = direct_work(allowed_count(j), term, by_rows);
        direct += alone[j];
        with_gains += std::min(alone[j], overhead);
        own[j] = overhead;
    }
    for (int k = p; k < n && with_gains < direct; ++k)
        with_gains += UNITS.setup_share * update_work(sv_node[k], near1[sv_node[k]]);
    if (with_gains >= direct) return false;
    for (int k = p; k < n; ++k) {
        int c = sv_node[k];
        if (near1_pos[c] >= 0) own[near1_pos[c]] += (1.0 + UNITS.exchange) * update_work(c, near2[c]);
    }
    for (int j = 0; j < p; ++j) with_gains += std::min(alone[j], own[j]) - std::min(alone[j], overhead);
    return with_gains < direct;
}

float Pass::run() {
    float current = 0.0f;
    for (int i = 0; i < p; ++i) current = float_add(current, vc[i].total);
    if (p == n) return allocate_clients();

    const Bounds b = rounding_bounds();

    // Passes repeat on the arrangement the previous pass left: its nearest
    // costs and gains are still up to date then.  After an allocation of the
    // same arrangement only the nearest costs are.
    bool same = nearest_valid && memcmp(nearest_for, sv_node, n * sizeof(int)) == 0;
    if (!same) find_nearest();
    if (!any_allowed()) {
        // Nothing can change: the bookkeeping stays as it was.
        if (!same) {
            s.interchange_work->settled_from = p;
            memcpy(nearest_for, sv_node, n * sizeof(int));
            nearest_valid = NEAREST_ONLY;
        }
        return clusters_from_nearest();
    }
    bool have_gains = same && nearest_valid == NEAREST_FULL;
    nearest_valid = NEAREST_INVALID;
    if (!have_gains) {
        for (int l = 0; l < p; ++l) near1[sv_node[l]] = -INFINITY;  // medians are known by this mark
        for (int k = 0; k < n; ++k) position_of[sv_node[k]] = k;
    }
    InterchangeScratch &w = *s.interchange_work;
    const InterchangeMethod method = w.method;
    bool gains = method == METHOD_BY_COST ? have_gains || gains_pay() : method == METHOD_GAINS;
    if (gains && !have_gains) group_clients();
    // Kept gains come with the sums of the pass that left them, whole.
    ClientSums sums = have_gains ? client_totals(n) : gains ? fresh_gains() : ClientSums{};

    // A pass that starts where the previous one ended judged the positions
    // after its last exchange on this arrangement already, against a cost
    // no lower: until an exchange here they would find nothing again.
    const int settled = same && current <= w.settled_below ? w.settled_from : p;
    int last = -1;
    const double term = term_work();
    for (int j = 0; j < p; ++j) {
        if (last < 0 && j >= settled) break;
        int allowed = allowed_count(j);
        if (allowed == 0) continue;
        float best_trial = current;
        int chosen;
        bool by_rows;
        double alone = direct_work(allowed, term, by_rows);
        if (method == METHOD_DIRECT || method == METHOD_ROWS) by_rows = method == METHOD_ROWS && costs_symmetric;
        if (gains) own_clients(j);
        if (!gains || (method == METHOD_BY_COST && position_work(alone) >= alone)) {
            chosen = choose_directly(j, allowed, cheapest_other_median(j), by_rows, best_trial);
        } else {
            chosen = choose_from_gains(j, sums, b, best_trial);
        }

        if (chosen >= 0) {
            last = j;
            current = best_trial;
            int removed = sv_node[j], added = sv_node[chosen];
            swap_int(sv_node[j], sv_node[chosen]);
            position_of[added] = j;
            position_of[removed] = chosen;
            if (gains)
                sums = exchanged_nearest(j, removed, added);
            else
                exchanged_nearest_only(j, removed, added);
        }
    }
    memcpy(nearest_for, sv_node, n * sizeof(int));
    nearest_valid = gains ? NEAREST_FULL : NEAREST_ONLY;
    w.settled_from = last + 1;
    w.settled_below = current;
    return clusters_from_nearest();
}

}  // namespace

float Solver::interchange_fast() {
    Pass pass(*this);
    return pass.run();
}

}  // namespace pmedian
