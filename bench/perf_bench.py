#!/usr/bin/env python3
"""Times the fast solver against the straightforward reference build.

Part 1, side by side: pmedian and pmedian-reference on the same instances,
each in its own scratch folder; their standard output (but the CPU-time
line) and solucao.txt must be identical, and the table gives both times and
their ratio.  Part 2, the fast program alone on the large instances: time
and peak memory, against the 8 n^2 bytes of the two matrices.

Instances: random Euclidean point sets (bench/generate_points.py, real
distances) and OR-Library graphs, converted with pmedian-convert.  "Every
exchange allowed" is the converter's default radius; the 3000-vertex set
gets a radius whose neighbourhood (0.8 x radius from 700 vertices on)
holds a third of all vertex pairs.

Writes RESULTS/performance.md; exits 1 if any pair of outputs differs or a
run fails.
"""

import argparse
import datetime
import math
import os
import platform
import random
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def machine():
    model = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    memory = ""
    try:
        with open("/proc/meminfo") as f:
            kb = int(f.readline().split()[1])
            memory = f", {kb / 1048576:.0f} GiB memory"
    except (OSError, ValueError, IndexError):
        pass
    return f"{model}, {os.cpu_count()} cores{memory}, {platform.system()} {platform.release()}"


def run(program, folder):
    """Runs a solver in folder; returns (seconds, user seconds, peak KiB, stdout)."""
    start = time.monotonic()
    with open(os.path.join(folder, "stdout.txt"), "wb") as out:
        child = subprocess.Popen([program], cwd=folder, stdout=out, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
    seconds = time.monotonic() - start
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 1:
        raise RuntimeError(f"{program} ended abnormally in {folder}")
    with open(os.path.join(folder, "stdout.txt")) as f:
        text = "".join(line for line in f if "Total CPU Time" not in line)
    return seconds, usage.ru_utime, usage.ru_maxrss, text


def convert(convert_bin, folder, args):
    os.makedirs(folder, exist_ok=True)
    subprocess.run([convert_bin] + args + ["--out", folder], check=True, stdout=subprocess.DEVNULL)


def third_of_pairs_radius(points_file):
    """Radius whose 0.8 x neighbourhood holds a third of all vertex pairs."""
    xs, ys = [], []
    with open(points_file) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 3 and parts[0].isdigit():
                xs.append(float(parts[1]))
                ys.append(float(parts[2]))
    rng = random.Random(0)
    sample = []
    for _ in range(200000):
        i, j = rng.randrange(len(xs)), rng.randrange(len(xs))
        if i != j:
            sample.append(math.hypot(xs[i] - xs[j], ys[i] - ys[j]))
    sample.sort()
    return sample[len(sample) // 3] / 0.8


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="build folder with pmedian, pmedian-reference, pmedian-convert")
    parser.add_argument("--orlib", required=True, help="folder with pmed1.txt ... pmed40.txt")
    parser.add_argument("--work", required=True, help="scratch folder")
    parser.add_argument("--results", required=True, help="folder for performance.md")
    options = parser.parse_args()
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    from instance_sets import require
    require(options.orlib, "orlib", ["pmed16.txt", "pmed26.txt", "pmed40.txt"])

    binaries = os.path.abspath(options.bin)
    fast = os.path.join(binaries, "pmedian")
    reference = os.path.join(binaries, "pmedian-reference")
    convert_bin = os.path.join(binaries, "pmedian-convert")
    shutil.rmtree(options.work, ignore_errors=True)
    os.makedirs(options.work)

    def points(label, count, seed, p, extra=None):
        tsp = os.path.join(options.work, label + ".tsp")
        subprocess.run([sys.executable, os.path.join(HERE, "generate_points.py"), str(count), str(seed), tsp],
                       check=True)
        args = ["tsplib", tsp, "--p", str(p)]
        if extra == "third":
            args += ["--radius", f"{third_of_pairs_radius(tsp):.6f}"]
        return label, args, count, p

    def orlib(name, count, p):
        return name, ["orlib", os.path.join(options.orlib, name + ".txt")], count, p

    pairs = [points("euclid-200", 200, 1, 20), points("euclid-400", 400, 2, 40), orlib("pmed16", 400, 5),
             orlib("pmed26", 600, 5)]
    alone = [orlib("pmed40", 900, 90), points("euclid-3000", 3000, 3, 300, "third")]

    failures = 0
    rows = []
    for label, args, count, p in pairs:
        folders = [os.path.join(options.work, label, kind) for kind in ("fast", "reference")]
        for folder in folders:
            convert(convert_bin, folder, args)
        print(f"{label}: fast ...", flush=True)
        t_fast, u_fast, _, out_fast = run(fast, folders[0])
        print(f"{label}: reference ...", flush=True)
        t_ref, u_ref, _, out_ref = run(reference, folders[1])
        same = out_fast == out_ref and open(os.path.join(folders[0], "solucao.txt"), "rb").read() == open(
            os.path.join(folders[1], "solucao.txt"), "rb").read()
        failures += not same
        rows.append((label, count, p, t_ref, t_fast, u_ref, u_fast, same))
        print(f"{label}: reference {t_ref:.2f} s, fast {t_fast:.3f} s, ratio {t_ref / t_fast:.0f}, "
              f"{'identical' if same else 'OUTPUTS DIFFER'}", flush=True)

    alone_rows = []
    for label, args, count, p in alone:
        folder = os.path.join(options.work, label)
        convert(convert_bin, folder, args)
        print(f"{label}: fast ...", flush=True)
        t_fast, u_fast, peak, out = run(fast, folder)
        ub = next((line.split()[-1] for line in out.splitlines() if line.startswith("UB")), "?")
        matrices = 8.0 * count * count / 1024.0
        alone_rows.append((label, count, p, t_fast, u_fast, peak, matrices, ub))
        print(f"{label}: {t_fast:.2f} s, peak {peak / 1024:.1f} MiB ({peak / matrices:.3f} x the matrices)",
              flush=True)

    os.makedirs(options.results, exist_ok=True)
    with open(os.path.join(options.results, "performance.md"), "w") as f:
        f.write("# Performance: fast build against the straightforward reference\n\n")
        f.write(f"Machine: {machine()}. Run on {datetime.date.today().isoformat()} by `make bench`; "
                "one run each, so read the ratios rather than the absolute times (the machine is shared).\n\n")
        f.write("## Side by side (outputs compared byte for byte)\n\n")
        f.write("| instance | n | p | reference s | fast s | ratio (wall) | ratio (user CPU) | outputs |\n")
        f.write("|---|---|---|---|---|---|---|---|\n")
        for label, count, p, t_ref, t_fast, u_ref, u_fast, same in rows:
            f.write(f"| {label} | {count} | {p} | {t_ref:.2f} | {t_fast:.3f} | {t_ref / t_fast:.0f} | "
                    f"{u_ref / max(u_fast, 1e-3):.0f} | {'identical' if same else 'DIFFER'} |\n")
        f.write("\n## Fast build alone\n\n")
        f.write("| instance | n | p | seconds | user CPU s | peak memory MiB | matrices MiB | peak / matrices | UB |\n")
        f.write("|---|---|---|---|---|---|---|---|---|\n")
        for label, count, p, t_fast, u_fast, peak, matrices, ub in alone_rows:
            f.write(f"| {label} | {count} | {p} | {t_fast:.2f} | {u_fast:.2f} | {peak / 1024:.1f} | "
                    f"{matrices / 1024:.1f} | {peak / matrices:.3f} | {ub} |\n")
        f.write("\nEvery exchange is allowed on every instance but euclid-3000, whose radius lets a third of "
                "the vertex pairs be exchanged.\n")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
