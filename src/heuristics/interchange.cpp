// interchange.cpp - one pass of radius-restricted vertex interchange.
//
// Each median position in turn may hand its place to the client within the
// neighbourhood bound whose exchange gives the lowest trial cost, if that
// cost is strictly below the current one (best improvement within a
// position, sequential across positions).  The trial cost of an arrangement
// is computed by the allocation rule and order, so it is bit-identical to
// what allocate_clients returns for it.  This straightforward pass is the
// reference that the fast pass (fast_interchange.cpp) must match bit for bit.
#include "arith.h"
#include "solver.h"

namespace pmedian {

// Cost of the arrangement now in sv_node, by the allocation rule and order.
float Solver::trial_cost() {
    float sum = 0.0f;
    for (int k = p; k < n; ++k) {
        int c = sv_node[k];
        float cheapest = INFINITE_COST;
        for (int l = 0; l < p; ++l)
            if (cost[sv_node[l]][c] < cheapest) cheapest = cost[sv_node[l]][c];
        sum = float_add(sum, cheapest);
    }
    return sum;
}

// Neighbourhood bound: the radius, shrunk to 0.8 of it from 700 vertices on,
// as an exact double product that is never rounded to float.
double Solver::neighbourhood_bound() const {
    float factor = n < 700 ? 1.0f : 0.8f;
    return exact_product(factor, radius);
}

// The pass the solver runs: the fast one, unless the build asks for the
// straightforward reference or some cost is NaN or infinite.
float Solver::interchange() {
#ifdef PMEDIAN_REFERENCE
    return interchange_reference();
#else
    return costs_finite ? interchange_fast() : interchange_reference();
#endif
}

// The straightforward pass: every trial costed from scratch.  A pair beyond
// the neighbourhood bound was marked far when the distances were read.
float Solver::interchange_reference() {
    // The pass starts from the sum of the cluster totals of the last
    // allocation, which may differ in the last bits from its client-ordered sum.
    float current = 0.0f;
    for (int i = 0; i < p; ++i) current = float_add(current, vc[i].total);

    for (int j = 0; j < p; ++j) {
        float best_trial = current;
        int chosen = -1;
        for (int d = p; d < n; ++d) {
            if (is_far(sv_node[j], sv_node[d])) continue;
            swap_int(sv_node[j], sv_node[d]);
            float trial = trial_cost();
            if (trial < best_trial) {
                best_trial = trial;
                chosen = d;
            }
            swap_int(sv_node[j], sv_node[d]);
        }
        if (chosen >= 0) {
            current = best_trial;
            swap_int(sv_node[j], sv_node[chosen]);
        }
    }
    return allocate_clients_reference();
}

}  // namespace pmedian
