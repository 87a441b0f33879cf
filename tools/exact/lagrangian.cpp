// lagrangian.cpp - the Lagrangian dual again, in double precision, over the
// candidate pairs that are left.
//
// The core's loop ends when its step parameter runs out, often well before
// the dual converges (a bound 1 % below the optimum is common), and the
// reduction is only as strong as the bound: every unit the bound gains
// removes client-median pairs from the model.  So the tool goes on from the
// core's best multipliers with more subgradient steps until the bound
// stalls, and again after each reduction: over fewer pairs the relaxation
// has fewer cheap ways to serve a client, and its bound rises.
//
// The evaluation walks each client's candidates in ascending cost and stops
// at the first one that its multiplier does not pay for, so it costs the
// number of pairs with cost[i][j] < u[j], usually a small part of them.
// Before the first reduction it walks the core's cost order instead (see
// AllPairs), and a whole column where a multiplier lies beyond the order's
// rows: on pcb3038 with p = 5 about a third of the clients at every step.
// Everything is summed in double in a fixed order, so a run gives the same
// bound on every machine; the rounding error of those sums is bounded (see
// evaluate_dual) and the reduction allows for it.
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "exact.h"

static const double INF = std::numeric_limits<double>::infinity();

int Candidates::count(int state) const { return (int)std::count(fix.begin(), fix.end(), state); }

// Each client's column is copied out and sorted on its own, so the columns
// can be shared among threads with the same result for any thread count.
Candidates all_candidates(const pmedian::Solver &s) {
    const int n = s.n;
    float *const *cost = s.cost;
    Candidates c;
    c.n = s.n;
    c.p = s.p;
    c.start.resize(n + 1);
    c.vertex.resize((size_t)n * n);
    c.cost.resize((size_t)n * n);
    c.fix.assign(n, 0);
    c.capped.assign(n, 0);
    for (int j = 0; j <= n; ++j) c.start[j] = j * n;
#pragma omp parallel if (n >= 256)
    {
        std::vector<std::pair<float, int>> column(n);
#pragma omp for schedule(dynamic, 16)
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < n; ++i) column[i] = {cost[i][j], i};
            std::sort(column.begin(), column.end());  // by cost, ties by vertex index
            for (int k = 0; k < n; ++k) {
                c.vertex[(size_t)j * n + k] = column[k].second;
                c.cost[(size_t)j * n + k] = column[k].first;
            }
        }
    }
    return c;
}

void Candidates::add_values(int j, double u, double *beta) const {
    for (int e = start[j]; e < start[j + 1] && (double)cost[e] < u; ++e) beta[vertex[e]] += (double)cost[e] - u;
}

int Candidates::count_open(int j, double u, const char *open) const {
    int count = 0;
    for (int e = start[j]; e < start[j + 1] && (double)cost[e] < u; ++e) count += open[vertex[e]];
    return count;
}

// Where u lies beyond the kept rows, the whole column is swept: adding
// min(0, cost - u) to every value adds the same terms, since adding +0 leaves
// a value as it is (no value is -0: it starts at +0 and every term is
// negative), and the sweep, free of branches, runs in vector instructions.
void AllPairs::add_values(int j, double u, double *beta) const {
    const float limit = float_at_least(u);
    if (!s.column_overflows(j, limit)) {
        s.rows_below(j, limit, [beta, u](int i, float c) { beta[i] += (double)c - u; });
    } else if (s.costs_symmetric) {
        const float *row = s.cost[j];
#pragma omp simd
        for (int i = 0; i < n; ++i) beta[i] += std::min(0.0, (double)row[i] - u);
    } else {
        float *const *cost = s.cost;
        for (int i = 0; i < n; ++i) beta[i] += std::min(0.0, (double)cost[i][j] - u);
    }
}

int AllPairs::count_open(int j, double u, const char *open) const {
    const float limit = float_at_least(u);
    int count = 0;
    if (!s.column_overflows(j, limit)) {
        s.rows_below(j, limit, [open, &count](int i, float) { count += open[i]; });
    } else if (s.costs_symmetric) {
        const float *row = s.cost[j];
#pragma omp simd reduction(+ : count)
        for (int i = 0; i < n; ++i) count += open[i] & (row[i] < limit);
    } else {
        float *const *cost = s.cost;
        for (int i = 0; i < n; ++i) count += open[i] & (cost[i][j] < limit);
    }
    return count;
}

// The rounding error.  Every term cost - u[j] is rounded once, and beta[i]
// adds at most n of them, all negative, so its error is at most
// (n + 1) * 2^-53 * |beta[i]| (to first order).  The bound adds the n
// multipliers and at most p values, so its error is at most (n + p + 2) *
// 2^-53 * S, where S is the sum of the multipliers and of |beta[i]| over all
// vertices.  The reduction's tests add the bound, two values and one more
// term, each rounded; 8 (n + 2) * 2^-53 * S covers all of it with room for
// the second-order terms.
template <class Pairs>
void evaluate_dual(const Pairs &c, const std::vector<signed char> &fix, DualPoint &point,
                   std::vector<int> *subgradient) {
    const int n = c.n;
    const std::vector<double> &u = point.u;
    point.beta.assign(n, 0.0);
    for (int j = 0; j < n; ++j) c.add_values(j, u[j], point.beta.data());
    double sum_u = 0.0;
    for (int j = 0; j < n; ++j) sum_u += u[j];
    settle_relaxation(fix, c.p, sum_u, point);

    if (subgradient) {
        if (point.bound == INF) {
            subgradient->assign(n, 0);
            return;
        }
        subgradient->assign(n, 1);
        for (int j = 0; j < n; ++j) (*subgradient)[j] -= c.count_open(j, u[j], point.open.data());
    }
}
template void evaluate_dual(const Candidates &, const std::vector<signed char> &, DualPoint &, std::vector<int> *);
template void evaluate_dual(const AllPairs &, const std::vector<signed char> &, DualPoint &, std::vector<int> *);

