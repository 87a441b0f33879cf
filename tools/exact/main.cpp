// main.cpp - pmedian-exact: proves the optimum of a p-median instance.
//
// usage: pmedian-exact [DIR] [--time-limit S] [--mip cbc|glpk] [--plain]
//
// The instance in DIR is read and bounded by the solver core exactly as the
// pmedian program does (its console summary is printed first); the tool then
// carries the Lagrangian dual further, reduces the instance with the final
// multipliers, and has a MIP solver close the remaining gap from the best
// known solution.  The result goes to "solucao_exata.txt" in the format of
// "solucao.txt", which stays untouched; the status line of that file is 1
// when the solution is proven optimal and 2 otherwise.
//
// Exit status: 0 proven optimal; 1 the instance cannot be read or has costs
// the tool does not take (negative, infinite or NaN); 2 wrong command line;
// 3 the time limit ended the run before the proof; 4 the proof failed (the
// MIP solver failed, its answer did not pass the checks, or memory ran out).
// After 3 and 4 the solution file still holds the best solution known.
#include <unistd.h>

#include <cerrno>
#include <cfloat>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "command_line.h"
#include "exact.h"
#include "progress_log.h"

static const char *SOLUTION_NAME = "solucao_exata.txt";

enum Exit { PROVEN = 0, BAD_INPUT = 1, USAGE = 2, TIME_LIMIT = 3, MIP_FAILED = 4 };

struct Options {
    std::string dir = ".";
    double time_limit = 0;
    const MipSolver *solver = nullptr;
    bool plain = false;
    MipPath path = MipPath::AUTO;
};

// Reads the command line; returns -1 when the program goes on, else the
// status to exit with (0 after --help or --version, 2 after a wrong one).
static int parse(int argc, char **argv, Options &o) {
    std::vector<std::string> names;
    for (const MipSolver &s : mip_solvers()) names.push_back(s.name);
    CommandLine cli("pmedian-exact",
                    "Proves the optimum of the instance in DIR: the core's Lagrangian bound, carried on, a "
                    "reduction and a MIP solver close the gap; the answer goes to solucao_exata.txt.",
                    "0 proven optimal, 1 the instance cannot be read or has costs the proof does not take, "
                    "2 wrong command line, 3 the time limit ended the run first, 4 the proof failed.");
    std::string mip = names.empty() ? "" : names[0];
    cli.text("DIR", o.dir, "DIR", "folder with pmeddata.dat and pmedmtrx.dat (default .)");
    cli.number("--time-limit", o.time_limit, "S", DBL_TRUE_MIN, DBL_MAX, "a positive number of seconds",
               "stop after S seconds of wall time with the best bound (default: none)");
    if (!names.empty()) cli.choice("--mip", mip, names, "NAME", "the MIP solver (default " + names[0] + ")");
    std::string path = "auto";
    cli.choice("--model", path, {"auto", "radius", "benders"}, "NAME",
               "what the MIP solves: the radius model, its Benders decomposition (CBC), or either by the model's "
               "size (default auto)");
    cli.flag("--plain", o.plain, "solve the classic model of the whole instance, without the bound or the "
                                 "reduction (for comparison)");
    if (int status = cli.parse(argc, argv); status >= 0) return status;
    if (names.empty()) return cli.wrong("this build has no MIP solver");
    for (const MipSolver &s : mip_solvers())
        if (mip == s.name) o.solver = &s;
    o.path = path == "radius" ? MipPath::RADIUS : path == "benders" ? MipPath::BENDERS : MipPath::AUTO;
    // The decomposition runs on CBC alone; taking it under another solver's
    // name would report CBC's work as that solver's.
    if (o.path == MipPath::BENDERS && !o.plain && (!have_benders() || mip != "cbc"))
        return cli.wrong("--model benders needs --mip cbc");
    return -1;
}

// The program accepts any cost; the proof needs finite costs of 0 or more
// (a negative cost could make a median cheaper served than serving itself).
static void refuse_unusable_costs(const pmedian::Solver &s) {
    const int n = s.n;
    float *const *cost = s.cost;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            if (!std::isfinite(cost[i][j]) || cost[i][j] < 0) {
                fprintf(stderr,
                        "pmedian-exact: cost[%d][%d] = %g: the exact solution needs finite costs of 0 or more\n",
                        i, j, (double)cost[i][j]);
                exit(BAD_INPUT);
            }
}

// The solution file, with the medians first in the arrangement; its status
// line is 1 for a proven optimum and 2 otherwise.
static void write_answer(pmedian::Solver &s, const std::vector<int> &medians, bool proven) {
    const int n = s.n;
    int *best = s.best;
    std::vector<char> is_median(n, 0);
    int k = 0;
    for (int i : medians) {
        is_median[i] = 1;
        best[k++] = i;
    }
    for (int i = 0; i < n; ++i)
        if (!is_median[i]) best[k++] = i;
    s.status = proven ? pmedian::STATUS_GAP_CLOSED : pmedian::STATUS_STEP_EXHAUSTED;
    s.write_solution_file(SOLUTION_NAME);
}

