#!/usr/bin/env python3
"""Proves the published optima of the public instances with pmedian-exact.

For every instance: pmedian-convert writes it into its own scratch folder;
pmedian-exact proves it once with each MIP solver asked for (its Lagrangian
bound, reduction and MIP); pmedian-check verifies each solution file against
the published optimum; and the plain classic model of the whole instance is
handed to one MIP solver under a time limit, for comparison.  The table goes
to RESULTS/exact.md, with a plot of the seconds per instance in
RESULTS/exact.svg when gnuplot is available.

Instances: OR-Library pmed1 ... pmed40 (optimal.csv) and every TSPLIB row of
best_known.csv (rl1304, fl1400, u1432, vm1748, pcb3038) with floor
distances, the convention of the published tables.  Beside each TSPLIB
proof the table gives the published optimum and the time of the published
Benders decomposition on a commercial MIP solver.

Exit status 0 when every instance was proven optimal at its published value
by every solver, 1 otherwise (the table is written in both cases).
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

from run_bench import Job, git_revision, last_line, orlib_jobs, require, run_each, select_jobs, tsplib_dimension

# Seconds of the published Benders decomposition (Duran-Mateluna, Ales &
# Elloumi, "An efficient Benders decomposition for the p-median problem",
# EJOR 2023, Tables 2 and 3), by instance label, where the tables give one.
PUBLISHED_SECONDS = {
    "rl1304-p10": 15.4, "rl1304-p100": 2.4, "vm1748-p10": 10.9, "vm1748-p20": 9.5, "vm1748-p100": 3.2,
    "pcb3038-p5": 55, "pcb3038-p20": 146, "pcb3038-p100": 96, "pcb3038-p150": 269, "fl1400-p200": 26.9,
    "fl1400-p300": 385, "fl1400-p400": 32655, "u1432-p50": 1610,
}


def tsplib_exact_jobs(folder):
    """Every row of best_known.csv, with floor distances."""
    require(folder, "tsplib", ["best_known.csv"])
    jobs = []
    with open(os.path.join(folder, "best_known.csv"), newline="") as f:
        for row in csv.DictReader(f):
            path = os.path.join(folder, row["name"] + ".tsp")
            p = int(row["p"])
            jobs.append(Job("%s-p%d" % (row["name"], p), tsplib_dimension(path), p, float(row["value"]),
                            ["tsplib", path, "--p", str(p), "--round", "floor"]))
    return jobs

# Beyond a run's own time limit, the seconds before it is killed: a MIP
# solver checks its clock only now and then (CBC not while it solves the
# first linear relaxation of a large model).
SECONDS_SLACK = 30


def parse_exact(stdout):
    """The labelled lines of pmedian-exact's report."""
    r = {}
    for label, key in (("status", "status"), ("value", "value"), ("lower bound", "bound")):
        m = re.search(r"^%s:\s+(.*)$" % label, stdout, re.MULTILINE)
        if m:
            r[key] = m.group(1).strip()
    m = re.search(r"^MIP:\s+\S+,( Benders decomposition,)? (\d+) nodes", stdout, re.MULTILINE)
    r["nodes"] = int(m.group(2)) if m else 0
    decomposed = bool(m and m.group(1))
    m = re.search(r"^vertices:\s+(\d+) closed, (\d+) open, (\d+) free$", stdout, re.MULTILINE)
    r["free"] = int(m.group(3)) if m else 0
    m = re.search(r"^client-median pairs:\s+(\d+) of", stdout, re.MULTILINE)
    r["pairs"] = int(m.group(1)) if m else 0
    m = re.search(r"^model(?: after reduction)?:\s+(\d+) rows, (\d+) columns, (\d+) nonzeros$", stdout, re.MULTILINE)
    r["size"] = "%s / %s / %s" % m.groups() if m else "decomposition" if decomposed else "no MIP"
    m = re.search(r"^seconds:\s+(.*)$", stdout, re.MULTILINE)
    if m:
        phases = dict((name.strip(), float(value)) for name, value in
                      (part.rsplit(" ", 1) for part in m.group(1).split(", ")))
        phases.pop("total", None)
        # Where the time went: the phases of a second or more, largest first.
        r["phases"] = ", ".join("%s %.0f" % (name, value) for name, value in
                                sorted(phases.items(), key=lambda item: -item[1]) if value >= 1) or "–"
    for label in ("value", "bound"):
        try:
            r[label] = float(r[label])
        except (KeyError, ValueError):
            r.pop(label, None)
    return r


