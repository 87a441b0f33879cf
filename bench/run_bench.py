#!/usr/bin/env python3
"""Runs the solver on a public benchmark set and writes a results table.

For every instance of the set: pmedian-convert writes it into its own
scratch folder, pmedian runs there under a time limit (its exit status 1 is
its normal one), and pmedian-check verifies the solution file.  A failure at
any step is recorded in the table and the run goes on with the next
instance.  The table goes to RESULTS/SET.md, with a plot of the gaps in
RESULTS/SET.svg when gnuplot is available.

Sets:
  orlib   pmed1 ... pmed40 with the optimal values of optimal.csv
  tsplib  rl1304 at the p values of best_known.csv (floor distances, as the
          published optima use), fl1400 at p = 10, 50, 100 (real distances;
          no published values, so only UB and LB)

Exit status 0 when every instance ended with a valid, checked solution,
1 otherwise (the table is written in both cases).
"""

import argparse
import csv
import datetime
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from instance_sets import require  # noqa: E402

FL1400_P = [10, 50, 100]

SUMMARY_LABELS = {
    "iterations": "Iteracoes",
    "UB": "UB",
    "LB": "LB",
    "cpu": "Total CPU Time",
    "status": "Status da solucao",
}


class Job:
    def __init__(self, label, n, p, optimal, convert_args):
        self.label = label
        self.n = n
        self.p = p
        self.optimal = optimal  # None when no value is published
        self.convert_args = convert_args
        self.result = {}  # filled by run_job
        self.problem = ""  # first thing that went wrong, "" if nothing


def orlib_jobs(folder):
    require(folder, "orlib", ["optimal.csv"])
    jobs = []
    with open(os.path.join(folder, "optimal.csv"), newline="") as f:
        for row in csv.DictReader(f):
            name = row["name"]
            jobs.append(Job(name, int(row["n"]), int(row["p"]), float(row["optimal"]),
                            ["orlib", os.path.join(folder, name + ".txt")]))
    jobs.sort(key=lambda job: int(re.sub(r"\D", "", job.label)))
    return jobs


def tsplib_dimension(path):
    with open(path) as f:
        for line in f:
            key, _, value = line.partition(":")
            if key.strip().upper() == "DIMENSION":
                return int(value)
    return None


def tsplib_jobs(folder):
    jobs = []
    require(folder, "tsplib", ["best_known.csv", "rl1304.tsp", "fl1400.tsp"])
    rl1304 = os.path.join(folder, "rl1304.tsp")
    with open(os.path.join(folder, "best_known.csv"), newline="") as f:
        for row in csv.DictReader(f):
            if row["name"] != "rl1304":
                continue
            p = int(row["p"])
            jobs.append(Job("rl1304-p%d" % p, tsplib_dimension(rl1304), p, float(row["value"]),
                            ["tsplib", rl1304, "--p", str(p), "--round", "floor"]))
    fl1400 = os.path.join(folder, "fl1400.tsp")
    for p in FL1400_P:
        jobs.append(Job("fl1400-p%d" % p, tsplib_dimension(fl1400), p, None,
                        ["tsplib", fl1400, "--p", str(p)]))
    return jobs


def last_line(text):
    lines = [line for line in text.strip().splitlines() if line.strip()]
    return lines[-1].strip() if lines else ""


def parse_summary(stdout):
    """The labelled values of the solver's console summary."""
    values = {}
    for key, label in SUMMARY_LABELS.items():
        match = re.search(r"^%s \.+\s+(\S+)\s*$" % re.escape(label), stdout, re.MULTILINE)
        if match:
            values[key] = float(match.group(1))
    return values


def run_job(job, bin_dir, work, timeout):
    folder = os.path.join(work, job.label)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)

    convert = subprocess.run([os.path.join(bin_dir, "pmedian-convert")] + job.convert_args + ["--out", folder],
                             capture_output=True, text=True)
    if convert.returncode != 0:
        job.problem = "conversion failed: " + last_line(convert.stderr).replace("pmedian-convert: ", "")
        return

    start = time.monotonic()
    try:
        with open(os.path.join(folder, "stdout.txt"), "w") as out, \
             open(os.path.join(folder, "stderr.txt"), "w") as err:
            solver = subprocess.run([os.path.join(bin_dir, "pmedian")], cwd=folder, stdout=out, stderr=err,
                                    timeout=timeout if timeout > 0 else None)
    except subprocess.TimeoutExpired:
        job.result["wall"] = time.monotonic() - start
        job.problem = "timeout after %d s" % timeout
        return
    job.result["wall"] = time.monotonic() - start
    with open(os.path.join(folder, "stdout.txt")) as f:
        stdout = f.read()
    job.result.update(parse_summary(stdout))
    # The solver's status is 1 after a normal run as after an error.
    if solver.returncode != 1:
        job.problem = "solver exit status %d" % solver.returncode
        return
    if "status" not in job.result or "UB" not in job.result:
        job.problem = "solver error: " + (last_line(stdout) or "no summary")
        return

    check_args = [os.path.join(bin_dir, "pmedian-check"), folder]
    if job.optimal is not None:
        check_args += ["--optimal", repr(job.optimal)]
    check = subprocess.run(check_args, capture_output=True, text=True)
    with open(os.path.join(folder, "check.txt"), "w") as f:
        f.write(check.stdout + check.stderr)
    if check.returncode != 0:
        job.problem = "check: " + last_line(check.stderr).replace("pmedian-check: ", "")
        return
    match = re.search(r"^cost (\S+)$", check.stdout, re.MULTILINE)
    job.result["checked"] = float(match.group(1)) if match else None

    # The instance files are large; they are kept only when something failed.
    for name in ("pmeddata.dat", "pmedmtrx.dat"):
        os.remove(os.path.join(folder, name))


