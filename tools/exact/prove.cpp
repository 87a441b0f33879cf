// prove.cpp - the proof, from the core's result to the optimum.
//
// Which solutions the reduction keeps decides what a proof means.  With
// whole costs every solution's cost is a whole number, so the reduction
// keeps only solutions cheaper than the known one by 1 or more: if nothing
// is left, or the MIP finds nothing within that limit, the known solution
// is optimal.  With real costs it keeps every solution up to the known
// cost, widened by the rounding error of that cost's double sum; the known
// solution then stays in the model and is handed to the MIP solver as its
// start.  Either way every reduction keeps all solutions within the limit
// at their true costs (see reduction.cpp), so the MIP's optimum over what
// is left is the optimum of the instance whenever it lies within the limit.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "exact.h"
#include "progress_log.h"

static const std::chrono::steady_clock::time_point run_start = std::chrono::steady_clock::now();

double wall_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - run_start).count();
}

void show_progress(const std::string &step, double upper, double lower, double deadline) {
    char text[512];
    progress_text(text, sizeof text, step.c_str(), upper, lower, wall_seconds(), deadline);
    fprintf(stderr, "%s\n", text);
    fflush(stderr);
}

PhaseClock::PhaseClock(double &phase) : slot(phase), started(wall_seconds()) {}
PhaseClock::~PhaseClock() { slot += wall_seconds() - started; }

bool costs_are_whole(const pmedian::Solver &s) {
    const int n = s.n;
    float *const *cost = s.cost;
    double largest = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            if (cost[i][j] != std::floor(cost[i][j])) return false;
            largest = std::fmax(largest, std::fabs(cost[i][j]));
        }
    return largest * n < 9007199254740992.0;  // sums of n costs stay exact in double
}

// The MIP's answer, checked: a solution's cost is recomputed from the
// costs, and for a solution within the limit it must equal the model's value.
static void take_mip_answer(const pmedian::Solver &s, Proof &proof, const Model &model, const MipResult &mip, bool whole, double limit) {
    const int p = s.p;
    proof.nodes = mip.nodes;
    proof.status = mip.status == MipResult::TIME_LIMIT ? Proof::TIME_LIMIT : Proof::OPTIMAL;
    if (!mip.x.empty()) {
        std::vector<int> found = model_medians(model, mip.x);
        double found_cost = (int)found.size() == p ? solution_cost(s, found) : INFINITY;
        if (mip.status == MipResult::OPTIMAL && !(std::fabs(found_cost - mip.value) <= 1e-6 * (1.0 + proof.known))) {
            proof.status = Proof::FAILED;
            proof.message = "the MIP solution costs " + std::to_string(found_cost) + ", not the model's " +
                            std::to_string(mip.value);
            return;
        }
        if (found_cost < proof.value) {
            proof.medians = found;
            proof.value = found_cost;
        }
    }
    switch (mip.status) {
    case MipResult::OPTIMAL:
        break;
    case MipResult::INFEASIBLE:  // nothing within the limit
        if (!whole) {
            proof.status = Proof::FAILED;
            proof.message = "the MIP solver found no solution, though the known one fits";
        }
        break;
    case MipResult::TIME_LIMIT:
        // Solutions beyond the limit cost at least the known one (whole
        // costs) or the limit.
        proof.bound = std::fmax(proof.bound, std::fmin(mip.bound, whole ? proof.known : limit));
        break;
    case MipResult::FAILED:
        proof.status = Proof::FAILED;
        proof.message = mip.message;
        break;
    }
}

// The cost of serving every client from its list by the medians given;
// +inf when a client has none of them in its list.
static double list_cost(const Candidates &c, const std::vector<int> &medians) {
    std::vector<char> open(c.n, 0);
    for (int i : medians) open[i] = 1;
    double total = 0.0;
    for (int j = 0; j < c.n; ++j) {
        double served = INFINITY;
        for (int e = c.start[j]; e < c.start[j + 1] && !std::isfinite(served); ++e)
            if (open[c.vertex[e]]) served = c.cost[e];
        total += served;
    }
    return total;
}

// The decomposition needs CBC.  Measured side by side (2 busy cores): where
// the reduction leaves few free vertices (the OR-Library instances that
// reach the MIP, at most 70) CBC proves the radius model 2 to 4 times
// faster; with 159 and 334 (vm1748 with p = 10 and 20) the decomposition
// proves in two thirds of the time; with 700 and more (fl1400, u1432 of
// the hard tables) neither proves within 300 s, and the decomposition's
// bound climbs further.  At 131 (pmed36) the two end even.
static const int BENDERS_FREE_VERTICES = 150;
static MipPath choose_path(const Proof &proof, const MipSolver &solver) {
    if (!have_benders() || std::string(solver.name) != "cbc") return MipPath::RADIUS;
    return proof.free >= BENDERS_FREE_VERTICES ? MipPath::BENDERS : MipPath::RADIUS;
}

