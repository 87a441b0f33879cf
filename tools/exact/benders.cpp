// benders.cpp - the radius model solved by Benders decomposition on CBC.
//
// The radius model spends a chain of rows and columns on every client, and
// on an instance with many free vertices and many levels per client CBC
// solves its relaxation slowly at every node.  Projected onto the medians,
// a client j with kept candidates at costs D1 < D2 < ... < DK costs, at an
// integer y, the cost of its cheapest open candidate, and for every level D
//     theta_j >= D - sum over its candidates i cheaper than D of (D - c_ij) y_i
// holds: if a candidate cheaper than D is open, the sum takes at least
// D - (its cost); if none is, the client costs D or more.  The master keeps
// y, one theta per client and the cardinality row, and takes these cuts
// only where a point violates them.  The cut a point violates most is found
// by one scan of the client's list: the right side is concave in D with its
// peak where the open share of the cheaper candidates reaches 1.  A client
// whose list does not end at an open-fixed median also needs a median of
// its list open at all (the list holds every median that may serve it
// within the limit), a row added the same way when violated.
//
// The cuts hold for every solution within the reduction's limit, at its
// true cost: the lists were made to keep exactly those (see reduction.cpp).
// A solution above the limit may be understated or cut off, which the
// proof allows, since it needs only the solutions within the cutoff.
//
// First the linear relaxation is solved by rounds of cuts with CLP, started
// from the cuts that bracket the Lagrangian multipliers (they give the
// Lagrangian bound at once) and those of the start solution.  Its reduced
// costs then fix medians against the cutoff, and its rounded medians,
// improved by the caller's swap search, may give a better start.  CBC's
// branch and cut follows, best bound first, with the cuts as a cut
// generator at every node, CBC's Gomory and two-step MIR cuts at the root
// (on fl1400 with p = 200 they lift the bound from 8792.3 to 8800.9) and a
// rounding of each node's medians for solutions.
//
// CBC (2.10) has no sure way to make a cut generator judge an integer point
// before it becomes the incumbent: a node whose relaxation turns integer
// may be taken as solved.  Two guards stand in the way.  A branching object
// sees such a node as unfinished and branches on the sum of its violated
// cuts (the other branch is empty), so the node goes on with the cut.  And
// an event handler refuses any understated point that still reaches the
// incumbent (at the root they do); CBC then drops its node too, with
// whatever cheaper solutions lay below it (they cost at least the point's
// objective).  So every refusal is recorded; when one lies below what CBC
// ends with, the refused points' cuts join the master and CBC starts
// again, and when time runs out first the bound is no higher than the
// least refused objective.  (Without the restart CBC's answers are wrong
// on small brute-forced cases.)

#include <CbcModel.hpp>
#include <CbcCutGenerator.hpp>
#include <CbcEventHandler.hpp>
#include <CbcHeuristic.hpp>
#include <CbcBranchCut.hpp>
#include <CbcCompareObjective.hpp>
#include <CglGomory.hpp>
#include <CglTwomir.hpp>
#include <CglCutGenerator.hpp>
#include <CoinPackedVector.hpp>
#include <OsiAuxInfo.hpp>
#include <OsiClpSolverInterface.hpp>
#include <OsiCuts.hpp>
#include <OsiRowCut.hpp>

#include <algorithm>
#include <functional>
#include <cmath>
#include <string>

#include "exact.h"

