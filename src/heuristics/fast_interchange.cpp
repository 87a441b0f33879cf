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
// median from the new set.  gain_j(u) is gain[u], the saving over near1, plus
// a correction over position j's own clients (Resende and Werneck's "extra"):
// an own client c adds near2[c] - max(cost[u][c], near1[c]) to the
// correction of every u with cost[u][c] < near2[c].  Those u are the head of
// column c in the cost order (cost_order.h), a few dozen vertices, so the
// corrections of a position cost the walks of its own clients, and a whole
// pass about p x n for the candidate scan plus the clients' walks.  The
// correction never exceeds loss_j, so most candidates are settled without it.
//
// gain[u] is kept up to date across exchanges the same way: a client whose
// near1 changes walks its column below the old and the new value and moves
// the gain of each vertex there.  After an exchange only the clients it
// touches are rescanned, and the whole bookkeeping is kept for the next pass
// when that starts from the same arrangement.
//
// delta is formed in double.  What decides a trial, though, is its float
// sum in client-position order, exactly as the straightforward pass adds it;
// that ordered sum is computed only for a candidate whose exact cost, less a
// rigorous bound on the rounding error of an ordered float sum of n - p
// terms, could still beat the best trial so far.  When the costs are small
// whole numbers every float sum is exact, and delta alone decides.
//
// Candidates are still judged by position, and a trial must be strictly
// lower than the best so far, so the pass chooses the same exchanges as the
// straightforward one, and the clusters it leaves are those allocate_clients
// builds.  Threads share the candidates of a position: each keeps the first
// best of its own range, and the ranges are combined in position order.
// Instances with NaN or infinite costs take the straightforward pass.
#include <cmath>
#include <cstring>
#ifdef _OPENMP
#include <omp.h>
#endif

#include "arith.h"
#include "cost_order.h"
#include "pmedian.h"

typedef float float4 __attribute__((vector_size(16)));
typedef double double4 __attribute__((vector_size(32)));

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

// near1, near2 and their positions for one vertex, medians in position order.
static void find_nearest_of(int c) {
    float first = INFINITE_COST, second = INFINITE_COST;
    int first_pos = -1, second_pos = -1;
    for (int l = 0; l < p; ++l) {
        float value = cost[sv_node[l]][c];
        if (value < first) {
            second = first;
            second_pos = first_pos;
            first = value;
            first_pos = l;
        } else if (value < second) {
            second = value;
            second_pos = l;
        }
    }
    near1[c] = first;
    near2[c] = second;
    near1_pos[c] = first_pos;
    near2_pos[c] = second_pos;
}

// Rounding error bound of a fresh gain, a double sum of at most n terms.
static double fresh_gain_error(double sum) { return ((double)n + 2.0) * std::ldexp(1.0, -52) * sum; }

// Groups the clients by the position that serves them (attached,
// attached_start); a client that no median serves below INFINITE_COST
// belongs to no group.  Medians get near1 = -infinity, so that they count
// as no client anywhere.
static void group_clients() {
    for (int j = 0; j <= p; ++j) attached_start[j] = 0;
    for (int k = p; k < n; ++k) {
        int c = sv_node[k];
        if (near1_pos[c] >= 0) ++attached_start[near1_pos[c] + 1];
    }
    for (int j = 0; j < p; ++j) attached_start[j + 1] += attached_start[j];
    for (int k = p; k < n; ++k) {
        int c = sv_node[k];
        if (near1_pos[c] >= 0) attached[attached_start[near1_pos[c]]++] = c;
    }
    for (int j = p; j > 0; --j) attached_start[j] = attached_start[j - 1];
    attached_start[0] = 0;
    for (int l = 0; l < p; ++l) near1[sv_node[l]] = -INFINITY;
}

// Everything the candidates of a pass are measured against, for the
// arrangement now in sv_node.
struct ClientSums {
    double total;      // sum of near1 over the clients
    double abs_total;  // sum of |near1| over the clients
    double partials;   // sum over client positions k of the sum of near1 up to k
};

