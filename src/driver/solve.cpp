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

// Frees everything read_instance allocated, in a fixed order.
void release_storage() {
    for (int i = 0; i < n; ++i) {
        free(cost[i]);
        free(dist[i]);
    }
    free(cost);
    free(dist);
    free(node);
    free(best);
    free(beta);
    free(subg);
    free(lambda);
    free(sv_node);
    free(sv_beta);
    for (int i = 0; i < p; ++i) free(vc[i].members);
    free(vc);
    free(multiplier);
    free(multiplier_ceiling);
    free(near1);
    free(near1_pos);
    free(near2);
    free(near2_pos);
    free(gain);
    free(gain_error);
    free(own_correction);
    free(nearest_for);
    free(changed);
    free(changed_from);
    free(near_other);
    free(attached);
    free(attached_start);
    free(row_abs);
    near1 = near2 = near_other = changed_from = nullptr;
    near1_pos = near2_pos = attached = attached_start = changed = nearest_for = nullptr;
    nearest_valid = 0;
    gain = gain_error = own_correction = row_abs = multiplier = nullptr;
    multiplier_ceiling = nullptr;
    cost = dist = nullptr;
    node = best = subg = sv_node = nullptr;
    beta = lambda = sv_beta = nullptr;
    vc = nullptr;
}

// The starting multiplier of a client is its smallest strictly positive cost
// from any vertex; a column without one keeps INFINITE_COST.
void initial_multipliers() {
    for (int i = 0; i < n; ++i) {
        float m = INFINITE_COST;
        for (int j = 0; j < n; ++j)
            if (cost[j][i] > 0.0f && cost[j][i] < m) m = cost[j][i];
        lambda[i] = m;
    }
}

void solve() {
    initial_multipliers();
    UB = INFINITE_COST;
    LB = -INFINITE_COST;
    iterations = 0;

    subgradient_optimization();
    write_solution();
    release_storage();
}
