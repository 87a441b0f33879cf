// read_instance.cpp - loads an instance and allocates all working storage.
//
// "pmeddata.dat" holds n, p and the n(n-1) off-diagonal costs row by row;
// "pmedmtrx.dat" holds two ignored integers, the interchange radius and the
// strict upper triangle of the distances.  A distance is only ever compared
// with the interchange's neighbourhood bound, fixed once n and the radius are
// known, so the reader keeps one bit per pair (set when the pair lies beyond
// the bound) instead of a float matrix, and no bits at all when no pair does.  Every
// number is read as the standard formatted input "%f" reads it (see
// number_reader.cpp), so any white space separates values and a value that
// cannot be read leaves its entry at 0.
// Such a short or damaged file is not fatal, but the reader says on standard
// error how many values it got, so a truncated instance never passes silently.
// A file saved with a UTF-8 byte-order mark (as spreadsheet programs do)
// reads as text before its first number; the messages then name the mark,
// which no editor shows.
// Only n and p must be readable; they are read as "%d" would read them, but a
// number beyond the range of an int is refused instead of wrapping around.
//
// Storage is allocated zero-filled, once, in a fixed order; an allocation the
// machine cannot satisfy ends the run with a message naming the array.  The
// reader checks every request against the memory the machine can still give
// before making it, so a hopeless instance fails at once with that message
// instead of being killed by the kernel halfway through the read.
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pmedian.h"

static FILE *reading;  // the instance file being read, closed by fatal

// Prints a fatal message on standard output and ends the run with status 1.
// A front end that embeds the solver takes the message instead through
// fatal_handler, which does not return; the instance file being read is
// closed first, so that a process that carries on loses nothing to it.
void fatal(const char *format, ...) {
    char message[512];
    va_list args;
    va_start(args, format);
    if (fatal_handler) vsnprintf(message, sizeof message, format, args);
    else vprintf(format, args);
    va_end(args);
    if (fatal_handler) {
        if (reading) fclose(reading);
        reading = nullptr;
        fatal_handler(message);
    }
    fflush(stdout);
    exit(1);
}

// A warning on standard error, or for a front end through warning_handler;
// the run goes on.
void warn(const char *format, ...) {
    va_list args;
    va_start(args, format);
    if (warning_handler) {
        char message[512];
        vsnprintf(message, sizeof message, format, args);
        warning_handler(message);
    } else {
        vfprintf(stderr, format, args);
    }
    va_end(args);
}

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

static double memory_budget;  // bytes the remaining allocations may still take

// Zero-filled allocation of count elements that returns null when the request
// exceeds what is left of the budget or calloc fails.  An empty request
// succeeds with a valid pointer.
static void *allocate(long long count, size_t size) {
    double bytes = (double)count * (double)size;
    if (bytes > memory_budget) return nullptr;
    memory_budget -= bytes;
    return calloc(count > 0 ? (size_t)count : 1, size);
}

// Reads one integer as "%d" does (white space, an optional sign, decimal
// digits), but fails on a number that does not fit in an int, where "%d"
// would store some wrapped-around value: "4294967299" would become 3.
static bool read_int(FILE *f, int &value) {
    int c;
    do c = getc(f);
    while (c != EOF && isspace(c));
    bool negative = c == '-';
    if (c == '-' || c == '+') c = getc(f);
    if (c == EOF || !isdigit(c)) {
        if (c != EOF) ungetc(c, f);
        return false;
    }
    long long magnitude = 0;  // stops growing once it is out of range
    for (; c != EOF && isdigit(c); c = getc(f))
        if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (c - '0');
    if (c != EOF) ungetc(c, f);
    long long v = negative ? -magnitude : magnitude;
    if (v < INT_MIN || v > INT_MAX) return false;
    value = (int)v;
    return true;
}

bool read_sizes(FILE *f, int &nv, int &pv) { return read_int(f, nv) && read_int(f, pv); }

// Each reader makes one "%f" read per entry, in file order, and returns how
// many of them succeeded.
static long long read_cost_rows(FILE *f) {
    begin_numbers(f);
    long long got = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            if (j != i && next_number(&cost[i][j]) == 1) ++got;
    return got;
}

// A distance matters only through its comparison with the neighbourhood
// bound, so only that outcome is kept, for both orders of the pair.
void set_distance(int i, int j, float d) {
    if (!((double)d > neighbourhood_bound())) return;
    far[i][j >> 6] |= 1ULL << (j & 63);
    far[j][i >> 6] |= 1ULL << (i & 63);
}

