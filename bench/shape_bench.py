#!/usr/bin/env python3
"""Shapes where a fast interchange can lose to the straightforward one.

The fast pass keeps gains for every vertex, which pays when many exchanges
are allowed and p is not tiny.  This table watches the other shapes: few
medians on a few thousand vertices, radius 0, ties everywhere, negative
costs.  Each instance runs, with one thread, under the straightforward
build (pmedian-reference), optionally under older builds (--compare
LABEL=BIN, e.g. the 6b2ac2a build that make bench-baseline makes), and
under the fast build; all outputs (the summary without its CPU-time line,
and solucao.txt) must be identical, byte for byte.

Instances (generated from fixed seeds into the work folder, kept there
between runs):
  uniform-2000 p=P   2000 random points (generate_points.py, seed 7), exact
                     Euclidean distances, every exchange allowed, P = 1, 2,
                     5, 20
  pcb3038 p=5        TSPLIB pcb3038, exact distances, every exchange allowed
  ties-962 radius 0  symmetric integer costs 0-3, p = 1, radius 0, integer
                     distances 0-31 (a thirty-second of the pairs at 0)
  ties-1000 p=2      symmetric integer costs 0-3, every exchange allowed
  negative-1000 p=5  symmetric integer costs -20..39, a radius that allows
                     about a third of the pairs
  euclid-1000 r=0    1000 random points, p = 2, radius 0 (no exchange)

At scale (--large N, 20000 by default, 0 to skip): N random points
(seed 7), exact distances, p = N / 10, converted by pmedian-convert (on
every run) and solved by the fast build alone (the others would take
hours); the table gives the time and peak memory of both.  The instance
files take about 14 N^2 bytes of disk (5.7 GB at 20,000), kept in the work
folder.

A run that exceeds --limit seconds of wall time is stopped and shown as
such.  Writes RESULTS/shapes.md; exit status 1 if any outputs differ or a
run fails.
"""

import argparse
import datetime
import os
import random
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from perf_bench import machine  # noqa: E402


def run(program, folder, name, limit, peaks=None):
    """Runs a solver with one thread in folder/run-NAME; returns (user s, output) or (None, None) past limit.

    Appends the peak memory in MiB to peaks, when given."""
    work = os.path.join(folder, "run-" + name)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    for name in ("pmeddata.dat", "pmedmtrx.dat"):
        os.link(os.path.join(folder, name), os.path.join(work, name))
    env = dict(os.environ, OMP_NUM_THREADS="1")
    start = time.monotonic()
    with open(os.path.join(work, "stdout.txt"), "wb") as out:
        child = subprocess.Popen([program], cwd=work, stdout=out, stderr=subprocess.DEVNULL, env=env)
        while True:
            pid, status, usage = os.wait4(child.pid, os.WNOHANG)
            if pid:
                break
            if limit and time.monotonic() - start > limit:
                child.kill()
                os.wait4(child.pid, 0)
                if peaks is not None:
                    peaks.append(None)
                return None, None
            time.sleep(0.05)
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 1:
        raise RuntimeError(f"{program} ended abnormally in {work}")
    if peaks is not None:
        peaks.append(usage.ru_maxrss / 1024.0)
    with open(os.path.join(work, "stdout.txt"), "rb") as f:
        output = b"".join(line for line in f if b"Total CPU Time" not in line)
    with open(os.path.join(work, "solucao.txt"), "rb") as f:
        output += f.read()
    return usage.ru_utime, output


def write_matrix(folder, count, p, seed, draw_cost, draw_distance, radius):
    """Symmetric costs and distances drawn pair by pair, written as the solver reads them."""
    rng = random.Random(seed)
    costs = [[0] * count for _ in range(count)]
    dists = [[0] * count for _ in range(count)]
    for i in range(count):
        for j in range(i + 1, count):
            costs[i][j] = costs[j][i] = draw_cost(rng)
            dists[i][j] = draw_distance(rng)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "pmeddata.dat"), "w") as f:
        f.write(f"{count} {p}\n")
        for i in range(count):
            f.write(" ".join(str(costs[i][j]) for j in range(count) if j != i) + "\n")
    with open(os.path.join(folder, "pmedmtrx.dat"), "w") as f:
        f.write(f"{count} {p} {radius}\n")
        for i in range(count):
            f.write(" ".join(str(dists[i][j]) for j in range(i + 1, count)) + "\n")


