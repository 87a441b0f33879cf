"""Where the benchmark instances come from, and a check that the files a
benchmark needs are there before it starts.

The public sets are OR-Library's p-median problems and TSPLIB's point
files; the two CSV files of optimal and best known values sit beside them
(docs/performance-and-results.md, "Where the instances come from")."""

import os
import sys

SOURCES = {
    "orlib": (
        "OR-Library's p-median problems pmed1 ... pmed40 (J.E. Beasley, Brunel University London), "
        "http://people.brunel.ac.uk/~mastjjb/jeb/orlib/pmedinfo.html; optimal.csv "
        "(name,n,p,optimal) lists the optimal values of its pmedopt list",
        "ORLIB_DIR",
    ),
    "tsplib": (
        "TSPLIB (G. Reinelt, Universitaet Heidelberg), "
        "http://comopt.ifi.uni-heidelberg.de/software/TSPLIB95/; best_known.csv "
        "(name,p,value,source) lists the proven optima of rl1304 under floor distances",
        "TSPLIB_DIR",
    ),
}


def require(folder, set_name, names):
    """Ends the run with a message naming what is missing in folder, where
    to get it and how to point the benchmarks elsewhere, unless every file
    of names is there."""
    missing = [name for name in names if not os.path.isfile(os.path.join(folder, name))]
    if not missing:
        return
    source, variable = SOURCES[set_name]
    what = "the folder itself" if not os.path.isdir(folder) else ", ".join(missing)
    sys.exit(
        f"{os.path.basename(sys.argv[0])}: missing in {folder}: {what}\n"
        f"  these files come from {source}\n"
        f"  put them there, or point the benchmarks at them: make ... {variable}=FOLDER "
        f"(or INSTANCES_DIR=FOLDER holding orlib/ and tsplib/); see docs/performance-and-results.md"
    )