static long long read_distance_triangle(FILE *f, void (*keep_distance)(int i, int j, float d)) {
    begin_numbers(f);
    long long got = 0;
    for (int i = 0; i < n - 1; ++i)
        for (int j = i + 1; j < n; ++j) {
            float d = 0.0f;  // a value that cannot be read counts as 0
            if (next_number(&d) == 1) ++got;
            keep_distance(i, j, d);
        }
    return got;
}

// Without any pair beyond the bound the bits say nothing: they are released
// and every exchange is tried.
static void release_far_if_empty() {
    for (int i = 0; i < n; ++i)
        for (int w = 0; w < far_words; ++w)
            if (far[i][w]) return;
    for (int i = 0; i < n; ++i) free(far[i]);
    free(far);
    far = nullptr;
}

// Whether the open file f starts with a UTF-8 byte-order mark: the note a
// message then ends with, else "".  Used once reading f is over.
static const char *byte_order_mark_note(FILE *f) {
    unsigned char start[3];
    bool mark = fseek(f, 0, SEEK_SET) == 0 && fread(start, 1, 3, f) == 3 && start[0] == 0xEF &&
                start[1] == 0xBB && start[2] == 0xBF;
    return mark ? " (o arquivo comeca com a marca BOM do UTF-8: grave-o sem ela)" : "";
}

static void warn_short(FILE *f, const char *file, long long got, long long expected) {
    if (got < expected)
        warn("\nAviso: %s incompleto ou com texto nao numerico: %lld de %lld valores lidos;"
             " os valores nao lidos ficam 0%s\n",
             file, got, expected, byte_order_mark_note(f));
}

