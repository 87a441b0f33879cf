// state.cpp - the solver value's storage: one list of every array, in the
// order it is allocated, and the release of whatever that list took.
//
// Storage is allocated zero-filled, once, in a fixed order; an allocation the
// machine cannot satisfy ends the run with a message naming the array.  The
// solver checks every request against the memory the machine can still give
// before making it, so a hopeless instance fails at once with that message
// instead of being killed by the kernel halfway through the read.  Each
// allocation records its own release, so a failure in the middle of the list
// releases exactly what was taken.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fast_interchange.h"
#include "solver.h"

namespace pmedian {

Solver::Solver() : interchange_work(new InterchangeScratch) {}

Solver::~Solver() { release_storage(); }

// Reads the first number of a one-line file, or returns -1.
static double read_number(const char *path) {
    FILE *f = fopen(path, "r");
    if (!f) return -1.0;
    double v = -1.0;
    if (fscanf(f, "%lf", &v) != 1) v = -1.0;
    fclose(f);
    return v;
}

// Bytes the machine can still give this process: available memory plus free
// swap, capped by the memory limit of the control group the process runs in.
// When nothing can be read, no limit is imposed here and calloc decides.
static double memory_available() {
    double total = 1e300;
    FILE *f = fopen("/proc/meminfo", "r");
    if (f) {
        char key[64];
        double kb, sum = 0.0;
        int found = 0;
        while (fscanf(f, "%63s %lf kB", key, &kb) == 2) {
            if (!strcmp(key, "MemAvailable:") || !strcmp(key, "SwapFree:")) {
                sum += kb * 1024.0;
                ++found;
            }
        }
        fclose(f);
        if (found) total = sum;
    }
    double limit = read_number("/sys/fs/cgroup/memory.max");  // "max" reads as -1
    double used = read_number("/sys/fs/cgroup/memory.current");
    if (limit > 0.0 && used >= 0.0 && limit - used < total) total = limit - used;
    return total;
}

// Zero-filled allocation of count elements that returns null when the request
// exceeds what is left of the budget or calloc fails.  An empty request
// succeeds with a valid pointer.
void *Solver::allocate(long long count, size_t size) {
    double bytes = (double)count * (double)size;
    if (bytes > memory_budget) return nullptr;
    memory_budget -= bytes;
    return calloc(count > 0 ? (size_t)count : 1, size);
}

// One array of count elements into slot; label is the array's name with its
// size as the memory message shows it.
template <class T>
void Solver::take(T *&slot, long long count, const char *label) {
    slot = (T *)allocate(count, sizeof(T));
    if (!slot) fatal("\n >>> Memoria insuficiente para %s\n", label);
    owned.push_back([&slot] {
        free(slot);
        slot = nullptr;
    });
}

// rows arrays of count elements each, under an array of row pointers.
template <class T>
void Solver::take_rows(T **&slot, int rows, long long count, const char *name, const char *row_name) {
    slot = (T **)allocate(rows, sizeof(T *));
    if (!slot) fatal("\n >>> Memoria insuficiente para *%s[%d]\n", name, rows);
    // Rows come in order, so the first null one ends them: a huge request
    // that failed early never has its whole row array read.
    owned.push_back([&slot, rows] {
        for (int i = 0; slot && i < rows && slot[i]; ++i) free(slot[i]);
        free(slot);
        slot = nullptr;
    });
    for (int i = 0; i < rows; ++i) {
        slot[i] = (T *)allocate(count, sizeof(T));
        if (!slot[i]) fatal("\n >>> Memoria insuficiente para %s[%d][%d]\n", row_name, i, rows);
    }
}

static std::string sized(const char *name, long long a) { return std::string(name) + "[" + std::to_string(a) + "]"; }
static std::string sized(const char *name, long long a, long long b) { return sized(name, a) + "[" + std::to_string(b) + "]"; }

// Every array of the solver, in the order of allocation: adding an array is
// one line here and its member in solver.h.
void Solver::allocate_storage() {
    memory_budget = memory_available();
    take_rows(cost, n, n, "cost", "cost");
    // The distances are kept as one bit per pair: beyond the bound or not.
    far_words = (n + 63) / 64;
    take_rows(far, n, far_words, "dist", "dist");
    take(beta, n, sized("beta", n).c_str());
    take(sv_beta, n, sized("sv_beta", n).c_str());
    take(node, n, sized("node", n).c_str());
    take(best, n, sized("best", n).c_str());
    take(sv_node, n, sized("sv_node", n).c_str());
    take(subg, n, sized("subg", n).c_str());
    take(lambda, n, sized("lambda", n).c_str());
    take(vc, p, sized("vc", p).c_str());
    for (int i = 0; i < p; ++i) take(vc[i].members, n - p, sized("vc", i, p).c_str());
    // Working storage of the fast relaxation and the fast interchange, after
    // everything else.
    int depth = default_order_depth();
    long long entries = (long long)n * depth;
    take(order_cost, entries, sized("order_cost", n, depth).c_str());
    if (n <= 65536)
        take(order_row16, entries, sized("order_row", n, depth).c_str());
    else
        take(order_row32, entries, sized("order_row", n, depth).c_str());
    order_depth = depth;
    take(taken_count, n, sized("taken_count", n).c_str());
    take(is_open, n, sized("is_open", n).c_str());
    take(multiplier, n, sized("multiplier", n).c_str());
    take(multiplier_ceiling, n, sized("multiplier_ceiling", n).c_str());
    take(near1, n, sized("near1", n).c_str());
    take(near1_pos, n, sized("near1_pos", n).c_str());
    take(near2, n, sized("near2", n).c_str());
    take(near2_pos, n, sized("near2_pos", n).c_str());
    InterchangeScratch &x = *interchange_work;
    take(x.gain, n, sized("gain", n).c_str());
    take(x.gain_error, n, sized("gain_error", n).c_str());
    take(x.taken_clients, n, sized("taken_clients", n).c_str());
    take(x.base_prefix, n, sized("base_prefix", n).c_str());
    take(x.base_terms, n, sized("base_terms", n).c_str());
    take(x.prefix_sums, n, sized("prefix_sums", n).c_str());
    take(x.own_correction, n, sized("own_correction", n).c_str());
    take(x.to_displaced, n, sized("to_displaced", n).c_str());
    take(x.touched, n + 1, sized("touched", n).c_str());  // the fast interchange writes one past its list
    take(x.in_list, n, sized("in_list", n).c_str());
    take(x.candidates, n, sized("candidates", n).c_str());
    take(x.brackets, n, sized("brackets", n).c_str());
    take(x.position_of, n, sized("position_of", n).c_str());
    take(x.block_gain, n / 64 + 1, sized("block_gain", n / 64 + 1).c_str());
    take(x.block_taken, n / 64 + 1, sized("block_taken", n / 64 + 1).c_str());
    take(nearest_for, n, sized("nearest_for", n).c_str());
    take(x.changed, n, sized("changed", n).c_str());
    take(x.changed_from, n, sized("changed_from", n).c_str());
    take(x.attached, n, sized("attached", n).c_str());
    take(x.group_head, p, sized("group_head", p).c_str());
    take(x.group_next, n, sized("group_next", n).c_str());
    take(x.group_prev, n, sized("group_prev", n).c_str());
    take(x.member_of, n, sized("member_of", n).c_str());
    take(x.regroup, n, sized("regroup", n).c_str());
    take(x.trial_events, n, sized("trial_events", n).c_str());
    take(x.trial_hits, n, sized("trial_hits", n).c_str());
    take(row_abs, n, sized("row_abs", n).c_str());
}

// Frees everything allocate_storage took, the latest first, and leaves every
// pointer null; after a failure in the middle of the list, too.
void Solver::release_storage() {
    while (!owned.empty()) {
        owned.back()();
        owned.pop_back();
    }
    nearest_valid = NEAREST_INVALID;
}

}  // namespace pmedian
