#!/usr/bin/env python3
"""Large instances: time, threads and peak memory against n.

Instances (each converted or generated into its own scratch folder):
  uniform-N   N uniform random points (generate_points.py), exact Euclidean
              distances, p = N / 10, every exchange allowed, for N = 1000,
              2000, 4000 and 10000
  pcb3038     TSPLIB pcb3038, exact distances, p = 100, every exchange
  asym-3000   3000 random points, cost = distance x a random factor in
              [0.5, 1.5) with two decimals (not symmetric), p = 300, a radius
              that lets a third of the pairs be exchanged

Each runs with one thread and with every core (OMP_NUM_THREADS), and the two
outputs must agree.  The outputs are also compared byte for byte (all but the
CPU-time line) with the solver as it stood before the cost order and the
walks (commit BASELINE_COMMIT): bench/results/scaling-baseline.csv records
that program's user CPU seconds and output digests from one run on this
kind of machine.  With --baseline BIN the old program runs again on every
instance whose recorded time is below --baseline-limit seconds, and its
fresh time and digests replace the recorded ones in the table.

Writes RESULTS/scaling.md and, with gnuplot, RESULTS/scaling.svg (log-log:
seconds and peak memory against n for the uniform instances).  Exit status
1 if any output differs or a run fails.
"""

import argparse
import csv
import datetime
import hashlib
import math
import os
import random
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from perf_bench import machine, third_of_pairs_radius  # noqa: E402
from instance_sets import require  # noqa: E402

BASELINE_COMMIT = "6b2ac2a"
UNIFORM_SIZES = [1000, 2000, 4000, 10000]


def run(program, folder, threads):
    """Runs a solver in folder; returns (wall s, user s, peak MiB, digest)."""
    env = dict(os.environ)
    if threads:
        env["OMP_NUM_THREADS"] = str(threads)
    start = time.monotonic()
    with open(os.path.join(folder, "stdout.txt"), "wb") as out:
        child = subprocess.Popen([program], cwd=folder, stdout=out, stderr=subprocess.DEVNULL, env=env)
        _, status, usage = os.wait4(child.pid, 0)
    wall = time.monotonic() - start
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 1:
        raise RuntimeError(f"{program} ended abnormally in {folder}")
    return wall, usage.ru_utime, usage.ru_maxrss / 1024.0, digest(folder)


def digest(folder):
    """SHA-256 of the summary without its CPU-time line, then the solution file."""
    h = hashlib.sha256()
    with open(os.path.join(folder, "stdout.txt"), "rb") as f:
        h.update(b"".join(line for line in f if b"Total CPU Time" not in line))
    with open(os.path.join(folder, "solucao.txt"), "rb") as f:
        h.update(f.read())
    return h.hexdigest()[:16]


def write_asymmetric(folder, count, seed):
    """The asymmetric instance: costs and distances written directly."""
    rng = random.Random(seed)
    xs = [rng.uniform(0, 1000) for _ in range(count)]
    ys = [rng.uniform(0, 1000) for _ in range(count)]
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "pmeddata.dat"), "w") as f:
        f.write(f"{count} {count // 10}\n")
        for i in range(count):
            f.write(" ".join(f"{math.hypot(xs[i] - xs[j], ys[i] - ys[j]) * rng.uniform(0.5, 1.5):.2f}"
                             for j in range(count) if j != i))
            f.write("\n")
    points = os.path.join(folder, "points.tsp")
    with open(points, "w") as f:
        f.write(f"DIMENSION : {count}\nNODE_COORD_SECTION\n")
        for i in range(count):
            f.write(f"{i + 1} {xs[i]} {ys[i]}\n")
    radius = third_of_pairs_radius(points)
    with open(os.path.join(folder, "pmedmtrx.dat"), "w") as f:
        f.write(f"{count} {count // 10} {radius:.6f}\n")
        for i in range(count - 1):
            f.write(" ".join(f"{math.hypot(xs[i] - xs[j], ys[i] - ys[j]):.4f}" for j in range(i + 1, count)))
            f.write("\n")


