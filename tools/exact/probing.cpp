// probing.cpp - fixing free vertices one at a time by forcing them.
//
// A probe forces one free vertex the other way than the relaxed solution at
// the carried-on point has it (open if it is closed there, closed if open)
// and raises the Lagrangian bound of the solutions that do the same with a
// short subgradient search.  A bound above limit proves that no solution
// within limit has the vertex in that state, so it is fixed the other way.
// A vertex forced open that stays possible still yields a bound L_i and
// multipliers u for every solution that opens it, usually far above the
// unforced bound, so the pair test
//     L_i + max(0, cost[i][j] - u[j]) <= limit
// then drops most of its clients.
//
// Three things keep probing at the speed of the rest:
//  - A probe starts from the carried-on point and moves only the
//    multipliers of the clients that the forcing touches: those served in
//    the relaxation by a vertex whose state differs from the carried-on
//    solution (the forced vertex, the one it displaced, and those that
//    change on the way, until the set is six times its first size: the
//    vertices at the margin of the relaxed solution have nearly equal
//    values, and following every swap among them would soon move every
//    client).  The values beta are updated for the moved clients alone,
//    so a step costs O(n) for the selection plus the lists of the moved
//    clients, not a pass over every pair.  Any multipliers give a valid
//    bound, so a local search only proves less, never wrongly; and its
//    verdict is taken from one full evaluation at its best multipliers, so
//    the rounding drift of the updates never enters a decision.
//  - Candidates go in the order of their chance of being fixed: the rise
//    of the bound that the forcing gives at once, as a share of the gap to
//    limit (below a tenth of the gap, 2 of 425 probes succeeded on pcb3038
//    with p = 100).  Probing ends after two blocks in a row that fix
//    nothing; the last few free vertices of a small instance (pmed26) are
//    often fixed from a small share, so none is left out in advance.  A probe gives up
//    when its bound has not come a quarter of the way by step 20 or half
//    of it by step 40 (on pcb3038 with p = 100, under 1 % of such probes
//    succeeded when run on), but only when there are more than eight blocks
//    of candidates: with fewer, as on rl1304 with p = 10 (321 probes), the
//    slow probes that succeed late are worth their time (there they leave
//    78 vertices free instead of 132, and the MIP takes 0.2 s instead of
//    19 s).  On pcb3038 with p = 100 probing used to fix 599
//    vertices in 192 s, stopped by the time limit; now it fixes 716 in
//    12 s.
//  - The probes of a block are independent given the fixings at its start
//    and run in threads; their outcomes are applied in block order, so the
//    result does not depend on the number of threads.
#include <algorithm>
#include <cmath>
#include <limits>

#include "exact.h"

namespace {

const double INF = std::numeric_limits<double>::infinity();
const int BLOCK = 64;            // probes run side by side
const int BARREN_BLOCKS = 2;     // blocks in a row without a fixing that end the probing
const int PATIENT_UP_TO = 8 * BLOCK; // probes that may all run to the end
const int GROWTH = 6;            // the active clients grow to at most this many times the first ones

struct Outcome {
    bool fixed = false;
    long long dropped = 0;
};

// The working state of one probe; a thread keeps one for all its probes.
class Probe {
public:
    Probe(const Candidates &c, const VertexEntries &at, const DualPoint &base, double base_sum_u)
        : c_(c), at_(at), base_(base), base_sum_u_(base_sum_u), in_active_(c.n, 0) {}

