#!/usr/bin/env python3
"""Solves a TSPLIB instance with pmedian and draws the solution: every
client coloured by the median that serves it, the medians marked.

    python3 examples/python/plot_solution.py rl1304.tsp 10 --round floor --out rl1304-p10.png

Needs the pmedian package (make python; PYTHONPATH=build/python) and
matplotlib (Debian: python3-matplotlib).
"""

import argparse

import matplotlib

matplotlib.use("Agg")  # draws into a file, no display needed
import matplotlib.pyplot as plt

import pmedian


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tsp", help="TSPLIB file (EUC_2D, GEO or ATT)")
    parser.add_argument("p", type=int, help="number of medians")
    parser.add_argument("--round", default="none", choices=["none", "nint", "floor"])
    parser.add_argument("--out", default="solution.png", help="picture to write (default solution.png)")
    args = parser.parse_args()

    distances, xy = pmedian.read_tsplib(args.tsp, round=args.round, coordinates=True)
    result = pmedian.solve(distances, args.p)

    # One colour per median, in the order of result.medians.
    colour_of = {m: k for k, m in enumerate(result.medians)}
    colours = plt.get_cmap("tab10" if args.p <= 10 else "tab20")
    fig, ax = plt.subplots(figsize=(9.5, 6.2))
    ax.scatter(xy[:, 0], xy[:, 1], s=6, c=[colours(colour_of[m] % colours.N) for m in result.assignment])
    medians = xy[result.medians]
    ax.scatter(medians[:, 0], medians[:, 1], s=160, marker="*", c="black", edgecolors="white", linewidths=0.8)
    name = args.tsp.rsplit("/", 1)[-1]
    ax.set_title(f"{name}, p = {args.p}: UB {result.upper_bound:.0f}, LB {result.lower_bound:.0f} "
                 f"(gap {100 * result.gap:.2f} %)\nclients coloured by their median; stars: medians")
    ax.set_aspect("equal")
    fig.tight_layout()
    fig.savefig(args.out, dpi=90)
    print(f"{args.out}: {result!r}")


if __name__ == "__main__":
    main()