Proof prove_optimum(const pmedian::Solver &s, const std::vector<int> &start, const std::vector<double> &multipliers, const MipSolver &solver,
                    double deadline, MipPath path, bool progress) {
    const int n = s.n, p = s.p;
    Proof proof;
    const bool whole = costs_are_whole(s);
    proof.medians = start;
    proof.program = proof.known = proof.value = solution_cost(s, start);
    double known, known_error, limit;
    auto take_known = [&]() {
        known = proof.known;
        known_error = 2.0 * n * std::ldexp(known, -53);  // n roundings of at most 2^-53 of it
        limit = whole ? known - 1.0 : known + known_error;
    };
    take_known();
    auto closes = [&](const DualPoint &d) {
        return whole ? d.bound - d.error > limit : d.bound - d.error >= known - known_error;
    };
    auto time_is_up = [&]() { return deadline > 0 && wall_seconds() >= deadline; };
    PhaseSeconds &seconds = proof.seconds;

    // The dual carried on until the bound stalls, then reduction, dual and
    // probing in turn while they fix or drop much.
    const AllPairs all(s);
    Candidates candidates;
    DualPoint point;
    point.u = multipliers;
    // A progress line, when asked for, with the best solution and bound.
    auto note = [&](const std::string &step) {
        if (progress) show_progress(step, proof.value, point.bound, deadline);
    };
    DualSearch search;
    search.target = known;
    search.stop_at = limit;
    search.deadline = deadline;
    {
        PhaseClock clock(seconds.dual);
        proof.steps = improve_dual(all, all.fix, point, search);
    }
    proof.first_bound = point.bound;
    note("carried-on dual");
    if (!closes(point) && !time_is_up()) {
        // A better solution lowers the limit of everything that follows.
        PhaseClock clock(seconds.search);
        std::vector<int> better = improve_solution(s, reduce(all, point, limit), proof.medians, point, deadline);
        double cost = solution_cost(s, better);
        if (cost < proof.value) {
            proof.medians = better;
            proof.known = proof.value = cost;
            take_known();
            search.target = known;
            search.stop_at = limit;
        }
        note("swap search");
    }
    if (!closes(point)) {
        {
            PhaseClock clock(seconds.reduction);
            candidates = reduce(all, point, limit);
        }
        while (!time_is_up()) {
            ++proof.rounds;
            {
                PhaseClock clock(seconds.dual);
                proof.steps += improve_dual(candidates, candidates.fix, point, search);
            }
            if (closes(point)) break;
            long long covered;
            {
                PhaseClock clock(seconds.reduction);
                candidates = reduce(candidates, point, limit);
                covered = cover_clients(candidates, point, limit, deadline);
            }
            note("reduction round " + std::to_string(proof.rounds) + ": " + std::to_string(candidates.count(0)) +
                 " free vertices, " + std::to_string(candidates.pairs()) + " pairs");
            // Probing costs a dual search per free vertex: worth it while the
            // model would be large, and while it fixes or drops much.
            if (candidates.pairs() <= 20LL * n) break;
            int free_vertices = candidates.count(0);
            ProbeResult probe;
            {
                PhaseClock clock(seconds.probing);
                probe = probe_vertices(candidates, point, limit, deadline);
            }
            proof.probed += probe.fixed;
            proof.probes += probe.probed;
            note("probing: " + std::to_string(probe.fixed) + " of " + std::to_string(probe.probed) +
                 " vertices fixed");
            {
                PhaseClock clock(seconds.reduction);
                candidates = reduce(candidates, point, limit);  // without what probing fixed
            }
            if (probe.fixed * 20 < free_vertices && (probe.dropped + covered) * 20 < candidates.pairs()) break;
        }
    }
    proof.dual_bound = point.bound;
    proof.bound = std::fmin(point.bound, known);
    if (closes(point)) {
        proof.status = Proof::OPTIMAL;
        proof.bound = proof.value;
        return proof;
    }

    // Every vertex fixed: what is left is one solution, or none.
    if (candidates.count(0) == 0) {
        std::vector<int> fixed;
        for (int i = 0; i < n; ++i)
            if (candidates.fix[i] > 0) fixed.push_back(i);
        if ((int)fixed.size() == p && solution_cost(s, fixed) < proof.value) {
            proof.medians = fixed;
            proof.value = solution_cost(s, fixed);
        }
        proof.status = Proof::OPTIMAL;
        proof.bound = proof.value;
        return proof;
    }

    // The model of what is left.
    proof.mip_used = true;
    proof.closed = candidates.count(-1);
    proof.opened = candidates.count(1);
    proof.free = candidates.count(0);
    proof.pairs = candidates.pairs();
    proof.status = Proof::TIME_LIMIT;  // unless the MIP runs
    if (time_is_up()) return proof;
    {
        PhaseClock clock(seconds.model);
        proof.before = radius_model_size(all);
    }
    if (path == MipPath::AUTO) path = choose_path(proof, solver);
    note(std::string("MIP (") + solver.name + (path == MipPath::BENDERS ? ", Benders decomposition" : "") + ") on " +
         std::to_string(proof.free) + " free vertices");
    MipOptions options;
    options.integral_objective = whole;
    options.progress = progress;
    options.cutoff = whole ? known - 0.5 : limit + 1e-9 * (1.0 + std::fabs(limit));
    if (path == MipPath::BENDERS) {
        // The known solution must be served from the lists at its cost, as
        // it must fit the radius model below.
        if (!whole && !(std::fabs(list_cost(candidates, proof.medians) - known) <= 1e-9 * (1.0 + known))) {
            proof.status = Proof::FAILED;
            proof.message = "the reduced lists do not hold the known solution";
            return proof;
        }
        options.time_limit = deadline > 0 ? deadline - wall_seconds() : 0;
        MipResult mip;
        {
            PhaseClock clock(seconds.mip);
            proof.mip_ran = proof.decomposed = true;
            mip = run_within_limit(
                [&](const MipOptions &o) {
                    // The swap search keeps the solver's own limit, which ends before the deadline.
                    const double until = o.time_limit > 0 ? wall_seconds() + o.time_limit : 0;
                    auto improve = [&](const std::vector<int> &medians) {
                        return improve_solution(s, candidates, medians, DualPoint(), until);
                    };
                    return solve_benders(candidates, proof.medians, point.u, o, improve);
                },
                options);
        }
        proof.mip_overran = mip.overran;
        proof.restarts = mip.restarts;
        Model vertices;  // the decomposition's point has one entry per vertex
        vertices.columns = n;
        for (int i = 0; i < n; ++i) vertices.median_col.push_back(i);
        take_mip_answer(s, proof, vertices, mip, whole, limit);
        if (proof.status == Proof::OPTIMAL) proof.bound = proof.value;
        return proof;
    }
    Model model;
    {
        PhaseClock clock(seconds.model);
        model = radius_model(candidates, proof.medians, deadline);
    }
    if (model.interrupted) return proof;
    proof.after = {model.rows(), model.columns, model.nonzeros()};
    // With real costs the known solution must fit the model at its cost; if
    // it did not, the reduction would be wrong and no answer could be
    // trusted.  With whole costs the model holds only cheaper solutions.
    bool fits = model_feasible(model, model.start, 1e-9) &&
                std::fabs(model_value(model, model.start) - known) <= 1e-9 * (1.0 + known);
    if (whole) model.start.clear();
    if (!whole && !fits) {
        proof.status = Proof::FAILED;
        proof.message = "the reduced model does not hold the known solution";
        return proof;
    }
    if (time_is_up()) return proof;
    options.time_limit = deadline > 0 ? deadline - wall_seconds() : 0;
    MipResult mip;
    {
        PhaseClock clock(seconds.mip);
        proof.mip_ran = true;
        mip = solve_within_limit(solver, model, options);
    }
    proof.mip_overran = mip.overran;
    take_mip_answer(s, proof, model, mip, whole, limit);
    if (proof.status == Proof::OPTIMAL) proof.bound = proof.value;
    return proof;
}

