// direct_trials.h - float trial sums of several candidates at once.
//
// When the neighbourhood bound leaves a median position few candidates, or
// p is so small that every client's walk is a whole column, the fast
// interchange costs each candidate of a position directly instead of keeping
// gains for every vertex: its trial is the float sum, in client-position
// order, of min(cost[u][c], other[c]) over the clients, with the displaced
// median's cost at the candidate's own position.  That is the straightforward
// pass's trial with the other medians' minimum looked up instead of scanned,
// so O(n) per trial instead of O(p n).
//
// A single float sum is a chain of dependent additions; eight candidates
// summed side by side, one per lane of a vector, keep eight chains going.
// Each lane adds its own terms in the same order with the same float
// additions, so every lane's sum has the bits of the scalar sum.
#ifndef PMEDIAN_DIRECT_TRIALS_H
#define PMEDIAN_DIRECT_TRIALS_H

#include <cstring>

#include "arith.h"

namespace pmedian {

const int TRIAL_LANES = 8;

typedef float trial_float8 __attribute__((vector_size(32)));
typedef int trial_int8 __attribute__((vector_size(32)));

// The float trial sums of `lanes` (1 to TRIAL_LANES) candidates into
// sums[0..lanes-1]: candidate i has cost row rows[i], stands at client
// position at[i] (counted from the first client, 0 ... count-1) and serves
// the displaced median there at displaced[i].  clients[k] is the vertex at
// client position k and other[k] its cheapest cost from the medians that
// stay.  A missing lane repeats the last candidate.
VECTOR_CLONES
static void direct_trial_sums(const float *const *rows, int lanes, const int *clients, const float *other, int count,
                              const int *at, const float *displaced, float *sums) {
    const float *r[TRIAL_LANES];
    trial_int8 where;
    trial_float8 moved, sum = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    for (int i = 0; i < TRIAL_LANES; ++i) {
        int lane = i < lanes ? i : lanes - 1;
        r[i] = rows[lane];
        where[i] = at[lane];
        moved[i] = displaced[lane];
    }
    for (int k = 0; k < count; ++k) {
        int c = clients[k];
        float o = other[k];
        trial_float8 x = {r[0][c], r[1][c], r[2][c], r[3][c], r[4][c], r[5][c], r[6][c], r[7][c]};
        trial_float8 stay = {o, o, o, o, o, o, o, o};
        trial_float8 term = x < stay ? x : stay;
        trial_int8 position = {k, k, k, k, k, k, k, k};
        sum += position == where ? moved : term;
    }
    for (int i = 0; i < lanes; ++i) sums[i] = sum[i];
}

// With a symmetric matrix, client c's costs to every candidate are row c,
// in sequence: the trials of all vertices at once are then one sweep of the
// clients' rows in client-position order, each vertex's lane adding
// min(row[u], other) to its sum.  rows_trial_sums makes that sweep for
// count (1 to 4) clients in order: rows[r] is the row of client client[r],
// other[r] its cheapest cost from the medians that stay, moved[r] the
// displaced median's cost from it, which the client's own lane adds instead
// (the trial where that client takes the median's place).  sums has n
// entries, one per vertex.  next holds the next four clients' rows, fetched
// ahead: each row is too short a stream for the prefetchers.  The sweep
// adds in the same order with or without them.
template <int COUNT>
static inline void add_rows_block(trial_float8 &sum, const float *const *rows, const trial_float8 *stay, int u) {
    for (int r = 0; r < COUNT; ++r) {
        trial_float8 x;
        memcpy(&x, rows[r] + u, sizeof x);
        sum += x < stay[r] ? x : stay[r];
    }
}

VECTOR_CLONES
static void rows_trial_sums(const float *const *rows, const float *const *next, const int *client, const float *other,
                            const float *moved, int count, int n, float *sums) {
    float kept[4];
    trial_float8 stay[4];
    for (int r = 0; r < count; ++r) {
        kept[r] = sums[client[r]];
        stay[r] = trial_float8{other[r], other[r], other[r], other[r], other[r], other[r], other[r], other[r]};
    }
    int u = 0;
    for (; u + 8 <= n; u += 8) {
        trial_float8 sum;
        for (int r = 0; r < 4; ++r) __builtin_prefetch(next[r] + u);
        memcpy(&sum, sums + u, sizeof sum);
        if (count == 4)
            add_rows_block<4>(sum, rows, stay, u);
        else
            for (int r = 0; r < count; ++r) add_rows_block<1>(sum, rows + r, stay + r, u);
        memcpy(sums + u, &sum, sizeof sum);
    }
    for (; u < n; ++u)
        for (int r = 0; r < count; ++r) {
            float x = rows[r][u];
            sums[u] += x < other[r] ? x : other[r];
        }
    // The clients' own lanes again, in order, with their displaced terms.
    for (int i = 0; i < count; ++i) {
        float sum = kept[i];
        for (int r = 0; r < count; ++r) {
            float x = rows[r][client[i]];
            sum += r == i ? moved[i] : x < other[r] ? x : other[r];
        }
        sums[client[i]] = sum;
    }
}

}  // namespace pmedian

#endif
