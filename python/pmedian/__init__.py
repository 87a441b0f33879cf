"""pmedian: a fast p-median solver with a Lagrangian lower bound.

    import pmedian
    d = pmedian.read_tsplib("rl1304.tsp", round="floor")
    r = pmedian.solve(d, p=10)
    print(r.lower_bound, r.upper_bound)

solve() runs the same solver as the ``pmedian`` program and gives the same
bits: for the instance that write() puts into a folder, the program's
summary and solution file hold exactly the values of the Result.

Every value becomes a 32-bit float as the program's reader would store it
when it read the number from a file.  Errors raise exceptions: ValueError
for sizes, shapes and non-numeric input, MemoryError when the instance does
not fit, OSError for files.  Nothing is printed unless ``verbose`` is set.
"""

import contextlib
import numbers
import operator
import os
import re
import sys
import warnings
from collections import namedtuple

import numpy as np

from . import _pmedian
from ._pmedian import __version__

__all__ = [
    "solve",
    "read",
    "write",
    "read_orlib",
    "read_tsplib",
    "Result",
    "Instance",
    "InstanceWarning",
    "INFINITE_COST",
]

#: The cost that stands for "no solution": UB starts at it.
INFINITE_COST = _pmedian.INFINITE_COST

_STATUS = {
    0: "the relaxed solution became feasible",
    1: "UB - LB <= 1",
    2: "step parameter exhausted",
    3: "stopped by a limit",
}


class InstanceWarning(UserWarning):
    """An instance that is not what it seems: unread values, an unused
    diagonal, an asymmetric distance matrix, no solution found."""


Instance = namedtuple("Instance", "cost p dist radius")
Instance.__doc__ = """The program's instance: what read() returns and write() takes.

cost: n x n float32, cost[i, j] = serving client j from a median at i;
p: number of medians; dist: n x n float32 symmetric distances;
radius: the interchange radius (None: every exchange)."""


class Result:
    """The outcome of solve().

    medians: int array of the p medians, in the solution file's order.
    assignment: int array, the median serving each vertex (a median itself).
    client_cost: float32 array, cost[assignment[j], j] (0 for a median).
    upper_bound: cost of the best solution (UB); lower_bound: Lagrangian
    bound (LB), no solution costs less; gap: (UB - LB) / UB.  status: why the
    run stopped: 1 UB - LB <= 1 (an absolute difference: look at gap),
    0 relaxed solution feasible, 2 step parameter exhausted (the normal end),
    3 stopped by time_limit, gap or progress; stop_reason says it in words.
    found: whether any solution was found; without one, medians and
    assignment describe no solution, upper_bound stays at INFINITE_COST and
    gap is None.  wall_time: seconds of the whole solve.
    iterations:
    relaxation evaluations; feasible_solutions: primal solutions built;
    cpu_time: seconds in the optimisation loop.  history: one record per
    outer iteration with the fields "dual", "lower_bound", "upper_bound".
    dual_value, primal_value, step and factor: the last ZD, ZP, Pi and
    TFator of the console summary, which is in summary.
    """

    _FIELDS = (
        "medians", "assignment", "client_cost", "upper_bound", "lower_bound", "status",
        "iterations", "feasible_solutions", "cpu_time", "history", "dual_value",
        "primal_value", "step", "factor", "summary", "stop_reason", "found", "wall_time",
    )

    def __init__(self, values):
        for name in self._FIELDS:
            setattr(self, name, values[name])

    @property
    def gap(self):
        """(UB - LB) / UB, the most by which upper_bound can exceed the optimum,
        relative to it; None when no solution was found."""
        if not self.found or self.upper_bound == 0:
            return None
        return (self.upper_bound - self.lower_bound) / abs(self.upper_bound)

    def __repr__(self):
        gap = self.gap
        gap_text = "n/a" if gap is None else f"{100 * gap:.3g}%"
        return (
            f"Result(n={len(self.assignment)}, p={len(self.medians)}, "
            f"upper_bound={self.upper_bound:.2f}, lower_bound={self.lower_bound:.2f}, gap={gap_text}, "
            f"status={self.status} ({self.stop_reason}), found={self.found}, iterations={self.iterations}, "
            f"feasible_solutions={self.feasible_solutions}, cpu_time={self.cpu_time:.2f})"
        )


