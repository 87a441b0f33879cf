// relaxation.cpp - evaluates the Lagrangian relaxation at TFator x lambda.
//
// With the assignment constraints relaxed, vertex i opened as a median would
// serve every vertex j whose multiplier exceeds cost[i][j]; its value beta[i]
// is the float sum of those negative reduced costs, in the order of j.  The
// relaxed solution opens the p vertices of smallest value, found by a Hoare
// quicksort whose whole permutation (not only the first p) is part of the
// result: ties at position p and the order that the primal side inherits
// depend on it, so no library sort may stand in for it.
//
// The fast evaluation forms the products TFator x lambda[j] once and tests
// eight costs at a time against their float ceilings; each value's float sum
// keeps its column order, so it gives the straightforward loop's bits.
#include <cmath>
#include <cstring>

#include "arith.h"
#include "pmedian.h"

void swap_int(int &a, int &b) {
    int t = a;
    a = b;
    b = t;
}

void swap_float(float &a, float &b) {
    float t = a;
    a = b;
    b = t;
}

// Hoare partition around the value of the middle element, carrying node
// along.  Both sub-ranges are sorted; the smaller one by recursion and the
// larger one by the loop, which keeps the stack depth logarithmic without
// changing the permutation (the ranges are disjoint).  The scans are also
// held inside lo..hi, so even NaN values cannot lead them astray.
void sort_by_beta(int lo, int hi) {
    while (lo < hi) {
        int i = lo, j = hi;
        float pivot = beta[(lo + hi) / 2];
        do {
            while (i < hi && beta[i] < pivot) ++i;
            while (j > lo && pivot < beta[j]) --j;
            if (i <= j) {
                swap_float(beta[i], beta[j]);
                swap_int(node[i], node[j]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - lo < hi - i) {
            if (lo < j) sort_by_beta(lo, j);
            lo = i;
        } else {
            if (i < hi) sort_by_beta(i, hi);
            hi = j;
        }
    }
}

// The evaluation the solver runs: the fast one unless the build asks for
// the straightforward reference.
void solve_relaxation() {
#ifdef PMEDIAN_REFERENCE
    solve_relaxation_reference();
#else
    solve_relaxation_fast();
#endif
}

// ZD from the sorted values: the p smallest in their sorted order, then
// every multiplier in index order, each addition rounded to float.
static void sum_dual_value() {
    float zd = 0.0f;
    for (int k = 0; k < p; ++k) zd = float_add(zd, beta[k]);
    for (int j = 0; j < n; ++j) zd = float_add(zd, exact_product(TFator, lambda[j]));
    ZD = zd;
}

// The straightforward evaluation: one exact-product test per cost.
void solve_relaxation_reference() {
    ++iterations;
    for (int i = 0; i < n; ++i) {
        node[i] = i;
        float value = 0.0f;
        const float *row = cost[i];
        for (int j = 0; j < n; ++j) {
            double mult = exact_product(TFator, lambda[j]);
            if (mult > (double)row[j]) value = float_add(value, (double)row[j] - mult);
        }
        beta[i] = value;
    }
    sort_by_beta(0, n - 1);
    sum_dual_value();
}

// Forms every multiplier once, with its float ceiling: for a float c,
// c < ceiling exactly when multiplier > c, NaN, infinities, signed zeros and
// values beyond the float range included.
static void form_multipliers() {
    for (int j = 0; j < n; ++j) {
        double mult = exact_product(TFator, lambda[j]);
        float ceiling = (float)mult;
        if ((double)ceiling < mult) ceiling = std::nextafter(ceiling, INFINITY);
        multiplier[j] = mult;
        multiplier_ceiling[j] = ceiling;
    }
}

typedef float float8 __attribute__((vector_size(32)));
typedef int int8 __attribute__((vector_size(32)));

// Value of one vertex: eight costs at a time are tested against the
// ceilings in float, and only the terms that pass are added, in column
// order, exactly as the straightforward loop adds them.
__attribute__((target_clones("avx2", "default")))
static float vertex_value(const float *row) {
    float value = 0.0f;
    int j = 0;
    for (; j + 8 <= n; j += 8) {
        float8 x, ceiling;
        memcpy(&x, row + j, sizeof x);
        memcpy(&ceiling, multiplier_ceiling + j, sizeof ceiling);
        int8 taken = x < ceiling;
        unsigned long long lanes[4];
        memcpy(lanes, &taken, sizeof lanes);
        if ((lanes[0] | lanes[1] | lanes[2] | lanes[3]) == 0) continue;
        for (int k = 0; k < 8; ++k)
            if (taken[k]) value = float_add(value, (double)row[j + k] - multiplier[j + k]);
    }
    for (; j < n; ++j)
        if (row[j] < multiplier_ceiling[j]) value = float_add(value, (double)row[j] - multiplier[j]);
    return value;
}

void solve_relaxation_fast() {
    ++iterations;
    form_multipliers();
    for (int i = 0; i < n; ++i) {
        node[i] = i;
        beta[i] = vertex_value(cost[i]);
    }
    sort_by_beta(0, n - 1);
    sum_dual_value();
}
