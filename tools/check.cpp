// check.cpp - pmedian-check: verifies a solution file against its instance
// and recomputes the solution's cost.
//
// A valid "solucao.txt" lists p distinct medians, assigns every other vertex
// exactly once to one of them, and gives for each assignment the cost that
// the instance holds for it, as the solver writes it ("%.2f" of the float).
// Its status is that of a run that ended by itself (0, 1, 2) or, from
// pmedian-solve, 3 for one that a limit stopped with its best solution.
// The reading and the rules are in solution.cpp, shared with the tools that
// turn a solution into tables and maps.
//
// Exit status: 0 for a valid solution, 1 for a violation (the first one found
// is named), 2 for a wrong command line or a file that cannot be read (the
// instance, or the solution file: then nothing could be checked).  A
// byte-order mark at the start of either file is skipped.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "solution.h"
#include "version.h"

static const char *USAGE =
    "usage: pmedian-check [DIR] [--optimal V] [--solution FILE]\n"
    "  DIR              folder with pmeddata.dat and solucao.txt (default .)\n"
    "  --optimal V      also print the gap of the solution's cost to V, in percent\n"
    "  --solution FILE  check DIR/FILE instead of DIR/solucao.txt (such as solucao_exata.txt)\n";

[[noreturn]] static void unusable(const std::string &message) {
    fprintf(stderr, "pmedian-check: %s\n", message.c_str());
    exit(2);
}

int main(int argc, char **argv) {
    std::string dir = ".";
    std::string solution_name = "solucao.txt";
    bool has_optimal = false;
    double optimal = 0.0;
    int positional = 0;
    for (int a = 1; a < argc; ++a) {
        std::string arg = argv[a];
        if (arg == "-h" || arg == "--help") {
            fputs(USAGE, stdout);
            return 0;
        } else if (arg == "--version") {
            print_version("pmedian-check");
            return 0;
        } else if (arg == "--optimal") {
            if (a + 1 >= argc) unusable(std::string("missing value for --optimal\n") + USAGE);
            char *end = nullptr;
            optimal = strtod(argv[++a], &end);
            if (*argv[a] == '\0' || *end != '\0' || !std::isfinite(optimal) || optimal <= 0)
                unusable(std::string("--optimal must be a positive number, not ") + argv[a]);
            has_optimal = true;
        } else if (arg == "--solution") {
            if (a + 1 >= argc || !*argv[a + 1]) unusable(std::string("missing file name for --solution\n") + USAGE);
            solution_name = argv[++a];
        } else if (arg.rfind("--", 0) == 0 || ++positional > 1) {
            unusable("unexpected argument " + arg + "\n" + USAGE);
        } else {
            dir = arg;
        }
    }

    try {
        CostMatrix m = read_cost_file(dir + "/pmeddata.dat");
        Solution s = read_solution(dir + "/" + solution_name, m);
        printf("valid: n = %d, p = %d, status %d%s\n", m.n, m.p, s.status, s.status == 3 ? " (stopped by a limit)" : "");
        printf("cost %.2f\n", s.cost);
        if (has_optimal) printf("gap %.4f %% to optimal %.2f\n", 100.0 * (s.cost - optimal) / optimal, optimal);
    } catch (const InvalidSolution &e) {
        fprintf(stderr, "pmedian-check: INVALID: %s\n", e.what());
        return 1;
    } catch (const ToolError &e) {
        unusable(e.what());
    }
    return 0;
}
