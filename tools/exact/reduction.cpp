// reduction.cpp - what the Lagrangian bound rules out.
//
// At multipliers u with bound L, values beta and relaxed solution P, every
// solution that respects the fixings, opens the set Y and serves client j
// from a candidate a[j] costs
//     cost(Y) >= L + delta(Y) + sum over j of max(0, cost[a[j]][j] - u[j]),
// where delta(Y) = (sum of beta over Y) - (sum of beta over P) >= 0.  (Write
// the cost as sum u + sum (cost[a[j]][j] - u[j]); the sum of beta over Y
// takes from each client at most the one negative term of its server.)
// Hence, for a solution no dearer than limit:
//  - a free vertex i outside P is open only if L + beta[i] - beta_last <=
//    limit, since opening it pushes the dearest free member of P out;
//    otherwise it is closed;
//  - a free vertex i of P is closed only if L + beta_next - beta[i] <= limit;
//    otherwise it is open in every such solution;
//  - client j is served from median i only if
//        L + delta_i + max(0, cost[i][j] - u[j]) <= limit,
//    with delta_i = beta[i] - beta_last for a free vertex outside P and 0
//    for one of P.
// Every client keeps a median that passes the last test: if all its nearest
// open medians failed, the solution would cost more than limit.  So serving
// each client only from its kept candidates changes neither the solutions up
// to cost limit nor their costs, and the reduction can be applied again to
// what it leaves, with new multipliers.
//
// Each test compares a double-precision sum with limit, which the caller
// widens by the rounding error of the incumbent's cost; the tests widen it
// further by the rounding error of the bound (DualPoint::error), so a
// rounding can only keep a pair, never drop one.
#include <algorithm>
#include <cmath>
#include <limits>

#include "exact.h"
#include "pmedian.h"

static const double INF = std::numeric_limits<double>::infinity();

Candidates reduce(const Candidates &c, const DualPoint &point, double limit) {
    Candidates r;
    // What a solution may cost above the bound, widened by the bound's
    // rounding error.
    const double slack = limit + point.error - point.bound;
    std::vector<double> delta(n, 0.0);
    r.fix = c.fix;
    for (int i = 0; i < n; ++i) {
        if (c.fix[i] != 0) continue;
        if (!point.open[i]) {
            delta[i] = point.beta_last == -INF ? INF : std::max(0.0, point.beta[i] - point.beta_last);
            if (delta[i] > slack) r.fix[i] = -1;
        } else if (point.beta_next - point.beta[i] > slack) {
            r.fix[i] = 1;
        }
    }

    r.start.assign(n + 1, 0);
    r.capped.assign(n, 0);
    for (int j = 0; j < n; ++j) {
        r.start[j] = (int)r.vertex.size();
        const double u = point.u[j];
        // An open median at cost f serves j for at most f in every solution,
        // so dearer candidates never matter.
        float cap = INFINITY;
        for (int e = c.start[j]; e < c.start[j + 1] && c.cost[e] <= cap; ++e) {
            if ((double)c.cost[e] - u > slack) break;  // fails the pair test for every median from here on
            int i = c.vertex[e];
            if (r.fix[i] < 0) continue;
            bool kept = delta[i] + std::max(0.0, (double)c.cost[e] - u) <= slack;
            if (kept) {
                r.vertex.push_back(i);
                r.cost.push_back(c.cost[e]);
            }
            if (r.fix[i] > 0) {
                if (kept) {
                    r.capped[j] = 1;
                    break;
                }
                cap = c.cost[e];
            }
        }
    }
    r.start[n] = (int)r.vertex.size();
    return r;
}

// A probe is a short dual search with one vertex forced: it succeeds when
// the bound passes limit, which proves that no solution within limit has
// the vertex in that state.  The step aims beyond limit, by as much again
// as the bound lies below it, so that it does not creep up on limit; the
// search is short (probes that cannot succeed run out of steps quickly).  A vertex forced open that stays possible still
// yields a bound L_i and multipliers u for every solution that opens it,
// usually far above the unforced bound, so the pair test
//     L_i + max(0, cost[i][j] - u[j]) <= limit
// then drops most of its clients.
ProbeResult probe_vertices(Candidates &c, const DualPoint &point, double limit, double deadline) {
    ProbeResult result;
    std::vector<signed char> trial = c.fix;
    DualSearch search;
    search.target = limit + (limit - point.bound);
    search.stop_at = limit;
    search.patience = 10;
    search.window = 1 << 30;
    search.max_steps = 200;
    search.deadline = deadline;
    // The entries of every vertex, across the clients.
    std::vector<int> first(n + 1, 0), entries(c.pairs());
    for (int v : c.vertex) ++first[v + 1];
    for (int i = 0; i < n; ++i) first[i + 1] += first[i];
    std::vector<int> fill(first.begin(), first.end() - 1);
    std::vector<int> client(c.pairs());
    for (int j = 0; j < n; ++j)
        for (int e = c.start[j]; e < c.start[j + 1]; ++e) {
            entries[fill[c.vertex[e]]++] = e;
            client[e] = j;
        }
    std::vector<char> keep(c.pairs(), 1);
    for (int i = 0; i < n; ++i) {
        if (c.fix[i] != 0) continue;
        if (deadline > 0 && wall_seconds() >= deadline) break;
        trial[i] = point.open[i] ? -1 : 1;
        DualPoint forced;
        forced.u = point.u;
        improve_dual(c, trial, forced, search);
        if (forced.bound - forced.error > limit) {
            c.fix[i] = (signed char)-trial[i];
            ++result.fixed;
        } else if (trial[i] > 0) {
            const double slack = limit + forced.error - forced.bound;
            for (int k = first[i]; k < first[i + 1]; ++k) {
                int e = entries[k];
                if (std::max(0.0, (double)c.cost[e] - forced.u[client[e]]) > slack) {
                    keep[e] = 0;
                    ++result.dropped;
                }
            }
        }
        trial[i] = c.fix[i];
    }
    if (result.dropped > 0) {
        Candidates kept;
        kept.fix = c.fix;
        kept.capped = c.capped;
        kept.start.assign(n + 1, 0);
        for (int j = 0; j < n; ++j) {
            kept.start[j] = (int)kept.vertex.size();
            for (int e = c.start[j]; e < c.start[j + 1]; ++e)
                if (keep[e]) {
                    kept.vertex.push_back(c.vertex[e]);
                    kept.cost.push_back(c.cost[e]);
                }
        }
        kept.start[n] = (int)kept.vertex.size();
        c = kept;
    }
    return result;
}
