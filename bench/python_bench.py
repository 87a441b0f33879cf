#!/usr/bin/env python3
"""Times the Python package against the pmedian program on pcb3038, p = 100.

The instance is converted once (pmedian.read_tsplib, real distances, every
exchange allowed) and written with pmedian.write; neither is timed.  Then,
side by side and REPEAT times each, the program runs in that folder and
pmedian.solve runs on the matrix.  Both must give the same summary (but the
CPU time) and the same solution.  Times are processor seconds (user +
system, every thread): the program's whole run, and the Python call.

The overhead of the Python call is what it takes beyond the program, as a
share of the solve (the optimisation loop, the "Total CPU Time" both
report); the target is at most 5 %.  The table also gives each one's time
outside the loop: the program reads text files and writes solucao.txt, the
Python call copies the matrix and hands the results back, and both prepare
the solver's view of the costs.

Then two Python threads solve two random Euclidean instances (n = 1500,
p = 20, a few seconds each) side by side, and the same two solves run one
after the other: the ratio of the wall times shows whether calls from
threads really run at once (1.0: not at all; 0.5: two cores fully used).
It is measured in a child process once with one OpenMP thread per solve
and once with the default count, where each solve already uses every
core.  Both solves must give the bits they give alone.

Writes RESULTS/python.md; exits 1 if the outputs differ or the target is
missed.
"""

import argparse
import concurrent.futures
import datetime
import json
import os
import resource
import subprocess
import sys
import time

import numpy as np

import pmedian

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from perf_bench import machine  # noqa: E402
from instance_sets import require  # noqa: E402


def cpu_loop(summary):
    for line in summary.splitlines():
        if "Total CPU Time" in line:
            return float(line.split()[-1])
    raise RuntimeError("no CPU time in the summary")


def without_cpu_time(text):
    return "".join(line for line in text.splitlines(True) if "Total CPU Time" not in line)


def solution_lines(result):
    medians = set(result.medians.tolist())
    lines = sorted(f"{result.assignment[c]} {c} {result.client_cost[c]:.2f}"
                   for c in range(len(result.assignment)) if c not in medians)
    return lines, [int(m) for m in result.medians]


def file_lines(text):
    lines = text.splitlines()
    end = lines.index("9999999")
    return sorted(" ".join(line.split()) for line in lines[:end]), [int(m) for m in lines[end + 2].split()]