static ClientSums client_totals() {
    ClientSums s = {0.0, 0.0, 0.0};
    for (int k = p; k < n; ++k) {
        double value = near1[sv_node[k]];
        s.total += value;
        s.abs_total += std::fabs(value);
        s.partials += s.total;
    }
    return s;
}

// Builds the groups and every vertex's gain from scratch, with near1 and
// near2 already found for the arrangement: each client adds
// near1[c] - cost[u][c] to the gain of every u below its near1.
static ClientSums fresh_gains() {
    group_clients();
    for (int v = 0; v < n; ++v) gain[v] = 0.0;
    for (int k = p; k < n; ++k) {
        int c = sv_node[k];
        double first = near1[c];
        rows_below(c, near1[c], [first](int u, float x) { gain[u] += first - (double)x; });
    }
    for (int v = 0; v < n; ++v) gain_error[v] = fresh_gain_error(gain[v]);
    return client_totals();
}

// Gain updates after an exchange: every vertex u gains, for each changed
// client c, max(0, now - cost[u][c]) - max(0, before - cost[u][c]), which is
// non-zero only below the larger of the two.  gain_error grows by a bound on
// the rounding of each update: the two differences and their difference,
// then the addition.
static void move_gains(int count) {
    const double term_error = std::ldexp(1.0, -51), sum_error = std::ldexp(1.0, -52);
    for (int i = 0; i < count; ++i) {
        int c = changed[i];
        float now = near1[c], before = changed_from[i];
        rows_below(c, now > before ? now : before, [=](int u, float x) {
            double a = (double)now - (double)x, b = (double)before - (double)x;
            a = a > 0.0 ? a : 0.0;
            b = b > 0.0 ? b : 0.0;
            gain[u] += a - b;
            gain_error[u] += term_error * (a + b) + sum_error * std::fabs(gain[u]);
        });
    }
}

// Brings near1, near2, the groups and the gains up to date after the
// exchange that put `added` at median position j and `removed` among the
// clients.  Only clients that position j served first or second need a new
// scan of the medians; the others just compare the new median's cost.  The
// gains then change only through the clients whose cheapest cost changed,
// through `added` leaving the clients and through `removed` joining them.
static ClientSums exchanged_nearest(int j, int removed, int added) {
    int count = 0;
    changed[count] = added;
    changed_from[count++] = near1[added];
    near1[added] = -INFINITY;
    const float *added_row = cost[added];
    for (int k = p; k < n; ++k) {
        int c = sv_node[k];
        if (c == removed) continue;
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
            }
        }
        if (near1[c] != before) {
            changed[count] = c;
            changed_from[count++] = before;
        }
    }
    find_nearest_of(removed);
    changed[count] = removed;
    changed_from[count++] = -INFINITY;

    move_gains(count);
    group_clients();
    gain[removed] = positive_gap_sum(near1, cost[removed], n);  // it was a median: start afresh
    gain_error[removed] = fresh_gain_error(gain[removed]);
    return client_totals();
}

// The ordered float sum of a trial: the straightforward pass's trial cost,
// for candidate row `row` at position j and the displaced median at client
// position d, whose cost from the new set is displaced_cost.  Each other
// client costs the cheaper of the candidate and its best median other than
// position j.
static float trial_sum(const float *row, int j, int d, float displaced_cost) {
    float sum = 0.0f;
    for (int k = p; k < n; ++k) {
        float term;
        if (k == d) {
            term = displaced_cost;
        } else {
            int c = sv_node[k];
            float x = row[c], other = near1_pos[c] == j ? near2[c] : near1[c];
            term = x < other ? x : other;
        }
        sum = float_sum(sum, term);
    }
    return sum;
}

