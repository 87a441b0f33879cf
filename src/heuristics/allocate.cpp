// allocate.cpp - turns the arrangement in sv_node into a costed solution.
//
// Every client (positions p..n-1) goes to its cheapest open median (positions
// 0..p-1; the lowest position wins a tie), and the p clusters of vc are
// rebuilt from scratch.  The solution cost is the float sum of the chosen
// costs in client-position order; the interchange costs its trials by exactly
// this rule and order, so the same arrangement always gives the same bits.
//
// The straightforward allocation reads, for each client, its column across
// the p median rows.  The fast one sweeps the p median rows in position
// order, each lowering the running cheapest cost of every vertex, which
// gives the same minima and the same first positions, reading the matrix in
// sequence; it keeps the two cheapest medians of every vertex (near1, near2)
// for the interchange that usually follows on the same arrangement.
#include <cmath>
#include <cstring>
#ifdef _OPENMP
#include <omp.h>
#endif

#include "arith.h"
#include "fast_interchange.h"
#include "solver.h"

namespace pmedian {

float Solver::allocate_clients() {
#ifdef PMEDIAN_REFERENCE
    return allocate_clients_reference();
#else
    return allocate_clients_fast();
#endif
}

// Every cluster starts empty, with the median at its position.
void Solver::reset_clusters() {
    for (int i = 0; i < p; ++i) {
        vc[i].median = sv_node[i];
        vc[i].size = 0;
        vc[i].total = 0.0f;
    }
}

float Solver::allocate_clients_reference() {
    reset_clusters();
    float sum = 0.0f;
    for (int a = p; a < n; ++a) {
        int c = sv_node[a];
        float cheapest = INFINITE_COST;
        // A client with no cost below INFINITE_COST (all costs huge or NaN)
        // goes to position 0 and adds INFINITE_COST, as a trial would count it.
        int chosen = 0;
        for (int i = 0; i < p; ++i) {
            float cst = cost[sv_node[i]][c];
            if (cst < cheapest) {
                cheapest = cst;
                chosen = i;
            }
        }
        sum = float_add(sum, cheapest);
        Cluster &cl = vc[chosen];
        cl.members[cl.size++] = c;
        cl.total = float_add(cl.total, cheapest);
    }
    return sum;
}

// Lowers near1 and near2 of the vertices from..to-1 by the row of the median
// at position l.
VECTOR_CLONES
static void lower_nearest(const float *row, int l, int from, int to, float *near1, int *near1_pos, float *near2,
                          int *near2_pos) {
    for (int v = from; v < to; ++v) {
        float value = row[v], first = near1[v], second = near2[v];
        bool below_first = value < first, below_second = value < second;
        near2[v] = below_first ? first : (below_second ? value : second);
        near2_pos[v] = below_first ? near1_pos[v] : (below_second ? l : near2_pos[v]);
        near1[v] = below_first ? value : first;
        near1_pos[v] = below_first ? l : near1_pos[v];
    }
}

// near1, near2 and their positions for the vertices from..to-1, from all p
// medians (their vertices in median[0..p-1]) at once: eight vertices side
// by side in vector lanes that keep their two cheapest medians in registers
// while the medians' rows are read in position order, the same tests as
// lower_nearest's, so the same results.  Each cost is loaded once and each
// result stored once, where a sweep per row loads and stores the four
// arrays p times.  The last few vertices take lower_nearest.
typedef float nearest_float8 __attribute__((vector_size(32)));
typedef int nearest_int8 __attribute__((vector_size(32)));

VECTOR_CLONES
static void nearest_of_block(float *const *cost, const int *median, int p, int from, int to, float *near1,
                             int *near1_pos, float *near2, int *near2_pos) {
    int v = from;
    for (; v + 8 <= to; v += 8) {
        const float none = INFINITE_COST;
        nearest_float8 first = {none, none, none, none, none, none, none, none}, second = first;
        nearest_int8 first_pos = {-1, -1, -1, -1, -1, -1, -1, -1}, second_pos = first_pos;
        for (int l = 0; l < p; ++l) {
            nearest_float8 value;
            memcpy(&value, cost[median[l]] + v, sizeof value);
            nearest_int8 at = {l, l, l, l, l, l, l, l};
            nearest_int8 below_first = value < first, below_second = value < second;
            second = below_first ? first : (below_second ? value : second);
            second_pos = below_first ? first_pos : (below_second ? at : second_pos);
            first = below_first ? value : first;
            first_pos = below_first ? at : first_pos;
        }
        memcpy(near1 + v, &first, sizeof first);
        memcpy(near2 + v, &second, sizeof second);
        memcpy(near1_pos + v, &first_pos, sizeof first_pos);
        memcpy(near2_pos + v, &second_pos, sizeof second_pos);
    }
    int tail = v;
    for (; v < to; ++v) {
        near1[v] = near2[v] = INFINITE_COST;
        near1_pos[v] = near2_pos[v] = -1;
    }
    if (tail < to)
        for (int l = 0; l < p; ++l) lower_nearest(cost[median[l]], l, tail, to, near1, near1_pos, near2, near2_pos);
}

// near1, near2 and the positions that attain them, for every vertex and the
// medians now in sv_node: rows swept in position order with strict tests from
// INFINITE_COST, so the first position wins a tie; -1 where no cost is below
// INFINITE_COST.  Vertices are independent, so threads share them.
void Solver::find_nearest() {
#pragma omp parallel if ((long long)n * p >= 1024LL * parallel_work)
    {
#ifdef _OPENMP
        int threads = omp_get_num_threads(), t = omp_get_thread_num();
#else
        int threads = 1, t = 0;
#endif
        int from = (int)((long long)n * t / threads), to = (int)((long long)n * (t + 1) / threads);
        nearest_of_block(cost, sv_node, p, from, to, near1, near1_pos, near2, near2_pos);
    }
}

// The clusters and the cost of the arrangement in sv_node, from near1 and
// near1_pos as they stand for it.  A client that no median serves below
// INFINITE_COST goes to position 0, as in the straightforward allocation.
float Solver::clusters_from_nearest() {
    reset_clusters();
    float sum = 0.0f;
    for (int a = p; a < n; ++a) {
        int c = sv_node[a];
        float cheapest = near1[c];
        Cluster &cl = vc[near1_pos[c] < 0 ? 0 : near1_pos[c]];
        sum = float_sum(sum, cheapest);
        cl.members[cl.size++] = c;
        cl.total = float_sum(cl.total, cheapest);
    }
    return sum;
}

float Solver::allocate_clients_fast() {
    find_nearest();
    memcpy(nearest_for, sv_node, n * sizeof(int));
    interchange_work->settled_from = p;  // nothing is known of a new arrangement
    nearest_valid = NEAREST_ONLY;  // the nearest medians only; the interchange adds its groups and gains
    return clusters_from_nearest();
}

}  // namespace pmedian
