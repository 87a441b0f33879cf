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
// median from the new set.  gain_j(u) is kept as gain[u], the saving over
// near1, plus a correction over position j's own clients only; since that
// correction never exceeds loss_j, most candidates are settled without it,
// and with a symmetric matrix one sweep over the rows of j's clients gives
// it for every candidate at once.  So a pass reads each client row about
// once instead of once per median position.  After an exchange only the
// clients it touches are rescanned, and the whole bookkeeping is kept for
// the next pass when that starts from the same arrangement.
//
// delta is formed in double.  What decides a trial, though, is its float
// sum in client-position order, exactly as the straightforward pass adds it;
// that ordered sum is computed only for a candidate whose exact cost, less a
// rigorous bound on the rounding error of an ordered float sum of n - p
// terms, could still beat the best trial so far.  When the costs are small
// whole numbers every float sum is exact, and delta alone decides.
//
// Candidates are still taken in client-position order and a trial must be
// strictly lower than the best so far, so the pass chooses the same
// exchanges as the straightforward one, and its closing allocate_clients
// gives the same clusters and the same result.  Instances with NaN or
// infinite costs take the straightforward pass.
#include <cmath>
#include <cstring>

#include "arith.h"
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

// With a symmetric cost matrix, row c is column c: the correction of every
// vertex as a candidate for the position whose clients are `own` is then a
// sweep over their rows, in the same order as the per-candidate sum.
VECTOR_CLONES
static void sweep_own_corrections(const int *own, int own_count) {
    for (int v = 0; v < n; ++v) own_correction[v] = 0.0;
    double4 zero = {0.0, 0.0, 0.0, 0.0};
    for (int a = 0; a < own_count; ++a) {
        const float *row = cost[own[a]];
        double first = near1[own[a]], second = near2[own[a]];
        double4 first4 = {first, first, first, first}, second4 = {second, second, second, second};
        int v = 0;
        for (; v + 4 <= n; v += 4) {
            float4 x;
            memcpy(&x, row + v, sizeof x);
            double4 value = __builtin_convertvector(x, double4), sum;
            memcpy(&sum, own_correction + v, sizeof sum);
            double4 to_second = second4 - value, to_first = first4 - value;
            sum += (to_second > zero ? to_second : zero) - (to_first > zero ? to_first : zero);
            memcpy(own_correction + v, &sum, sizeof sum);
        }
        for (; v < n; ++v) {
            double to_second = second - (double)row[v], to_first = first - (double)row[v];
            own_correction[v] += (to_second > 0.0 ? to_second : 0.0) - (to_first > 0.0 ? to_first : 0.0);
        }
    }
}

// The same correction for one candidate row, for any cost matrix.
static double own_correction_of(const float *row, const int *own, int own_count) {
    double correction = 0.0;
    for (int a = 0; a < own_count; ++a) {
        int c = own[a];
        double to_second = (double)near2[c] - (double)row[c], to_first = (double)near1[c] - (double)row[c];
        correction += (to_second > 0.0 ? to_second : 0.0) - (to_first > 0.0 ? to_first : 0.0);
    }
    return correction;
}

// near1, near2 and the positions that attain them, for every vertex and the
// medians now in sv_node: positions scanned in order, strict tests from
// INFINITE_COST, so the first position wins a tie.
VECTOR_CLONES
static void find_nearest() {
    for (int v = 0; v < n; ++v) {
        near1[v] = near2[v] = INFINITE_COST;
        near1_pos[v] = near2_pos[v] = -1;
    }
    for (int l = 0; l < p; ++l) {
        const float *row = cost[sv_node[l]];
        for (int v = 0; v < n; ++v) {
            float value = row[v], first = near1[v], second = near2[v];
            bool below_first = value < first, below_second = value < second;
            near2[v] = below_first ? first : (below_second ? value : second);
            near2_pos[v] = below_first ? near1_pos[v] : (below_second ? l : near2_pos[v]);
            near1[v] = below_first ? value : first;
            near1_pos[v] = below_first ? l : near1_pos[v];
        }
    }
}

// The same for one vertex.
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

// Rounding error bound of a fresh positive_gap_sum over n terms.
static double fresh_gain_error(double sum) { return ((double)n + 2.0) * std::ldexp(1.0, -52) * sum; }

// Groups the clients by the position that serves them (attached,
// attached_start); a client that no median serves below INFINITE_COST
// belongs to no group.  Medians get near1 = -infinity, so that a gain sweep
// over all vertices counts clients only.
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
};

