// relaxation.cpp - evaluates the Lagrangian relaxation at TFator x lambda.
//
// With the assignment constraints relaxed, vertex i opened as a median would
// serve every vertex j whose multiplier exceeds cost[i][j]; its value beta[i]
// is the float sum of those negative reduced costs, in the order of j.  The
// relaxed solution opens the p vertices of smallest value, found by a Hoare
// quicksort whose whole permutation (not only the first p) is part of the
// result: ties at position p and the order that the primal side inherits
// depend on it, so no library sort may stand in for it.
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

void solve_relaxation() {
    ++iterations;
    for (int i = 0; i < n; ++i) {
        node[i] = i;
        float value = 0.0f;
        const float *row = cost[i];
        for (int j = 0; j < n; ++j) {
            double multiplier = exact_product(TFator, lambda[j]);
            if (multiplier > (double)row[j]) value = float_add(value, (double)row[j] - multiplier);
        }
        beta[i] = value;
    }
    sort_by_beta(0, n - 1);
    float zd = 0.0f;
    for (int k = 0; k < p; ++k) zd = float_add(zd, beta[k]);
    for (int j = 0; j < n; ++j) zd = float_add(zd, exact_product(TFator, lambda[j]));
    ZD = zd;
}