namespace {

// The master's columns: y for the free vertices, then theta of every client.
struct Master {
    const Candidates &c;
    std::vector<int> column;  // per vertex: its y column, -1 when fixed
    int free = 0;             // y columns
    int theta(int j) const { return free + j; }
    explicit Master(const Candidates &candidates) : c(candidates), column(candidates.n, -1) {
        for (int i = 0; i < c.n; ++i)
            if (c.fix[i] == 0) column[i] = free++;
    }
    // The value of candidate entry e at point x: 1 for an open-fixed median.
    double open_share(int e, const double *x) const {
        int col = column[c.vertex[e]];
        return col >= 0 ? x[col] : c.fix[c.vertex[e]] > 0 ? 1.0 : 0.0;
    }
};

// The cut of client j at the level that begins at entry level:
// theta_j + sum (D - c) y over the free candidates cheaper than D >= D - that
// sum over the open-fixed ones.
OsiRowCut level_cut(const Master &m, int j, int level) {
    const Candidates &c = m.c;
    const double top = c.cost[level];
    CoinPackedVector row;
    row.insert(m.theta(j), 1.0);
    double rhs = top;
    for (int e = c.start[j]; e < level; ++e) {
        double gain = top - (double)c.cost[e];
        int col = m.column[c.vertex[e]];
        if (col >= 0) row.insert(col, gain);
        else if (c.fix[c.vertex[e]] > 0) rhs -= gain;
    }
    OsiRowCut cut;
    cut.setRow(row);
    cut.setLb(rhs);
    cut.setUb(COIN_DBL_MAX);
    cut.setGloballyValid(true);
    return cut;
}

// Some median of client j's list is open.
OsiRowCut cover_cut(const Master &m, int j) {
    const Candidates &c = m.c;
    CoinPackedVector row;
    for (int e = c.start[j]; e < c.start[j + 1]; ++e)
        if (m.column[c.vertex[e]] >= 0) row.insert(m.column[c.vertex[e]], 1.0);
    OsiRowCut cut;
    cut.setRow(row);
    cut.setLb(1.0);
    cut.setUb(COIN_DBL_MAX);
    cut.setGloballyValid(true);
    return cut;
}

// Adds to cuts what client j's thetas at x violate by more than the
// tolerance: the most violated level cut, and the cover when the open
// share of its list falls short of 1.  Returns the violation.
double separate(const Master &m, int j, const double *x, OsiCuts &cuts) {
    const Candidates &c = m.c;
    double share = 0.0, weighted = 0.0;  // open share and its cost over the entries passed
    double best = -INFINITY;
    int best_level = -1;
    for (int e = c.start[j]; e < c.start[j + 1];) {
        const double level_cost = c.cost[e];
        double value = level_cost * (1.0 - share) + weighted;
        if (value > best) best = value, best_level = e;
        for (; e < c.start[j + 1] && c.cost[e] == level_cost; ++e) {
            double y = m.open_share(e, x);
            share += y;
            weighted += y * level_cost;
        }
        if (share >= 1.0 - 1e-9) break;  // from here on the right side only falls
    }
    double violation = best - x[m.theta(j)];
    if (violation > 1e-7 * (1.0 + std::fabs(best))) cuts.insert(level_cut(m, j, best_level));
    else violation = 0.0;
    if (!c.capped[j] && share < 1.0 - 1e-7) {
        cuts.insert(cover_cut(m, j));
        violation = std::fmax(violation, 1.0 - share);
    }
    return violation;
}

// The cost of client j when the medians open at x serve it from its list:
// +inf when none of them is open.
double served_cost(const Master &m, int j, const double *x) {
    for (int e = m.c.start[j]; e < m.c.start[j + 1]; ++e)
        if (m.open_share(e, x) > 0.5) return m.c.cost[e];
    return INFINITY;
}

class BendersCuts : public CglCutGenerator {
public:
    explicit BendersCuts(const Master &master) : m(master) {}
    void generateCuts(const OsiSolverInterface &si, OsiCuts &cuts, const CglTreeInfo = CglTreeInfo()) override {
        const double *x = si.getColSolution();
        for (int j = 0; j < m.c.n; ++j) separate(m, j, x, cuts);
    }
    CglCutGenerator *clone() const override { return new BendersCuts(*this); }
    bool mayGenerateRowCutsInTree() const override { return true; }

private:
    const Master &m;
};

// The integer points CBC was kept from taking: the least objective among
// them, and their cuts.
struct Rejected {
    double lowest = INFINITY;
    OsiCuts cuts;
};

// Asked before CBC takes an integer point as its incumbent, refuses one
// whose thetas understate its cost.  CBC then drops the point, but also the
// node it came from, whose subtree may hold cheaper solutions: so every
// refusal is recorded, and what CBC proves is trusted only above the least
// objective refused.
class RefuseUnderstated : public CbcEventHandler {
public:
    RefuseUnderstated(const Master &master, Rejected &rejected, bool progress)
        : m(master), r(rejected), progress(progress) {}
    CbcAction event(CbcEvent which) override {
        if (progress && which == node && wall_seconds() - shown_at >= 5.0) {
            // Progress every few seconds, with the bound as far as it is trusted.
            shown_at = wall_seconds();
            show_progress("MIP: " + std::to_string(model_->getNodeCount()) + " nodes",
                          model_->bestSolution() ? model_->getObjValue() : INFINITY,
                          std::fmin(model_->getBestPossibleObjValue(), r.lowest), 0);
        }
        if (which != beforeSolution2) return noAction;
        const double *x = model_->bestSolution();  // the candidate, while CBC asks
        double thetas = 0.0, cost = 0.0;
        for (int j = 0; j < m.c.n; ++j) thetas += x[m.theta(j)], cost += served_cost(m, j, x);
        if (thetas >= cost - 1e-7 * (1.0 + cost)) return noAction;
        r.lowest = std::fmin(r.lowest, thetas);
        for (int j = 0; j < m.c.n; ++j) separate(m, j, x, r.cuts);
        return killSolution;
    }
    CbcEventHandler *clone() const override { return new RefuseUnderstated(*this); }

private:
    const Master &m;
    Rejected &r;
    bool progress;  // progress lines every few seconds
    double shown_at = wall_seconds();
};

// A node whose relaxation is integer in the medians but understates a
// client's cost is not solved: this object branches on it with the sum of
// the violated cuts on one side and nothing feasible on the other, so the
// node goes on with the sum added instead of being taken as a solution.
class Understated : public CbcObject {
public:
    Understated(CbcModel *model, const Master &master) : CbcObject(model), m(master) {}
    CbcObject *clone() const override { return new Understated(*this); }
    double infeasibility(const OsiBranchingInformation *info, int &preferred) const override {
        preferred = -1;
        const double *x = info->solution_;
        for (int col = 0; col < m.free; ++col)
            if (std::fabs(x[col] - std::round(x[col])) > 1e-7) return 0.0;  // the medians' branching comes first
        double short_by = 0.0;
        for (int j = 0; j < m.c.n; ++j) short_by += std::fmax(0.0, served_cost(m, j, x) - x[m.theta(j)]);
        return short_by > 1e-7 ? 1.0 : 0.0;
    }
    void feasibleRegion() override {}
    CbcBranchingObject *createCbcBranch(OsiSolverInterface *solver, const OsiBranchingInformation *, int) override {
        const double *x = solver->getColSolution();
        OsiCuts cuts;
        for (int j = 0; j < m.c.n; ++j) separate(m, j, x, cuts);
        // The sum of the violated cuts, and a row no point meets.
        std::vector<double> sum(m.free + m.c.n, 0.0);
        double rhs = 0.0;
        for (int k = 0; k < cuts.sizeRowCuts(); ++k) {
            const OsiRowCut &cut = cuts.rowCut(k);
            const CoinPackedVector &row = cut.row();
            for (int e = 0; e < row.getNumElements(); ++e) sum[row.getIndices()[e]] += row.getElements()[e];
            rhs += cut.lb();
        }
        CoinPackedVector packed;
        for (int col = 0; col < (int)sum.size(); ++col)
            if (sum[col] != 0.0) packed.insert(col, sum[col]);
        OsiRowCut down, up;
        down.setRow(packed);
        down.setLb(rhs);
        down.setUb(COIN_DBL_MAX);
        down.setGloballyValid(true);
        CoinPackedVector none;
        none.insert(m.theta(0), 1.0);
        up.setRow(none);
        up.setLb(-COIN_DBL_MAX);
        up.setUb(-1.0);  // theta is never negative
        return new CbcCutBranchingObject(model_, down, up, false);
    }

private:
    const Master &m;
};

using Improve = std::function<std::vector<int>(const std::vector<int> &)>;

// The medians of the largest open shares at x, ties by index, with the
// open-fixed ones.
std::vector<int> rounded_medians(const Master &m, const double *x) {
    const Candidates &c = m.c;
    std::vector<int> order, medians;
    for (int i = 0; i < c.n; ++i) {
        if (c.fix[i] > 0) medians.push_back(i);
        if (m.column[i] >= 0) order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return x[m.column[a]] > x[m.column[b]]; });
    for (int k = 0; (int)medians.size() < c.p && k < (int)order.size(); ++k) medians.push_back(order[k]);
    return medians;
}

