// sweep.cpp - pmedian-sweep: solves one converted instance for many values
// of p, side by side, and tables and plots the bounds against p, so that the
// number of medians can be chosen where one more stops paying.
//
// Everything goes into one sweep folder, by default DIR/sweep: a folder pP
// for each run and the table and plot of every p solved there.  A run
// folder holds the solution file, the solver's standard output
// ("summary.txt") and a record of the instance files it solves with its p
// (sweep_record.h), but no copy of the instance: the tools that read a
// solved folder find the instance through the record.  A p whose folder
// records the same files and holds a complete summary and a solution file
// counts as solved and is not run again, so a sweep that was stopped, or
// whose runs were done elsewhere (--print-jobs), is finished by running it
// again, and the table gathers every p solved from these files, whichever
// sweep solved it.  A run that fails or is killed is recorded and the
// others go on.
//
// Each run is a child process.  By default the child solves through the
// library, exactly as the pmedian program would with that p, and prints the
// same summary; --time-limit, or the SIGTERM of --timeout, stops it with its
// best solution, which is recorded with its bounds and status 3.  With
// --solver (or --print-jobs) a program solves the run folder, which then
// gets the instance files with the run's p in their headers for as long as
// the run needs them; --timeout can only kill such a run, which then
// records nothing.
//
// Exit status: 0 when every p is solved, 1 when a run failed or the input
// is bad, 2 for a wrong command line.
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <pmedian/pmedian.hpp>

#include "command_line.h"
#include "gnuplot.h"
#include "output_files.h"
#include "side_file.h"
#include "solution.h"
#include "sweep_input.h"
#include "sweep_record.h"
#include "table.h"
#include "text_input.h"
#include "tool_error.h"

// ---- files ------------------------------------------------------------------

// The first bytes of a file, enough for its header.
static std::string file_start(const std::string &path) {
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) tool_fail("cannot open %s: %s", path.c_str(), strerror(errno));
    char buffer[4096];
    size_t got = fread(buffer, 1, sizeof buffer, f);
    fclose(f);
    return std::string(buffer, got);
}

// Copies source to target with the header replaced: header, then the bytes
// of source from offset on.  Written under a temporary name and renamed.
static void copy_with_header(const std::string &source, size_t offset, const std::string &header,
                             const std::string &target) {
    FILE *in = fopen(source.c_str(), "rb");
    if (!in) tool_fail("cannot open %s: %s", source.c_str(), strerror(errno));
    std::string temporary = target + ".XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    FILE *out = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (!out) {
        int cause = errno;
        fclose(in);
        if (fd >= 0) close(fd), unlink(name.data());
        tool_fail("cannot write %s: %s", target.c_str(), strerror(cause));
    }
    fchmod(fd, 0644);
    bool ok = fseek(in, (long)offset, SEEK_SET) == 0 && fwrite(header.data(), 1, header.size(), out) == header.size();
    char buffer[1 << 16];
    size_t got;
    while (ok && (got = fread(buffer, 1, sizeof buffer, in)) > 0) ok = fwrite(buffer, 1, got, out) == got;
    ok = ok && !ferror(in);
    int cause = errno;
    fclose(in);
    ok = fclose(out) == 0 && ok;
    if (!ok || rename(name.data(), target.c_str()) != 0) {
        if (ok) cause = errno;
        unlink(name.data());
        tool_fail("cannot write %s: %s", target.c_str(), strerror(cause ? cause : EIO));
    }
}