static void allocate_storage() {
    memory_budget = memory_available();
    cost = (float **)allocate(n, sizeof(float *));
    if (!cost) fatal("\n >>> Memoria insuficiente para *cost[%d]\n", n);
    for (int i = 0; i < n; ++i) {
        cost[i] = (float *)allocate(n, sizeof(float));
        if (!cost[i]) fatal("\n >>> Memoria insuficiente para cost[%d][%d]\n", i, n);
    }
    // The distances are kept as one bit per pair: beyond the bound or not.
    far_words = (n + 63) / 64;
    far = (unsigned long long **)allocate(n, sizeof(unsigned long long *));
    if (!far) fatal("\n >>> Memoria insuficiente para *dist[%d]\n", n);
    for (int i = 0; i < n; ++i) {
        far[i] = (unsigned long long *)allocate(far_words, sizeof(unsigned long long));
        if (!far[i]) fatal("\n >>> Memoria insuficiente para dist[%d][%d]\n", i, n);
    }
    beta = (float *)allocate(n, sizeof(float));
    if (!beta) fatal("\n >>> Memoria insuficiente para beta[%d]\n", n);
    sv_beta = (float *)allocate(n, sizeof(float));
    if (!sv_beta) fatal("\n >>> Memoria insuficiente para sv_beta[%d]\n", n);
    node = (int *)allocate(n, sizeof(int));
    if (!node) fatal("\n >>> Memoria insuficiente para node[%d]\n", n);
    best = (int *)allocate(n, sizeof(int));
    if (!best) fatal("\n >>> Memoria insuficiente para best[%d]\n", n);
    sv_node = (int *)allocate(n, sizeof(int));
    if (!sv_node) fatal("\n >>> Memoria insuficiente para sv_node[%d]\n", n);
    subg = (int *)allocate(n, sizeof(int));
    if (!subg) fatal("\n >>> Memoria insuficiente para subg[%d]\n", n);
    lambda = (float *)allocate(n, sizeof(float));
    if (!lambda) fatal("\n >>> Memoria insuficiente para lambda[%d]\n", n);
    vc = (Cluster *)allocate(p, sizeof(Cluster));
    if (!vc) fatal("\n >>> Memoria insuficiente para vc[%d]\n", p);
    for (int i = 0; i < p; ++i) {
        vc[i].members = (int *)allocate(n - p, sizeof(int));
        if (!vc[i].members) fatal("\n >>> Memoria insuficiente para vc[%d][%d]\n", i, p);
    }
    // Working storage of the fast relaxation and the fast interchange, after
    // everything else.
    int depth = default_order_depth();
    long long entries = (long long)n * depth;
    order_cost = (float *)allocate(entries, sizeof(float));
    if (!order_cost) fatal("\n >>> Memoria insuficiente para order_cost[%d][%d]\n", n, depth);
    order_row16 = nullptr;
    order_row32 = nullptr;
    if (n <= 65536)
        order_row16 = (unsigned short *)allocate(entries, sizeof(unsigned short));
    else
        order_row32 = (int *)allocate(entries, sizeof(int));
    if (!order_row16 && !order_row32) fatal("\n >>> Memoria insuficiente para order_row[%d][%d]\n", n, depth);
    order_depth = depth;
    taken_count = (int *)allocate(n, sizeof(int));
    if (!taken_count) fatal("\n >>> Memoria insuficiente para taken_count[%d]\n", n);
    is_open = (char *)allocate(n, sizeof(char));
    if (!is_open) fatal("\n >>> Memoria insuficiente para is_open[%d]\n", n);
    multiplier = (double *)allocate(n, sizeof(double));
    if (!multiplier) fatal("\n >>> Memoria insuficiente para multiplier[%d]\n", n);
    multiplier_ceiling = (float *)allocate(n, sizeof(float));
    if (!multiplier_ceiling) fatal("\n >>> Memoria insuficiente para multiplier_ceiling[%d]\n", n);
    near1 = (float *)allocate(n, sizeof(float));
    if (!near1) fatal("\n >>> Memoria insuficiente para near1[%d]\n", n);
    near1_pos = (int *)allocate(n, sizeof(int));
    if (!near1_pos) fatal("\n >>> Memoria insuficiente para near1_pos[%d]\n", n);
    near2 = (float *)allocate(n, sizeof(float));
    if (!near2) fatal("\n >>> Memoria insuficiente para near2[%d]\n", n);
    near2_pos = (int *)allocate(n, sizeof(int));
    if (!near2_pos) fatal("\n >>> Memoria insuficiente para near2_pos[%d]\n", n);
    gain = (double *)allocate(n, sizeof(double));
    if (!gain) fatal("\n >>> Memoria insuficiente para gain[%d]\n", n);
    gain_error = (double *)allocate(n, sizeof(double));
    if (!gain_error) fatal("\n >>> Memoria insuficiente para gain_error[%d]\n", n);
    taken_clients = (int *)allocate(n, sizeof(int));
    if (!taken_clients) fatal("\n >>> Memoria insuficiente para taken_clients[%d]\n", n);
    base_prefix = (float *)allocate(n, sizeof(float));
    if (!base_prefix) fatal("\n >>> Memoria insuficiente para base_prefix[%d]\n", n);
    own_correction = (double *)allocate(n, sizeof(double));
    if (!own_correction) fatal("\n >>> Memoria insuficiente para own_correction[%d]\n", n);
    to_displaced = (float *)allocate(n, sizeof(float));
    if (!to_displaced) fatal("\n >>> Memoria insuficiente para to_displaced[%d]\n", n);
    touched = (int *)allocate(n + 1, sizeof(int));  // the fast interchange writes one past its list
    if (!touched) fatal("\n >>> Memoria insuficiente para touched[%d]\n", n);
    in_list = (char *)allocate(n, sizeof(char));
    if (!in_list) fatal("\n >>> Memoria insuficiente para in_list[%d]\n", n);
    candidates = (int *)allocate(n, sizeof(int));
    if (!candidates) fatal("\n >>> Memoria insuficiente para candidates[%d]\n", n);
    brackets = (TrialBracket *)allocate(n, sizeof(TrialBracket));
    if (!brackets) fatal("\n >>> Memoria insuficiente para brackets[%d]\n", n);
    position_of = (int *)allocate(n, sizeof(int));
    if (!position_of) fatal("\n >>> Memoria insuficiente para position_of[%d]\n", n);
    block_gain = (double *)allocate(n / 64 + 1, sizeof(double));
    if (!block_gain) fatal("\n >>> Memoria insuficiente para block_gain[%d]\n", n / 64 + 1);
    nearest_for = (int *)allocate(n, sizeof(int));
    if (!nearest_for) fatal("\n >>> Memoria insuficiente para nearest_for[%d]\n", n);
    changed = (int *)allocate(n, sizeof(int));
    if (!changed) fatal("\n >>> Memoria insuficiente para changed[%d]\n", n);
    changed_from = (float *)allocate(n, sizeof(float));
    if (!changed_from) fatal("\n >>> Memoria insuficiente para changed_from[%d]\n", n);
    attached = (int *)allocate(n, sizeof(int));
    if (!attached) fatal("\n >>> Memoria insuficiente para attached[%d]\n", n);
    attached_start = (int *)allocate((long long)p + 1, sizeof(int));
    if (!attached_start) fatal("\n >>> Memoria insuficiente para attached_start[%d]\n", p + 1);
    row_abs = (double *)allocate(n, sizeof(double));
    if (!row_abs) fatal("\n >>> Memoria insuficiente para row_abs[%d]\n", n);
}