// The master's point that opens medians, each client served from its list;
// returns its objective.
double master_point(const Master &m, const std::vector<int> &medians, std::vector<double> &point) {
    point.assign(m.free + m.c.n, 0.0);
    for (int i : medians)
        if (m.column[i] >= 0) point[m.column[i]] = 1.0;
    double value = 0.0;
    for (int j = 0; j < m.c.n; ++j) value += point[m.theta(j)] = served_cost(m, j, point.data());
    return value;
}

// At every node, the rounded medians of the node's relaxation: a solution
// for CBC when it is cheaper than the incumbent.  Now and then (a swap
// search takes seconds on a large instance) the caller's swap search
// improves them first.
class RoundMedians : public CbcHeuristic {
public:
    RoundMedians(CbcModel &model, const Master &master, const Improve &improve)
        : CbcHeuristic(model), m(master), improve(improve) { setWhen(3); }
    CbcHeuristic *clone() const override { return new RoundMedians(*this); }
    void resetModel(CbcModel *model) override { model_ = model; }
    bool shouldHeurRun(int) override { return true; }
    int solution(double &objective, double *x) override {
        std::vector<int> medians = rounded_medians(m, model_->solver()->getColSolution());
        if (improve && wall_seconds() >= next_search) {
            double started = wall_seconds();
            medians = improve(medians);
            next_search = wall_seconds() + std::fmax(20.0, 5.0 * (wall_seconds() - started));
        }
        std::vector<double> point;
        double value = master_point(m, medians, point);
        if (!(value < objective)) return 0;
        std::copy(point.begin(), point.end(), x);
        objective = value;
        return 1;
    }

private:
    const Master &m;
    const Improve &improve;
    double next_search = 0.0;
};

