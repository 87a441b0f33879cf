// solution.h - reading what the solver read and wrote: the costs of
// "pmeddata.dat", the distances of "pmedmtrx.dat", the solution file
// "solucao.txt" and the console summary; and a solved folder as a whole.
#ifndef PMEDIAN_TOOLS_SOLUTION_H
#define PMEDIAN_TOOLS_SOLUTION_H

#include <string>
#include <vector>

#include "side_file.h"
#include "tool_error.h"

// A solution file that breaks the rules of a p-median solution, as opposed
// to a file that cannot be read (plain ToolError).
struct InvalidSolution : ToolError {
    using ToolError::ToolError;
};

struct CostMatrix {
    int n = 0;
    int p = 0;
    std::vector<float> cost;  // cost[i * n + j]: client j served from median i
};

// Reads "pmeddata.dat" the way the solver does: "%d %d", then the n(n-1)
// off-diagonal costs row by row with "%f".  A file that is short or whose
// sizes the solver would refuse is a ToolError.
CostMatrix read_cost_file(const std::string &path);

// The costs of the instance of a folder: its own "pmeddata.dat", or for a
// run of pmedian-sweep the file of the instance folder it was made from,
// with the run's p (sweep_record.h).  instance_dir is set to the folder
// that holds the instance files.
CostMatrix read_folder_costs(const std::string &dir, std::string &instance_dir);

// The n x n distances of "pmedmtrx.dat" (the strict upper triangle after the
// header "n p radius", read with "%f" and mirrored).
std::vector<float> read_distance_file(const std::string &path, int n);

struct Solution {
    int status = 0;              // 0, 1, 2 as the run ended by itself; 3 stopped by a limit (pmedian-solve)
    std::vector<int> medians;    // in the order of the medians line
    std::vector<int> median_of;  // per vertex: its median, itself for a median
    double cost = 0.0;           // the assignment costs summed in double
};

// Reads "solucao.txt" and checks it against the costs: p distinct medians,
// every other vertex assigned once to one of them with the cost the instance
// gives, as the solver prints it ("%.2f" of the float).  Throws
// InvalidSolution for the first rule broken, ToolError when the file cannot
// be read.
Solution read_solution(const std::string &path, const CostMatrix &costs);

// The ten values of the solver's console summary.
struct Summary {
    int iterations = 0;
    double UB = 0, LB = 0, ZD = 0, ZP = 0, Pi = 0, TFator = 0;
    int feasible_count = 0;
    double cpu_time = 0;
    int status = 0;
};

// Reads a summary from the solver's standard output; returns false unless
// all ten labelled values are there.
bool parse_summary(const std::string &text, Summary &summary);

// The gap (UB - LB) / UB in percent; false when UB is no solution's cost.
bool gap_percent(const Summary &summary, double &gap);

// What the solver's status says, for the tables and titles, always shown
// beside the relative gap: status 1 only means UB - LB <= 1, whatever the
// scale of the costs, so it is never called closed.
const char *status_meaning(int status);

// The file name under which the tools keep the solver's standard output.
extern const char *const SUMMARY_FILE_NAME;

// A solved instance folder: the costs, the checked solution, the side file
// and, when summary_path names one or the folder holds "summary.txt", the
// solver's summary, which must belong to this solution (same status, UB
// equal to the cost up to float rounding).
struct SolvedFolder {
    std::string instance_dir;  // the folder that holds the instance files
    CostMatrix costs;
    Solution solution;
    VertexInfo info;
    bool has_summary = false;
    Summary summary;
};
// solution_name is the solution file in dir: solucao.txt, or another one in
// its format such as pmedian-exact's solucao_exata.txt.  DIR/summary.txt is
// taken as the summary only for solucao.txt, the file it belongs to.
SolvedFolder read_solved_folder(const std::string &dir, const std::string &summary_path,
                                const std::string &solution_name = "solucao.txt");

// Prints a failure of such a tool (bad input, an invalid solution, memory)
// on standard error after the program's name; returns the exit status 1.
int report_failure(const char *program, const std::exception &e);

#endif
