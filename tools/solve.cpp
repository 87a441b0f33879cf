// solve.cpp - pmedian-solve: the solver as a command with a command line, a
// progress log, an English summary and an exit status that scripts can trust,
// over the public library API (pmedian/pmedian.hpp) alone.
//
// It solves the instance of a folder (default: the working folder) exactly as
// the classic pmedian program does and writes solucao.txt there in the same
// format through the same safe write, so a run that ends by itself gives the
// same file byte for byte.  --time-limit, --gap and an interrupt (Ctrl-C, or
// SIGTERM) end a run early with the best solution found so far; the solution
// file then carries status 3.
//
// Progress goes to standard error: on a terminal one line, redrawn at most
// four times a second; elsewhere one plain line every few seconds and at each
// new best upper bound.  The summary goes to standard output.
//
// Exit status: 0 when the run ended by itself or reached --gap, 3 when the
// time limit or an interrupt stopped it (the best solution is written), 1
// when the instance could not be read or solved or an output not written, 2
// for a wrong command line.
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <pmedian/pmedian.hpp>

#include "command_line.h"
#include "output_files.h"
#include "progress_log.h"
#include "tool_error.h"

namespace {

const char *const PROGRAM = "pmedian-solve";

// The solver's upper bound before it has found any solution.
const double NO_SOLUTION = 99899998208.0;

// Every value the solver computes is a float; so is every number of the JSON
// report, written in the shortest text that reads back as the same float.
using Json =
    nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool, std::int64_t, std::uint64_t, float>;

volatile std::sig_atomic_t interrupted = 0;

void on_interrupt(int) { interrupted = 1; }

// A second Ctrl-C ends the program at once.
void catch_interrupts() {
    struct sigaction action = {};
    action.sa_handler = on_interrupt;
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Settings {
    std::string dir = ".";
    double time_limit = 0;  // seconds, 0 for none
    double gap = 0;         // percent, 0 for none
    int threads = 0;
    std::string json;
    bool quiet = false;
};

// The progress log on standard error; an interrupt stops the run.
class InterruptibleLog : public ProgressLog {
public:
    using ProgressLog::ProgressLog;
    bool update(const pmedian::Progress &now) {
        ProgressLog::update(now);
        return !interrupted;
    }
};

const char *reason_name(pmedian::StopReason reason) {
    switch (reason) {
    case pmedian::StopReason::relaxation_feasible: return "relaxation_feasible";
    case pmedian::StopReason::bounds_within_one: return "bounds_within_one";
    case pmedian::StopReason::step_exhausted: return "step_exhausted";
    case pmedian::StopReason::gap_reached: return "gap_reached";
    case pmedian::StopReason::time_limit: return "time_limit";
    case pmedian::StopReason::stopped: return "interrupted";
    }
    return "?";
}

// Why the run ended, in words, with what that means for the solution.
std::string ending(const pmedian::Result &r, const Settings &settings) {
    char gap[64] = "";
    if (r.found) snprintf(gap, sizeof gap, "relative gap %.4f %%", 100.0 * r.relative_gap());
    char text[256];
    switch (r.stop_reason) {
    case pmedian::StopReason::relaxation_feasible:
    case pmedian::StopReason::bounds_within_one:
        snprintf(text, sizeof text, "%s, status %d", pmedian::describe(r.stop_reason), r.status);
        break;
    case pmedian::StopReason::step_exhausted:
        snprintf(text, sizeof text, "%s, status 2: the normal end of a run, %s", pmedian::describe(r.stop_reason), gap);
        break;
    case pmedian::StopReason::gap_reached:
        snprintf(text, sizeof text, "%s, status 3: %s, at most --gap %g %%", pmedian::describe(r.stop_reason), gap,
                 settings.gap);
        break;
    case pmedian::StopReason::time_limit:
        snprintf(text, sizeof text, "%s of %g s, status 3: stopped with the best solution so far, %s",
                 pmedian::describe(r.stop_reason), settings.time_limit, gap);
        break;
    case pmedian::StopReason::stopped:
        snprintf(text, sizeof text, "interrupted, status 3: stopped with the best solution so far, %s", gap);
        break;
    }
    return text;
}

void print_summary(const pmedian::Result &r, const Settings &settings, const pmedian::Instance &instance,
                   const std::string &solution_file, double read_seconds) {
    printf("Instance            %s: n = %d, p = %d\n", settings.dir.c_str(), instance.n, instance.p);
    printf("Ended               %s\n", ending(r, settings).c_str());
    if (r.found)
        printf("Upper bound         %.2f (cost of the best solution)\n", r.upper_bound);
    else
        printf("Upper bound         none: no solution was found\n");
    printf("Lower bound         %.2f\n", r.lower_bound);
    if (r.found)
        printf("Gap                 %.2f absolute, %.4f %% relative\n", r.upper_bound - r.lower_bound,
               100.0 * r.relative_gap());
    printf("Iterations          %d\n", r.iterations);
    printf("Feasible solutions  %d\n", r.feasible_solutions);
    printf("CPU time            %.2f s\n", r.cpu_time);
    printf("Wall time           %.2f s, %.2f s of it reading the instance\n", read_seconds + r.wall_time, read_seconds);
    if (r.medians.size() <= 20) {
        printf("Medians            ");
        for (int m : r.medians) printf(" %d", m);
        printf("\n");
    } else {
        printf("Medians             %zu, listed in the solution file\n", r.medians.size());
    }
    printf("Solution file       %s%s\n", solution_file.c_str(), r.found ? "" : " (it describes no solution)");
    if (!settings.json.empty()) printf("JSON report         %s\n", settings.json.c_str());
    fflush(stdout);
}

Json json_report(const pmedian::Result &r, const Settings &settings, const pmedian::Instance &instance,
                 const std::string &solution_file, double read_seconds, int exit_status) {
    auto optional = [](double value) { return value > 0 ? Json((float)value) : Json(nullptr); };
    std::vector<float> dual, lower, upper;
    for (size_t k = 0; k + 2 < r.history.size(); k += 3) {
        dual.push_back(r.history[k]);
        lower.push_back(r.history[k + 1]);
        upper.push_back(r.history[k + 2]);
    }
    Json j;
    j["program"] = PROGRAM;
    j["version"] = pmedian::version();
    j["folder"] = settings.dir;
    j["solution_file"] = solution_file;
    j["n"] = instance.n;
    j["p"] = instance.p;
    j["options"] = {{"time_limit", optional(settings.time_limit)},
                    {"gap_percent", optional(settings.gap)},
                    {"threads", settings.threads > 0 ? Json(settings.threads) : Json(nullptr)}};
    j["exit_status"] = exit_status;
    j["status"] = r.status;
    j["stop_reason"] = reason_name(r.stop_reason);
    j["stop_reason_text"] =
        r.stop_reason == pmedian::StopReason::stopped ? "interrupted" : pmedian::describe(r.stop_reason);
    j["stopped_by_limit"] = r.status == 3;
    j["found"] = r.found;
    j["upper_bound"] = (float)r.upper_bound;
    j["lower_bound"] = (float)r.lower_bound;
    j["absolute_gap"] = r.found ? Json((float)(r.upper_bound - r.lower_bound)) : Json(nullptr);
    j["relative_gap"] = r.found ? Json((float)r.relative_gap()) : Json(nullptr);
    j["iterations"] = r.iterations;
    j["feasible_solutions"] = r.feasible_solutions;
    j["cpu_time"] = (float)r.cpu_time;
    j["wall_time"] = (float)r.wall_time;
    j["read_time"] = (float)read_seconds;
    j["dual_value"] = (float)r.dual_value;
    j["primal_value"] = (float)r.primal_value;
    j["step"] = (float)r.step;
    j["factor"] = (float)r.factor;
    j["medians"] = r.medians;
    j["assignment"] = r.assignment;
    j["client_cost"] = r.client_cost;
    j["history"] = {{"dual_value", dual}, {"lower_bound", lower}, {"upper_bound", upper}};
    j["summary"] = r.summary;
    j["warnings"] = r.warnings;
    return j;
}

void print_warnings(const std::vector<std::string> &warnings) {
    for (const std::string &w : warnings) fprintf(stderr, "%s: warning: %s\n", PROGRAM, w.c_str());
}

// A failure of the library: its own message, then what it means here.
int failed(const pmedian::Error &e, const std::string &what) {
    fprintf(stderr, "%s: %s\n%s: %s\n", PROGRAM, e.what(), PROGRAM, what.c_str());
    return 1;
}

// What kept the instance of a folder from being read: a file that cannot be
// opened, or else the file that the reader's message names.
std::string unreadable(const pmedian::Error &e, const std::string &dir, const std::string &data_file,
                       const std::string &matrix_file) {
    for (const std::string &file : {data_file, matrix_file}) {
        FILE *f = fopen(file.c_str(), "r");
        if (!f)
            return "cannot read the instance in the folder " + dir + ": cannot open " + file + ": " + strerror(errno);
        fclose(f);
    }
    bool matrix = std::string(e.what()).find("pmedmtrx.dat") != std::string::npos;
    return "cannot read the instance in the folder " + dir + ": " + (matrix ? matrix_file : data_file) +
           " is not a usable instance file";
}

int run(const Settings &settings) {
    const auto started = std::chrono::steady_clock::now();
    const std::string &dir = settings.dir;
    const std::string data_file = dir + "/pmeddata.dat", matrix_file = dir + "/pmedmtrx.dat";
    const std::string solution_file = dir + "/solucao.txt";

    pmedian::Instance instance;
    try {
        instance = pmedian::read_instance(data_file, matrix_file);
    } catch (const pmedian::Error &e) {
        return failed(e, unreadable(e, dir, data_file, matrix_file));
    }
    print_warnings(instance.warnings);
    const double read_seconds = seconds_since(started);

    InterruptibleLog log(settings.quiet, settings.time_limit, read_seconds);
    pmedian::Options options;
    options.progress = [&log](const pmedian::Progress &now) { return log.update(now); };
    // The limit counts from the start, reading included; the solver always
    // completes one iteration, so that a solution exists.
    if (settings.time_limit > 0) options.time_limit = std::max(settings.time_limit - read_seconds, 1e-9);
    options.gap = settings.gap / 100.0;
    options.threads = settings.threads;
    options.solution_file = solution_file;

    catch_interrupts();
    pmedian::Result result;
    try {
        result = pmedian::solve(instance, options);
    } catch (const pmedian::Error &e) {
        log.finish();
        if (std::string(e.what()).find(solution_file) != std::string::npos)
            return failed(e, "cannot write the solution file " + solution_file + ": " + strerror(e.error_number()));
        return failed(e, "cannot solve the instance in the folder " + dir);
    }
    log.finish();
    print_warnings(result.warnings);

    int exit_status = result.status == 3 && result.stop_reason != pmedian::StopReason::gap_reached ? 3 : 0;
    if (!result.found) exit_status = 1;
    if (!settings.json.empty()) {
        try {
            std::string text =
                json_report(result, settings, instance, solution_file, read_seconds, exit_status).dump(1) + "\n";
            write_files({{settings.json, text}});
        } catch (const ToolError &e) {
            fprintf(stderr, "%s: %s\n", PROGRAM, e.what());
            exit_status = 1;
        }
    }
    print_summary(result, settings, instance, solution_file, read_seconds);
    if (!result.found)
        fprintf(stderr, "%s: no solution of cost below %.2f was found for the instance in the folder %s\n", PROGRAM,
                NO_SOLUTION, dir.c_str());
    return exit_status;
}

}  // namespace

int main(int argc, char **argv) {
    Settings settings;
    CommandLine cli(PROGRAM, "Solves the p-median instance in DIR (pmeddata.dat, pmedmtrx.dat) and writes "
                             "DIR/solucao.txt.",
                    "Exit status: 0 the run ended by itself or reached --gap; 3 --time-limit or an interrupt stopped "
                    "it (its best solution is written); 1 the instance could not be read or solved; 2 a wrong "
                    "command line.");
    cli.text("DIR", settings.dir, "DIR", "the instance folder (default: the working folder)");
    cli.number("--time-limit", settings.time_limit, "SECONDS", DBL_TRUE_MIN, 1e9, "a positive number of seconds",
               "stop after SECONDS, with the best solution so far");
    cli.number("--gap", settings.gap, "PERCENT", 0, 1e9, "a percentage 0 or above",
               "stop once (UB - LB) / |UB| is at most PERCENT");
    cli.number("--threads", settings.threads, "N", 1, 4096, "1..4096", "threads of the solve (default: every core)");
    cli.text("--json", settings.json, "FILE", "also write every value of the result to FILE");
    cli.flag("-q,--quiet", settings.quiet, "no progress on standard error");
    if (int status = cli.parse(argc, argv); status >= 0) return status;
    if (settings.dir.empty()) settings.dir = ".";
    while (settings.dir.size() > 1 && settings.dir.back() == '/') settings.dir.pop_back();
    try {
        return run(settings);
    } catch (const std::bad_alloc &) {
        fprintf(stderr, "%s: not enough memory for the instance in the folder %s\n", PROGRAM, settings.dir.c_str());
        return 1;
    }
}
