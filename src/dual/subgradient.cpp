// subgradient.cpp - the subgradient of the relaxed assignment constraints.
//
// subg[i] = 1 - (number of open medians that take vertex i), where an open
// median takes i under the same strict exact-product test that put the term
// into its value.  The relaxed solution is feasible when every vertex is
// taken exactly once; then the subgradient loop stops without a step.
#include "arith.h"
#include "pmedian.h"

void compute_subgradient() {
    feasible = 1;
    for (int i = 0; i < n; ++i) {
        int s = 1;
        for (int k = 0; k < p; ++k)
            if (takes_vertex(TFator, lambda[i], cost[node[k]][i])) --s;
        subg[i] = s;
        if (s != 0) feasible = 0;
    }
}
