// check.cpp - pmedian-check: verifies a solution file against its instance
// and recomputes the solution's cost.
//
// A valid "solucao.txt" lists p distinct medians, assigns every other vertex
// exactly once to one of them, and gives for each assignment the cost that
// the instance holds for it, as the solver writes it ("%.2f" of the float).
// The costs are read with fscanf "%f" into floats, exactly as the solver
// reads them, so the comparison is with the values the solver worked with.
// The cost of the solution is summed in double precision.
//
// Exit status: 0 for a valid solution, 1 for a violation (the first one found
// is named), 2 for a wrong command line or a file that cannot be read (the
// instance, or the solution file: then nothing could be checked).  A
// byte-order mark at the start of either file is skipped.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "text_input.h"

static const char *USAGE =
    "usage: pmedian-check [DIR] [--optimal V]\n"
    "  DIR           folder with pmeddata.dat and solucao.txt (default .)\n"
    "  --optimal V   also print the gap of the solution's cost to V, in percent\n";

[[noreturn]] static void unusable(const std::string &message) {
    fprintf(stderr, "pmedian-check: %s\n", message.c_str());
    exit(2);
}

[[noreturn]] static void violation(const std::string &message) {
    fprintf(stderr, "pmedian-check: INVALID: %s\n", message.c_str());
    exit(1);
}

struct CostMatrix {
    int n = 0;
    int p = 0;
    std::vector<float> cost;  // cost[i * n + j]: client j served from median i
};

// Reads "pmeddata.dat" the way the solver does: "%d %d", then the n(n-1)
// off-diagonal costs row by row with "%f".
static CostMatrix read_costs(const std::string &path) {
    FILE *f = fopen(path.c_str(), "r");
    if (!f) unusable("cannot open " + path + ": " + strerror(errno));
    skip_byte_order_mark(f);
    CostMatrix m;
    if (fscanf(f, "%d %d", &m.n, &m.p) != 2) unusable(path + ": header \"n p\" unreadable");
    if (m.n < 1 || m.p < 1 || m.p > m.n || m.n > 100000)
        unusable(path + ": bad sizes n = " + std::to_string(m.n) + ", p = " + std::to_string(m.p));
    m.cost.assign((size_t)m.n * m.n, 0.0f);
    long long got = 0;
    for (int i = 0; i < m.n; ++i)
        for (int j = 0; j < m.n; ++j)
            if (j != i) {
                if (fscanf(f, "%f", &m.cost[(size_t)i * m.n + j]) != 1) break;
                ++got;
            }
    fclose(f);
    long long expected = (long long)m.n * (m.n - 1);
    if (got < expected)
        unusable(path + ": only " + std::to_string(got) + " of " + std::to_string(expected) +
                 " costs readable");
    return m;
}

static std::vector<std::string> fields_of(const std::string &line) {
    std::istringstream in(line);
    std::vector<std::string> fields;
    std::string field;
    while (in >> field) fields.push_back(field);
    return fields;
}

static bool parse_int(const std::string &text, int &value) {
    char *end = nullptr;
    errno = 0;
    long v = strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || v < -2147483647L || v > 2147483647L) return false;
    value = (int)v;
    return true;
}

static std::string at_line(int line) { return "line " + std::to_string(line) + ": "; }

// One assignment line of the solution file.
struct Assignment {
    int line;
    int median;
    int client;
    std::string cost_text;
};