static void line(const char *label, const char *format, ...) __attribute__((format(printf, 2, 3)));
static void line(const char *label, const char *format, ...) {
    printf("%-24s", *label ? (std::string(label) + ":").c_str() : "");
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    printf("\n");
}

static void report_size(const char *label, const ModelSize &s) {
    line(label, "%lld rows, %lld columns, %lld nonzeros", s.rows, s.columns, s.nonzeros);
}

// The solver names of this build other than the one used, for the advice
// after a time limit.
static std::string other_solvers(const MipSolver &used) {
    std::string names;
    for (const MipSolver &m : mip_solvers())
        if (&m != &used) names += std::string(names.empty() ? "" : " or ") + "--mip " + m.name;
    return names;
}

static int report(pmedian::Solver &s, const Proof &proof, const MipSolver &solver, bool plain, double time_limit) {
    const int n = s.n, p = s.p;
    const bool whole = costs_are_whole(s);
    if (!plain) {
        if (proof.known < proof.program)
            line("heuristic solution", "%.2f (program), %.2f after the swap search", proof.program, proof.known);
        else
            line("heuristic solution", "%.2f", proof.known);
        line("Lagrangian bound", "%.2f (core), %.2f (carried on), %d steps", (double)s.LB, proof.first_bound,
             proof.steps);
        // The reduction keeps only the solutions below a limit, so the bound
        // of what is left is a bound of those alone, and may exceed the
        // optimum: above the limit it says that none of them exists.
        const double limit = whole ? proof.known - 1 : proof.known;
        if (proof.dual_bound != proof.first_bound || proof.rounds > 0)
            line("after reduction", "%.2f, the bound of the solutions %s %.2f%s", proof.dual_bound,
                 whole ? "of cost at most" : "cheaper than", limit,
                 proof.dual_bound > limit ? ": none exists, which proves the heuristic solution optimal" : "");
    }
    if (proof.mip_used && !plain) {
        line("reduction", "%d rounds, %d vertices fixed by probing (%d probes)", proof.rounds, proof.probed,
             proof.probes);
        line("vertices", "%d closed, %d open, %d free", proof.closed, proof.opened, proof.free);
        line("client-median pairs", "%lld of %lld", proof.pairs, (long long)n * n);
        if (proof.after.rows > 0) report_size("model before reduction", proof.before);
    }
    if (proof.mip_used) {
        if (proof.after.rows > 0) report_size(plain ? "model" : "model after reduction", proof.after);
        if (proof.mip_overran)
            line("MIP", "%s, stopped from outside: it ran past the time limit", solver.name);
        else if (proof.mip_ran && proof.decomposed)
            line("MIP", "cbc, Benders decomposition, %lld nodes, %d restarts", proof.nodes, proof.restarts);
        else if (proof.mip_ran)
            line("MIP", "%s, %lld nodes", solver.name, proof.nodes);
        else
            line("MIP", "did not run: %s", proof.status == Proof::TIME_LIMIT ? "the time limit ran out before it"
                                           : proof.status == Proof::FAILED ? proof.message.c_str()
                                                                           : "not needed");
    } else {
        line("MIP", "did not run: the bound proves the heuristic solution optimal");
    }
    if (proof.status == Proof::OPTIMAL)
        line("status", "optimal");
    else if (proof.status == Proof::TIME_LIMIT)
        line("status", "time limit, not proven");
    else
        line("status", "failed: %s", proof.message.c_str());
    bool have = (int)proof.medians.size() == p;
    if (have)
        line("value", "%.2f", proof.value);
    else
        line("value", "none: no solution was found%s", proof.status == Proof::TIME_LIMIT ? " within the time limit" : "");
    if (std::isfinite(proof.bound)) {
        line("lower bound", "%.2f", proof.bound);
        const double lagrangian = std::fmax(proof.first_bound, proof.dual_bound);
        if (whole && !plain && proof.bound > lagrangian && proof.bound - lagrangian < 1)
            line("", "every solution costs a whole number, so the bound %.2f rounds up to %.2f", lagrangian,
                 proof.bound);
    } else {
        line("lower bound", "none");
    }
    if (have && std::isfinite(proof.bound) && proof.value > 0)
        line("gap", "%.4f %%", 100.0 * (proof.value - proof.bound) / proof.value);
    else
        line("gap", "unknown");
    const PhaseSeconds &t = proof.seconds;
    if (plain)
        line("seconds", "reading %.2f, model %.2f, MIP %.2f, total %.2f", t.reading, t.model, t.mip, wall_seconds());
    else
        line("seconds",
             "reading %.2f, core %.2f, dual %.2f, swap search %.2f, reduction %.2f, probing %.2f, model %.2f, MIP %.2f, "
             "total %.2f",
             t.reading, t.core, t.dual, t.search, t.reduction, t.probing, t.model, t.mip, wall_seconds());
    if (have) {
        write_answer(s, proof.medians, proof.status == Proof::OPTIMAL);
        line("solution file", "%s", SOLUTION_NAME);
    } else {
        line("solution file", "none written");
    }
    if (proof.status == Proof::TIME_LIMIT) {
        std::string others = other_solvers(solver);
        line("next", "a longer limit (--time-limit %.0f)%s%s", 4 * std::fmax(time_limit, 1.0),
             others.empty() ? "" : ", or the other MIP solver: ", others.c_str());
        if (have && std::isfinite(proof.bound) && proof.value > 0)
            line("", "or take the solution as it is: at most %.4f %% above the optimum",
                 100.0 * (proof.value - proof.bound) / proof.value);
    }
    return proof.status == Proof::OPTIMAL ? PROVEN : proof.status == Proof::TIME_LIMIT ? TIME_LIMIT : MIP_FAILED;
}

