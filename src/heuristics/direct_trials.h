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
#include "fast_interchange.h"

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

// Where a candidate's trial differs from the current arrangement's sum only
// at a few client positions (the clients of the median under exchange, the
// clients the candidate would serve cheaper than their nearest median, and
// its own position), its terms everywhere else are the current ones.  Its
// float sum is then the current partial sum up to the first such position,
// followed by the current terms with those few replaced: the same additions
// in the same order, read from one array in sequence instead of gathered
// from the candidates' rows.
//
// (TrialEvent, fast_interchange.h, is such a change.)
//
// The float trial sums of up to TRIAL_LANES candidates with rows rows[] (all
// TRIAL_LANES filled) into sums[], from client position `from` (the first
// with a change), where the partial sum before it is start, to count;
// base_terms[k] is the current term at client position k and clients[k]
// the vertex there.
VECTOR_CLONES
static void sparse_trial_sums(const float *const *rows, const int *clients, const float *base_terms, float start,
                              int from, int count, const TrialEvent *events, int event_count, float *sums) {
    trial_float8 sum = {start, start, start, start, start, start, start, start};
    int k = from;
    for (int e = 0; e < event_count;) {
        int at = events[e].position;
        for (; k < at; ++k) {
            float b = base_terms[k];
            sum += trial_float8{b, b, b, b, b, b, b, b};
        }
        float b = base_terms[at];
        trial_float8 term = {b, b, b, b, b, b, b, b};
        for (; e < event_count && events[e].position == at; ++e) {
            if (events[e].lane < 0) {
                int c = clients[at];
                float o = events[e].value;
                trial_float8 x = {rows[0][c], rows[1][c], rows[2][c], rows[3][c],
                                  rows[4][c], rows[5][c], rows[6][c], rows[7][c]};
                trial_float8 stay = {o, o, o, o, o, o, o, o};
                term = x < stay ? x : stay;
            } else {
                term[events[e].lane] = events[e].value;
            }
        }
        sum += term;
        k = at + 1;
    }
    for (; k < count; ++k) {
        float b = base_terms[k];
        sum += trial_float8{b, b, b, b, b, b, b, b};
    }
    for (int i = 0; i < TRIAL_LANES; ++i) sums[i] = sum[i];
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
