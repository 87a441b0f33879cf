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
#include <utility>
#include <vector>

#include "exact.h"

static const double INF = std::numeric_limits<double>::infinity();

namespace {

// A client's pairs in ascending cost, ties by vertex: the first size
// entries of its list, or more.
struct ClientList {
    const float *cost;
    const int *vertex;
    int size;
};

// The pairs of client j whose cost minus u exceeds slack fail the pair
// test; those below are a prefix of its list.  A float cost c at least
// top = u + slack + margin fails it even with the rounding of c - u (that
// rounding is at most 2^-53 |c - u|), so the prefix lies below top.
double prefix_top(double u, double slack) {
    double top = u + slack + 1e-9 * (std::fabs(u) + std::fabs(slack) + 1.0);
    return top == top ? top : -INF;  // slack = -inf: no pair passes
}

// Keeps what a solution no dearer than limit can use, from the lists that
// list(j, top) gives: each client's pairs in ascending cost, ties by
// vertex, at least those below top.
template <class Lists>
Candidates reduce_lists(int n, int p, const std::vector<signed char> &fix, const DualPoint &point, double limit,
                        Lists list) {
    Candidates r;
    r.n = n;
    r.p = p;
    // What a solution may cost above the bound, widened by the bound's
    // rounding error.
    const double slack = limit + point.error - point.bound;
    std::vector<double> delta(n, 0.0);
    r.fix = fix;
    for (int i = 0; i < n; ++i) {
        if (fix[i] != 0) continue;
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
        const ClientList l = list(j, prefix_top(u, slack));
        for (int e = 0; e < l.size && l.cost[e] <= cap; ++e) {
            if ((double)l.cost[e] - u > slack) break;  // fails the pair test for every median from here on
            int i = l.vertex[e];
            if (r.fix[i] < 0) continue;
            bool kept = delta[i] + std::max(0.0, (double)l.cost[e] - u) <= slack;
            if (kept) {
                r.vertex.push_back(i);
                r.cost.push_back(l.cost[e]);
            }
            if (r.fix[i] > 0) {
                if (kept) {
                    r.capped[j] = 1;
                    break;
                }
                cap = l.cost[e];
            }
        }
    }
    r.start[n] = (int)r.vertex.size();
    return r;
}

}  // namespace

Candidates reduce(const Candidates &c, const DualPoint &point, double limit) {
    return reduce_lists(c.n, c.p, c.fix, point, limit, [&c](int j, double) {
        return ClientList{c.cost.data() + c.start[j], c.vertex.data() + c.start[j], c.start[j + 1] - c.start[j]};
    });
}

// Each client's pairs below top, gathered from the core and sorted as the
// lists are.
Candidates reduce(const AllPairs &all, const DualPoint &point, double limit) {
    std::vector<std::pair<float, int>> pairs;
    std::vector<float> cost;
    std::vector<int> vertex;
    return reduce_lists(all.n, all.p, all.fix, point, limit, [&](int j, double top) {
        pairs.clear();
        all.below(j, top, [&pairs](int i, float c) { pairs.push_back({c, i}); });
        std::sort(pairs.begin(), pairs.end());
        cost.resize(pairs.size());
        vertex.resize(pairs.size());
        for (size_t k = 0; k < pairs.size(); ++k) cost[k] = pairs[k].first, vertex[k] = pairs[k].second;
        return ClientList{cost.data(), vertex.data(), (int)pairs.size()};
    });
}

VertexEntries vertex_entries(const Candidates &c) {
    const int n = c.n;
    VertexEntries x;
    x.first.assign(n + 1, 0);
    x.entries.resize(c.pairs());
    x.client.resize(c.pairs());
    for (int v : c.vertex) ++x.first[v + 1];
    for (int i = 0; i < n; ++i) x.first[i + 1] += x.first[i];
    std::vector<int> fill(x.first.begin(), x.first.end() - 1);
    for (int j = 0; j < n; ++j)
        for (int e = c.start[j]; e < c.start[j + 1]; ++e) {
            x.entries[fill[c.vertex[e]]++] = e;
            x.client[e] = j;
        }
    return x;
}

Candidates keep_entries(const Candidates &c, const std::vector<char> &keep) {
    const int n = c.n;
    Candidates kept;
    kept.n = c.n;
    kept.p = c.p;
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
    return kept;
}