def prepare(options, label):
    """Converts or generates instance `label` into its folder; returns (folder, n, p)."""
    folder = os.path.join(options.work, label)
    convert = os.path.join(options.bin, "pmedian-convert")
    if os.path.exists(os.path.join(folder, "pmedmtrx.dat")):
        pass  # kept from an earlier run of the benchmark
    elif label.startswith("uniform-"):
        count = int(label.split("-")[1])
        os.makedirs(folder, exist_ok=True)
        tsp = os.path.join(folder, "points.tsp")
        subprocess.run([sys.executable, os.path.join(HERE, "generate_points.py"), str(count), "7", tsp], check=True)
        subprocess.run([convert, "tsplib", tsp, "--p", str(count // 10), "--out", folder], check=True,
                       stdout=subprocess.DEVNULL)
    elif label == "pcb3038":
        require(options.tsplib, "tsplib", ["pcb3038.tsp"])
        os.makedirs(folder, exist_ok=True)
        subprocess.run([convert, "tsplib", os.path.join(options.tsplib, "pcb3038.tsp"), "--p", "100",
                        "--out", folder], check=True, stdout=subprocess.DEVNULL)
    else:
        write_asymmetric(folder, 3000, 5)
    with open(os.path.join(folder, "pmeddata.dat")) as f:
        n, p = (int(v) for v in f.readline().split()[:2])
    return folder, n, p


def read_baseline(path):
    rows = {}
    if os.path.exists(path):
        with open(path, newline="") as f:
            for row in csv.DictReader(f):
                rows[row["instance"]] = row
    return rows


def plot(rows, svg):
    gnuplot = shutil.which("gnuplot")
    if not gnuplot:
        return "gnuplot is not installed"
    data = svg + ".dat"
    with open(data, "w") as f:
        for r in rows:
            if r["label"].startswith("uniform-"):
                f.write(f"{r['n']} {r['user1']:.3f} {r['wall_all']:.3f} {r['peak']:.1f} {r['matrices']:.1f} "
                        f"{r['base_user'] if r['base_user'] else 'NaN'}\n")
    script = "\n".join([
        "set terminal svg size 900,420 dynamic background '#ffffff'",
        f"set output '{svg}'",
        "set multiplot layout 1,2",
        "set logscale xy", "set grid", "set key top left", "set xlabel 'n (uniform points, p = n / 10)'",
        "set title 'Seconds'",
        f"plot '{data}' using 1:6 with linespoints title 'before (user CPU)', "
        f"'' using 1:2 with linespoints title 'now, 1 thread (user CPU)', "
        f"'' using 1:3 with linespoints title 'now, all threads (wall)'",
        "set title 'Peak memory, MiB'",
        f"plot '{data}' using 1:4 with linespoints title 'peak resident', "
        f"'' using 1:5 with lines dashtype 2 title 'the two n x n float matrices'",
        "unset multiplot",
    ])
    result = subprocess.run([gnuplot], input=script, capture_output=True, text=True)
    os.remove(data)
    return "" if result.returncode == 0 else result.stderr.strip()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="build folder with pmedian and pmedian-convert")
    parser.add_argument("--tsplib", required=True, help="folder with pcb3038.tsp")
    parser.add_argument("--work", required=True, help="scratch folder (instances are kept for later runs)")
    parser.add_argument("--results", required=True, help="folder for scaling.md, scaling.svg")
    parser.add_argument("--baseline", help="the solver built from the commit before the cost order")
    parser.add_argument("--baseline-limit", type=float, default=120.0,
                        help="rerun the baseline only where its recorded time is below this (s)")
    parser.add_argument("--only", default="", help="comma-separated instance labels")
    options = parser.parse_args()
    options.bin = os.path.abspath(options.bin)

    labels = [f"uniform-{n}" for n in UNIFORM_SIZES] + ["pcb3038", "asym-3000"]
    if options.only:
        labels = [label for label in labels if label in options.only.split(",")]
    recorded_path = os.path.join(HERE, "results", "scaling-baseline.csv")
    recorded = read_baseline(recorded_path)
    program = os.path.join(options.bin, "pmedian")
    cores = os.cpu_count() or 1
    failures = 0
    rows = []
    for label in labels:
        folder, n, p = prepare(options, label)
        base = recorded.get(label, {})
        base_user = float(base["user_seconds"]) if base.get("user_seconds") else None
        base_digest = base.get("digest")
        if options.baseline and base_user is not None and base_user < options.baseline_limit:
            old = os.path.join(folder, "baseline")
            os.makedirs(old, exist_ok=True)
            for name in ("pmeddata.dat", "pmedmtrx.dat"):
                if not os.path.exists(os.path.join(old, name)):
                    os.symlink(os.path.join(os.path.abspath(folder), name), os.path.join(old, name))
            print(f"{label}: baseline ...", flush=True)
            _, base_user, _, base_digest = run(os.path.abspath(options.baseline), old, 0)
        print(f"{label}: 1 thread ...", flush=True)
        wall1, user1, peak1, digest1 = run(program, folder, 1)
        print(f"{label}: {cores} threads ...", flush=True)
        wall_all, user_all, peak_all, digest_all = run(program, folder, cores)
        same_threads = digest1 == digest_all
        same_base = base_digest == digest1 if base_digest else None
        failures += (not same_threads) + (same_base is False)
        rows.append(dict(label=label, n=n, p=p, base_user=base_user, user1=user1, wall1=wall1, wall_all=wall_all,
                         peak=max(peak1, peak_all), matrices=8.0 * n * n / 1048576.0, same_threads=same_threads,
                         same_base=same_base))
        print(f"{label}: before {base_user} s, now {user1:.2f} s (1 thread), {wall_all:.2f} s wall "
              f"({cores} threads), peak {max(peak1, peak_all):.0f} MiB, "
              f"{'identical' if same_threads and same_base is not False else 'OUTPUTS DIFFER'}", flush=True)

    os.makedirs(options.results, exist_ok=True)
    with open(os.path.join(options.results, "scaling.md"), "w") as f:
        f.write("# Scaling: large instances, threads and memory\n\n")
        f.write(f"Machine: {machine()}. Run on {datetime.date.today().isoformat()} by `make bench`; one run "
                "each on a shared machine, so read the ratios rather than the absolute times.\n\n")
        f.write("| instance | n | p | before: user s | now, 1 thread: user s | speedup | now, 1 thread: wall s | "
                f"now, {cores} threads: wall s | threads speedup | peak MiB | peak / (8 n^2) | outputs |\n")
        f.write("|---|---|---|---|---|---|---|---|---|---|---|---|\n")
        for r in rows:
            before = f"{r['base_user']:.1f}" if r["base_user"] else "-"
            speedup = f"{r['base_user'] / max(r['user1'], 1e-3):.1f}" if r["base_user"] else "-"
            same = "identical" if r["same_threads"] and r["same_base"] else (
                "threads agree; no baseline" if r["same_threads"] and r["same_base"] is None else "DIFFER")
            f.write(f"| {r['label']} | {r['n']} | {r['p']} | {before} | {r['user1']:.2f} | {speedup} | "
                    f"{r['wall1']:.2f} | {r['wall_all']:.2f} | {r['wall1'] / max(r['wall_all'], 1e-3):.2f} | "
                    f"{r['peak']:.0f} | {r['peak'] / r['matrices']:.2f} | {same} |\n")
        f.write(f"\n\"before\" is the solver at commit {BASELINE_COMMIT}, before the cost order, the walks and "
                "the bracketed trials (user CPU seconds and output digests in `bench/results/scaling-baseline.csv`, "
                "from one run on this kind of machine); \"outputs\" compares the summary (all but the CPU-time line) "
                "and `solucao.txt` of all three runs.\n")
    problem = plot(rows, os.path.join(options.results, "scaling.svg"))
    if problem:
        print(f"no plot: {problem}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