// The cut of every level next to the multiplier of each client, below and
// above it: together they give at least the Lagrangian bound.  And the
// level each client is served at by the start solution.
void first_cuts(const Master &m, const std::vector<double> &u, const std::vector<double> &start, OsiCuts &cuts) {
    const Candidates &c = m.c;
    for (int j = 0; j < c.n; ++j) {
        int below = -1, above = -1, served = -1;
        for (int e = c.start[j]; e < c.start[j + 1]; ++e) {
            if (e > c.start[j] && c.cost[e] == c.cost[e - 1]) continue;
            if (!u.empty() && c.cost[e] <= u[j]) below = e;
            if (!u.empty() && c.cost[e] >= u[j] && above < 0) above = e;
            if (!start.empty() && served < 0 && m.open_share(e, start.data()) > 0.5) served = e;
        }
        // The serving level's cut is the one just above it.
        if (served >= 0) {
            int next = served;
            while (next < c.start[j + 1] && c.cost[next] == c.cost[served]) ++next;
            served = next < c.start[j + 1] ? next : -1;
        }
        for (int e : {below, above, served})
            if (e > c.start[j]) cuts.insert(level_cut(m, j, e));
        if (!c.capped[j]) cuts.insert(cover_cut(m, j));
    }
}

// Rounds of cuts on the linear relaxation until no client is violated or
// the bound stalls.
void solve_relaxation(const Master &m, OsiClpSolverInterface &lp, double deadline) {
    std::vector<double> bounds;
    for (int round = 0; !past(deadline); ++round) {
        if (!lp.isProvenOptimal()) return;
        bounds.push_back(lp.getObjValue());
        const int k = (int)bounds.size();
        if (k > 5 && bounds[k - 1] - bounds[k - 6] <= 1e-7 * (1.0 + std::fabs(bounds[k - 1]))) return;
        OsiCuts cuts;
        const double *x = lp.getColSolution();
        for (int j = 0; j < m.c.n; ++j) separate(m, j, x, cuts);
        if (cuts.sizeRowCuts() == 0) return;
        // Rows that no longer bind go, so that the relaxation stays small.
        if (round % 5 == 4) {
            const double *activity = lp.getRowActivity(), *lower = lp.getRowLower();
            std::vector<int> loose;
            for (int r = 1; r < lp.getNumRows(); ++r)
                if (activity[r] > lower[r] + 1e-6 * (1.0 + std::fabs(lower[r]))) loose.push_back(r);
            lp.deleteRows((int)loose.size(), loose.data());
        }
        lp.applyCuts(cuts);
        lp.resolve();
    }
}