static std::string shell_quoted(const std::string &text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// ---- the sweep --------------------------------------------------------------------

struct Instance {
    SweepSource source;    // the instance folder and its files' fingerprints
    int n = 0;
    std::string costs;     // what UB and LB add up over the clients, for the plot and the table
    FileHead data_head, matrix_head;
    std::string folder;    // the sweep folder, absolute
};

struct Run {
    int p = 0;
    std::string folder;
    bool solved = false;
    bool skipped = false;  // solved by an earlier sweep
    Summary summary;
    std::string failure;   // why it is not solved
    pid_t pid = -1;
    double started = 0;
    bool timed_out = false;
};

static Instance read_instance_folder(const std::string &dir, const std::string &sweep_folder) {
    Instance inst;
    inst.source = sweep_source(dir);
    const std::string &abs = inst.source.dir;
    std::string data = abs + "/pmeddata.dat", matrix = abs + "/pmedmtrx.dat";
    inst.data_head = parse_file_head(file_start(data), data);
    inst.matrix_head = parse_file_head(file_start(matrix), matrix);
    if (inst.data_head.first < 1 || inst.data_head.first > 100000)
        tool_fail("%s: n = %lld outside 1..100000", data.c_str(), inst.data_head.first);
    inst.n = (int)inst.data_head.first;
    VertexInfo info = read_side_file(abs, inst.n);  // refused here if it does not fit
    std::string weighted = info.weights.empty() ? "" : "demand x ";
    inst.costs = weighted + (info.geographic ? "km to the median" : info.has_coordinates ? "distance to the median"
                                                                                       : "cost from the median");
    inst.folder = std::filesystem::absolute(sweep_folder.empty() ? abs + "/sweep" : sweep_folder)
                      .lexically_normal()
                      .string();
    while (inst.folder.size() > 1 && inst.folder.back() == '/') inst.folder.pop_back();
    return inst;
}

static Run run_of(const Instance &inst, int p) {
    Run run;
    run.p = p;
    run.folder = inst.folder + "/p" + std::to_string(p);
    return run;
}

// The instance files with the run's p, for a program that solves the
// folder; a run through the library reads the instance's own files.
static void copy_instance(const Instance &inst, const Run &run) {
    std::string header = std::to_string(inst.n) + " " + std::to_string(run.p);
    copy_with_header(inst.source.dir + "/pmeddata.dat", inst.data_head.rest_offset, header, run.folder + "/pmeddata.dat");
    copy_with_header(inst.source.dir + "/pmedmtrx.dat", inst.matrix_head.rest_offset, header,
                     run.folder + "/pmedmtrx.dat");
}

static void remove_copies(const Run &run) {
    for (const char *copy : {"pmeddata.dat", "pmedmtrx.dat"}) remove_stale(run.folder + "/" + copy);
}

// Makes the folder of one p, unless it records these files already; with
// copies, the instance files too.
static void prepare_folder(const Instance &inst, const Run &run, bool copies) {
    std::string record = run.folder + "/" + SWEEP_RECORD_NAME, wanted = sweep_record(inst.source, run.p);
    bool current = false;
    try {
        current = path_exists(record) && read_text_file(record) == wanted;
    } catch (const ToolError &) {
    }
    if (!current) {
        // A folder of that name that a sweep of this instance did not
        // make is someone else's: nothing in it is replaced.
        std::string owner = "source " + inst.source.dir + "\n";
        bool ours = false;
        try {
            ours = path_exists(record) && read_text_file(record).rfind(owner, 0) == 0;
        } catch (const ToolError &) {
        }
        std::error_code error;
        if (!ours && path_exists(run.folder) && !std::filesystem::is_empty(run.folder, error))
            tool_fail("%s exists and was not made by a sweep of %s: move it away or give the sweep another --out",
                      run.folder.c_str(), inst.source.dir.c_str());
        make_folder(run.folder);
        write_files({{record, owner + "being prepared\n"}});
        for (const char *stale : {SUMMARY_FILE_NAME, "solucao.txt", "pmedian.err"}) remove_stale(run.folder + "/" + stale);
    }
    if (copies) copy_instance(inst, run);
    else remove_copies(run);
    if (!current) write_files({{record, wanted}});
}

// Whether the folder holds a finished run of these files: then its summary.
static bool finished(const Instance &inst, Run &run) {
    std::string record = run.folder + "/" + SWEEP_RECORD_NAME, summary = run.folder + "/" + SUMMARY_FILE_NAME;
    try {
        if (!path_exists(record) || read_text_file(record) != sweep_record(inst.source, run.p)) return false;
        if (!path_exists(summary) || !path_exists(run.folder + "/solucao.txt")) return false;
        return parse_summary(read_text_file(summary), run.summary);
    } catch (const ToolError &) {
        return false;
    }
}

// Every p solved in the sweep folder from these files, by this sweep or an
// earlier one, with this sweep's runs (failed ones included) in their place.
static std::vector<Run> every_run(const Instance &inst, const std::vector<Run> &these) {
    std::map<int, Run> runs;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(inst.folder, error)) {
        std::string name = entry.path().filename().string();
        if (name.size() < 2 || name[0] != 'p' || name.find_first_not_of("0123456789", 1) != std::string::npos ||
            name.size() > 7)
            continue;
        Run run = run_of(inst, std::stoi(name.substr(1)));
        if (run.p >= 1 && run.p <= inst.n && run.folder == entry.path().string() && finished(inst, run)) {
            run.solved = run.skipped = true;
            runs[run.p] = run;
        }
    }
    for (const Run &run : these) runs[run.p] = run;
    std::vector<Run> all;
    for (const auto &[p, run] : runs) all.push_back(run);
    return all;
}