def run_tool(args, folder, limit, name):
    """Runs pmedian-exact in folder; returns its parsed report with the wall
    seconds, the exit status and the checker's verdict."""
    start, cpu_start = time.monotonic(), os.times()
    try:
        run = subprocess.run(args, cwd=folder, capture_output=True, text=True,
                             timeout=limit + SECONDS_SLACK if limit > 0 else None)
    except subprocess.TimeoutExpired:
        return {"status": "killed after %d s" % (limit + SECONDS_SLACK), "wall": time.monotonic() - start,
                "cpu": None, "exit": None}
    cpu_end = os.times()
    r = parse_exact(run.stdout)
    r["wall"] = time.monotonic() - start
    r["cpu"] = (cpu_end.children_user - cpu_start.children_user) + (cpu_end.children_system -
                                                                     cpu_start.children_system)
    r["exit"] = run.returncode
    with open(os.path.join(folder, name + ".txt"), "w") as f:
        f.write(run.stdout + run.stderr)
    if "status" not in r:
        r["status"] = "error: " + (last_line(run.stderr) or last_line(run.stdout) or "no report")
    return r


def check(bin_dir, folder, optimal):
    check = subprocess.run([os.path.join(bin_dir, "pmedian-check"), folder, "--solution", "solucao_exata.txt",
                            "--optimal", repr(optimal)], capture_output=True, text=True)
    if check.returncode != 0:
        return "check: " + last_line(check.stderr).replace("pmedian-check: ", "")
    return ""


def run_job(job, args):
    folder = os.path.join(args.work, job.label)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    convert = subprocess.run([os.path.join(args.bin, "pmedian-convert")] + job.convert_args + ["--out", folder],
                             capture_output=True, text=True)
    if convert.returncode != 0:
        job.problem = "conversion failed: " + last_line(convert.stderr)
        return
    tool = os.path.join(args.bin, "pmedian-exact")
    for mip in args.mip:
        r = run_tool([tool, "--mip", mip, "--model", args.model, "--time-limit", str(args.time_limit)], folder,
                     args.time_limit, mip)
        r["proved"] = r["status"] == "optimal" and r.get("value") == job.optimal
        if r["status"] == "optimal" and r.get("value") != job.optimal:
            r["status"] = "optimal %s, published %s" % (r.get("value"), job.optimal)
        if "value" in r:
            problem = check(args.bin, folder, job.optimal)
            if problem:
                r["status"] += "; " + problem
                r["proved"] = False
        job.result[mip] = r
    if args.plain_limit > 0:
        r = run_tool([tool, "--plain", "--mip", args.plain_mip, "--time-limit", str(args.plain_limit)], folder,
                     args.plain_limit, "plain")
        r["proved"] = r["status"] == "optimal" and r.get("value") == job.optimal
        job.result["plain"] = r
    if all(r.get("proved") for key, r in job.result.items() if key != "plain"):
        for name in ("pmeddata.dat", "pmedmtrx.dat"):
            os.remove(os.path.join(folder, name))
    else:
        job.problem = "not proven"


def seconds_cell(r):
    if not r:
        return "–"
    text = "%.2f" % r["wall"]
    if r.get("cpu") is not None:
        text += " (%.2f)" % r["cpu"]
    return text if r.get("proved") else "%s: %s" % (text, r["status"])


def write_plot(jobs, args):
    svg = os.path.join(args.results, "exact.svg")
    if os.path.exists(svg):
        os.remove(svg)
    if not shutil.which("gnuplot"):
        return "gnuplot is not installed"
    data = os.path.join(args.work, "exact-seconds.dat")
    columns = list(args.mip) + (["plain"] if args.plain_limit > 0 else [])
    with open(data, "w") as f:
        for job in jobs:
            f.write(job.label + " " + " ".join("%.3f" % max(job.result[c]["wall"], 0.01) if c in job.result else "?"
                                               for c in columns) + "\n")
    titles = ["pmedian-exact, %s" % m for m in args.mip]
    if args.plain_limit > 0:
        titles.append("plain classic model, %s (limit %d s)" % (args.plain_mip, args.plain_limit))
    series = ["'%s' using %d:xtic(1) title '%s'" % (data if k == 0 else "", k + 2, t) for k, t in enumerate(titles)]
    script = "\n".join([
        "set terminal svg size %d,520 dynamic background rgb 'white'" % max(800, 22 * len(jobs) + 200),
        "set output '%s'" % svg,
        "set title 'Seconds to prove the optimum, per instance (wall clock, log scale)'",
        "set ylabel 'seconds'",
        "set logscale y",
        "set style data linespoints",
        "set xtics rotate by -60 scale 0 nomirror font ',9'",
        "set grid ytics",
        "set key top left",
        "set datafile missing '?'",
        "plot " + ", ".join(series),
    ])
    result = subprocess.run(["gnuplot"], input=script, capture_output=True, text=True)
    if result.returncode != 0:
        return "gnuplot failed: " + last_line(result.stderr)
    return ""


