// subgradient.cpp - the subgradient of the relaxed assignment constraints.
//
// subg[i] = 1 - (number of open medians that take vertex i), where an open
// median takes i under the same strict exact-product test that put the term
// into its value.  The relaxed solution is feasible when every vertex is
// taken exactly once; then the subgradient loop stops without a step.
//
// The straightforward count tests every open median against every vertex,
// reading each column across p rows.  The fast count marks the open medians
// and walks each column's cheapest rows below its multiplier ceiling, where
// the takers are, unless the p median rows are fewer to read; it gives the
// same integers.
#include "arith.h"
#include "cost_order.h"
#include "solver.h"

namespace pmedian {

// taken_count[i]: how many of the open medians node[0..p-1] take vertex i at
// the current TFator and lambda.
void Solver::count_takers() {
    form_multipliers();
    for (int k = 0; k < p; ++k) ++is_open[node[k]];
    for (int i = 0; i < n; ++i) {
        float limit = multiplier_ceiling[i];
        int count = 0, walk = kept_below(i, limit);
        if (walk < 0 || walk > 4 * p) {  // p median rows are fewer to read
            for (int k = 0; k < p; ++k) count += cost[node[k]][i] < limit;
        } else {
            rows_below(i, limit, [this, &count](int row, float) { count += is_open[row]; });
        }
        taken_count[i] = count;
    }
    for (int k = 0; k < p; ++k) is_open[node[k]] = 0;
}

void Solver::compute_subgradient_reference() {
    feasible = 1;
    for (int i = 0; i < n; ++i) {
        int s = 1;
        for (int k = 0; k < p; ++k)
            if (takes_vertex(TFator, lambda[i], cost[node[k]][i])) --s;
        subg[i] = s;
        if (s != 0) feasible = 0;
    }
}

void Solver::compute_subgradient() {
#ifdef PMEDIAN_REFERENCE
    compute_subgradient_reference();
#else
    count_takers();
    feasible = 1;
    for (int i = 0; i < n; ++i) {
        subg[i] = 1 - taken_count[i];
        if (subg[i] != 0) feasible = 0;
    }
#endif
}

}  // namespace pmedian
