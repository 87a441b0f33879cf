// solution.cpp - see solution.h.
//
// The costs are read with fscanf "%f" into floats, exactly as the solver
// reads them, so every comparison is with the values the solver worked
// with; the cost of a solution is summed in double precision.  A solution
// file is read whole and checked rule by rule, and the first rule broken is
// named with its line.
#include "solution.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sstream>

#include "sweep_record.h"
#include "text_input.h"

const char *const SUMMARY_FILE_NAME = "summary.txt";

[[noreturn]] static void violation(const std::string &message) { throw InvalidSolution(message); }
[[noreturn]] static void unusable(const std::string &message) { throw ToolError(message); }

CostMatrix read_cost_file(const std::string &path) {
    FILE *f = fopen(path.c_str(), "r");
    if (!f) unusable("cannot open " + path + ": " + strerror(errno));
    skip_byte_order_mark(f);
    CostMatrix m;
    if (fscanf(f, "%d %d", &m.n, &m.p) != 2) {
        fclose(f);
        unusable(path + ": header \"n p\" unreadable");
    }
    if (m.n < 1 || m.p < 1 || m.p > m.n || m.n > 100000) {
        fclose(f);
        unusable(path + ": bad sizes n = " + std::to_string(m.n) + ", p = " + std::to_string(m.p));
    }
    long long expected = (long long)m.n * (m.n - 1);
    long long got = 0;
    // k numbers take at least 2k - 1 characters, so a file shorter than that
    // cannot hold them all: count what it has without claiming n^2 floats
    // for a header that promises more than the file gives.
    struct stat st;
    if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size / 2 + 1 < expected) {
        float value;
        while (got < expected && fscanf(f, "%f", &value) == 1) ++got;
    } else {
        m.cost.assign((size_t)m.n * m.n, 0.0f);
        for (int i = 0; i < m.n; ++i)
            for (int j = 0; j < m.n; ++j)
                if (j != i) {
                    if (fscanf(f, "%f", &m.cost[(size_t)i * m.n + j]) != 1) goto done;
                    ++got;
                }
    }
done:
    fclose(f);
    if (got < expected)
        unusable(path + ": only " + std::to_string(got) + " of " + std::to_string(expected) + " costs readable");
    return m;
}

CostMatrix read_folder_costs(const std::string &dir, std::string &instance_dir) {
    InstanceLocation where = locate_instance(dir);
    instance_dir = where.dir;
    CostMatrix m = read_cost_file(where.dir + "/pmeddata.dat");
    if (where.p > m.n)
        unusable(dir + ": p = " + std::to_string(where.p) + " of the sweep's run exceeds n = " + std::to_string(m.n));
    if (where.p) m.p = where.p;
    return m;
}

