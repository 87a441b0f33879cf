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
// by side for many rows, when the matrix is symmetric, else of the rows,
// sixteen at a time in vector lanes.
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

typedef float float4 __attribute__((vector_size(16)));
typedef int int4 __attribute__((vector_size(16)));
typedef double double4 __attribute__((vector_size(32)));
typedef long long long4 __attribute__((vector_size(32)));

// Four floats widened to double, written lane by lane: GCC turns this into
// one conversion of the whole vector, where __builtin_convertvector splits
// it in halves on x86.
__attribute__((always_inline)) static inline void widen(double4 &wide, float4 x) {
    wide = double4{(double)x[0], (double)x[1], (double)x[2], (double)x[3]};
}

// One step of four rows' sums, one column whose costs, widened, lie in
// wide: a row whose cost passes (multiplier > cost, exactly) adds cost -
// multiplier in double and rounds the sum to float, as the straightforward
// loop does; the others keep their value.  The sums are kept widened to
// double, where every float is exact, so the chain from one column to the
// next is an addition and the two conversions of the rounding.  No branch
// on data.
__attribute__((always_inline)) static inline void step_lanes(double4 &value, const double4 &wide, double multiplier) {
    long4 taken = wide < multiplier;
    double4 sum;
    widen(sum, __builtin_convertvector(value + (wide - multiplier), float4));
    value = taken ? sum : value;
}

// Turns four rows of four widened costs into four columns of four rows, in
// place: afterwards tile[k] holds column k, lane r row r.
__attribute__((always_inline)) static inline void transpose_tile(double4 *tile) {
    double4 t0 = __builtin_shufflevector(tile[0], tile[1], 0, 4, 2, 6);
    double4 t1 = __builtin_shufflevector(tile[0], tile[1], 1, 5, 3, 7);
    double4 t2 = __builtin_shufflevector(tile[2], tile[3], 0, 4, 2, 6);
    double4 t3 = __builtin_shufflevector(tile[2], tile[3], 1, 5, 3, 7);
    tile[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    tile[1] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    tile[2] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    tile[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

// Row vectors of four that a sweep steps side by side (see swept_values).
static const int SWEPT_GROUPS = 4, SWEPT_ROWS = 4 * SWEPT_GROUPS;

// The values of SWEPT_ROWS rows from a sweep of their rows, without a
// branch on data.  Each four columns of each four rows are loaded as a tile,
// widened and transposed, so that a column's costs lie in the lanes of the
// rows;
// the columns are then stepped in order, every row in its own lane, and the
// SWEPT_GROUPS row vectors are independent chains that the processor
// overlaps.  Every value takes its terms in the order of j.  (Not a
// template: clang cannot clone templates per target.)
VECTOR_CLONES static void tiled_row_values(const float *const *rows, float *values, int n, const double *multiplier) {
    double4 value[SWEPT_GROUPS] = {};
    int j = 0;
    for (; j + 4 <= n; j += 4) {
        double4 tile[SWEPT_GROUPS][4];
#pragma GCC unroll 16
        for (int g = 0; g < SWEPT_GROUPS; ++g) {
#pragma GCC unroll 4
            for (int r = 0; r < 4; ++r) {
                float4 x;
                memcpy(&x, rows[4 * g + r] + j, sizeof x);
                widen(tile[g][r], x);
            }
            transpose_tile(tile[g]);
        }
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k)
#pragma GCC unroll 16
            for (int g = 0; g < SWEPT_GROUPS; ++g) step_lanes(value[g], tile[g][k], multiplier[j + k]);
    }
    for (int g = 0; g < SWEPT_GROUPS; ++g)
        for (int r = 0; r < 4; ++r) values[4 * g + r] = (float)value[g][r];
    for (; j < n; ++j)
        for (int r = 0; r < 4 * SWEPT_GROUPS; ++r)
            if ((double)rows[r][j] < multiplier[j]) values[r] = float_add(values[r], (double)rows[r][j] - multiplier[j]);
}

// Every value from a sweep of its whole row, SWEPT_ROWS rows at a time.
// Four groups of four rows keep enough independent chains in flight; six
// are no quicker, two take half as long again.  The cost is the same
// whatever passes: a sweep that adds only the passing terms, branching on
// each cost, is quicker only where fewer than one cost in two hundred
// passes, and a sweep is chosen only where far more do.
void Solver::swept_values() {
#pragma omp parallel for schedule(static) if ((long long)n * n >= 4096LL * parallel_work)
    for (int i = 0; i < n; i += SWEPT_ROWS) {
        // The last group repeats its final row where n is not a multiple of
        // SWEPT_ROWS.
        const float *rows[SWEPT_ROWS];
        float values[SWEPT_ROWS];
        for (int r = 0; r < SWEPT_ROWS; ++r) rows[r] = cost[i + r < n ? i + r : n - 1];
        tiled_row_values(rows, values, n, multiplier);
        for (int r = 0; r < SWEPT_ROWS && i + r < n; ++r) beta[i + r] = values[r];
    }
}

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
        double4 wide, sum;
        widen(wide, c);
        widen(sum, value);
        value = taken ? __builtin_convertvector(sum + (wide - multiplier), float4) : value;
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
// its part of a row is long enough for the prefetcher to keep up, and
// unlike the row sweep it needs no transposing.
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