# The program's messages in English, by their Portuguese text.
_ENGLISH = [
    (r"Arquivo de dados \(pmeddata\.dat\) nao pode ser aberto", "cannot open the data file pmeddata.dat"),
    (r"Matriz de distancias \(pmedmtrx\.dat\) nao pode ser aberto", "cannot open the distance file pmedmtrx.dat"),
    (r"Cabecalho de pmeddata\.dat ilegivel", "pmeddata.dat: unreadable header, the integers n and p were expected"),
    (r"Tamanho invalido em pmeddata\.dat: n = (-?\d+), p = (-?\d+)",
     r"pmeddata.dat: invalid sizes n = \1, p = \2 (n >= 1 and 1 <= p <= n are required)"),
    (r"Memoria insuficiente para (\S+)", r"not enough memory for \1"),
    (r"Memoria insuficiente", "not enough memory"),
    (r"(\S+) incompleto ou com texto nao numerico: (\d+) de (\d+) valores lidos",
     r"\1 is short or holds text that is not a number: \2 of \3 values read, the unread values stay 0"),
]


def _english(text):
    """The program's message in English, with its own words after it."""
    for pattern, words in _ENGLISH:
        found = re.search(pattern, text)
        if found:
            return f"{found.expand(words)} (the program says: {text})"
    return text


@contextlib.contextmanager
def _in_english():
    """Re-raises the native part's errors with English messages; the
    program's own text stays in the exception's program_message."""
    try:
        yield
    except OSError as e:
        error = type(e)(e.errno, _english(e.strerror or str(e)), e.filename)
        error.program_message = e.strerror
        raise error from None
    except (ValueError, MemoryError) as e:
        error = type(e)(_english(str(e)))
        error.program_message = str(e)
        raise error from None


def _warn(messages):
    for message in messages:
        warnings.warn(_english(message), InstanceWarning, stacklevel=3)


def _matrix(value, name):
    """value as a square numpy array of an element type the native part reads."""
    try:
        a = np.asarray(value)
    except ValueError as e:  # ragged nested lists
        raise ValueError(f"{name} must be a square matrix of numbers: {e}") from None
    kind = a.dtype.kind
    if kind == "O":
        if not all(isinstance(v, numbers.Real) for v in a.flat):
            raise ValueError(f"{name} must hold real numbers only")
        a = a.astype(np.float64)
    elif kind in "b":
        a = a.astype(np.float32)
    elif kind in "iu" and a.dtype.itemsize <= 4:
        # numpy's cast rounds each integer to its nearest float, ties to
        # even, as the reader does with its digits: half the room of int64.
        a = a.astype(np.float32)
    elif kind == "i":
        a = a.astype(np.int64, copy=False)
    elif kind == "u":
        a = a.astype(np.uint64, copy=False)
    elif kind == "f":
        if a.dtype not in (np.float32, np.float64, np.longdouble):
            a = a.astype(np.float32)  # float16: exact
        a = a.astype(a.dtype.newbyteorder("="), copy=False)
    else:
        raise ValueError(f"{name} must hold real numbers, not {a.dtype}")
    if a.ndim != 2 or a.shape[0] != a.shape[1]:
        raise ValueError(f"{name} must be a square matrix, not of shape {a.shape}")
    if a.shape[0] < 1:
        raise ValueError(f"{name} must have at least one row")
    if a.shape[0] > 2**31 - 1:
        raise ValueError(f"{name} has more rows than the solver can number")
    return a


def _arguments(cost, p, dist, radius):
    cost = _matrix(cost, "cost")
    n = cost.shape[0]
    if isinstance(p, bool):
        raise ValueError("p must be an integer between 1 and n, not a bool")
    try:
        p = operator.index(p)
    except TypeError:
        raise ValueError(f"p must be an integer, not {type(p).__name__}") from None
    if not 1 <= p <= n:
        raise ValueError(f"p must be between 1 and n = {n}, not {p}")
    if dist is not None:
        dist = _matrix(dist, "dist")
        if dist.shape != cost.shape:
            raise ValueError(f"dist must have the shape of cost, {cost.shape}, not {dist.shape}")
    if radius is not None:
        if not isinstance(radius, numbers.Real) or isinstance(radius, bool):
            raise ValueError(f"radius must be a real number, not {type(radius).__name__}")
        radius = float(radius)
    return cost, p, dist, radius