std::vector<float> read_distance_file(const std::string &path, int n) {
    FILE *f = fopen(path.c_str(), "r");
    if (!f) unusable("cannot open " + path + ": " + strerror(errno));
    skip_byte_order_mark(f);
    std::vector<float> d((size_t)n * n, 0.0f);
    float radius;
    bool ok = fscanf(f, "%*d %*d %f", &radius) == 1;
    for (int i = 0; ok && i < n; ++i)
        for (int j = i + 1; ok && j < n; ++j) {
            ok = fscanf(f, "%f", &d[(size_t)i * n + j]) == 1;
            d[(size_t)j * n + i] = d[(size_t)i * n + j];
        }
    fclose(f);
    if (!ok) unusable(path + ": fewer distances than an instance of " + std::to_string(n) + " vertices has");
    return d;
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

Solution read_solution(const std::string &path, const CostMatrix &m) {
    int n = m.n, p = m.p;
    FILE *f = fopen(path.c_str(), "r");
    if (!f) unusable("cannot open " + path + ": " + strerror(errno));
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
        if (error) unusable("cannot read " + path + ": " + strerror(error));
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
    Solution s;
    if (l + 1 >= lines.size()) violation("no status line after the end marker");
    std::vector<std::string> status_fields = fields_of(lines[l + 1]);
    if (status_fields.size() != 1 || !parse_int(status_fields[0], s.status) || s.status < 0 || s.status > 3)
        violation(at_line((int)l + 2) + "status 0, 1, 2 or 3 expected, found \"" + lines[l + 1] + "\"");
    if (l + 2 >= lines.size()) violation("no medians line after the status");
    int medians_line = (int)l + 3;
    std::vector<std::string> median_fields = fields_of(lines[l + 2]);
    for (size_t k = l + 3; k < lines.size(); ++k)
        if (!fields_of(lines[k]).empty()) violation(at_line((int)k + 1) + "unexpected text after the medians line");

    // The medians: p distinct vertices.
    if ((int)median_fields.size() != p)
        violation(at_line(medians_line) + std::to_string(median_fields.size()) + " medians listed, p = " +
                  std::to_string(p));
    s.median_of.assign(n, -1);
    for (const std::string &field : median_fields) {
        int v;
        if (!parse_int(field, v) || v < 0 || v >= n)
            violation(at_line(medians_line) + "median \"" + field + "\" is not a vertex 0.." + std::to_string(n - 1));
        if (s.median_of[v] >= 0) violation(at_line(medians_line) + "median " + field + " listed twice");
        s.median_of[v] = v;
        s.medians.push_back(v);
    }

    // Every assignment: to a median, of a client not yet assigned, with the
    // instance's cost.
    std::vector<int> assigned_on(n, 0);
    for (const Assignment &a : assignments) {
        std::string where = at_line(a.line);
        if (a.median < 0 || a.median >= n || s.median_of[a.median] != a.median)
            violation(where + "vertex " + std::to_string(a.median) + " is not a median");
        if (a.client < 0 || a.client >= n)
            violation(where + "client " + std::to_string(a.client) + " is not a vertex 0.." + std::to_string(n - 1));
        if (s.median_of[a.client] == a.client)
            violation(where + "median " + std::to_string(a.client) + " is assigned as a client");
        if (assigned_on[a.client])
            violation(where + "client " + std::to_string(a.client) + " assigned twice (also on line " +
                      std::to_string(assigned_on[a.client]) + ")");
        assigned_on[a.client] = a.line;
        float c = m.cost[(size_t)a.median * n + a.client];
        char expected[64];
        snprintf(expected, sizeof expected, "%.2f", (double)c);
        if (a.cost_text != expected)
            violation(where + "cost " + a.cost_text + " for client " + std::to_string(a.client) + " at median " +
                      std::to_string(a.median) + ", the instance gives " + expected);
        s.median_of[a.client] = a.median;
        s.cost += (double)c;
    }
    for (int v = 0; v < n; ++v)
        if (s.median_of[v] < 0) violation("client " + std::to_string(v) + " is not assigned");
    return s;
}

bool parse_summary(const std::string &text, Summary &summary) {
    struct Field {
        const char *label;
        double *real;
        int *integer;
        bool seen;
    } fields[] = {
        {"Iteracoes", nullptr, &summary.iterations, false},   {"UB", &summary.UB, nullptr, false},
        {"LB", &summary.LB, nullptr, false},                  {"ZD", &summary.ZD, nullptr, false},
        {"ZP", &summary.ZP, nullptr, false},                  {"Pi", &summary.Pi, nullptr, false},
        {"TFator", &summary.TFator, nullptr, false},          {"Solucoes viaveis", nullptr, &summary.feasible_count, false},
        {"Total CPU Time", &summary.cpu_time, nullptr, false}, {"Status da solucao", nullptr, &summary.status, false},
    };
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        // "LABEL ....... value": the label ends where the dots begin.
        size_t dots = line.find(" ..");
        if (dots == std::string::npos) continue;
        std::string label = line.substr(0, dots);
        std::vector<std::string> rest = fields_of(line.substr(dots));
        if (rest.size() != 2) continue;
        for (Field &field : fields) {
            if (label != field.label || field.seen) continue;
            if (field.real) {
                char *end = nullptr;
                *field.real = strtod(rest[1].c_str(), &end);
                field.seen = *end == '\0' && end != rest[1].c_str();
            } else {
                field.seen = parse_int(rest[1], *field.integer);
            }
        }
    }
    for (const Field &field : fields)
        if (!field.seen) return false;
    return true;
}

bool gap_percent(const Summary &summary, double &gap) {
    // 99899998208 is the solver's bound before any solution was found.
    if (!(summary.UB > 0) || summary.UB >= 99899998208.0 || !std::isfinite(summary.LB)) return false;
    gap = 100.0 * (summary.UB - summary.LB) / summary.UB;
    return true;
}

const char *status_meaning(int status) {
    return status == 1   ? "UB - LB <= 1"
           : status == 0 ? "relaxation feasible"
           : status == 3 ? "stopped by a limit"
                         : "step limit";
}

SolvedFolder read_solved_folder(const std::string &dir, const std::string &summary_path,
                                const std::string &solution_name) {
    SolvedFolder folder;
    folder.costs = read_folder_costs(dir, folder.instance_dir);
    folder.solution = read_solution(dir + "/" + solution_name, folder.costs);
    folder.info = read_side_file(folder.instance_dir, folder.costs.n);

    std::string path = summary_path;
    if (path.empty() && solution_name == "solucao.txt" && path_exists(dir + "/" + SUMMARY_FILE_NAME))
        path = dir + "/" + SUMMARY_FILE_NAME;
    if (path.empty()) return folder;
    if (!parse_summary(read_text_file(path), folder.summary))
        tool_fail("%s: not the solver's complete console summary (the ten labelled values)", path.c_str());
    // The summary must come from the run that wrote this solution file: the
    // same status, and UB the same cost, summed in float by the solver.
    const Summary &s = folder.summary;
    double cost = folder.solution.cost;
    double tolerance = 0.01 + 1e-7 * folder.costs.n * std::fabs(cost);
    if (s.status != folder.solution.status || !(std::fabs(s.UB - cost) <= tolerance))
        tool_fail("%s does not belong to this solution: it reports UB %.2f and status %d, %s costs %.2f "
                  "with status %d (run the solver again, saving its output)",
                  path.c_str(), s.UB, s.status, solution_name.c_str(), cost, folder.solution.status);
    folder.has_summary = true;
    return folder;
}

int report_failure(const char *program, const std::exception &e) {
    if (dynamic_cast<const std::bad_alloc *>(&e))
        fprintf(stderr, "%s: not enough memory for this instance\n", program);
    else
        fprintf(stderr, "%s: %s%s\n", program, dynamic_cast<const InvalidSolution *>(&e) ? "invalid solution: " : "",
                e.what());
    return 1;
}