def percent(part, whole):
    return 100.0 * part / whole


def gaps(job):
    """UB gap, LB gap (to the optimum) and the gap between the bounds, in
    percent; None where a value is missing."""
    ub, lb, opt = job.result.get("UB"), job.result.get("LB"), job.optimal
    ub_gap = percent(ub - opt, opt) if ub is not None and opt else None
    lb_gap = percent(opt - lb, opt) if lb is not None and opt else None
    bound_gap = percent(ub - lb, ub) if ub is not None and lb is not None and ub > 0 else None
    return ub_gap, lb_gap, bound_gap


def cell(value, form):
    return "–" if value is None else form % value


def check_cell(job):
    if job.problem:
        return job.problem.replace("|", "\\|")
    checked = job.result.get("checked")
    if checked is not None and "%.2f" % checked != "%.2f" % job.result["UB"]:
        return "ok, recomputed cost %.2f" % checked  # the float sum and the exact one part
    return "ok"


def git_revision(repo):
    try:
        rev = subprocess.run(["git", "-C", repo, "rev-parse", "--short", "HEAD"], capture_output=True,
                             text=True).stdout.strip()
        dirty = subprocess.run(["git", "-C", repo, "status", "--porcelain", "--untracked-files=no",
                                "--", ":(top)", ":(top,exclude)bench/results"],
                               capture_output=True, text=True).stdout.strip()
        return rev + (" with local changes" if dirty else "") if rev else "unknown"
    except OSError:
        return "unknown"


def gnuplot_text(text):
    """A path inside gnuplot's single quotes, where a quote is doubled."""
    return text.replace("'", "''")


def write_plot(jobs, set_name, work, results):
    """A bar chart of the gaps per instance.  Returns "" when it was drawn,
    else the reason why not."""
    svg = os.path.join(results, set_name + ".svg")
    if os.path.exists(svg):
        os.remove(svg)  # never leave the plot of an earlier run beside a new table
    gnuplot = shutil.which("gnuplot")
    if not gnuplot:
        return "gnuplot is not installed"
    if all(g is None for job in jobs for g in gaps(job)):
        return "no instance has a gap to show"
    with_bounds = any(job.optimal is None for job in jobs)
    data = os.path.join(work, set_name + "-gaps.dat")
    with open(data, "w") as f:
        for job in jobs:
            f.write("%s %s\n" % (job.label, " ".join("?" if g is None else "%.6f" % g for g in gaps(job))))
    series = ["'%s' using 2:xtic(1) title 'UB gap: (UB - optimal) / optimal'" % gnuplot_text(data),
              "'' using 3 title 'LB gap: (optimal - LB) / optimal'"]
    if with_bounds:
        series.append("'' using 4 title 'UB - LB gap: (UB - LB) / UB'")
    # A gap of zero draws no bar, as a missing value does: a "0" in the colour
    # of its series stands where the bar would.  Bar k of the n in a cluster
    # is centred (k - (n - 1) / 2) / (n + gap) off the cluster's middle.  A
    # series without any zero gets no labels (gnuplot 5.4 can crash on a
    # labels plot without a single point).
    count = len(series)
    for k in range(count):
        if not any(gaps(job)[k] == 0 for job in jobs):
            continue
        series.append("'' using ($0 + %.6f):(column(%d) == 0 ? 0 : NaN):(\"0\") with labels offset 0,0.7 "
                      "textcolor lt %d font ',10' notitle" % ((k - (count - 1) / 2.0) / (count + 1), k + 2, k + 1))
    script = "\n".join([
        "set terminal svg size %d,480 dynamic background rgb 'white'" % max(640, 40 * len(jobs) + 200),
        "set output '%s'" % gnuplot_text(svg),
        "set title '%s: gaps per instance (0: a gap of zero; nothing: no value)'" % set_name,
        "set ylabel 'gap (%)'",
        "set style data histograms",
        "set style histogram clustered gap 1",
        "set style fill solid 0.8 border -1",
        "set xtics rotate by -45 scale 0 nomirror",
        "set grid ytics",
        "set key top left",
        "set datafile missing '?'",
        "plot " + ", ".join(series),
    ])
    result = subprocess.run([gnuplot], input=script, capture_output=True, text=True)
    if result.returncode != 0:
        if os.path.exists(svg):
            os.remove(svg)
        return "gnuplot failed: " + last_line(result.stderr)
    return ""


