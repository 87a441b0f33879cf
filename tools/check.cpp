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
#include <cfloat>
#include <cstdio>
#include <string>

#include "command_line.h"
#include "solution.h"

int main(int argc, char **argv) {
    std::string dir = ".";
    std::string solution_name = "solucao.txt";
    double optimal = 0.0;
    CommandLine cli("pmedian-check", "Verifies the solution file of a solved folder against its instance and prints "
                                     "its cost, recomputed in double precision.",
                    "Exit status: 0 a valid solution; 1 an invalid one (the first fault is named); 2 a wrong command "
                    "line, or an instance or solution file that cannot be read.");
    cli.text("DIR", dir, "DIR", "folder with pmeddata.dat and solucao.txt (default .)");
    CLI::Option *has_optimal =
        cli.number("--optimal", optimal, "V", DBL_TRUE_MIN, DBL_MAX, "a positive number",
                   "also print the gap of the solution's cost to V, in percent");
    cli.text("--solution", solution_name, "FILE",
             "check DIR/FILE instead of DIR/solucao.txt (such as solucao_exata.txt)");
    if (int status = cli.parse(argc, argv); status >= 0) return status;

    try {
        std::string instance_dir;
        CostMatrix m = read_folder_costs(dir, instance_dir);
        Solution s = read_solution(dir + "/" + solution_name, m);
        printf("valid: n = %d, p = %d, status %d%s\n", m.n, m.p, s.status, s.status == 3 ? " (stopped by a limit)" : "");
        printf("cost %.2f\n", s.cost);
        if (*has_optimal) printf("gap %.4f %% to optimal %.2f\n", 100.0 * (s.cost - optimal) / optimal, optimal);
    } catch (const InvalidSolution &e) {
        fprintf(stderr, "pmedian-check: INVALID: %s\n", e.what());
        return 1;
    } catch (const ToolError &e) {
        fprintf(stderr, "pmedian-check: %s\n", e.what());
        return 2;
    }
    return 0;
}
