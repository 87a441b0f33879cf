// mip_cbc.cpp - the model solved by COIN-OR CBC through its C interface,
// which runs CBC's own solver driver with the parameters set here.
//
// The reduced model is usually proven within a few dozen nodes, and what
// costs is the linear relaxation at each node; so the search runs without
// CBC's primal heuristics (the known solution is usually optimal already,
// and they took most of the time) and without strong branching (a node
// explored costs less than the trial solves that would choose its branch).
// Only solutions within the cutoff matter; where every solution's cost is a
// whole number, the increment tells CBC that a new solution must be at
// least 1 cheaper, so a node whose bound lies less than 1 below the
// incumbent is pruned.  A start solution, when the model holds one, is
// handed over as CBC's MIP start.
#include <Cbc_C_Interface.h>

#include <cfloat>
#include <cmath>
#include <string>

#include "exact.h"

static double clip(double v) { return std::isinf(v) ? (v > 0 ? DBL_MAX : -DBL_MAX) : v; }

MipResult solve_with_cbc(const Model &m, const MipOptions &options) {
    const int cols = m.columns, rows = m.rows();
    // The rows, column by column.
    std::vector<int> start(cols + 1, 0), index(m.nonzeros());
    std::vector<double> value(m.nonzeros());
    for (int c : m.row_col) ++start[c + 1];
    for (int c = 0; c < cols; ++c) start[c + 1] += start[c];
    std::vector<int> fill(start.begin(), start.end() - 1);
    for (int r = 0; r < rows; ++r)
        for (int e = m.row_start[r]; e < m.row_start[r + 1]; ++e) {
            int at = fill[m.row_col[e]]++;
            index[at] = r;
            value[at] = m.row_val[e];
        }
    std::vector<double> col_lo(cols), col_hi(cols), row_lo(rows), row_hi(rows);
    for (int c = 0; c < cols; ++c) col_lo[c] = clip(m.col_lo[c]), col_hi[c] = clip(m.col_hi[c]);
    for (int r = 0; r < rows; ++r) row_lo[r] = clip(m.row_lo[r]), row_hi[r] = clip(m.row_hi[r]);

    Cbc_Model *cbc = Cbc_newModel();
    Cbc_loadProblem(cbc, cols, rows, start.data(), index.data(), value.data(), col_lo.data(), col_hi.data(),
                    m.obj.data(), row_lo.data(), row_hi.data());
    for (int c = 0; c < cols; ++c)
        if (m.integer[c]) Cbc_setInteger(cbc, c);
    Cbc_setParameter(cbc, "log", "0");
    Cbc_setParameter(cbc, "slog", "0");
    Cbc_setParameter(cbc, "threads", "0");
    if (options.time_limit > 0) {
        Cbc_setParameter(cbc, "timeMode", "elapsed");
        Cbc_setMaximumSeconds(cbc, options.time_limit);
    }
    if (options.tuned) {
        if (!m.start.empty()) {
            std::vector<int> ones;
            for (int c = 0; c < cols; ++c)
                if (m.integer[c] && m.start[c] > 0.5) ones.push_back(c);
            std::vector<double> one(ones.size(), 1.0);
            Cbc_setMIPStartI(cbc, (int)ones.size(), ones.data(), one.data());
        }
        if (std::isfinite(options.cutoff)) Cbc_setCutoff(cbc, options.cutoff - m.constant);
        Cbc_setParameter(cbc, "heuristicsOnOff", "off");
        Cbc_setParameter(cbc, "strongBranching", "0");
        if (options.integral_objective) Cbc_setParameter(cbc, "increment", "0.9999");
    }
    Cbc_solve(cbc);
    MipResult result;
    result.nodes = Cbc_getNodeCount(cbc);
    const double *best = Cbc_bestSolution(cbc);
    if (!best && Cbc_getNumIntegers(cbc) == 0 && Cbc_isProvenOptimal(cbc)) best = Cbc_getColSolution(cbc);
    if (best) {
        result.x.assign(best, best + cols);
        result.value = model_value(m, result.x);
    }
    result.bound = Cbc_getBestPossibleObjValue(cbc) + m.constant;
    if (Cbc_isProvenOptimal(cbc) && best) {
        result.status = MipResult::OPTIMAL;
        result.bound = result.value;
    } else if (Cbc_isSecondsLimitReached(cbc)) {
        result.status = MipResult::TIME_LIMIT;
    } else if (!best && (Cbc_isProvenInfeasible(cbc) || Cbc_isProvenOptimal(cbc))) {
        result.status = MipResult::INFEASIBLE;
    } else {
        result.message = "CBC stopped with status " + std::to_string(Cbc_status(cbc)) + ", secondary status " +
                          std::to_string(Cbc_secondaryStatus(cbc));
    }
    Cbc_deleteModel(cbc);
    return result;
}