// Fixes the medians whose reduced cost lifts the relaxation above cutoff.
int fix_by_reduced_cost(const Master &m, OsiClpSolverInterface &lp, double cutoff) {
    if (!lp.isProvenOptimal() || !std::isfinite(cutoff)) return 0;
    const double bound = lp.getObjValue(), margin = 1e-6 * (1.0 + std::fabs(bound));
    const double *reduced = lp.getReducedCost(), *x = lp.getColSolution();
    int fixed = 0;
    for (int col = 0; col < m.free; ++col) {
        if (lp.getColLower()[col] == lp.getColUpper()[col]) continue;
        if (x[col] < 1e-9 && bound + reduced[col] - margin > cutoff) lp.setColUpper(col, 0.0), ++fixed;
        else if (x[col] > 1.0 - 1e-9 && bound - reduced[col] - margin > cutoff) lp.setColLower(col, 1.0), ++fixed;
    }
    return fixed;
}

}  // namespace

MipResult solve_benders(const Candidates &c, const std::vector<int> &start_medians, const std::vector<double> &u,
                        const MipOptions &options, const Improve &improve) {
    const int n = c.n;
    const double deadline = options.time_limit > 0 ? wall_seconds() + options.time_limit : 0;
    MipResult result;
    Master m(c);
    for (int j = 0; j < n; ++j)
        if (c.start[j] == c.start[j + 1]) {
            result.status = MipResult::INFEASIBLE;  // nobody may serve j within the limit
            return result;
        }
    // The start solution as a point of the master, thetas at its costs.
    std::vector<double> start;
    double start_value = INFINITY;
    auto offer = [&](const std::vector<int> &medians) {
        std::vector<double> point;
        double value = master_point(m, medians, point);
        if (value <= options.cutoff && value < start_value) start = point, start_value = value;
    };
    if (!start_medians.empty()) offer(start_medians);
    OsiClpSolverInterface lp;
    lp.messageHandler()->setLogLevel(0);
    lp.getModelPtr()->messageHandler()->setLogLevel(0);
    {
        CoinPackedVector cardinality;
        for (int col = 0; col < m.free; ++col) cardinality.insert(col, 1.0);
        std::vector<double> lo(m.free + n, 0.0), hi(m.free + n, 1.0), obj(m.free + n, 0.0);
        for (int j = 0; j < n; ++j) lo[m.theta(j)] = c.cost[c.start[j]], hi[m.theta(j)] = COIN_DBL_MAX, obj[m.theta(j)] = 1.0;
        CoinPackedMatrix matrix(false, 0, 0);
        matrix.setDimensions(0, m.free + n);
        matrix.appendRow(cardinality);
        const double open = c.p - c.count(1);
        lp.loadProblem(matrix, lo.data(), hi.data(), obj.data(), &open, &open);
        for (int col = 0; col < m.free; ++col) lp.setInteger(col);
    }
    {
        OsiCuts cuts;
        first_cuts(m, u, start, cuts);
        lp.applyCuts(cuts);
    }
    lp.initialSolve();
    solve_relaxation(m, lp, deadline);
    if (lp.isProvenPrimalInfeasible()) {
        result.status = MipResult::INFEASIBLE;
        return result;
    }
    if (!lp.isProvenOptimal()) {
        result.message = "CLP did not solve the master's relaxation";
        return result;
    }
    result.bound = lp.getObjValue();
    if (result.bound - 1e-6 * (1.0 + std::fabs(result.bound)) > options.cutoff) {
        result.status = MipResult::INFEASIBLE;  // nothing within the cutoff
        return result;
    }
    fix_by_reduced_cost(m, lp, options.cutoff);
    if (improve) offer(improve(rounded_medians(m, lp.getColSolution())));
    if (past(deadline)) {
        result.status = MipResult::TIME_LIMIT;
        return result;
    }

    // Branch and cut, again with the refused points' cuts while a refusal
    // may hide a better solution.
    double found = INFINITY;  // the cheapest solution found, served at its thetas
    BendersCuts generator(m);
    OsiBabSolver lazy(4);  // CBC's kind of solver whose integer points may need cuts
    lp.setAuxiliaryInfo(&lazy);
    for (;;) {
        CbcModel cbc(lp);
        cbc.setLogLevel(0);
        cbc.messageHandler()->setLogLevel(0);
        cbc.solver()->messageHandler()->setLogLevel(0);
        cbc.addCutGenerator(&generator, 1, "Benders", true, true, false, 1);
        cbc.cutGenerator(0)->setMustCallAgain(true);
        cbc.setMaximumCutPassesAtRoot(50);
        cbc.setMaximumCutPasses(10);
        cbc.setNumberStrong(0);
        // Best bound first: the proof needs the bound, and the rounding
        // finds the solutions.
        CbcCompareObjective best_first;
        cbc.setNodeComparison(best_first);
        Understated understated(&cbc, m);
        CbcObject *objects[] = {&understated};
        cbc.findIntegers(true);
        cbc.addObjects(1, objects);
        RoundMedians rounding(cbc, m, improve);
        cbc.addHeuristic(&rounding);
        // CBC's own cuts on the master, at the root only: they lift its
        // bound, and later passes cost more than they give.
        CglGomory gomory;
        CglTwomir twomir;
        cbc.addCutGenerator(&gomory, -99, "Gomory");
        cbc.addCutGenerator(&twomir, -99, "TwoMir");
        cbc.setUseElapsedTime(true);
        if (deadline > 0) cbc.setMaximumSeconds(std::fmax(deadline - wall_seconds(), 0.5));
        if (std::isfinite(options.cutoff)) cbc.setCutoff(options.cutoff);
        if (options.integral_objective) cbc.setCutoffIncrement(0.9999);
        if (!start.empty()) cbc.setBestSolution(start.data(), (int)start.size(), start_value, false);
        Rejected rejected;
        RefuseUnderstated refuse(m, rejected, options.progress);
        cbc.passInEventHandler(&refuse);
        cbc.branchAndBound();
        result.nodes += cbc.getNodeCount();
        const double *best = cbc.bestSolution();
        double best_value = INFINITY;
        if (best) {
            double thetas = 0.0;
            best_value = 0.0;  // its cost with each client served from its list
            for (int j = 0; j < n; ++j) best_value += served_cost(m, j, best), thetas += best[m.theta(j)];
            if (thetas < best_value - 1e-7 * (1.0 + best_value)) {
                // Taken though understated: treated as refused.
                rejected.lowest = std::fmin(rejected.lowest, thetas);
                for (int j = 0; j < n; ++j) separate(m, j, best, rejected.cuts);
                best = nullptr;
                best_value = INFINITY;
            } else if (best_value < found) {
                found = best_value;
                start.assign(best, best + m.free + n);
                start_value = best_value;
                result.x.assign(n, 0.0);
                for (int i = 0; i < n; ++i) result.x[i] = m.column[i] >= 0 ? (best[m.column[i]] > 0.5) : c.fix[i] > 0;
                result.value = best_value;
            }
        }
        // A refused point's node may hide solutions of its objective or
        // more: whole numbers of at least its ceiling with whole costs.
        const double reach = std::fmin(options.cutoff, options.integral_objective ? found - 1.0 : found);
        const double tolerance = 1e-6 * (1.0 + std::fabs(rejected.lowest));
        const bool hidden = options.integral_objective ? std::ceil(rejected.lowest - tolerance) <= reach
                                                       : rejected.lowest + tolerance < reach;
        result.bound = std::fmin(std::fmin(cbc.getBestPossibleObjValue(), rejected.lowest), found);
        if (hidden && !past(deadline) && rejected.cuts.sizeRowCuts() > 0) {
            // The refused points' cuts join the master, and CBC starts again.
            lp.applyCuts(rejected.cuts);
            ++result.restarts;
            continue;
        }
        if (hidden || cbc.isSecondsLimitReached()) result.status = MipResult::TIME_LIMIT;
        else if (cbc.isProvenOptimal() || cbc.isProvenInfeasible())
            result.status = result.x.empty() ? MipResult::INFEASIBLE : MipResult::OPTIMAL;
        else result.message = "CBC stopped with status " + std::to_string(cbc.status()) + ", secondary status " +
                              std::to_string(cbc.secondaryStatus());
        if (result.status == MipResult::OPTIMAL) result.bound = result.value;
        return result;
    }
}
