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
// The fast evaluation forms the products TFator x lambda[j] once, with
// float ceilings that a cost passes exactly when the product exceeds it.
// It then walks each column's cheapest rows (cost_order.h) below the ceiling
// and adds each term into its row's value, column after column, so every
// value still takes its terms in the order of j and gets the straightforward
// loop's bits.  Near the end of a run a column passes a few dozen rows out of
// thousands.  When many columns pass more rows than the order keeps, a dense
// sweep is cheaper, and it too adds in the order of j: of the columns, side
// by side for many rows, when the matrix is symmetric, else of the rows.
// Rows are independent, so threads share them.
#include <algorithm>
#include <cmath>
#include <cstring>
#ifdef _OPENMP
#include <omp.h>
#endif

#include "arith.h"
#include "cost_order.h"
#include "solver.h"

namespace pmedian {

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
void Solver::sort_by_beta(int lo, int hi) {
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
void Solver::solve_relaxation() {
#ifdef PMEDIAN_REFERENCE
    solve_relaxation_reference();
#else
    solve_relaxation_fast();
#endif
}

// ZD from the sorted values: the p smallest in their sorted order, then
// every multiplier in index order, each addition rounded to float.
void Solver::sum_dual_value() {
    float zd = 0.0f;
    for (int k = 0; k < p; ++k) zd = float_add(zd, beta[k]);
    for (int j = 0; j < n; ++j) zd = float_add(zd, exact_product(TFator, lambda[j]));
    ZD = zd;
}

// The straightforward evaluation: one exact-product test per cost.
void Solver::solve_relaxation_reference() {
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
void Solver::form_multipliers() {
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

// Adds to value the terms of columns j .. j + 7 of row whose costs lie below
// their ceilings, in column order.
__attribute__((always_inline)) static inline void add_block(float &value, const float *row, int j,
                                                            const double *multiplier, const float *multiplier_ceiling) {
    float8 x, ceiling;
    memcpy(&x, row + j, sizeof x);
    memcpy(&ceiling, multiplier_ceiling + j, sizeof ceiling);
    int8 taken = x < ceiling;
    unsigned long long lanes[4];
    memcpy(lanes, &taken, sizeof lanes);
    if ((lanes[0] | lanes[1] | lanes[2] | lanes[3]) == 0) return;
    for (int k = 0; k < 8; ++k)
        if (taken[k]) value = float_add(value, (double)row[j + k] - multiplier[j + k]);
}

// Values of four vertices at once: eight costs of each row at a time are
// tested against the ceilings in float, and only the terms that pass are
// added, in column order, exactly as the straightforward loop adds them.
// The four rows' sums are independent chains of additions, so the processor
// overlaps them.
VECTOR_CLONES
static void four_vertex_values(const float *const *rows, float *values, int n, const double *multiplier,
                               const float *multiplier_ceiling) {
    float value0 = 0.0f, value1 = 0.0f, value2 = 0.0f, value3 = 0.0f;
    int j = 0;
    for (; j + 8 <= n; j += 8) {
        add_block(value0, rows[0], j, multiplier, multiplier_ceiling);
        add_block(value1, rows[1], j, multiplier, multiplier_ceiling);
        add_block(value2, rows[2], j, multiplier, multiplier_ceiling);
        add_block(value3, rows[3], j, multiplier, multiplier_ceiling);
    }
    float *value[4] = {&value0, &value1, &value2, &value3};
    for (; j < n; ++j)
        for (int r = 0; r < 4; ++r)
            if (rows[r][j] < multiplier_ceiling[j]) *value[r] = float_add(*value[r], (double)rows[r][j] - multiplier[j]);
    for (int r = 0; r < 4; ++r) values[r] = *value[r];
}

// Every value from a sweep of its whole row, four rows at a time.
void Solver::swept_values() {
#pragma omp parallel for schedule(static) if ((long long)n * n >= 4096LL * parallel_work)
    for (int i = 0; i < n; i += 4) {
        // The last group repeats its final row where n is not a multiple of 4.
        const float *rows[4];
        float values[4];
        for (int r = 0; r < 4; ++r) rows[r] = cost[i + r < n ? i + r : n - 1];
        four_vertex_values(rows, values, n, multiplier, multiplier_ceiling);
        for (int r = 0; r < 4 && i + r < n; ++r) beta[i + r] = values[r];
    }
}

typedef float float4 __attribute__((vector_size(16)));
typedef int int4 __attribute__((vector_size(16)));
typedef double double4 __attribute__((vector_size(32)));

// Adds one column's terms to the values of count consecutive rows, whose
// costs in that column are costs[0 .. count - 1].  Each row takes its own
// step of its own sum, so four rows go through the vector lanes side by side
// with no chain between them, and a row whose cost does not pass keeps its
// value: no branch on data where a few rows in ten pass.
VECTOR_CLONES
static void add_column_terms(float *values, const float *costs, int count, float ceiling, double multiplier) {
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        float4 c, value;
        memcpy(&c, costs + k, sizeof c);
        memcpy(&value, values + k, sizeof value);
        int4 taken = c < ceiling;
        double4 term = __builtin_convertvector(c, double4) - multiplier;
        float4 sum = __builtin_convertvector(__builtin_convertvector(value, double4) + term, float4);
        value = taken ? sum : value;
        memcpy(values + k, &value, sizeof value);
    }
    for (; k < count; ++k)
        if (costs[k] < ceiling) values[k] = float_add(values[k], (double)costs[k] - multiplier);
}

// Every value from a sweep of the columns, when the matrix is symmetric and
// column j is row j in memory.  Each block of rows takes the columns in
// order, so each value still gets its terms in the order of j; the blocks
// are independent, so threads share them.  A block's values (at most 4096,
// 16 KB) stay in the first-level cache while the columns stream past, and
// its part of a row is long enough for the prefetcher to keep up.  Where
// the matrix fits in the last-level cache this is four times quicker than
// the row sweep, whose per-row chains of additions branch on every cost.
void Solver::column_swept_values() {
    bool shared = (long long)n * n >= 4096LL * parallel_work;
    int threads = 1;
#ifdef _OPENMP
    if (shared) threads = omp_get_max_threads();
#endif
    int blocks = std::max(threads, (n + 4095) / 4096);
    int block = ((n + blocks - 1) / blocks + 15) / 16 * 16;
    blocks = (n + block - 1) / block;
#pragma omp parallel for schedule(static) if (shared)
    for (int b = 0; b < blocks; ++b) {
        int first = b * block;
        int count = std::min(block, n - first);
        float *values = beta + first;
        for (int i = 0; i < count; ++i) values[i] = 0.0f;
        for (int j = 0; j < n; ++j) add_column_terms(values, cost[j] + first, count, multiplier_ceiling[j], multiplier[j]);
    }
}

// Every value from the walks below the ceilings, column by column.
void Solver::walked_values() {
    for (int i = 0; i < n; ++i) beta[i] = 0.0f;
    for (int j = 0; j < n; ++j) {
        double mult = multiplier[j];
        rows_below(j, multiplier_ceiling[j], [this, mult](int i, float c) { beta[i] = float_add(beta[i], (double)c - mult); });
    }
}

void Solver::solve_relaxation_fast() {
    ++iterations;
    form_multipliers();
    // A column beyond its kept rows is read whole, one cache line per cost:
    // past one such column in sixteen, sweeping the rows costs less.
    int overflowing = 0;
    for (int j = 0; j < n; ++j) overflowing += column_overflows(j, multiplier_ceiling[j]);
    if (16LL * overflowing > n && costs_symmetric)
        column_swept_values();
    else if (16LL * overflowing > n)
        swept_values();
    else
        walked_values();
    for (int i = 0; i < n; ++i) node[i] = i;
    sort_by_beta(0, n - 1);
    sum_dual_value();
}

}  // namespace pmedian