// Everything a candidate of position j is judged with.
struct Position {
    int j, median;
    double loss, own_abs;  // loss_j and the sum of |near2| over the own clients
    float other_median;    // the displaced median's cheapest cost from the other medians
    float current;         // cost of the arrangement, to beat
    ClientSums sums;
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

static Bounds rounding_bounds() {
    const double terms = n - p, unit = std::ldexp(1.0, -24);
    const double gamma = terms * unit / (1.0 - terms * unit);
    Bounds b;
    b.float_unit = unit / (1.0 - unit) * (1.0 + gamma) * (1.0 + std::ldexp(1.0, -30));
    b.sum_error = 2.0 * terms * unit / (1.0 - terms * unit);
    b.double_error = 2.0 * (4.0 * n + 64.0) * std::ldexp(1.0, -52);
    return b;
}

const double EXACT_LIMIT = 16777216.0;  // whole-number sums below 2^24 are exact in float

// Judges the candidates at client positions from..to-1 for position q.j and
// returns the first position with the lowest trial below best_trial (and
// that trial), or -1.
static int best_candidate(const Position &q, const Bounds &b, int from, int to, float &best_trial) {
    int chosen = -1;
    const int j = q.j;
    for (int d = from; d < to; ++d) {
        int u = sv_node[d];
        if (is_far(q.median, u)) continue;
        float displaced_cost = to_displaced[u] < q.other_median ? to_displaced[u] : q.other_median;
        double own_other = near1_pos[u] == j ? near2[u] : near1[u];

        // The cost without position j's correction is a lower bound, since
        // the correction never exceeds loss: most candidates stop here.
        double lower = q.sums.total + (own_other > 0.0 ? 0.0 : -own_other) - gain[u] + (double)displaced_cost;
        double error, float_error = 0.0;
        if (costs_nonnegative) {
            double raised = (double)displaced_cost - own_other;
            float_error = b.float_unit * (q.sums.partials + (n - p) * (q.loss + (raised > 0.0 ? raised : 0.0)));
            double parts = q.sums.total + q.loss + gain[u] + (double)displaced_cost;
            error = float_error + b.double_error * parts + gain_error[u];
        } else {
            double magnitude = row_abs[u] + q.sums.abs_total + q.own_abs + std::fabs((double)displaced_cost);
            error = (b.sum_error + b.double_error) * magnitude + gain_error[u];
        }
        if (lower - error >= (double)best_trial) continue;

        double correction = own_correction[u];
        double exact = lower + (q.loss - correction);
        if (costs_nonnegative) {
            double parts = q.sums.total + q.loss + gain[u] + correction + (double)displaced_cost;
            error = float_error + b.double_error * parts + gain_error[u];
        }

        float trial;
        if (costs_whole && std::fabs(exact) < EXACT_LIMIT) {
            trial = (float)exact;  // every partial sum is a whole number below 2^24
        } else {
            if (exact - error >= (double)best_trial) continue;
            trial = trial_sum(cost[u], j, d, displaced_cost);
        }
        if (trial < best_trial) {
            best_trial = trial;
            chosen = d;
        }
    }
    return chosen;
}

// The candidates of position q.j over all client positions, shared among
// threads on large instances; ranges are combined in position order, so
// the first position of the lowest trial wins as in a single scan.
static int choose_candidate(const Position &q, const Bounds &b, float &best_trial) {
    int clients = n - p;
#ifdef _OPENMP
    int threads = clients >= 4096 ? omp_get_max_threads() : 1;
    if (threads > 1) {
        const int most = 64;
        if (threads > most) threads = most;
        float trials[most];
        int chosen[most];
#pragma omp parallel num_threads(threads)
        {
            int t = omp_get_thread_num(), count = omp_get_num_threads();
            int from = p + (int)((long long)clients * t / count), to = p + (int)((long long)clients * (t + 1) / count);
            trials[t] = q.current;
            chosen[t] = best_candidate(q, b, from, to, trials[t]);
            if (t == 0) threads = count;
        }
        int best = -1;
        for (int t = 0; t < threads; ++t)
            if (chosen[t] >= 0 && (best < 0 || trials[t] < best_trial)) {
                best_trial = trials[t];
                best = chosen[t];
            }
        return best;
    }
#endif
    return best_candidate(q, b, p, n, best_trial);
}

// Sets own_correction for position j's own clients and to_displaced for its
// median, or (clear) puts both back to their resting values.  An own client
// whose second-nearest cost lies beyond its column's kept rows needs its
// whole column; when many do (few medians, long columns), one sweep of all
// rows serves them together, reading each row once instead of each column
// one cache line per cost.
static void mark_position(const Position &q, bool clear) {
    const int *own = attached + attached_start[q.j];
    int own_count = attached_start[q.j + 1] - attached_start[q.j], wide = 0;
    for (int a = 0; a < own_count; ++a) wide += column_overflows(own[a], near2[own[a]]);
    bool sweep = 16LL * wide > n;
    if (clear) {
        if (sweep)
            for (int u = 0; u < n; ++u) own_correction[u] = 0.0;
        else
            for (int a = 0; a < own_count; ++a)
                rows_below(own[a], near2[own[a]], [](int u, float) { own_correction[u] = 0.0; });
        rows_below(q.median, q.other_median, [](int u, float) { to_displaced[u] = INFINITY; });
        return;
    }
    wide = 0;
    for (int a = 0; a < own_count; ++a) {
        int c = own[a];
        double first = near1[c], second = near2[c];
        if (sweep && column_overflows(c, near2[c])) {
            touched[wide++] = c;
            continue;
        }
        rows_below(c, near2[c], [first, second](int u, float x) {
            own_correction[u] += second - ((double)x > first ? (double)x : first);
        });
    }
    for (int u = 0; u < n && wide > 0; ++u) {
        const float *row = cost[u];
        double sum = 0.0;
        for (int a = 0; a < wide; ++a) {
            int c = touched[a];
            double x = row[c], first = near1[c], second = near2[c];
            if (x < second) sum += second - (x > first ? x : first);
        }
        own_correction[u] += sum;
    }
    rows_below(q.median, q.other_median, [](int u, float x) { to_displaced[u] = x; });
}

float interchange_fast() {
    float current = 0.0f;
    for (int i = 0; i < p; ++i) current = float_add(current, vc[i].total);
    if (p == n) return allocate_clients();

    const Bounds b = rounding_bounds();

    // Passes repeat on the arrangement the previous pass left: its nearest
    // costs and gains are still up to date then.  After an allocation of the
    // same arrangement only the nearest costs are.
    bool same = nearest_valid && memcmp(nearest_for, sv_node, n * sizeof(int)) == 0;
    if (!same) find_nearest();
    ClientSums s = same && nearest_valid == 1 ? client_totals() : fresh_gains();
    nearest_valid = 0;

    for (int j = 0; j < p; ++j) {
        Position q;
        q.j = j;
        q.median = sv_node[j];
        q.current = current;
        q.sums = s;
        q.loss = q.own_abs = 0.0;
        for (int a = attached_start[j]; a < attached_start[j + 1]; ++a) {
            int c = attached[a];
            q.loss += (double)near2[c] - (double)near1[c];
            q.own_abs += std::fabs((double)near2[c]);
        }
        q.other_median = INFINITE_COST;
        for (int l = 0; l < p; ++l)
            if (l != j && cost[sv_node[l]][q.median] < q.other_median) q.other_median = cost[sv_node[l]][q.median];

        mark_position(q, false);
        float best_trial = current;
        int chosen = choose_candidate(q, b, best_trial);
        mark_position(q, true);

        if (chosen >= 0) {
            current = best_trial;
            int removed = sv_node[j], added = sv_node[chosen];
            swap_int(sv_node[j], sv_node[chosen]);
            s = exchanged_nearest(j, removed, added);
        }
    }
    memcpy(nearest_for, sv_node, n * sizeof(int));
    nearest_valid = 1;
    return clusters_from_nearest();
}