def solve(cost, p, *, dist=None, radius=None, verbose=False, time_limit=None, gap=None, progress=None,
          threads=None):
    """Solves the p-median problem for the n x n matrix cost.

    cost[i, j] is the cost of serving client j from a median at i (row =
    median, column = client); it need not be symmetric, and its diagonal is
    not used (a median serves itself at no cost).  NaN or infinite entries
    mean "cannot serve".  Any 2-D array-like of real numbers is taken; each
    value becomes the float32 that the program reads from its decimal text.

    radius restricts the vertex interchange to exchanges between vertices
    whose distance is at most radius (0.8 radius from 700 vertices on); the
    default None tries every exchange.  dist, the symmetric distances, is
    used only with a radius; without it the distances are cost's upper
    triangle (cost itself when cost is symmetric), as pmedian-convert takes
    them from a matrix.  Only the upper triangle of dist is used.

    The call releases the GIL for the whole solve: calls from several threads
    run side by side, each with its own state, and each gives the bits it
    gives alone.  Ctrl-C raises KeyboardInterrupt in a call on the main
    thread.  verbose prints the program's console summary.

    time_limit (seconds) and gap (a fraction: 0.01 stops once (UB - LB) / UB
    is at most 1 %) stop the run early with its best solution, status 3.
    progress, a callable, is called about ten times a second with the
    keywords iteration, upper_bound, lower_bound, dual_value and
    elapsed_seconds; returning False stops the run the same way, and an
    exception it raises stops the run and is raised from solve.  threads
    sets the threads of this solve (default: all cores); the result never
    depends on it.  Returns a Result.
    """
    cost, p, dist, radius = _arguments(cost, p, dist, radius)
    time_limit = _non_negative(time_limit, "time_limit")
    gap = _non_negative(gap, "gap")
    if threads is not None and (isinstance(threads, bool) or not isinstance(threads, numbers.Integral)
                                or threads < 1):
        raise ValueError(f"threads must be a positive integer, not {threads!r}")
    if progress is not None and not callable(progress):
        raise ValueError("progress must be callable")
    if dist is not None and radius is None:
        _warn(["dist is used only with a radius: without one every exchange is tried and dist is ignored"])
    with _in_english():
        values = _pmedian.solve(cost, p, dist, radius, time_limit, gap, threads or 0, progress)
    _warn(values["warnings"])
    history = values["history"]
    records = np.zeros(len(history), dtype=[("dual", "f4"), ("lower_bound", "f4"), ("upper_bound", "f4")])
    for k, field in enumerate(("dual", "lower_bound", "upper_bound")):
        records[field] = history[:, k]
    values["history"] = records
    if not values["found"]:
        _warn([f"no solution of cost below {INFINITE_COST:.2f} was found: "
               "medians and assignment describe no solution"])
    if verbose:
        sys.stdout.write(values["summary"])
        sys.stdout.flush()
    return Result(values)


def _non_negative(value, name):
    if value is None:
        return 0.0
    if isinstance(value, bool) or not isinstance(value, numbers.Real) or not value >= 0 or value == float("inf"):
        raise ValueError(f"{name} must be a finite number of 0 or more, not {value!r}")
    return float(value)


def read(folder):
    """Reads "pmeddata.dat" and "pmedmtrx.dat" from folder with the program's
    own reader: the same floats, the same warnings (as InstanceWarning).
    Returns an Instance; solve(inst.cost, inst.p, dist=inst.dist,
    radius=inst.radius) is the program's run in that folder."""
    folder = os.fspath(folder)
    with _in_english():
        cost, p, dist, radius, messages = _pmedian.read(
            os.path.join(folder, "pmeddata.dat"), os.path.join(folder, "pmedmtrx.dat"))
    _warn(messages)
    return Instance(cost, p, dist, radius)


def write(folder, cost, p, dist=None, radius=None):
    """Writes "pmeddata.dat" and "pmedmtrx.dat" into folder (created when
    missing) as pmedian-convert does: every value in the shortest text that
    the program reads back as the same float, both files complete or none.
    dist defaults to cost's upper triangle; radius defaults to the smallest
    one with which the program tries every exchange.  Returns the radius
    written."""
    cost, p, dist, radius = _arguments(cost, p, dist, radius)
    return _pmedian.write(os.fspath(folder), cost, p, dist, radius)


def _readable(path):
    """path, once Python has opened it: a missing or unreadable file raises
    Python's own OSError."""
    path = os.fspath(path)
    with open(path, "rb"):
        pass
    return path


def read_orlib(path):
    """An OR-Library p-median graph as (matrix, p): the n x n float32 matrix
    of shortest-path lengths, which serves as cost and as dist, and the
    file's p.  The same matrix as pmedian-convert orlib."""
    return _pmedian.read_orlib(_readable(path))


def read_tsplib(path, round="none", coordinates=False):
    """A TSPLIB file as the n x n float32 matrix of its distances: EUC_2D
    rounded by round ("none", the exact distance as a float; "nint",
    TSPLIB's nearest integer; "floor"), GEO and ATT by TSPLIB's own rules.
    The same matrix as pmedian-convert tsplib --round ROUND.  With
    coordinates=True, returns (matrix, xy) with the n x 2 coordinates of the
    nodes (longitude and latitude in degrees for GEO)."""
    matrix, xy = _pmedian.read_tsplib(_readable(path), round)
    return (matrix, xy) if coordinates else matrix
