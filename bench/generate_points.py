#!/usr/bin/env python3
"""Writes a TSPLIB EUC_2D file of n random points in a square, for benchmarks.

Usage: generate_points.py N SEED OUTPUT.tsp
The points are drawn uniformly from [0, 1000) x [0, 1000) with Python's
Mersenne Twister, so a seed always gives the same file.
"""
import random
import sys


def main():
    count, seed, output = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    rng = random.Random(seed)
    with open(output, "w") as f:
        f.write(f"NAME : random{count}\nTYPE : TSP\nDIMENSION : {count}\n")
        f.write("EDGE_WEIGHT_TYPE : EUC_2D\nNODE_COORD_SECTION\n")
        for i in range(1, count + 1):
            f.write(f"{i} {rng.uniform(0, 1000):.3f} {rng.uniform(0, 1000):.3f}\n")
        f.write("EOF\n")


if __name__ == "__main__":
    main()