// Properties of the cost matrix that decide how the fast interchange may
// prune: whether every cost is finite, whether float sums of costs are
// exact (whole numbers below 2^24 / n in magnitude), whether any is negative
// (if not, a sum's magnitude is its value), each row's sum of magnitudes,
// which bounds the rounding error of a trial sum, and whether the matrix is
// symmetric (then a row can stand for a column).  Whoever changes cost after
// reading must call this again, and build_cost_order.
void survey_costs() {
    nearest_valid = 0;
    costs_finite = 1;
    double largest = 0.0;
    bool whole = true, nonnegative = true;
    for (int i = 0; i < n; ++i) {
        double sum = 0.0;
        for (int j = 0; j < n; ++j) {
            double c = cost[i][j];
            if (!std::isfinite(c)) {
                costs_finite = 0;
                continue;
            }
            double magnitude = std::fabs(c);
            sum += magnitude;
            if (magnitude > largest) largest = magnitude;
            if (c != std::floor(c)) whole = false;
            if (c < 0.0) nonnegative = false;
        }
        row_abs[i] = sum;
    }
    costs_nonnegative = costs_finite && nonnegative;
    costs_whole = costs_finite && whole && largest * (double)n < 16777216.0;
    // Compared in square tiles, so that the transposed reads stay in cache.
    // The same bits are required, so -0 and +0 differ and NaN is no match.
    costs_symmetric = 1;
    const int tile = 64;
    for (int i0 = 0; i0 < n && costs_symmetric; i0 += tile)
        for (int j0 = i0; j0 < n && costs_symmetric; j0 += tile)
            for (int i = i0; i < i0 + tile && i < n; ++i)
                for (int j = j0 > i ? j0 : i + 1; j < j0 + tile && j < n; ++j)
                    if (memcmp(&cost[i][j], &cost[j][i], sizeof(float)) != 0) costs_symmetric = 0;
}

// Sets the sizes and allocates all storage zero-filled, with a zero cost
// diagonal; the distance bits are ready for set_distance once radius is set.
// Sizes outside n >= 1, 1 <= p <= n are the caller's to refuse.
void allocate_instance(int nv, int pv) {
    n = nv;
    p = pv;
    allocate_storage();
    for (int i = 0; i < n; ++i) cost[i][i] = 0.0f;
}

// The steps between filling cost and the distance bits and solving: drops
// bits that say nothing, clears the working arrays and prepares the fast
// routines' view of the costs.
void finish_instance() {
    release_far_if_empty();
    for (int i = 0; i < n; ++i) {
        beta[i] = sv_beta[i] = 0.0f;
        node[i] = best[i] = sv_node[i] = subg[i] = 0;
        lambda[i] = 0.0f;
        to_displaced[i] = INFINITY;
    }
    survey_costs();
    build_cost_order(order_depth);
}

// Reads the cost file and the distance file at the given paths (the
// messages name them by their usual names) and hands every distance of the
// upper triangle to keep_distance.
void read_instance_files(const char *data_path, const char *matrix_path,
                         void (*keep_distance)(int i, int j, float d)) {
    FILE *f = fopen(data_path, "r");
    if (!f) fatal("\nArquivo de dados (pmeddata.dat) nao pode ser aberto\n");
    reading = f;
    int nv = 0, pv = 0;
    radius = 0.0f;  // stays 0 when the distance file cannot give it
    if (!read_sizes(f, nv, pv))
        fatal("\nCabecalho de pmeddata.dat ilegivel: esperados os inteiros n e p, lidos n = %d, p = %d%s\n",
              nv, pv, byte_order_mark_note(f));
    if (nv < 1 || pv < 1 || pv > nv)
        fatal("\nTamanho invalido em pmeddata.dat: n = %d, p = %d (exige-se n >= 1 e 1 <= p <= n)\n",
              nv, pv);

    allocate_instance(nv, pv);
    warn_short(f, "pmeddata.dat", read_cost_rows(f), (long long)n * (n - 1));
    fclose(f);

    f = fopen(matrix_path, "r");
    reading = f;
    if (!f) fatal("\nMatriz de distancias (pmedmtrx.dat) nao pode ser aberto\n");
    long long got = fscanf(f, "%*d %*d %f", &radius) == 1 ? 1 : 0;
    got += read_distance_triangle(f, keep_distance);
    warn_short(f, "pmedmtrx.dat", got, 1 + (long long)n * (n - 1) / 2);
    fclose(f);
    reading = nullptr;
    finish_instance();
}

void read_instance() { read_instance_files("pmeddata.dat", "pmedmtrx.dat", set_distance); }