def run_program(program, folder):
    with open(os.path.join(folder, "stdout.txt"), "wb") as out:
        child = subprocess.Popen([program], cwd=folder, stdout=out, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 1:
        raise RuntimeError(f"{program} ended abnormally")
    with open(os.path.join(folder, "stdout.txt")) as f:
        summary = f.read()
    with open(os.path.join(folder, "solucao.txt")) as f:
        solution = file_lines(f.read())
    return usage.ru_utime + usage.ru_stime, summary, solution


def run_python(matrix, p):
    before = resource.getrusage(resource.RUSAGE_SELF)
    result = pmedian.solve(matrix, p)
    after = resource.getrusage(resource.RUSAGE_SELF)
    seconds = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return seconds, result.summary, solution_lines(result)


def euclidean(seed, n):
    points = np.random.default_rng(seed).uniform(0, 1000, size=(n, 2))
    return np.hypot(*(points[:, None, :] - points[None, :, :]).transpose(2, 0, 1))


def side_by_side_child(n, p, repeat):
    """Prints the best wall seconds of two solves one after the other and in
    two threads at once, and whether the bits agree."""
    instances = [euclidean(1, n), euclidean(2, n)]

    def solve(cost):
        r = pmedian.solve(cost, p)
        return (r.medians.tobytes(), r.assignment.tobytes(), r.history.tobytes(), r.upper_bound, r.lower_bound,
                r.status, r.iterations, without_cpu_time(r.summary))

    serial, together, same = [], [], True
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        for _ in range(repeat):
            start = time.monotonic()
            alone = [solve(c) for c in instances]
            serial.append(time.monotonic() - start)
            start = time.monotonic()
            both = list(pool.map(solve, instances))
            together.append(time.monotonic() - start)
            same = same and both == alone
    print(json.dumps({"serial": min(serial), "together": min(together), "same": same}))


def side_by_side(n, p, repeat, threads):
    """side_by_side_child in a child process with OMP_NUM_THREADS = threads
    (None: the default)."""
    env = dict(os.environ)
    env.pop("OMP_NUM_THREADS", None)
    if threads:
        env["OMP_NUM_THREADS"] = str(threads)
    done = subprocess.run([sys.executable, os.path.abspath(__file__), "--side-by-side", str(n), str(p), str(repeat)],
                          env=env, capture_output=True, text=True, check=True)
    return json.loads(done.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bin", required=True, help="folder with the pmedian program")
    parser.add_argument("--tsplib", required=True, help="folder with pcb3038.tsp")
    parser.add_argument("--work", required=True, help="scratch folder")
    parser.add_argument("--results", required=True, help="folder for python.md")
    parser.add_argument("--repeat", type=int, default=2)
    args = parser.parse_args()

    require(args.tsplib, "tsplib", ["pcb3038.tsp"])
    p = 100
    matrix = pmedian.read_tsplib(os.path.join(args.tsplib, "pcb3038.tsp"))
    folder = os.path.join(args.work, "pcb3038-p100")
    pmedian.write(folder, matrix, p)
    program = os.path.abspath(os.path.join(args.bin, "pmedian"))

    rows, same = [], True
    for k in range(args.repeat):
        prog_seconds, prog_summary, prog_solution = run_program(program, folder)
        py_seconds, py_summary, py_solution = run_python(matrix, p)
        same = same and without_cpu_time(prog_summary) == without_cpu_time(py_summary)
        same = same and prog_solution == py_solution
        rows.append((prog_seconds, cpu_loop(prog_summary), py_seconds, cpu_loop(py_summary)))
        print(f"run {k + 1}: program {prog_seconds:.2f} s (loop {rows[-1][1]:.2f}), "
              f"Python {py_seconds:.2f} s (loop {rows[-1][3]:.2f})", flush=True)

    # Two threads at once against one after the other.
    pair_n, pair_p = 1500, 20
    pairs = []
    for threads in (1, None):
        pair = side_by_side(pair_n, pair_p, args.repeat, threads)
        same = same and pair["same"]
        pairs.append((threads, pair))
        print(f"two solves, {threads or 'default'} OpenMP threads each: one after the other {pair['serial']:.2f} s, "
              f"side by side {pair['together']:.2f} s", flush=True)
    pair_table = ["| OpenMP threads per solve | one after the other s | side by side s | ratio |",
                  "|---|---:|---:|---:|"]
    for threads, pair in pairs:
        pair_table.append(f"| {threads or f'default ({os.cpu_count()} cores)'} | {pair['serial']:.2f} | "
                          f"{pair['together']:.2f} | {pair['together'] / pair['serial']:.3f} |")

    # Beyond the program, as a share of the program's loop, over all runs.
    overhead = (sum(r[2] for r in rows) - sum(r[0] for r in rows)) / sum(r[1] for r in rows)
    ok = same and overhead <= 0.05
    table = ["| run | program CPU s | its loop s | Python call CPU s | its loop s | Python / program | "
             "Python beyond the program | program outside its loop | Python outside its loop |",
             "|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for k, (prog, prog_loop, py, py_loop) in enumerate(rows):
        table.append(f"| {k + 1} | {prog:.2f} | {prog_loop:.2f} | {py:.2f} | {py_loop:.2f} | {py / prog:.3f} | "
                     f"{100 * (py - prog) / prog_loop:+.1f} % | {100 * (prog - prog_loop) / prog_loop:.1f} % | "
                     f"{100 * (py - py_loop) / py_loop:.1f} % |")
    text = "\n".join([
        "# The Python package against the program",
        "",
        f"pcb3038 (TSPLIB, n = 3038, real distances), p = {p}, every exchange allowed; "
        "conversion and writing excluded.",
        f"Machine: {machine()}.  {datetime.date.today().isoformat()}.",
        "",
        "Processor seconds, user + system over every thread.  Shares are of the optimisation "
        "loop (\"Total CPU Time\").",
        "",
        *table,
        "",
        f"Outputs identical: {'yes' if same else 'NO'}.  Python call beyond the program (all runs): "
        f"{100 * overhead:+.1f} % of the solve (target: at most +5 %): {'met' if overhead <= 0.05 else 'MISSED'}.",
        "",
        "## Two threads",
        "",
        f"Two random Euclidean instances (n = {pair_n}, p = {pair_p}) solved by pmedian.solve from two Python "
        "threads at once, against the same two solves one after the other: wall seconds, the best of "
        f"{args.repeat}.  Ratio: side by side / one after the other.",
        "",
        *pair_table,
        "",
    ])
    os.makedirs(args.results, exist_ok=True)
    with open(os.path.join(args.results, "python.md"), "w") as f:
        f.write(text)
    print(text)
    return 0 if ok else 1


if __name__ == "__main__":
    if sys.argv[1:2] == ["--side-by-side"]:  # the child of side_by_side
        side_by_side_child(*map(int, sys.argv[2:5]))
        sys.exit(0)
    start = time.monotonic()
    code = main()
    print(f"({time.monotonic() - start:.0f} s)")
    sys.exit(code)