Proof solve_plain(const pmedian::Solver &s, const MipSolver &solver, double deadline) {
    Proof proof;
    proof.mip_used = true;
    proof.value = INFINITY;  // no solution yet
    proof.known = 0;
    proof.bound = -INFINITY;
    proof.status = Proof::TIME_LIMIT;  // unless the MIP runs
    Model model;
    {
        PhaseClock clock(proof.seconds.model);
        model = classic_model(s, {}, deadline);
    }
    if (model.interrupted || (deadline > 0 && wall_seconds() >= deadline)) return proof;
    proof.after = proof.before = {model.rows(), model.columns, model.nonzeros()};
    MipOptions options;
    options.time_limit = deadline > 0 ? deadline - wall_seconds() : 0;
    options.integral_objective = costs_are_whole(s);
    options.tuned = false;
    MipResult mip;
    {
        PhaseClock clock(proof.seconds.mip);
        proof.mip_ran = true;
        mip = solve_within_limit(solver, model, options);
    }
    proof.mip_overran = mip.overran;
    take_mip_answer(s, proof, model, mip, options.integral_objective, INFINITY);
    if (mip.status == MipResult::INFEASIBLE) {
        proof.status = Proof::FAILED;
        proof.message = "the MIP solver found the model infeasible";
    }
    proof.bound = proof.status == Proof::OPTIMAL ? proof.value : std::isfinite(mip.bound) ? mip.bound : -INFINITY;
    return proof;
}
