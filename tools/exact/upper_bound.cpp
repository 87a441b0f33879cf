// upper_bound.cpp - a better solution before the reduction.
//
// The reduction keeps the solutions that cost at most limit = UB - 1, so
// every unit the known solution loses shrinks what is left: at large p the
// program's solution is often 0.5-1 % above the optimum (fl1400 with p =
// 300: 6170 against 6109), and the reduction then closes almost nothing.
// The program's interchange lets a median move only to a vertex within the
// neighbourhood radius; here any median may go to any vertex that the
// first reduction left possible, so medians can also move across the
// instance.  The search is a best-improvement swap search in the manner of
// Whitaker's fast interchange: with each client's nearest and second
// nearest open median, the profit of opening v and closing m is
//     gain(v) - loss(m) + extra(v, m),
//     gain(v)     = sum over j of max(0, d1[j] - c[v][j]),
//     loss(m)     = sum over the clients j of m of d2[j] - d1[j],
//     extra(v, m) = sum over the clients j of m with c[v][j] < d2[j]
//                   of d2[j] - max(c[v][j], d1[j]),
// and only the pairs of v that the reduction kept are summed.  Every term
// left out is at least 0, so the profit is never overstated and every move
// taken truly improves; the nearest medians are kept from the full costs.
// It descends from the program's solution and from the relaxed solution of
// the carried-on dual, and goes on from the better with kicks: four random
// medians each move to a vertex among the 64 nearest kept for it, the
// descent follows, and the result stays when it is better, else the swaps
// are undone.  It makes 10 p kicks, fewer when they have visited 1e9
// pairs and clients (a measure of work, not of time, so that the result is
// the same on every run without a deadline): few where p is small and
// solutions are usually good already, a few seconds on the large ones.  On
// fl1400 with p = 300 the descent alone finds nothing below 6170 and the
// kicks reach about 6135 (the optimum is 6109).
#include <algorithm>
#include <cmath>
#include <random>

#include "exact.h"

namespace {

const int MOST_MOVES = 4000;              // swaps per descent
const int KICK = 4;                       // medians moved by a kick
const int KICKS_PER_MEDIAN = 10;          // kicks: ten times p at most ...
const long long WORK_BUDGET = 1000000000; // ... and no more entries and clients visited than this

class SwapSearch {
public:
    SwapSearch(const pmedian::Solver &s, const Candidates &kept, const VertexEntries &at)
        : s_(s), kept_(kept), at_(at), n_(s.n), d1_(n_), d2_(n_), a1_(n_), a2_(n_), loss_(n_ + 1), extra_(n_ + 1, 0.0),
          touched_(n_ + 1, 0) {
        // A client with one median only has its second nearest at this cost,
        // dearer than any, so that the profits stay finite.
        double dearest = 0.0;
        for (int i = 0; i < n_; ++i)
            for (int j = 0; j < n_; ++j) dearest = std::max(dearest, (double)s.cost[i][j]);
        none_ = 2.0 * dearest + 1.0;
    }

    // Opens exactly the medians given.
    void reset(const std::vector<int> &medians) {
        medians_ = medians;
        open_.assign(n_, 0);
        for (int m : medians_) open_[m] = 1;
        for (int j = 0; j < n_; ++j) nearest_two(j);
    }

    // Best-improvement swaps until none improves, at most most_moves of
    // them; returns how many it made.
    int descend(int most_moves, double deadline, std::vector<std::pair<int, int>> *made = nullptr) {
        int moves = 0;
        double before = value();
        for (int in, out; moves < most_moves && best_swap(in, out); ++moves) {
            swap(in, out);
            double after = value();
            if (!(after < before)) {  // rounding made the profit look positive
                swap(out, in);
                break;
            }
            before = after;
            if (made) made->push_back({in, out});
            if (deadline > 0 && wall_seconds() >= deadline) break;
        }
        return moves;
    }
    long long work() const { return work_; }

    // Opens in and closes out, keeping every client's two nearest medians.
    void swap(int in, int out) {
        work_ += n_;
        open_[out] = 0;
        open_[in] = 1;
        *std::find(medians_.begin(), medians_.end(), out) = in;
        for (int j = 0; j < n_; ++j) {
            if (a1_[j] == out || a2_[j] == out) {
                nearest_two(j);
                continue;
            }
            offer(j, in);
        }
    }

    double value() const {
        double total = 0.0;
        for (int j = 0; j < n_; ++j) total += d1_[j];
        return total;
    }
    const std::vector<int> &medians() const { return medians_; }
    bool is_open(int i) const { return open_[i]; }

private:
    // Costs are compared with ties broken by vertex index, so the two
    // nearest medians of a client depend only on the open set.
    static bool less(double c, int i, double d, int k) { return c < d || (c == d && i < k); }

    void nearest_two(int j) {
        d1_[j] = d2_[j] = none_;
        a1_[j] = a2_[j] = n_;
        for (int i : medians_) offer(j, i);
    }