def write_table(jobs, args, plot_problem, complete):
    title = {"orlib": "OR-Library p-median instances pmed1-pmed40",
             "tsplib": "TSPLIB instances rl1304 and fl1400"}[args.set]
    lines = [
        "# Benchmark: " + title,
        "",
        "Written by `make bench-%s` on %s; solver commit %s; time limit per instance: %s." % (
            args.set, datetime.date.today().isoformat(), git_revision(os.path.dirname(os.path.abspath(__file__))),
            "%d s" % args.timeout if args.timeout > 0 else "none"),
        "",
    ]
    if not complete:
        lines += ["**Partial run: %d instances only.**" % len(jobs), ""]
    lines += [
        "UB and LB are the solver's bounds; UB gap = (UB - optimal) / optimal and LB gap = "
        "(optimal - LB) / optimal, in percent; UB - LB gap = (UB - LB) / UB. Status is the solver's "
        "(1: UB - LB <= 1, an absolute difference, see the UB - LB gap beside it; 0: relaxation feasible; 2: step exhausted). CPU s is the solver's own count, "
        "wall s includes reading the instance. Check is pmedian-check's verdict on solucao.txt.",
        "",
        "| instance | n | p | optimal | UB | LB | UB gap % | LB gap % | UB - LB gap % | status | iterations "
        "| CPU s | wall s | check |",
        "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|",
    ]
    for job in jobs:
        r = job.result
        ub_gap, lb_gap, bound_gap = gaps(job)
        lines.append("| %s |" % " | ".join([
            job.label, str(job.n), str(job.p), cell(job.optimal, "%.0f"),
            cell(r.get("UB"), "%.2f"), cell(r.get("LB"), "%.2f"),
            cell(ub_gap, "%.3f"), cell(lb_gap, "%.3f"), cell(bound_gap, "%.3f"),
            cell(r.get("status"), "%.0f"), cell(r.get("iterations"), "%.0f"),
            cell(r.get("cpu"), "%.2f"), cell(r.get("wall"), "%.2f"), check_cell(job)]))
    failed = [job for job in jobs if job.problem]
    lines += ["", "%d of %d instances solved and checked." % (len(jobs) - len(failed), len(jobs))]
    if plot_problem:
        lines += ["", "No plot: %s." % plot_problem]
    else:
        lines += ["", "![gaps per instance](%s.svg)" % args.set]
    with open(os.path.join(args.results, args.set + ".md"), "w") as f:
        f.write("\n".join(lines) + "\n")


def select_jobs(jobs, only):
    """The jobs named in only (blank-separated labels; all when empty), and
    whether that is all of them."""
    wanted = only.split()
    unknown = [label for label in wanted if label not in {job.label for job in jobs}]
    if unknown:
        sys.exit("unknown instances: %s (known: %s)" % (" ".join(unknown), " ".join(job.label for job in jobs)))
    return ([job for job in jobs if job.label in wanted] if wanted else jobs), not wanted


def run_each(jobs, run, describe):
    """Runs every job, printing its label and then describe(job); an OSError
    (a missing program, a full disk) is noted on the job as its problem, and
    the next one goes on."""
    for job in jobs:
        print("%-12s" % job.label, end=" ", flush=True)
        try:
            run(job)
        except OSError as error:
            job.problem = "%s: %s" % (type(error).__name__, error)
        print(describe(job), flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("set", choices=["orlib", "tsplib"])
    parser.add_argument("--instances", required=True, help="folder of the instance set")
    parser.add_argument("--bin", required=True, help="folder with pmedian, pmedian-convert, pmedian-check")
    parser.add_argument("--work", required=True, help="scratch folder, one subfolder per instance")
    parser.add_argument("--results", required=True, help="folder for SET.md and SET.svg")
    parser.add_argument("--timeout", type=int, default=0, help="seconds per solver run, 0 for none")
    parser.add_argument("--only", default="", help="instance labels to run, separated by blanks")
    args = parser.parse_args()
    # The solver runs inside each instance's folder: every path is made absolute.
    args.instances, args.bin, args.work, args.results = (
        os.path.abspath(path) for path in (args.instances, args.bin, args.work, args.results))

    jobs, complete = select_jobs(orlib_jobs(args.instances) if args.set == "orlib" else tsplib_jobs(args.instances),
                                 args.only)
    os.makedirs(args.work, exist_ok=True)
    os.makedirs(args.results, exist_ok=True)
    run_each(jobs, lambda job: run_job(job, args.bin, args.work, args.timeout),
             lambda job: job.problem or "UB %.2f LB %.2f in %.1f s" % (job.result["UB"], job.result["LB"],
                                                                      job.result["wall"]))
    plot_problem = write_plot(jobs, args.set, args.work, args.results)
    if plot_problem:
        print("no plot: " + plot_problem, file=sys.stderr)
    write_table(jobs, args, plot_problem, complete)
    print("wrote " + os.path.join(args.results, args.set + ".md"))
    return 1 if any(job.problem for job in jobs) else 0


if __name__ == "__main__":
    sys.exit(main())
