// fast_interchange.h - the working arrays of the fast interchange.
//
// They belong to the fast pass alone (fast_interchange.cpp); the solver
// allocates them with the rest of its storage and keeps them between passes,
// so that a pass that starts from the arrangement the previous one left
// takes its bookkeeping over.
#ifndef PMEDIAN_FAST_INTERCHANGE_H
#define PMEDIAN_FAST_INTERCHANGE_H

namespace pmedian {

// A change of term at client position `position` in the trials that
// sparse_trial_sums (direct_trials.h) adds up: for lane `lane`, the term
// becomes `value`; for lane -1 (a client of the median under exchange),
// every lane's term becomes min(its row's cost, value), value being that
// client's cost from its second-nearest median.  Changes are sorted by
// position, lane -1 first at a position.
struct TrialEvent {
    int position, lane;
    float value;
};

// A candidate exchange whose float trial cost is known to lie in [low, high].
struct TrialBracket {
    int position;  // client position of the candidate
    double low, high;
};

// How the fast pass judges a position's candidates.
enum InterchangeMethod : int {
    METHOD_BY_COST = 0,  // whichever the cost model finds cheaper, per pass and per position
    METHOD_GAINS = 1,    // always from the gains (tests force one method or the other)
    METHOD_DIRECT = 2,   // always by direct trials, eight candidates at a time
    METHOD_ROWS = 3,     // always by direct trials, all vertices at once from the clients' rows (symmetric costs; else as METHOD_DIRECT)
};

// The running sums of near1 over the client positions up to one of them,
// so that after an exchange they are made again only from the first
// position whose term changed.
struct PrefixSums {
    double total, abs_total, partials, most;
    int ties;
};

struct InterchangeScratch {
    InterchangeMethod method = METHOD_BY_COST;
    int settled_from = 1 << 30;       // positions from here on of nearest_for's arrangement have no exchange below settled_below
    float settled_below = 0.0f;       // the cost they were judged against
    double *gain = nullptr;           // gain[u]: saving if vertex u opened beside the current medians
    double *gain_error = nullptr;     // bound on the rounding error that gain[u] carries
    int *taken_clients = nullptr;     // taken_clients[u]: the clients u would serve cheaper than their nearest
    float *base_prefix = nullptr;     // per client position: the float sum of near1 up to it, in position order
    float *base_terms = nullptr;      // per client position: near1 of the client there, as base_prefix adds it
    PrefixSums *prefix_sums = nullptr; // per client position: the other sums of near1 up to it, as base_prefix
    double *own_correction = nullptr; // per vertex: its extra saving on the clients of the position under exchange, 0 elsewhere
    float *to_displaced = nullptr;    // per vertex: its cost to the median under exchange where below the others', else +inf
    int *touched = nullptr;           // vertices the walks of the position under exchange reached, n + 1 slots
    char *in_list = nullptr;          // marks of the vertices in touched, all 0 between positions
    int *candidates = nullptr;        // client positions to judge for the position under exchange
    TrialBracket *brackets = nullptr; // the candidates that may win there, with their trial costs' bounds
    int *position_of = nullptr;       // position_of[v]: where vertex v stands in nearest_for
    double *block_gain = nullptr;     // per 64 client positions: an upper bound of gain + gain_error there
    int *block_taken = nullptr;       // per 64 client positions: an upper bound of taken_clients there
    int *changed = nullptr;           // clients whose cheapest cost an exchange changed
    float *changed_from = nullptr;    // their cheapest cost before that exchange
    int *attached = nullptr;          // the clients of the median position under exchange (own_clients)
    int *group_head = nullptr;        // per median position: the first client of its group, or -1
    int *group_next = nullptr;        // per client: the next one in its group, or -1
    int *group_prev = nullptr;        // per client: the one before it in its group, or -1
    int *member_of = nullptr;         // per vertex: the median position whose group lists it, or -1
    int *regroup = nullptr;           // clients whose serving position the last exchange changed
    TrialEvent *trial_events = nullptr; // the changed terms of the trials being summed (sparse_trial_sums), n slots
    int *trial_hits = nullptr;        // the clients one candidate would serve cheaper than their nearest, n slots
};

}  // namespace pmedian

#endif