    // Median i as one of the two nearest of client j, if it is.
    void offer(int j, int i) {
        double c = s_.cost[i][j];
        if (less(c, i, d1_[j], a1_[j])) {
            d2_[j] = d1_[j], a2_[j] = a1_[j];
            d1_[j] = c, a1_[j] = i;
        } else if (less(c, i, d2_[j], a2_[j])) {
            d2_[j] = c, a2_[j] = i;
        }
    }

    // The swap of largest profit, when one gains more than rounding could
    // account for; among equals the first by vertex.
    bool best_swap(int &in, int &out) {
        std::fill(loss_.begin(), loss_.end(), 0.0);
        double scale = 0.0;
        for (int j = 0; j < n_; ++j) {
            loss_[a1_[j]] += d2_[j] - d1_[j];
            scale += d1_[j];
        }
        // The medians that may close, by ascending loss: for a candidate the
        // first one whose clients it does not touch is the best of those.
        by_loss_.clear();
        for (int m : medians_)
            if (kept_.fix[m] <= 0) by_loss_.push_back(m);
        if (by_loss_.empty()) return false;
        std::sort(by_loss_.begin(), by_loss_.end(),
                  [this](int a, int b) { return loss_[a] < loss_[b] || (loss_[a] == loss_[b] && a < b); });
        double best = 1e-9 * (1.0 + scale);
        in = out = -1;
        work_ += n_ + (long long)at_.entries.size();
        for (int v = 0; v < n_; ++v) {
            if (open_[v] || kept_.fix[v] < 0) continue;
            double gain = 0.0;
            marked_.clear();
            for (int k = at_.first[v]; k < at_.first[v + 1]; ++k) {
                int e = at_.entries[k], j = at_.client[e];
                double c = kept_.cost[e];
                if (!(c < d2_[j])) continue;
                if (c < d1_[j]) gain += d1_[j] - c;
                int m = a1_[j];
                if (!touched_[m]) touched_[m] = 1, marked_.push_back(m);
                extra_[m] += d2_[j] - std::max(c, d1_[j]);
            }
            auto consider = [&](int m) {
                if (kept_.fix[m] > 0) return;
                double profit = gain - loss_[m] + extra_[m];
                if (profit > best) best = profit, in = v, out = m;  // the first of equals
            };
            for (int m : by_loss_)
                if (!touched_[m]) {
                    consider(m);
                    break;
                }
            std::sort(marked_.begin(), marked_.end());
            for (int m : marked_) consider(m);
            for (int m : marked_) touched_[m] = 0, extra_[m] = 0.0;
        }
        return in >= 0;
    }

    const pmedian::Solver &s_;
    const Candidates &kept_;
    const VertexEntries &at_;
    const int n_;
    std::vector<int> medians_;
    std::vector<double> d1_, d2_;  // cost of each client's nearest and second nearest open median
    std::vector<int> a1_, a2_;     // those medians (n when none: loss_ and extra_ have room for it)
    std::vector<double> loss_, extra_;
    std::vector<char> touched_, open_;
    std::vector<int> marked_, by_loss_;
    double none_ = 0;     // the cost of a missing second median
    long long work_ = 0;  // entries and clients visited, the measure of the budget
};

}  // namespace

std::vector<int> improve_solution(const pmedian::Solver &s, const Candidates &kept, const std::vector<int> &start,
                                  const DualPoint &point, double deadline) {
    const int n = s.n, p = s.p;
    const VertexEntries at = vertex_entries(kept);
    SwapSearch search(s, kept, at);
    std::vector<std::vector<int>> starts = {start, {}};
    for (int i = 0; i < n; ++i)
        if (point.open.size() == (size_t)n && point.open[i] && kept.fix[i] >= 0) starts[1].push_back(i);
    std::vector<int> best = start;
    double best_value = INFINITY;
    for (const std::vector<int> &medians : starts) {
        if ((int)medians.size() != p) continue;
        search.reset(medians);
        search.descend(MOST_MOVES, deadline);
        if (search.value() < best_value) best = search.medians(), best_value = search.value();
    }
    // Kicks: close a few medians, open vertices that could serve them, and
    // search again; keep the result when it is better, else undo the swaps.
    std::mt19937 rng(1);
    search.reset(best);
    std::vector<std::pair<int, int>> made;
    for (int kicks = 0; kicks < KICKS_PER_MEDIAN * p && search.work() < WORK_BUDGET; ++kicks) {
        if (deadline > 0 && wall_seconds() >= deadline) break;
        made.clear();
        for (int k = 0; k < KICK; ++k) {
            int m = search.medians()[rng() % p];
            int len = kept.start[m + 1] - kept.start[m];
            if (kept.fix[m] > 0 || len == 0) continue;
            int v = kept.vertex[kept.start[m] + (int)(rng() % std::min(len, 64))];
            if (search.is_open(v) || kept.fix[v] < 0) continue;
            search.swap(v, m);
            made.push_back({v, m});
        }
        search.descend(MOST_MOVES, deadline, &made);
        double value = search.value();
        if (value < best_value - 1e-9 * (1.0 + best_value)) {
            best = search.medians(), best_value = value;
        } else {
            for (size_t k = made.size(); k-- > 0;) search.swap(made[k].second, made[k].first);
        }
    }
    return best;
}