def summary(jobs, args):
    lines = []
    for mip in args.mip:
        for label, orlib in (("OR-Library", True), ("TSPLIB", False)):
            subset = [j for j in jobs if j.label.startswith("pmed") == orlib and mip in j.result]
            if not subset:
                continue
            runs = [j.result[mip] for j in subset]
            slowest = max(subset, key=lambda j: j.result[mip]["wall"])
            lines.append("- **%s, %s**: %d of %d proven optimal at the published value; %.1f s in total, at most "
                         "%.1f s (%s); %.1f s of CPU in total." % (
                             label, mip, sum(1 for r in runs if r.get("proved")), len(runs),
                             sum(r["wall"] for r in runs), slowest.result[mip]["wall"], slowest.label,
                             sum(r["cpu"] or 0 for r in runs)))
    if args.plain_limit > 0:
        lead = args.plain_mip
        finished = [j for j in jobs if j.result.get("plain", {}).get("proved") and lead in j.result]
        unfinished = [j.label for j in jobs if "plain" in j.result and not j.result["plain"].get("proved")]
        if finished:
            ratios = sorted((j.result["plain"]["wall"] / max(j.result[lead]["wall"], 1e-9), j.label)
                            for j in finished)
            lines.append("- **Plain classic model, %s, limit %d s**: proves %d of them; pmedian-exact with %s is "
                         "%.0f to %.0f times as fast on them (least: %s)." % (
                             lead, args.plain_limit, len(finished), lead, ratios[0][0], ratios[-1][0],
                             ratios[0][1]))
        lines.append("- Not finished by the plain model within %d s: %s." % (
            args.plain_limit, ", ".join(unfinished) if unfinished else "none"))
    return lines


def tsplib_table(jobs, args):
    """The TSPLIB rows beside the published optima and Benders times."""
    lead = args.mip[0]
    rows = [j for j in jobs if not j.label.startswith("pmed") and lead in j.result]
    if not rows:
        return []
    out = [
        "## TSPLIB against the published exact results (%s)" % lead,
        "",
        "Published: the proven optimum and the seconds of the Benders decomposition on a commercial MIP solver "
        "(Duran-Mateluna, Ales & Elloumi, EJOR 2023, Tables 2 and 3). Ours: the value and bound at the end, "
        "whether it is proven optimal at the published value, the wall seconds, and the phases of a second or "
        "more, in seconds, largest first.",
        "",
        "| instance | p | published optimum | value | bound | proven | seconds | where the time went | "
        "published Benders s |",
        "|---|---:|---:|---:|---:|---|---:|---|---:|",
    ]
    for job in rows:
        r = job.result[lead]
        published = PUBLISHED_SECONDS.get(job.label)
        out.append("| %s | %d | %.0f | %s | %s | %s | %.1f | %s | %s |" % (
            job.label.split("-")[0], job.p, job.optimal, "%.0f" % r["value"] if "value" in r else "none",
            "%.2f" % r["bound"] if "bound" in r else "none", "yes" if r.get("proved") else "no: " + r["status"],
            r["wall"], r.get("phases", "–"), "%g" % published if published else "–"))
    return out + [""]