static ClientSums client_totals() {
    ClientSums s = {0.0, 0.0};
    for (int k = p; k < n; ++k) {
        double value = near1[sv_node[k]];
        s.total += value;
        s.abs_total += std::fabs(value);
    }
    return s;
}

// Builds near1, near2, the groups and every client's gain from scratch.
static ClientSums fresh_nearest() {
    find_nearest();
    group_clients();
    for (int k = p; k < n; ++k) {
        int c = sv_node[k];
        gain[c] = positive_gap_sum(near1, cost[c], n);
        gain_error[c] = fresh_gain_error(gain[c]);
    }
    return client_totals();
}

// Gain updates after an exchange: every client w gains, for each changed
// client c, max(0, near1[c] - cost[w][c]) - max(0, before - cost[w][c]).
// With a symmetric matrix the rows of the changed clients are swept for all
// vertices at once; otherwise each client's row is gathered.  Either way
// gain_error grows by a bound on the rounding of the update.
VECTOR_CLONES
static void sweep_gain_changes(int count) {
    const double scale = ((double)count + 2.0) * std::ldexp(1.0, -52);
    double4 zero = {0.0, 0.0, 0.0, 0.0}, scale4 = {scale, scale, scale, scale};
    for (int i = 0; i < count; ++i) {
        const float *row = cost[changed[i]];
        double now = near1[changed[i]], before = changed_from[i];
        double4 now4 = {now, now, now, now}, before4 = {before, before, before, before};
        int v = 0;
        for (; v + 4 <= n; v += 4) {
            float4 x;
            memcpy(&x, row + v, sizeof x);
            double4 value = __builtin_convertvector(x, double4), g, e;
            memcpy(&g, gain + v, sizeof g);
            memcpy(&e, gain_error + v, sizeof e);
            double4 a = now4 - value, b = before4 - value;
            a = a > zero ? a : zero;
            b = b > zero ? b : zero;
            g += a - b;
            e += scale4 * (a + b);
            memcpy(gain + v, &g, sizeof g);
            memcpy(gain_error + v, &e, sizeof e);
        }
        for (; v < n; ++v) {
            double a = now - (double)row[v], b = before - (double)row[v];
            a = a > 0.0 ? a : 0.0;
            b = b > 0.0 ? b : 0.0;
            gain[v] += a - b;
            gain_error[v] += scale * (a + b);
        }
    }
    for (int v = 0; v < n; ++v) gain_error[v] += scale * std::fabs(gain[v]);
}