    // Forces vertex i the other way under the fixings fix; on a failure
    // with i forced open, clears keep for the pairs of i that the forced
    // bound rules out.
    Outcome run(int i, const std::vector<signed char> &fix, double limit, bool patient, double deadline,
                std::vector<char> &keep) {
        trial_ = fix;
        const bool force_open = !base_.open[i];
        trial_[i] = force_open ? 1 : -1;
        search(limit, patient, deadline);

        Outcome out;
        // The verdict from a full evaluation at the best multipliers.  A
        // vertex forced closed is only worth it when the search got close.
        if (!force_open && !(best_bound_ > limit - 1e-9 * (1.0 + std::fabs(limit)))) return out;
        DualPoint forced;
        forced.u = best_u_;
        evaluate_dual(c_, trial_, forced, nullptr);
        if (forced.bound - forced.error > limit) {
            out.fixed = true;
        } else if (force_open) {
            const double slack = limit + forced.error - forced.bound;
            for (int k = at_.first[i]; k < at_.first[i + 1]; ++k) {
                int e = at_.entries[k];
                if (std::max(0.0, (double)c_.cost[e] - forced.u[at_.client[e]]) > slack) {
                    keep[e] = 0;
                    ++out.dropped;
                }
            }
        }
        return out;
    }

private:
    // Deflected subgradient steps on the active clients, as improve_dual
    // takes them on all; the step aims beyond limit by as much again as the
    // carried-on bound lies below it, so that it does not creep up on it.
    void search(double limit, bool patient, double deadline) {
        const double target = limit + (limit - base_.bound);
        const double alpha = 0.1;
        double theta = 0.1;
        const int patience = 10, max_steps = 200;
        cur_.u = base_.u;
        cur_.beta = base_.beta;
        sum_u_ = base_sum_u_;
        settle_relaxation(trial_, c_.p, sum_u_, cur_);
        best_bound_ = cur_.bound;
        best_u_ = cur_.u;
        for (int j : active_) in_active_[j] = 0;
        active_.clear();
        d_.clear();
        g_.clear();
        activate_changed(base_.open);
        most_active_ = GROWTH * (int)active_.size();
        subgradient();
        for (size_t k = 0; k < active_.size(); ++k) d_[k] = g_[k];
        int fails = 0;
        for (int step = 0; step < max_steps && best_bound_ <= limit && std::isfinite(cur_.bound); ++step) {
            double norm = 0.0;
            for (double x : d_) norm += x * x;
            if (norm == 0.0) break;
            double length = theta * (target - cur_.bound) / norm;
            if (!(length > 0)) break;
            for (size_t k = 0; k < active_.size(); ++k) move(active_[k], std::max(0.0, cur_.u[active_[k]] + length * d_[k]));
            previous_open_ = cur_.open;
            settle_relaxation(trial_, c_.p, sum_u_, cur_);
            if ((int)active_.size() < most_active_) activate_changed(previous_open_);
            subgradient();
            for (size_t k = 0; k < active_.size(); ++k) d_[k] = alpha * g_[k] + (1.0 - alpha) * d_[k];
            if (cur_.bound > best_bound_) {
                best_bound_ = cur_.bound;
                best_u_ = cur_.u;
                fails = 0;
            } else if (++fails >= patience) {
                theta /= 2;
                fails = 0;
            }
            if (theta < 1e-4) break;
            // A probe that has not come a quarter of the way by step 20, or
            // half by step 40, almost never gets there.
            const double come = (best_bound_ - base_.bound) / (limit - base_.bound);
            if (!patient && ((step == 19 && come < 0.25) || (step == 39 && come < 0.5))) break;
            if ((step & 31) == 31 && deadline > 0 && wall_seconds() >= deadline) break;
        }
    }

    // Sets u[j] and updates the values of the vertices that serve j below
    // the old or the new multiplier.
    void move(int j, double u) {
        const double old = cur_.u[j];
        if (u == old) return;
        const double top = std::max(u, old);
        for (int e = c_.start[j]; e < c_.start[j + 1] && (double)c_.cost[e] < top; ++e) {
            double cost = c_.cost[e];
            cur_.beta[c_.vertex[e]] += std::min(0.0, cost - u) - std::min(0.0, cost - old);
        }
        sum_u_ += u - old;
        cur_.u[j] = u;
    }

