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
// Storage comes from allocate_storage (state.cpp), once n and p are known.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fast_interchange.h"
#include "number_reader.h"
#include "solver.h"

namespace pmedian {

// Ends the run with an Error that carries the message as the program prints
// it and the errno of the moment.  The instance file being read is closed
// first, so that a process that carries on loses nothing to it.
void Solver::fatal(const char *format, ...) {
    int cause = errno;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string message(length > 0 ? (size_t)length : 0, '\0');
    vsnprintf(message.data(), message.size() + 1, format, again);
    va_end(again);
    if (reading) fclose(reading);
    reading = nullptr;
    throw Error(message, cause);
}

// A warning on standard error, or for a front end through warning_handler;
// the run goes on.
void Solver::warn(const char *format, ...) {
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
long long Solver::read_cost_rows(FILE *f) {
    NumberReader numbers(f);
    long long got = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            if (j != i && numbers.next(&cost[i][j]) == 1) ++got;
    return got;
}

// A distance matters only through its comparison with the neighbourhood
// bound, so only that outcome is kept, for both orders of the pair.
void Solver::set_distance(int i, int j, float d) {
    if (!((double)d > neighbourhood_bound())) return;
    far[i][j >> 6] |= 1ULL << (j & 63);
    far[j][i >> 6] |= 1ULL << (i & 63);
}

long long Solver::read_distance_triangle(FILE *f, const std::function<void(int i, int j, float d)> &keep_distance) {
    NumberReader numbers(f);
    long long got = 0;
    for (int i = 0; i < n - 1; ++i)
        for (int j = i + 1; j < n; ++j) {
            float d = 0.0f;  // a value that cannot be read counts as 0
            if (numbers.next(&d) == 1) ++got;
            keep_distance(i, j, d);
        }
    return got;
}

// Without any pair beyond the bound the bits say nothing: they are released
// and every exchange is tried.
void Solver::release_far_if_empty() {
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

void Solver::warn_short(FILE *f, const char *file, long long got, long long expected) {
    if (got < expected)
        warn("\nAviso: %s incompleto ou com texto nao numerico: %lld de %lld valores lidos;"
             " os valores nao lidos ficam 0%s\n",
             file, got, expected, byte_order_mark_note(f));
}

// Properties of the cost matrix that decide how the fast interchange may
// prune: whether every cost is finite, whether float sums of costs are
// exact (whole numbers below 2^24 / n in magnitude), whether any is negative
// (if not, a sum's magnitude is its value), each row's sum of magnitudes,
// which bounds the rounding error of a trial sum, and whether the matrix is
// symmetric (then a row can stand for a column).  Whoever changes cost after
// reading must call this again, and build_cost_order.
void Solver::survey_costs() {
    nearest_valid = NEAREST_INVALID;
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
void Solver::allocate_instance(int nv, int pv) {
    n = nv;
    p = pv;
    allocate_storage();
    for (int i = 0; i < n; ++i) cost[i][i] = 0.0f;
}

// The steps between filling cost and the distance bits and solving: drops
// bits that say nothing, clears the working arrays and prepares the fast
// routines' view of the costs.
void Solver::finish_instance() {
    release_far_if_empty();
    for (int i = 0; i < n; ++i) {
        beta[i] = sv_beta[i] = 0.0f;
        node[i] = best[i] = sv_node[i] = subg[i] = 0;
        lambda[i] = 0.0f;
        interchange_work->to_displaced[i] = INFINITY;
    }
    survey_costs();
    build_cost_order(order_depth);
}

// Reads the cost file and the distance file at the given paths (the
// messages name them by their usual names) and hands every distance of the
// upper triangle to keep_distance.
void Solver::read_instance_files(const char *data_path, const char *matrix_path,
                                 const std::function<void(int i, int j, float d)> &keep_distance) {
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

void Solver::read_instance() {
    read_instance_files("pmeddata.dat", "pmedmtrx.dat", [this](int i, int j, float d) { set_distance(i, j, d); });
}

}  // namespace pmedian