int main(int argc, char **argv) {
    wall_seconds();  // the clock starts here
    Options options;
    if (int status = parse(argc, argv, options); status >= 0) return status;
    if (chdir(options.dir.c_str()) != 0) {
        fprintf(stderr, "pmedian-exact: cannot enter %s: %s\n", options.dir.c_str(), strerror(errno));
        return BAD_INPUT;
    }
    const double deadline = options.time_limit;
    // An answer of an earlier run must not pass for this run's.
    if (unlink(SOLUTION_NAME) != 0 && errno != ENOENT) {
        fprintf(stderr, "pmedian-exact: cannot remove the earlier %s/%s: %s\n", options.dir.c_str(), SOLUTION_NAME,
                strerror(errno));
        return BAD_INPUT;
    }

    // The program's messages, and exit status 1, for a bad instance.
    pmedian::Solver s;
    PhaseSeconds seconds;
    try {
        PhaseClock clock(seconds.reading);
        s.read_instance();
    } catch (const pmedian::Error &e) {
        fputs(e.printed().c_str(), stdout);
        return BAD_INPUT;
    }
    refuse_unusable_costs(s);
    // The report carries the seconds of reading and of the core beside the proof's.
    auto with_times = [&seconds](Proof proof) {
        proof.seconds.reading = seconds.reading;
        proof.seconds.core = seconds.core;
        return proof;
    };
    printf("pmedian-exact: n = %d, p = %d, %s costs, MIP solver %s\n", s.n, s.p,
           costs_are_whole(s) ? "whole" : "real-valued", options.solver->name);
    try {
        if (options.plain) {
            try {
                return report(s, with_times(solve_plain(s, *options.solver, deadline)), *options.solver, true,
                              deadline);
            } catch (const std::bad_alloc &) {
                fprintf(stderr, "pmedian-exact: out of memory for the plain model\n");
                return MIP_FAILED;
            }
        }

        // The core's Lagrangian optimisation, as the pmedian program runs it
        // (with its console summary), keeping the multipliers of its best
        // bound; the deadline stops it after an iteration.
        std::vector<double> multipliers(s.n, 0.0);
        {
            PhaseClock clock(seconds.core);
            s.best_multiplier = multipliers.data();
            // Its progress goes to standard error, as pmedian-solve shows it.
            ProgressLog log(false, deadline, 0.0);
            s.iteration_hook = [&s, &log, deadline]() {
                pmedian::Progress now;
                now.iteration = s.iterations;
                now.upper_bound = s.UB;
                now.lower_bound = s.LB;
                now.dual_value = s.ZD;
                now.elapsed_seconds = wall_seconds();
                log.update(now);
                return deadline > 0 && wall_seconds() >= deadline;
            };
            s.start_run();
            s.subgradient_optimization();
            s.iteration_hook = nullptr;
            log.finish();
            s.best_multiplier = nullptr;
        }
        printf("\n");
        std::vector<int> start(s.best, s.best + s.p);
        try {
            return report(s, with_times(prove_optimum(s, start, multipliers, *options.solver, deadline, options.path, true)),
                          *options.solver, false, deadline);
        } catch (const std::bad_alloc &) {
            // The proof's lists and the MIP solver's model come on top of
            // the core's storage; the program itself never gets here.
            Proof failed;
            failed.medians = start;
            failed.value = failed.known = failed.program = solution_cost(s, start);
            failed.bound = s.LB;
            failed.message = "out of memory";
            return report(s, with_times(failed), *options.solver, false, deadline);
        }
    } catch (const pmedian::Error &e) {
        // The solution file could not be written.
        fputs(e.printed().c_str(), stdout);
        return BAD_INPUT;
    }
}