void settle_relaxation(const std::vector<signed char> &fix, int p, double sum_u, DualPoint &point) {
    const int n = (int)fix.size();
    // The relaxed solution: every open vertex, and the free ones of smallest
    // beta (ties: lowest index) up to p.  The keys sit side by side for the
    // selection, which the probes repeat at every step.
    std::vector<std::pair<double, int>> free_vertices;
    free_vertices.reserve(n);
    int opened = 0;
    for (int i = 0; i < n; ++i) {
        if (fix[i] == 0) free_vertices.push_back({point.beta[i], i});
        opened += fix[i] > 0;
    }
    const int wanted = p - opened;
    point.open.assign(n, 0);
    point.beta_last = -INF;
    point.beta_next = INF;
    double magnitude = sum_u;
    for (int i = 0; i < n; ++i) magnitude -= point.beta[i];
    point.error = 8.0 * (n + 2) * std::ldexp(magnitude, -53);
    if (wanted < 0 || wanted > (int)free_vertices.size()) {  // the fixings leave no solution
        point.bound = INF;
        return;
    }
    if (wanted > 0) {
        std::nth_element(free_vertices.begin(), free_vertices.begin() + (wanted - 1), free_vertices.end());
        point.beta_last = free_vertices[wanted - 1].first;
    }
    if (wanted < (int)free_vertices.size()) {
        std::nth_element(free_vertices.begin() + wanted, free_vertices.begin() + wanted, free_vertices.end());
        point.beta_next = free_vertices[wanted].first;
    }
    for (int k = 0; k < wanted; ++k) {
        point.open[free_vertices[k].second] = 1;
        point.beta_last = std::max(point.beta_last, free_vertices[k].first);
    }
    double bound = sum_u;
    for (int i = 0; i < n; ++i) {
        if (fix[i] > 0) point.open[i] = 1;
        if (point.open[i]) bound += point.beta[i];  // in index order, so the sum is reproducible
    }
    point.bound = bound;
}

// A deflected subgradient method.  Plain subgradient steps zigzag and, on
// large instances, stall far below the dual optimum (on rl1304 with p = 10
// at 0.5 % below it after 10000 steps); moving instead along a running
// average of the subgradients, d = alpha g + (1 - alpha) d, smooths the
// zigzag away and reaches the optimum within a few thousand steps.  The step
// is Polyak's towards the target, theta (target - bound) / |d|^2, with theta
// halved whenever the bound has not risen for patience steps; the best
// point is kept.  The search ends when the bound passes stop_at, theta is
// spent, or the bound has risen by less than stall times the remaining
// distance to the target over the last window steps.
template <class Pairs>
int improve_dual(const Pairs &c, const std::vector<signed char> &fix, DualPoint &point,
                 const DualSearch &search) {
    const int n = c.n;
    std::vector<int> g;
    evaluate_dual(c, fix, point, &g);
    DualPoint current = point;
    std::vector<double> d(g.begin(), g.end());
    double theta = search.theta;
    int steps = 0, fails = 0;
    double window_bound = point.bound;
    int window_start = 0;
    while (point.bound <= search.stop_at && steps < search.max_steps) {
        double norm = 0.0;
        for (int j = 0; j < n; ++j) norm += d[j] * d[j];
        if (norm == 0.0) break;  // the relaxed solution serves every client once: the dual optimum
        double step = theta * (search.target - current.bound) / norm;
        if (!(step > 0)) break;
        for (int j = 0; j < n; ++j) current.u[j] = std::max(0.0, current.u[j] + step * d[j]);
        evaluate_dual(c, fix, current, &g);
        for (int j = 0; j < n; ++j) d[j] = search.alpha * g[j] + (1.0 - search.alpha) * d[j];
        ++steps;
        if (current.bound > point.bound) {
            point = current;
            fails = 0;
        } else if (++fails >= search.patience) {
            theta /= 2;
            fails = 0;
        }
        if (theta < 1e-4) break;
        if (steps - window_start >= search.window) {
            if (point.bound - window_bound <= search.stall * (search.target - point.bound)) break;
            window_bound = point.bound;
            window_start = steps;
        }
        if (search.deadline > 0 && wall_seconds() >= search.deadline) break;
    }
    return steps;
}
template int improve_dual(const Candidates &, const std::vector<signed char> &, DualPoint &, const DualSearch &);
template int improve_dual(const AllPairs &, const std::vector<signed char> &, DualPoint &, const DualSearch &);