static double now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}

static volatile sig_atomic_t interrupted = 0;
static void on_signal(int) { interrupted = 1; }

// How each run solves its folder: a program to run, or (solver empty) the
// library in the child, with a time limit and a thread count.
struct SolveWith {
    std::string instance_dir;  // where the library reads the instance
    std::string solver;
    double time_limit = 0;
    int threads = 0;  // 0: the OpenMP default (OMP_NUM_THREADS)
};

// In the child, in its folder: solves the instance with p medians through
// the library and prints the classic summary, as the pmedian program would
// from files with that p; the time limit or a SIGTERM stops the run with
// its best solution (status 3).  Never returns.
[[noreturn]] static void solve_here(const SolveWith &with, int p) {
    static volatile sig_atomic_t terminated = 0;
    struct sigaction action = {};
    action.sa_handler = [](int) { terminated = 1; };
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGINT, SIG_DFL);
    try {
        pmedian::Instance instance =
            pmedian::read_instance(with.instance_dir + "/pmeddata.dat", with.instance_dir + "/pmedmtrx.dat");
        instance.p = p;
        pmedian::Options options;
        options.time_limit = with.time_limit;
        options.threads = with.threads;
        options.solution_file = "solucao.txt";
        options.progress = [](const pmedian::Progress &) { return !terminated; };
        pmedian::Result result = pmedian::solve(instance, options);
        for (const std::vector<std::string> *list : {&instance.warnings, &result.warnings})
            for (const std::string &warning : *list) fprintf(stderr, "%s\n", warning.c_str());
        fputs(result.summary.c_str(), stdout);
        _exit(fflush(stdout) == 0 ? 0 : 1);
    } catch (const pmedian::Error &e) {
        fprintf(stderr, "%s\n", e.what());
    } catch (const std::bad_alloc &) {
        fprintf(stderr, "not enough memory\n");
    }
    _exit(1);
}