// Closing a set S of medians raises the bound of every solution that opens
// none of them to
//     sum of u + beta of the open-fixed medians + the least sum of beta
//     over the free medians outside S that it may open
//     + sum over the clients j of max(0, c_S[j] - u[j]),
// where c_S[j] is the cheapest candidate of j outside S (the inequality at
// the head of this file, with the cost of each assignment at least c_S[j]).  Unlike the
// pair test, this adds up what every client near S loses.  For client j and
// S its candidates up to some level, a bound above limit proves that one of
// them is open in every solution within limit, so j is served at that level
// or below and its dearer candidates go.  Each client's levels are scanned
// in turn while S grows, with the clients' cheapest outside candidates kept
// up to date, and undone for the next client.
long long cover_clients(Candidates &c, const DualPoint &point, double limit, double deadline) {
    const int n = c.n, p = c.p;
    const VertexEntries at = vertex_entries(c);
    // The free vertices by ascending beta, and the sum the relaxed solution takes.
    std::vector<int> order;
    int wanted = p;
    for (int i = 0; i < n; ++i) {
        if (c.fix[i] == 0) order.push_back(i);
        wanted -= c.fix[i] > 0;
    }
    std::sort(order.begin(), order.end(), [&point](int a, int b) {
        return point.beta[a] < point.beta[b] || (point.beta[a] == point.beta[b] && a < b);
    });
    // The bound without the free medians' share: the multipliers and the
    // values of the open-fixed medians.  (Values from longer lists than the
    // present ones are no larger, so the bound stays valid after a reduction.)
    double base = 0.0;
    for (int j = 0; j < n; ++j) base += point.u[j];
    for (int i = 0; i < n; ++i)
        if (c.fix[i] > 0) base += point.beta[i];

    // Each client's cheapest candidate outside S, and what it adds.
    std::vector<int> cheapest(n);
    std::vector<char> in_set(n, 0);
    double total = 0.0, magnitude = 0.0;
    int unservable = 0;
    auto term = [&](int j) {
        return cheapest[j] < c.start[j + 1] ? std::max(0.0, (double)c.cost[cheapest[j]] - point.u[j]) : 0.0;
    };
    // The running total drifts with its updates; a decision is taken on a
    // fresh sum in client order, whose rounding the error below bounds.
    auto fresh_total = [&]() {
        double sum = 0.0;
        for (int j = 0; j < n; ++j) sum += term(j);
        return sum;
    };
    for (int j = 0; j < n; ++j) {
        cheapest[j] = c.start[j];
        unservable += c.start[j] == c.start[j + 1];
        total += term(j);
        magnitude += point.u[j] + (c.start[j + 1] > c.start[j] ? c.cost[c.start[j + 1] - 1] : 0.0f);
    }
    // The sums below add at most 2n + p terms of at most that magnitude.
    const double error = point.error + 4.0 * (n + 2) * std::ldexp(magnitude, -53);
    if (unservable) return 0;

    std::vector<std::pair<int, int>> undo;  // (client, its previous cheapest entry)
    std::vector<int> members;
    std::vector<char> keep(c.pairs(), 1);
    long long dropped = 0;
    for (int j = 0; j < n; ++j) {
        if (c.capped[j]) continue;
        if (deadline > 0 && (j & 63) == 0 && wall_seconds() >= deadline) break;
        undo.clear();
        members.clear();
        for (int e = c.start[j]; e < c.start[j + 1];) {
            int level_end = e;
            while (level_end < c.start[j + 1] && c.cost[level_end] == c.cost[e]) ++level_end;
            if (level_end == c.start[j + 1]) break;  // the last level is covered anyway
            for (int f = e; f < level_end; ++f) {
                int v = c.vertex[f];
                in_set[v] = 1;
                members.push_back(v);
                for (int k = at.first[v]; k < at.first[v + 1]; ++k) {
                    int g = at.entries[k], jj = at.client[g];
                    if (cheapest[jj] != g) continue;
                    undo.push_back({jj, g});
                    total -= term(jj);
                    while (cheapest[jj] < c.start[jj + 1] && in_set[c.vertex[cheapest[jj]]]) ++cheapest[jj];
                    if (cheapest[jj] == c.start[jj + 1]) ++unservable;
                    total += term(jj);
                }
            }
            double rest = 0.0;
            int counted = 0;
            for (int k = 0; k < (int)order.size() && counted < wanted; ++k)
                if (!in_set[order[k]]) rest += point.beta[order[k]], ++counted;
            bool closes = unservable > 0 || counted < wanted ||
                          (base + rest + total - error > limit && base + rest + (total = fresh_total()) - error > limit);
            if (closes) {
                for (int f = level_end; f < c.start[j + 1]; ++f) keep[f] = 0;
                dropped += c.start[j + 1] - level_end;
                break;
            }
            e = level_end;
        }
        for (int k = (int)undo.size() - 1; k >= 0; --k) {
            int jj = undo[k].first;
            if (cheapest[jj] == c.start[jj + 1]) --unservable;
            total -= term(jj);
            cheapest[jj] = undo[k].second;
            total += term(jj);
        }
        for (int v : members) in_set[v] = 0;
        total = fresh_total();
    }
    if (dropped > 0) c = keep_entries(c, keep);
    return dropped;
}
