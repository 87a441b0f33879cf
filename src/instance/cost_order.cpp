// cost_order.cpp - each column's cheapest rows, sorted once after reading.
//
// The relaxation adds a term from column j only where cost[i][j] lies below
// the column's multiplier, and the interchange looks at a client's costs
// only below its second-nearest median.  Near the end of a run both limits
// are low: a column has a few dozen such rows among thousands.  Keeping each
// column's order_depth cheapest rows in ascending order lets those walks read
// just the rows that pass, in sequence, instead of a strided column or a
// whole row sweep.  A limit beyond the kept rows falls back to the column.
//
// The depth follows the cluster size n / p, which is what the limits track,
// but keeps at least n / 6 rows up to 512, for clustered instances (pcb3038)
// where a client's nearest median often lies beyond its 4 n / p nearest
// vertices; it is capped at n / 4, so that with 16-bit rows the order never
// takes more than 3/8 of the cost matrix's bytes.  The cap binds only with
// few medians (p below about 16), where the relaxation's walks are long: on
// pcb3038 with p = 5 a sixth of the rows left a fifth of the columns beyond
// their kept rows, and the relaxation swept every row.  Rows are kept as
// 16-bit numbers up to 65536 vertices and as ints beyond: at n = 10,000 and
// p = 1000 the order holds 512 rows of each column, 31 MB beside the 400 MB
// of costs.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#ifdef _OPENMP
#include <omp.h>
#endif

#include "solver.h"

namespace pmedian {

// Rows to keep per column for this instance: four times the mean cluster
// size with some room, at least 64 and min(n / 6, 512), at most n / 4 (and n).
int Solver::default_order_depth() const {
    long long clusters = ((long long)n + p - 1) / p;
    long long depth = std::max(64LL, std::max(4 * clusters + 32, std::min((long long)n / 6, 512LL)));
    depth = std::min(depth, std::max(64LL, (long long)n / 4));
    return (int)std::min(depth, (long long)n);
}

// A key that sorts floats by value, NaN after everything else; the row
// rides in the low half so that equal costs keep their row order.
static uint64_t order_key(float c, int row) {
    uint32_t bits;
    memcpy(&bits, &c, sizeof bits);
    if (c != c)
        bits = 0xFFFFFFFFu;
    else
        bits = bits & 0x80000000u ? ~bits : bits | 0x80000000u;
    return (uint64_t)bits << 32 | (uint32_t)row;
}

// Keeps the depth smallest keys of column j (given as values) and writes
// them, ascending, into the order: a selection over the column's n keys
// (room for them in keys), then a sort of the kept ones.
static void keep_cheapest(const Solver &s, int j, const float *values, int depth, uint64_t *keys) {
    const int n = s.n;
    float *const *cost = s.cost;
    float *order_cost = s.order_cost;
    unsigned short *order_row16 = s.order_row16;
    int *order_row32 = s.order_row32;
    for (int i = 0; i < n; ++i) keys[i] = order_key(values[i], i);
    if (depth < n) std::nth_element(keys, keys + depth - 1, keys + n);
    std::sort(keys, keys + depth);
    long long at = (long long)j * depth;
    for (int k = 0; k < depth; ++k) {
        int row = (int)(uint32_t)keys[k];
        order_cost[at + k] = cost[row][j];
        if (order_row16)
            order_row16[at + k] = (unsigned short)row;
        else
            order_row32[at + k] = row;
    }
}

// Builds the order with the given depth (at least 1, at most the one storage
// was allocated for).  Columns are gathered sixteen at a time, row by row, so
// the matrix is read in cache lines rather than one float per line.  Each
// thread's scratch is allocated before the threads start, where a failure
// can still end the run with a message.
void Solver::build_cost_order(int depth) {
    int most = default_order_depth();
    depth = depth < 1 ? 1 : depth > most ? most : depth;
    order_depth = depth;
    const int block = 16;
    bool shared = 16LL * n >= parallel_work;
#ifdef _OPENMP
    int threads = shared ? omp_get_max_threads() : 1;
#else
    int threads = 1;
#endif
    size_t columns_size = (size_t)block * n * sizeof(float), keys_size = (size_t)n * sizeof(uint64_t);
    char *scratch = (char *)malloc((columns_size + keys_size) * threads);
    if (!scratch) fatal("\n >>> Memoria insuficiente para order_scratch[%d][%d]\n", threads, n);
#pragma omp parallel num_threads(threads) if (shared)
    {
#ifdef _OPENMP
        int t = omp_get_thread_num();
#else
        int t = 0;
#endif
        float *columns = (float *)(scratch + (columns_size + keys_size) * t);
        uint64_t *keys = (uint64_t *)(scratch + (columns_size + keys_size) * t + columns_size);
#pragma omp for schedule(dynamic)
        for (int j0 = 0; j0 < n; j0 += block) {
            int width = std::min(block, n - j0);
            for (int i = 0; i < n; ++i)
                for (int b = 0; b < width; ++b) columns[(size_t)b * n + i] = cost[i][j0 + b];
            for (int b = 0; b < width; ++b) keep_cheapest(*this, j0 + b, columns + (size_t)b * n, depth, keys);
        }
    }
    free(scratch);
}

}  // namespace pmedian
