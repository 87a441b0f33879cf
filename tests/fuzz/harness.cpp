// harness.cpp - see harness.h.
//
// The harness never lets the solver reach one of its fatal paths, which end
// the process: both files are always written, the header is checked with the
// reader's own read_sizes and the size rule before the instance is read, the
// size cap keeps every allocation small, and the folder is writable.  A fatal
// message that still comes is a finding (libFuzzer reports the exit).
#include "harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "solver.h"

using namespace pmedian;

static void write_bytes(const char *name, const uint8_t *data, size_t size) {
    FILE *f = fopen(name, "wb");
    if (!f || (size && fwrite(data, 1, size, f) != size) || fclose(f) != 0) abort();
}

static bool small_valid_header(int &nv, int &pv) {
    FILE *f = fopen("pmeddata.dat", "r");
    if (!f) abort();
    bool ok = read_sizes(f, nv, pv) && nv >= 1 && pv >= 1 && pv <= nv && nv <= FUZZ_MAX_VERTICES;
    fclose(f);
    return ok;
}

std::string solution_problem(const std::string &text, int nv, int pv, bool found) {
    std::istringstream in(text);
    std::string line;
    std::vector<int> medians, clients, median_of_client;
    while (std::getline(in, line) && line != "9999999") {
        int m, c;
        if (sscanf(line.c_str(), "%d %d", &m, &c) != 2) return "unreadable assignment line '" + line + "'";
        if (m < 0 || m >= nv || c < 0 || c >= nv) return "vertex out of range in '" + line + "'";
        median_of_client.push_back(m);
        clients.push_back(c);
    }
    if (line != "9999999") return "no end marker 9999999";
    if (!std::getline(in, line) || (line != "0" && line != "1" && line != "2"))
        return "status line '" + line + "' is not 0, 1 or 2";
    if (!std::getline(in, line)) return "no medians line";
    std::istringstream medians_line(line);
    for (int m; medians_line >> m;) medians.push_back(m);
    if (!medians_line.eof()) return "unreadable medians line '" + line + "'";
    if (std::getline(in, line) || text.back() != '\n') return "text after the medians line";
    if ((int)medians.size() != pv) return "medians line does not hold p vertices";
    if ((int)clients.size() != nv - pv) return "not n - p assignment lines";
    for (int m : medians)
        if (m < 0 || m >= nv) return "median out of range";
    if (!found) return "";

    // Every vertex once: as a median, or as a client of one of the medians.
    std::vector<int> role(nv, 0);  // 1 median, 2 client
    for (int m : medians) {
        if (role[m]) return "median " + std::to_string(m) + " listed twice";
        role[m] = 1;
    }
    for (size_t k = 0; k < clients.size(); ++k) {
        if (role[clients[k]]) return "client " + std::to_string(clients[k]) + " is a median or listed twice";
        if (role[median_of_client[k]] != 1) return "client served by a vertex that is no median";
        role[clients[k]] = 2;
    }
    return "";
}

std::string run_fuzz_input(const uint8_t *data, size_t size) {
    const uint8_t *bar = size ? (const uint8_t *)memchr(data, '|', size) : nullptr;
    size_t data_size = bar ? (size_t)(bar - data) : size;
    write_bytes("pmeddata.dat", data, data_size);
    write_bytes("pmedmtrx.dat", bar ? bar + 1 : data, bar ? size - data_size - 1 : 0);
    remove("solucao.txt");

    int nv = 0, pv = 0;
    if (!small_valid_header(nv, pv)) return "";
    Solver solver;
    solver.read_instance();
    if (solver.n != nv || solver.p != pv) return "the reader took other sizes than its header check";
    solver.solve();
    std::ifstream in("solucao.txt", std::ios::binary);
    if (!in) return "no solution file";
    std::stringstream text;
    text << in.rdbuf();
    return solution_problem(text.str(), nv, pv, solver.UB < INFINITE_COST);
}
