// solve.cpp - the order of one run: starting multipliers and bounds, the
// subgradient optimisation, the solution file and the release of storage.
#include <cstdlib>
#include <ctime>

#include "pmedian.h"

// Seconds between two millisecond clock readings, kept in double precision.
double elapsed_seconds(float start_ms, float end_ms) {
    return ((double)end_ms - (double)start_ms) / (double)1000.0f;
}

// Process clock in milliseconds, whatever the platform's tick rate.
int clock_ms() {
    return (int)((long long)clock() * 1000 / CLOCKS_PER_SEC);
}

// Frees everything read_instance allocated, in a fixed order, and leaves
// every pointer null.  A fatal error in the middle of the allocation leaves
// the arrays not yet allocated null (the row arrays are zero-filled and the
// rows come in order, the distance rows after all cost rows), so a front end
// that takes over fatal errors can release a partial state too, at once.
void release_storage() {
    for (int i = 0; cost && i < n && cost[i]; ++i) {
        free(cost[i]);
        if (far) free(far[i]);
    }
    free(cost);
    free(far);
    free(node);
    free(best);
    free(beta);
    free(subg);
    free(lambda);
    free(sv_node);
    free(sv_beta);
    for (int i = 0; vc && i < p; ++i) free(vc[i].members);
    free(vc);
    free(order_cost);
    free(order_row16);
    free(order_row32);
    free(taken_count);
    free(is_open);
    free(multiplier);
    free(multiplier_ceiling);
    free(near1);
    free(near1_pos);
    free(near2);
    free(near2_pos);
    free(gain);
    free(gain_error);
    free(taken_clients);
    free(base_prefix);
    free(own_correction);
    free(to_displaced);
    free(touched);
    free(in_list);
    free(candidates);
    free(brackets);
    free(position_of);
    free(block_gain);
    free(nearest_for);
    free(changed);
    free(changed_from);
    free(attached);
    free(attached_start);
    free(row_abs);
    cost = nullptr;
    far = nullptr;
    order_cost = nullptr;
    order_row16 = nullptr;
    order_row32 = nullptr;
    taken_count = nullptr;
    is_open = nullptr;
    near1 = near2 = changed_from = to_displaced = nullptr;
    near1_pos = near2_pos = attached = attached_start = changed = nearest_for = touched = nullptr;
    candidates = position_of = nullptr;
    brackets = nullptr;
    in_list = nullptr;
    block_gain = nullptr;
    nearest_valid = 0;
    gain = gain_error = own_correction = row_abs = multiplier = nullptr;
    taken_clients = nullptr;
    base_prefix = nullptr;
    multiplier_ceiling = nullptr;
    node = best = subg = sv_node = nullptr;
    beta = lambda = sv_beta = nullptr;
    vc = nullptr;
}

// The starting multiplier of a client is its smallest strictly positive cost
// from any vertex; a column without one keeps INFINITE_COST.  The matrix is
// swept row by row, each row lowering the running minimum of every column:
// a minimum does not depend on the order in which its candidates come.
void initial_multipliers() {
    for (int i = 0; i < n; ++i) lambda[i] = INFINITE_COST;
    for (int j = 0; j < n; ++j) {
        const float *row = cost[j];
        for (int i = 0; i < n; ++i)
            if (row[i] > 0.0f && row[i] < lambda[i]) lambda[i] = row[i];
    }
}

// The starting point of the optimisation: multipliers, bounds, counter.
void start_run() {
    initial_multipliers();
    UB = INFINITE_COST;
    LB = -INFINITE_COST;
    iterations = 0;
}

void solve() {
    start_run();
    subgradient_optimization();
    write_solution();
    release_storage();
}