static void gather_gain_changes(int count, int removed) {
    const double scale = ((double)count + 2.0) * std::ldexp(1.0, -52);
    for (int k = p; k < n; ++k) {
        int w = sv_node[k];
        if (w == removed) continue;
        const float *row = cost[w];
        double sum = 0.0, magnitude = 0.0;
        for (int i = 0; i < count; ++i) {
            int c = changed[i];
            double a = (double)near1[c] - (double)row[c], b = (double)changed_from[i] - (double)row[c];
            a = a > 0.0 ? a : 0.0;
            b = b > 0.0 ? b : 0.0;
            sum += a - b;
            magnitude += a + b;
        }
        gain[w] += sum;
        gain_error[w] += scale * (std::fabs(gain[w]) + magnitude);
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
            float value = added_row[c];
            if (value < near1[c]) {
                near2[c] = near1[c];
                near2_pos[c] = near1_pos[c];
                near1[c] = value;
                near1_pos[c] = j;
            } else if (value < near2[c]) {
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

    if (costs_symmetric)
        sweep_gain_changes(count);
    else
        gather_gain_changes(count, removed);
    group_clients();
    gain[removed] = positive_gap_sum(near1, cost[removed], n);
    gain_error[removed] = fresh_gain_error(gain[removed]);
    return client_totals();
}

// The ordered float sum of a trial: the straightforward pass's trial cost,
// with near_other holding each client position's cheapest cost without the
// median at the position under exchange, and position d holding that
// median, whose cost from the new set is displaced_cost.
static float trial_sum(const float *row, int d, float displaced_cost) {
    float sum = 0.0f;
    for (int k = p; k < n; ++k) {
        float term;
        if (k == d) {
            term = displaced_cost;
        } else {
            float c = row[sv_node[k]], other = near_other[k];
            term = c < other ? c : other;
        }
        sum = float_add(sum, term);
    }
    return sum;
}

float interchange_fast() {
    double bound = neighbourhood_bound();
    float current = 0.0f;
    for (int i = 0; i < p; ++i) current = float_add(current, vc[i].total);
    if (p == n) return allocate_clients();

    // A trial's float sum of n - p terms differs from its exact value by at
    // most sum_error times the sum of the terms' magnitudes (twice the
    // classical bound, for margin); delta, formed in double from sums of up
    // to n terms, carries at most double_error times the magnitudes of its
    // parts.  With non-negative costs the magnitudes are the values
    // themselves; otherwise a row's sum of magnitudes bounds them.
    const double clients = n - p, unit = std::ldexp(1.0, -24);
    const double sum_error = 2.0 * clients * unit / (1.0 - clients * unit);
    const double double_error = 2.0 * (4.0 * n + 64.0) * std::ldexp(1.0, -52);
    const double exact_limit = 16777216.0;  // whole-number sums below 2^24 are exact in float

    // Passes repeat on the arrangement the previous pass left: its nearest
    // costs and gains are still up to date then.
    ClientSums s = nearest_valid && memcmp(nearest_for, sv_node, n * sizeof(int)) == 0 ? client_totals()
                                                                                     : fresh_nearest();
    for (int j = 0; j < p; ++j) {
        int median = sv_node[j];
        const int *own = attached + attached_start[j];
        int own_count = attached_start[j + 1] - attached_start[j];

        double loss = 0.0, own_abs = 0.0;
        for (int a = 0; a < own_count; ++a) {
            int c = own[a];
            loss += (double)near2[c] - (double)near1[c];
            own_abs += std::fabs((double)near2[c]);
        }
        for (int k = p; k < n; ++k) {
            int c = sv_node[k];
            near_other[k] = near1_pos[c] == j ? near2[c] : near1[c];
        }
        if (costs_symmetric) sweep_own_corrections(own, own_count);
        float other_median = INFINITE_COST;  // the displaced median's cheapest cost from the others
        for (int l = 0; l < p; ++l)
            if (l != j && cost[sv_node[l]][median] < other_median) other_median = cost[sv_node[l]][median];

        const float *median_row = cost[median];
        float best_trial = current;
        int chosen = -1;
        for (int d = p; d < n; ++d) {
            int u = sv_node[d];
            if ((double)dist[median][u] > bound) continue;
            const float *row = cost[u];
            float to_median = costs_symmetric ? median_row[u] : row[median];
            float displaced_cost = to_median < other_median ? to_median : other_median;
            double own_other = near_other[d];

            // The cost without position j's correction is a lower bound, since
            // the correction never exceeds loss: most candidates stop here.
            double lower = s.total + (own_other > 0.0 ? 0.0 : -own_other) - gain[u] + (double)displaced_cost;
            double error;
            if (costs_nonnegative) {
                double parts = s.total + loss + gain[u] + (double)displaced_cost;
                error = sum_error * (lower + loss + double_error * parts) + double_error * parts + gain_error[u];
            } else {
                double magnitude = row_abs[u] + s.abs_total + own_abs + std::fabs((double)displaced_cost);
                error = (sum_error + double_error) * magnitude + gain_error[u];
            }
            if (lower - error >= (double)best_trial) continue;

            double correction = costs_symmetric ? own_correction[u] : own_correction_of(row, own, own_count);
            double exact = lower + (loss - correction);
            if (costs_nonnegative) {
                double parts = s.total + loss + gain[u] + correction + (double)displaced_cost;
                error = sum_error * (std::fabs(exact) + double_error * parts) + double_error * parts + gain_error[u];
            }

            float trial;
            if (costs_whole && std::fabs(exact) < exact_limit) {
                trial = (float)exact;  // every partial sum is a whole number below 2^24
            } else {
                if (exact - error >= (double)best_trial) continue;
                trial = trial_sum(row, d, displaced_cost);
            }
            if (trial < best_trial) {
                best_trial = trial;
                chosen = d;
            }
        }

        if (chosen >= 0) {
            current = best_trial;
            int removed = sv_node[j], added = sv_node[chosen];
            swap_int(sv_node[j], sv_node[chosen]);
            s = exchanged_nearest(j, removed, added);
        }
    }
    memcpy(nearest_for, sv_node, n * sizeof(int));
    nearest_valid = 1;
    return allocate_clients();
}