    // Makes active every client that a vertex serves in the relaxation when
    // its state differs from before; a new client starts with direction 0.
    void activate_changed(const std::vector<char> &before) {
        for (int v = 0; v < c_.n; ++v) {
            if (cur_.open[v] == before[v]) continue;
            for (int k = at_.first[v]; k < at_.first[v + 1]; ++k) {
                int e = at_.entries[k], j = at_.client[e];
                if (in_active_[j] || !((double)c_.cost[e] < cur_.u[j])) continue;
                in_active_[j] = 1;
                active_.push_back(j);
                d_.push_back(0.0);
                g_.push_back(0);
            }
        }
    }

    void subgradient() {
        for (size_t k = 0; k < active_.size(); ++k) {
            int j = active_[k], served = 0;
            for (int e = c_.start[j]; e < c_.start[j + 1] && (double)c_.cost[e] < cur_.u[j]; ++e) served += cur_.open[c_.vertex[e]];
            g_[k] = 1 - served;
        }
    }

    const Candidates &c_;
    const VertexEntries &at_;
    const DualPoint &base_;
    const double base_sum_u_;
    std::vector<signed char> trial_;
    DualPoint cur_;
    double sum_u_ = 0;
    int most_active_ = 0;
    std::vector<char> previous_open_;
    std::vector<double> best_u_;
    double best_bound_ = -INF;
    std::vector<char> in_active_;
    std::vector<int> active_;  // the clients whose multipliers move
    std::vector<double> d_;    // direction, per active client
    std::vector<int> g_;       // subgradient, per active client
};

}  // namespace

ProbeResult probe_vertices(Candidates &c, const DualPoint &carried, double limit, double deadline) {
    const int n = c.n;
    ProbeResult result;
    // The carried-on point over the pairs and fixings left now: the
    // reduction since its evaluation has raised its bound.
    DualPoint point;
    point.u = carried.u;
    evaluate_dual(c, c.fix, point, nullptr);
    if (point.bound - point.error > limit) return result;
    // The order: the bound's rise at once, as a share of the gap.
    const double gap = limit - point.bound;
    std::vector<std::pair<double, int>> order;
    for (int i = 0; i < n; ++i) {
        if (c.fix[i] != 0) continue;
        double rise = point.open[i] ? point.beta_next - point.beta[i] : point.beta[i] - point.beta_last;
        double share = gap > 0 ? rise / gap : INF;
        order.push_back({-share, i});  // largest share first, ties by vertex index
    }
    std::sort(order.begin(), order.end());

    double sum_u = 0.0;
    for (int j = 0; j < n; ++j) sum_u += point.u[j];
    const VertexEntries at = vertex_entries(c);
    std::vector<char> keep(c.pairs(), 1);
    std::vector<Outcome> outcome(BLOCK);
    const bool patient = (int)order.size() <= PATIENT_UP_TO;
    int barren = 0;
    for (size_t first = 0; first < order.size() && barren < BARREN_BLOCKS; first += BLOCK) {
        if (deadline > 0 && wall_seconds() >= deadline) break;
        const int size = (int)std::min<size_t>(BLOCK, order.size() - first);
        const std::vector<signed char> fix = c.fix;
#pragma omp parallel if (n >= 256)
        {
            Probe probe(c, at, point, sum_u);
#pragma omp for schedule(dynamic, 1)
            for (int k = 0; k < size; ++k)
                outcome[k] = probe.run(order[first + k].second, fix, limit, patient, deadline, keep);
        }
        int fixed = 0;
        for (int k = 0; k < size; ++k) {
            int i = order[first + k].second;
            if (outcome[k].fixed) {
                c.fix[i] = point.open[i] ? 1 : -1;
                ++fixed;
            }
            result.dropped += outcome[k].dropped;
        }
        result.probed += size;
        result.fixed += fixed;
        barren = fixed == 0 ? barren + 1 : 0;
    }
    if (result.dropped > 0) c = keep_entries(c, keep);
    return result;
}