static void start(const Instance &inst, Run &run, const SolveWith &with, const std::string &threads) {
    run.started = now();
    if (!with.solver.empty()) {
        try {
            copy_instance(inst, run);
        } catch (const ToolError &e) {
            run.failure = std::string("could not start: ") + e.what();
            return;
        }
    }
    pid_t child = fork();
    if (child < 0) {
        run.failure = std::string("could not start: ") + strerror(errno);
        return;
    }
    if (child == 0) {
        int in = open("/dev/null", O_RDONLY);
        bool ok = chdir(run.folder.c_str()) == 0 && in >= 0;
        int out = ok ? open(SUMMARY_FILE_NAME, O_WRONLY | O_CREAT | O_TRUNC, 0644) : -1;
        int err = ok ? open("pmedian.err", O_WRONLY | O_CREAT | O_TRUNC, 0644) : -1;
        if (out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
        if (with.solver.empty()) solve_here(with, run.p);
        if (!threads.empty()) setenv("OMP_NUM_THREADS", threads.c_str(), 1);
        execl(with.solver.c_str(), with.solver.c_str(), (char *)nullptr);
        fprintf(stderr, "cannot run %s: %s\n", with.solver.c_str(), strerror(errno));
        _exit(127);
    }
    run.pid = child;
}

// The last line of a file that is not blank, for a failure's reason.
static std::string last_line(const std::string &path) {
    std::string text;
    try {
        text = read_text_file(path);
    } catch (const ToolError &) {
        return "";
    }
    size_t end = text.find_last_not_of(" \t\r\n");
    if (end == std::string::npos) return "";
    size_t begin = text.rfind('\n', end);
    return text.substr(begin == std::string::npos ? 0 : begin + 1, end - (begin == std::string::npos ? 0 : begin + 1) + 1);
}

static void finish(const Instance &inst, Run &run, int status) {
    run.pid = -1;
    remove_copies(run);  // a program's run needs them no longer
    double seconds = now() - run.started;
    if (finished(inst, run)) {
        run.solved = true;
        return;
    }
    char reason[160];
    if (run.timed_out)
        snprintf(reason, sizeof reason, "timed out after %.1f s", seconds);
    else if (WIFSIGNALED(status))
        snprintf(reason, sizeof reason, "killed by signal %d (%s) after %.1f s", WTERMSIG(status),
                 strsignal(WTERMSIG(status)), seconds);
    else
        snprintf(reason, sizeof reason, "ended with status %d and no complete summary", WEXITSTATUS(status));
    run.failure = reason;
    std::string said = last_line(run.folder + "/pmedian.err");
    if (said.empty()) said = last_line(run.folder + "/" + SUMMARY_FILE_NAME);
    if (!said.empty()) run.failure += ": " + said;
}

static void report(const Run &run) {
    std::string folder = std::filesystem::path(run.folder).filename().string();
    if (!run.solved) {
        printf("p = %d: FAILED, %s (%s)\n", run.p, run.failure.c_str(), folder.c_str());
    } else {
        double gap;
        char gap_text[32] = "–";
        if (gap_percent(run.summary, gap)) snprintf(gap_text, sizeof gap_text, "%.2f %%", gap);
        printf("p = %d: UB %.2f, LB %.2f, gap %s, status %d, %.2f s%s (%s)\n", run.p, run.summary.UB, run.summary.LB,
               gap_text, run.summary.status, run.summary.cpu_time, run.skipped ? ", solved before" : "", folder.c_str());
    }
    fflush(stdout);
}

// Runs the unsolved p values, at most jobs at a time.
static void run_all(const Instance &inst, std::vector<Run> &runs, SolveWith with, int jobs, double timeout) {
    int cores = (int)sysconf(_SC_NPROCESSORS_ONLN);
    // Each solver spreads its loops over threads; side by side they share
    // the cores instead.  A thread count set by the user is kept.
    std::string threads = getenv("OMP_NUM_THREADS") ? "" : std::to_string(std::max(1, cores / jobs));
    with.threads = threads.empty() ? 0 : std::stoi(threads);
    struct sigaction action = {};
    action.sa_handler = on_signal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    size_t next = 0;
    int running = 0;
    for (;;) {
        while (!interrupted && running < jobs && next < runs.size()) {
            Run &run = runs[next++];
            if (run.solved) continue;
            start(inst, run, with, threads);
            if (run.pid > 0) ++running;
            else report(run);
        }
        if (running == 0 && (next == runs.size() || interrupted)) break;
        int status;
        pid_t done = waitpid(-1, &status, WNOHANG);
        if (done > 0) {
            for (Run &run : runs)
                if (run.pid == done) {
                    finish(inst, run, status);
                    report(run);
                    --running;
                }
            continue;
        }
        double t = now();
        for (Run &run : runs)
            if (run.pid > 0 && ((timeout > 0 && t - run.started > timeout) || interrupted)) {
                if (!run.timed_out && !interrupted) run.timed_out = true;
                kill(run.pid, t - run.started > timeout + 5 || interrupted ? SIGKILL : SIGTERM);
            }
        usleep(20000);
    }
    for (Run &run : runs)
        if (!run.solved && run.failure.empty()) run.failure = "not run: the sweep was interrupted";
}

// ---- tables and plot -------------------------------------------------------------

static std::string fixed(double v, int digits) {
    char text[64];
    snprintf(text, sizeof text, "%.*f", digits, v);
    return text;
}

// The table and plot of runs (every p solved from these files, see
// every_run) into the sweep folder.
static void write_results(const Instance &inst, const std::vector<Run> &runs) {
    std::string name = std::filesystem::path(inst.source.dir).filename().string();
    std::string csv = "p,UB,LB,gap_percent,status,iterations,seconds,failure\n";
    std::string md = "# " + name + ": the bounds against p\n\nInstance " + inst.source.dir + " (n = " +
                     std::to_string(inst.n) + "); the run of each p in " + inst.folder + "/pP.  UB and LB are sums over the clients of " +
                     inst.costs + ".\n\n" +
                     "| p | UB | LB | gap % | status | iterations | seconds |\n|---:|---:|---:|---:|:---|---:|---:|\n";
    std::string data = "$bounds << EOD\n";
    int solved = 0;
    for (const Run &run : runs) {
        std::string p = std::to_string(run.p);
        if (!run.solved) {
            csv += p + ",,,,,,," + csv_cell(run.failure) + "\n";
            std::string failure = run.failure;
            for (size_t k = 0; (k = failure.find('|', k)) != std::string::npos; k += 2) failure.replace(k, 1, "\\|");
            md += "| " + p + " | – | – | – | failed: " + failure + " | – | – |\n";
            continue;
        }
        ++solved;
        const Summary &s = run.summary;
        double gap;
        bool has_gap = gap_percent(s, gap);
        csv += p + "," + fixed(s.UB, 2) + "," + fixed(s.LB, 2) + "," + (has_gap ? fixed(gap, 4) : "") + "," +
               std::to_string(s.status) + "," + std::to_string(s.iterations) + "," + fixed(s.cpu_time, 2) + ",\n";
        md += "| " + p + " | " + fixed(s.UB, 2) + " | " + fixed(s.LB, 2) + " | " + (has_gap ? fixed(gap, 2) : "–") +
              " | " + std::to_string(s.status) + " (" + status_meaning(s.status) + ") | " +
              std::to_string(s.iterations) + " | " + fixed(s.cpu_time, 2) + " |\n";
        if (has_gap) data += p + " " + fixed(s.UB, 2) + " " + fixed(s.LB, 2) + "\n";
    }
    data += "EOD\n";
    md += "\n" + std::to_string(solved) + " of " + std::to_string(runs.size()) + " values of p solved.\n";

    std::string svg = inst.folder + "/sweep.svg", png = inst.folder + "/sweep.png", plot_note;
    std::vector<std::string> drawn;
    if (data.find('\n') + 1 < data.size() - 4) {
        std::string script = data + "set title " + gnuplot_quoted(name + ": best solution (UB) and lower bound (LB) against p") +
                             " noenhanced\nset xlabel 'p (number of medians)'\nset ylabel " +
                             gnuplot_quoted("sum over the clients of " + inst.costs) + " noenhanced\n"
                             "set key top right\nset grid lc rgb '#dddddd'\nset offsets graph 0.03, graph 0.03, graph 0.05, graph 0.05\n"
                             "plot $bounds using 1:2 with linespoints pt 7 ps 0.8 lw 1.5 title 'UB', \\\n"
                             "     $bounds using 1:3 with linespoints pt 6 ps 0.8 lw 1.5 dt 2 title 'LB'\n";
        try {
            drawn = draw_with_gnuplot(script, svg, png, 900, 560);
            plot_note = "\n![UB and LB against p](sweep.svg)\n";
        } catch (const ToolError &e) {
            plot_note = std::string("\nNo plot: ") + e.what() + "\n";
        }
    } else {
        plot_note = "\nNo plot: no run was solved.\n";
    }
    if (drawn.empty()) {  // no picture of an earlier sweep beside this table
        remove_stale(svg);
        remove_stale(png);
    }
    md += plot_note;
    write_files({{inst.folder + "/sweep.md", md}, {inst.folder + "/sweep.csv", csv}});
    std::string plot = drawn.empty() ? "no plot (" + plot_note.substr(10, plot_note.size() - 11) + ")"
                                     : "the plot " + drawn[0] + (drawn.size() > 1 ? " and " + drawn[1] : "");
    printf("wrote %s/sweep.md and %s/sweep.csv, %s: %d of %zu values of p solved\n", inst.folder.c_str(),
           inst.folder.c_str(), plot.c_str(), solved, runs.size());
}

// ---- command line ------------------------------------------------------------------

// The solver to run: --solver as given (found on PATH when it has no
// slash), else the pmedian beside this program, else pmedian on PATH.
static std::string find_solver(const std::string &given) {
    std::string name = given;
    if (name.empty()) {
        char self[4096];
        ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
        if (length > 0) {
            self[length] = '\0';
            std::string beside = std::filesystem::path(self).parent_path().string() + "/pmedian";
            if (access(beside.c_str(), X_OK) == 0) return beside;
        }
        name = "pmedian";
    }
    if (name.find('/') != std::string::npos) {
        std::string absolute = std::filesystem::absolute(name).lexically_normal().string();
        if (access(absolute.c_str(), X_OK) != 0) tool_fail("the solver %s cannot be run: %s", name.c_str(), strerror(errno));
        return absolute;
    }
    std::string found = find_on_path(name);
    if (!found.empty()) return std::filesystem::absolute(found).string();
    tool_fail("no solver %s found beside pmedian-sweep or on PATH (give --solver PATH)", name.c_str());
}

int main(int argc, char **argv) {
    std::string dir, p_text, solver_option, out;
    int jobs = 0;
    double timeout = 0, time_limit = 0;
    bool print_jobs = false;
    CommandLine cli("pmedian-sweep",
                    "Solves a converted instance for many values of p side by side, and tables (sweep.md, sweep.csv) "
                    "and plots (sweep.svg) the bounds of every p solved from the instance's files against p, all in "
                    "one sweep folder.",
                    "Exit status: 0 every p solved; 1 a run failed, or bad input; 2 a wrong command line.");
    cli.text("DIR", dir, "DIR", "a converted instance folder (pmeddata.dat, pmedmtrx.dat)")->required();
    cli.text("--p", p_text, "LIST", "values of p: 5,10,20 or FIRST:LAST:STEP (5:100:5), or both")->required();
    cli.number("--jobs", jobs, "N", 1, 1024, "1..1024", "solver runs side by side (default: the number of cores)");
    cli.number("--time-limit", time_limit, "S", 0, 1e9, "a number of seconds",
               "stop a run after S seconds with its best solution, recorded with its bounds and status 3 (default: "
               "none)");
    cli.number("--timeout", timeout, "S", 0, 1e9, "a number of seconds",
               "end a run after S seconds: stopped as by --time-limit, or with --solver killed and recorded as "
               "failed (default: none)");
    cli.text("--solver", solver_option, "PATH", "run this program in each run folder instead of the library");
    cli.text("--out", out, "FOLDER", "the sweep folder: a folder pP per run, the table and the plot (default "
                                     "DIR/sweep)");
    cli.flag("--print-jobs", print_jobs,
             "make the run folders, each with the instance files, and print one shell command per p that is not "
             "solved yet (running the pmedian program beside this one, or --solver), instead of running them");
    if (int status = cli.parse(argc, argv); status >= 0) return status;
    if (time_limit > 0 && (!solver_option.empty() || print_jobs))
        return cli.wrong("--time-limit stops the library's runs; --solver and --print-jobs run a program without it");
    if (jobs == 0) jobs = std::max(1, (int)sysconf(_SC_NPROCESSORS_ONLN));

    try {
        Instance inst = read_instance_folder(dir, out);
        std::vector<int> values = parse_p_list(p_text, inst.n);
        SolveWith with;
        with.instance_dir = inst.source.dir;
        with.time_limit = time_limit;
        if (!solver_option.empty() || print_jobs) with.solver = find_solver(solver_option);
        make_folder(inst.folder);
        std::vector<Run> runs;
        for (int p : values) {
            Run run = run_of(inst, p);
            run.solved = run.skipped = finished(inst, run);
            if (run.solved) remove_copies(run);  // a printed job's, once it is done
            else prepare_folder(inst, run, print_jobs);
            runs.push_back(run);
        }

        if (print_jobs) {
            for (const Run &run : runs)
                if (!run.solved)
                    printf("cd %s && %s > %s 2> pmedian.err; grep -q 'Status da solucao' %s\n",
                           shell_quoted(run.folder).c_str(), shell_quoted(with.solver).c_str(), SUMMARY_FILE_NAME,
                           SUMMARY_FILE_NAME);
            return 0;
        }
        for (const Run &run : runs)
            if (run.solved) report(run);
        run_all(inst, runs, with, jobs, timeout);
        write_results(inst, every_run(inst, runs));
        for (const Run &run : runs)
            if (!run.solved) return 1;
    } catch (const ToolError &e) {
        fprintf(stderr, "pmedian-sweep: %s\n", e.what());
        return 1;
    } catch (const std::bad_alloc &) {
        fprintf(stderr, "pmedian-sweep: not enough memory\n");
        return 1;
    }
    return 0;
}