def convert_large(options, count):
    """Converts the large instance, every run since its time is measured; returns (folder, wall s, user s, peak MiB)."""
    folder = os.path.join(options.work, f"uniform-{count}")
    os.makedirs(folder, exist_ok=True)
    tsp = os.path.join(options.work, f"points-{count}.tsp")
    if not os.path.exists(tsp):
        subprocess.run([sys.executable, os.path.join(HERE, "generate_points.py"), str(count), "7", tsp], check=True)
    start = time.monotonic()
    child = subprocess.Popen([os.path.join(options.bin, "pmedian-convert"), "tsplib", tsp, "--p", str(count // 10),
                              "--out", folder], stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
        shutil.rmtree(folder, ignore_errors=True)
        raise RuntimeError(f"pmedian-convert failed on {tsp}")
    return folder, time.monotonic() - start, usage.ru_utime, usage.ru_maxrss / 1024.0


def large_table(options, count):
    """Converts and solves the large instance with the fast build; returns the lines of its table."""
    print(f"uniform-{count}: converting ...", flush=True)
    folder, wall, user, peak = convert_large(options, count)
    print(f"uniform-{count}: solving ...", flush=True)
    peaks = []
    solve_user, _ = run(os.path.join(options.bin, "pmedian"), folder, "fast", options.limit, peaks)
    lines = ["", f"## At scale: {count} random points, p = {count // 10}", "",
             "The fast build alone, one thread; the converter writes the two instance files (exact distances).",
             "", "| step | wall s | user CPU s | peak memory MiB |", "|---|---|---|---|"]
    lines.append(f"| pmedian-convert tsplib | {wall:.1f} | {user:.1f} | {peak:.0f} |")
    if solve_user is None:
        lines.append(f"| pmedian | stopped after {options.limit:.0f} s | - | - |")
    else:
        lines.append(f"| pmedian | | {solve_user:.1f} | {peaks[0]:.0f} |")
    print("\n".join(lines[-2:]), flush=True)
    return lines


def prepare(options, label, kind, count, p):
    """Converts or generates one instance into its folder, unless an earlier run left it there."""
    folder = os.path.join(options.work, label)
    if os.path.exists(os.path.join(folder, "pmedmtrx.dat")):
        return folder
    os.makedirs(folder, exist_ok=True)
    convert = os.path.join(options.bin, "pmedian-convert")
    if kind in ("uniform", "euclid-r0"):
        tsp = os.path.join(options.work, f"points-{count}.tsp")
        if not os.path.exists(tsp):
            subprocess.run([sys.executable, os.path.join(HERE, "generate_points.py"), str(count), "7", tsp],
                           check=True)
        extra = ["--radius", "0"] if kind == "euclid-r0" else []
        subprocess.run([convert, "tsplib", tsp, "--p", str(p), "--out", folder] + extra, check=True,
                       stdout=subprocess.DEVNULL)
    elif kind == "pcb3038":
        subprocess.run([convert, "tsplib", os.path.join(options.tsplib, "pcb3038.tsp"), "--p", str(p),
                        "--out", folder], check=True, stdout=subprocess.DEVNULL)
    elif kind == "ties-r0":
        write_matrix(folder, count, p, 962, lambda r: r.randrange(4), lambda r: r.randrange(32), 0)
    elif kind == "ties":
        write_matrix(folder, count, p, 1000, lambda r: r.randrange(4), lambda r: r.randrange(100), 1000)
    elif kind == "negative":
        write_matrix(folder, count, p, 5, lambda r: r.randrange(60) - 20, lambda r: r.randrange(300), 99)
    return folder


SHAPES = [
    ("uniform-2000 p=1", "uniform", 2000, 1),
    ("uniform-2000 p=2", "uniform", 2000, 2),
    ("uniform-2000 p=5", "uniform", 2000, 5),
    ("uniform-2000 p=20", "uniform", 2000, 20),
    ("pcb3038 p=5", "pcb3038", 3038, 5),
    ("ties-962 radius 0", "ties-r0", 962, 1),
    ("ties-1000 p=2", "ties", 1000, 2),
    ("negative-1000 p=5", "negative", 1000, 5),
    ("euclid-1000 r=0", "euclid-r0", 1000, 2),
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="build folder with pmedian, pmedian-reference, pmedian-convert")
    parser.add_argument("--tsplib", required=True, help="folder with pcb3038.tsp")
    parser.add_argument("--work", required=True, help="scratch folder (instances are kept there)")
    parser.add_argument("--results", required=True, help="folder for shapes.md")
    parser.add_argument("--compare", action="append", default=[], metavar="LABEL=BIN",
                        help="another build of pmedian to run side by side (repeatable)")
    parser.add_argument("--limit", type=float, default=600.0, help="wall seconds after which a run is stopped")
    parser.add_argument("--only", default="", help="comma-separated substrings of the instance labels to run")
    parser.add_argument("--large", type=int, default=20000,
                        help="vertices of the instance at scale, solved by the fast build alone (0: skip it)")
    options = parser.parse_args()
    options.bin = os.path.abspath(options.bin)
    options.work = os.path.abspath(options.work)
    os.makedirs(options.work, exist_ok=True)

    programs = [("straightforward", os.path.join(options.bin, "pmedian-reference"))]
    for item in options.compare:
        label, _, path = item.partition("=")
        programs.append((label, os.path.abspath(path)))
    programs.append(("fast", os.path.join(options.bin, "pmedian")))

    wanted = [w for w in options.only.split(",") if w]
    rows, failures = [], 0
    for label, kind, count, p in SHAPES:
        if wanted and not any(w in label for w in wanted):
            continue
        if kind == "pcb3038" and not os.path.exists(os.path.join(options.tsplib, "pcb3038.tsp")):
            print(f"{label}: no pcb3038.tsp in {options.tsplib}, skipped", flush=True)
            continue
        folder = prepare(options, label.replace(" ", "-").replace("=", ""), kind, count, p)
        times, outputs = [], []
        for name, program in programs:
            print(f"{label}: {name} ...", flush=True)
            user, output = run(program, folder, name, options.limit)
            times.append(user)
            outputs.append(output)
        finished = [o for o in outputs if o is not None]
        same = all(o == finished[0] for o in finished)
        failures += not same
        rows.append((label, count, p, times, same, len(finished)))
        shown = ", ".join(f"{name} {'-' if t is None else f'{t:.2f} s'}" for (name, _), t in zip(programs, times))
        print(f"{label}: {shown}, {'identical' if same else 'OUTPUTS DIFFER'}", flush=True)

    large = []
    if options.large > 0 and (not wanted or any(w in f"uniform-{options.large}" for w in wanted)):
        large = large_table(options, options.large)

    os.makedirs(options.results, exist_ok=True)
    fast_index = len(programs) - 1
    with open(os.path.join(options.results, "shapes.md"), "w") as f:
        f.write("# Shapes: the fast interchange against the straightforward one\n\n")
        f.write(f"Machine: {machine()}. Run on {datetime.date.today().isoformat()} by `make bench-shapes`; "
                "user CPU seconds of one run each with one thread, so read the ratios rather than the "
                "absolute times (the machine is shared).  A dash: stopped after "
                f"{options.limit:.0f} s.\n\n")
        f.write("| instance | n | p | " + " | ".join(f"{name} s" for name, _ in programs) + " | " +
                " | ".join(f"{name} / fast" for name, _ in programs[:-1]) + " | outputs |\n")
        f.write("|---|---|---|" + "---|" * (2 * len(programs) - 1) + "---|\n")
        for label, count, p, times, same, finished in rows:
            fast = times[fast_index]
            cells = [f"{t:.2f}" if t is not None else "-" for t in times]
            ratios = [f"{t / max(fast, 1e-3):.2f}" if t is not None and fast is not None else "-"
                      for t in times[:-1]]
            verdict = ("identical" if finished > 1 else "one run") if same else "DIFFER"
            f.write(f"| {label} | {count} | {p} | " + " | ".join(cells) + " | " + " | ".join(ratios) +
                    f" | {verdict} |\n")
        f.write("".join(line + "\n" for line in large))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