int main(int argc, char **argv) {
    std::string dir = ".";
    bool has_optimal = false;
    double optimal = 0.0;
    int positional = 0;
    for (int a = 1; a < argc; ++a) {
        std::string arg = argv[a];
        if (arg == "-h" || arg == "--help") {
            fputs(USAGE, stdout);
            return 0;
        } else if (arg == "--optimal") {
            if (a + 1 >= argc) unusable(std::string("missing value for --optimal\n") + USAGE);
            char *end = nullptr;
            optimal = strtod(argv[++a], &end);
            if (*argv[a] == '\0' || *end != '\0' || !std::isfinite(optimal) || optimal <= 0)
                unusable(std::string("--optimal must be a positive number, not ") + argv[a]);
            has_optimal = true;
        } else if (arg.rfind("--", 0) == 0 || ++positional > 1) {
            unusable("unexpected argument " + arg + "\n" + USAGE);
        } else {
            dir = arg;
        }
    }

    CostMatrix m = read_costs(dir + "/pmeddata.dat");
    int n = m.n, p = m.p;

    std::string solution_path = dir + "/solucao.txt";
    FILE *f = fopen(solution_path.c_str(), "r");
    if (!f) unusable("cannot open " + solution_path + ": " + strerror(errno));
    skip_byte_order_mark(f);
    std::vector<std::string> lines;
    {
        std::string line;
        int c;
        while ((c = fgetc(f)) != EOF) {
            if (c == '\n') {
                lines.push_back(line);
                line.clear();
            } else {
                line += (char)c;
            }
        }
        if (!line.empty()) lines.push_back(line);
        int error = ferror(f) ? errno : 0;
        fclose(f);
        if (error) unusable("cannot read " + solution_path + ": " + strerror(error));
    }

    // Layout: assignment lines "median client cost", the end marker
    // 9999999, the status, the medians, then nothing but blank lines.
    std::vector<Assignment> assignments;
    size_t l = 0;
    for (;; ++l) {
        if (l == lines.size()) violation("no end marker 9999999");
        std::vector<std::string> fields = fields_of(lines[l]);
        if (fields.size() == 1 && fields[0] == "9999999") break;
        Assignment a;
        a.line = (int)l + 1;
        if (fields.size() != 3 || !parse_int(fields[0], a.median) || !parse_int(fields[1], a.client))
            violation(at_line(a.line) + "\"median client cost\" expected, found \"" + lines[l] + "\"");
        a.cost_text = fields[2];
        assignments.push_back(a);
    }
    int status;
    if (l + 1 >= lines.size()) violation("no status line after the end marker");
    std::vector<std::string> status_fields = fields_of(lines[l + 1]);
    if (status_fields.size() != 1 || !parse_int(status_fields[0], status) || status < 0 || status > 2)
        violation(at_line((int)l + 2) + "status 0, 1 or 2 expected, found \"" + lines[l + 1] + "\"");
    if (l + 2 >= lines.size()) violation("no medians line after the status");
    int medians_line = (int)l + 3;
    std::vector<std::string> median_fields = fields_of(lines[l + 2]);
    for (size_t k = l + 3; k < lines.size(); ++k)
        if (!fields_of(lines[k]).empty())
            violation(at_line((int)k + 1) + "unexpected text after the medians line");

    // The medians: p distinct vertices.
    if ((int)median_fields.size() != p)
        violation(at_line(medians_line) + std::to_string(median_fields.size()) + " medians listed, p = " +
                  std::to_string(p));
    std::vector<bool> is_median(n, false);
    for (const std::string &field : median_fields) {
        int v;
        if (!parse_int(field, v) || v < 0 || v >= n)
            violation(at_line(medians_line) + "median \"" + field + "\" is not a vertex 0.." +
                      std::to_string(n - 1));
        if (is_median[v]) violation(at_line(medians_line) + "median " + field + " listed twice");
        is_median[v] = true;
    }

    // Every assignment: to a median, of a client not yet assigned, with the
    // instance's cost.
    std::vector<int> assigned_on(n, 0);
    double total = 0.0;
    for (const Assignment &a : assignments) {
        std::string where = at_line(a.line);
        if (a.median < 0 || a.median >= n || !is_median[a.median])
            violation(where + "vertex " + std::to_string(a.median) + " is not a median");
        if (a.client < 0 || a.client >= n)
            violation(where + "client " + std::to_string(a.client) + " is not a vertex 0.." +
                      std::to_string(n - 1));
        if (is_median[a.client])
            violation(where + "median " + std::to_string(a.client) + " is assigned as a client");
        if (assigned_on[a.client])
            violation(where + "client " + std::to_string(a.client) + " assigned twice (also on line " +
                      std::to_string(assigned_on[a.client]) + ")");
        assigned_on[a.client] = a.line;
        float c = m.cost[(size_t)a.median * n + a.client];
        char expected[64];
        snprintf(expected, sizeof expected, "%.2f", (double)c);
        if (a.cost_text != expected)
            violation(where + "cost " + a.cost_text + " for client " + std::to_string(a.client) +
                      " at median " + std::to_string(a.median) + ", the instance gives " + expected);
        total += (double)c;
    }
    for (int v = 0; v < n; ++v)
        if (!is_median[v] && !assigned_on[v]) violation("client " + std::to_string(v) + " is not assigned");

    printf("valid: n = %d, p = %d, status %d\n", n, p, status);
    printf("cost %.2f\n", total);
    if (has_optimal) printf("gap %.4f %% to optimal %.2f\n", 100.0 * (total - optimal) / optimal, optimal);
    return 0;
}