def write_table(jobs, args, plot_problem, complete):
    out = [
        "# Benchmark: proving the optimum with pmedian-exact",
        "",
        "Written by `make bench-exact` on %s; solver commit %s; time limit per run: %d s; MIP phase: --model %s "
        "(plain model: %s)." % (
            datetime.date.today().isoformat(), git_revision(os.path.dirname(os.path.abspath(__file__))),
            args.time_limit, args.model, "%d s" % args.plain_limit if args.plain_limit > 0 else "not run"),
        "",
    ]
    if not complete:
        out += ["**Partial run: %d instances only.**" % len(jobs), ""]
    out += summary(jobs, args) + [""]
    out += tsplib_table(jobs, args)
    out += [
        "Seconds are wall-clock seconds of the whole run (reading, the core's Lagrangian optimisation, the "
        "carried-on dual, the swap search, the reduction, probing and the MIP) on a shared 2-core machine, with the CPU seconds of the run in parentheses. Proved: the tool's status is optimal, its value is "
        "the published optimum, and pmedian-check accepts its solution file. Free: vertices neither closed nor "
        "fixed open by the reduction; pairs: client-median pairs left; model: rows / columns / nonzeros of the "
        "reduced radius model (decomposition: the Benders decomposition solved it instead; no MIP: the bound "
        "alone proved the optimum). The plain column is the classic "
        "model of the whole instance (x[i][j] <= y[i]) in the same MIP solver with its default settings.",
        "",
    ]
    head = "| instance | n | p | optimum |"
    rule = "|---|---:|---:|---:|"
    for mip in args.mip:
        head += " %s proved | %s s | nodes |" % (mip, mip)
        rule += "---|---:|---:|"
    head += " free | pairs | model (%s) |" % args.mip[0]
    rule += "---:|---:|---|"
    if args.plain_limit > 0:
        head += " plain %s s | speedup |" % args.plain_mip
        rule += "---:|---:|"
    out += [head, rule]
    for job in jobs:
        cells = [job.label, str(job.n), str(job.p), "%.0f" % job.optimal]
        for mip in args.mip:
            r = job.result.get(mip)
            cells += ["yes" if r and r.get("proved") else "no", seconds_cell(r), str(r["nodes"]) if r and "nodes" in r
                      else "–"]
        first = job.result.get(args.mip[0], {})
        cells += [str(first.get("free", "–")), str(first.get("pairs", "–")), first.get("size", "–")]
        if args.plain_limit > 0:
            plain = job.result.get("plain")
            cells.append(seconds_cell(plain) if plain else "–")
            main = job.result.get(args.plain_mip)
            cells.append("%.0f" % (plain["wall"] / max(main["wall"], 1e-9)) if plain and plain.get("proved") and main
                         else "–")
        if job.problem and "conversion" in job.problem:
            cells[4] = job.problem
        out.append("| %s |" % " | ".join(c.replace("|", "\\|") for c in cells))
    out += ["", "No plot: %s." % plot_problem if plot_problem else "![seconds per instance](exact.svg)"]
    with open(os.path.join(args.results, "exact.md"), "w") as f:
        f.write("\n".join(out) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--orlib", required=True, help="folder of the OR-Library instances")
    parser.add_argument("--tsplib", required=True, help="folder of the TSPLIB instances")
    parser.add_argument("--bin", required=True, help="folder with pmedian-exact, pmedian-convert, pmedian-check")
    parser.add_argument("--work", required=True, help="scratch folder, one subfolder per instance")
    parser.add_argument("--results", required=True, help="folder for exact.md and exact.svg")
    parser.add_argument("--mip", default="cbc glpk", help="MIP solvers to prove with, the first one leading")
    parser.add_argument("--time-limit", type=int, default=600, help="seconds per pmedian-exact run")
    parser.add_argument("--model", default="auto", choices=["auto", "radius", "benders"],
                        help="what pmedian-exact's MIP phase solves (its --model)")
    parser.add_argument("--plain-limit", type=int, default=60, help="seconds per plain-model run, 0 to skip it")
    parser.add_argument("--plain-mip", default="", help="MIP solver of the plain model (default: the first)")
    parser.add_argument("--only", default="", help="instance labels to run, separated by blanks")
    args = parser.parse_args()
    args.mip = args.mip.split()
    args.plain_mip = args.plain_mip or args.mip[0]
    args.orlib, args.tsplib, args.bin, args.work, args.results = (
        os.path.abspath(p) for p in (args.orlib, args.tsplib, args.bin, args.work, args.results))

    jobs, complete = select_jobs(
        orlib_jobs(args.orlib) + tsplib_exact_jobs(args.tsplib), args.only)
    os.makedirs(args.work, exist_ok=True)
    os.makedirs(args.results, exist_ok=True)
    run_each(jobs, lambda job: run_job(job, args),
             lambda job: "  ".join("%s %s %.1f s" % (k, r["status"], r["wall"]) for k, r in job.result.items())
             or job.problem)
    plot_problem = write_plot(jobs, args)
    if plot_problem:
        print("no plot: " + plot_problem, file=sys.stderr)
    write_table(jobs, args, plot_problem, complete)
    print("wrote " + os.path.join(args.results, "exact.md"))
    return 1 if any(job.problem for job in jobs) else 0


if __name__ == "__main__":
    sys.exit(main())
