// solve.cpp - the order of one run of the classic program: starting
// multipliers and bounds, the subgradient optimisation, the solution file and
// the release of storage.
#include <cstdlib>
#include <ctime>

#include "solver.h"

namespace pmedian {

// Seconds between two millisecond clock readings, kept in double precision.
double elapsed_seconds(float start_ms, float end_ms) {
    return ((double)end_ms - (double)start_ms) / (double)1000.0f;
}

// Process clock in milliseconds, whatever the platform's tick rate.
int clock_ms() {
    return (int)((long long)clock() * 1000 / CLOCKS_PER_SEC);
}

// The starting multiplier of a client is its smallest strictly positive cost
// from any vertex; a column without one keeps INFINITE_COST.  The matrix is
// swept row by row, each row lowering the running minimum of every column:
// a minimum does not depend on the order in which its candidates come.
void Solver::initial_multipliers() {
    for (int i = 0; i < n; ++i) lambda[i] = INFINITE_COST;
    for (int j = 0; j < n; ++j) {
        const float *row = cost[j];
        for (int i = 0; i < n; ++i)
            if (row[i] > 0.0f && row[i] < lambda[i]) lambda[i] = row[i];
    }
}

// The starting point of the optimisation: multipliers, bounds, counter.
void Solver::start_run() {
    initial_multipliers();
    UB = INFINITE_COST;
    LB = -INFINITE_COST;
    iterations = 0;
}

void Solver::solve() {
    start_run();
    subgradient_optimization();
    write_solution();
    release_storage();
}

}  // namespace pmedian
