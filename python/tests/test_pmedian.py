"""The Python package against the pmedian program: the same bits on
generated instances and on the conformance cases, the conversion of input
values, errors as exceptions, and the package as a citizen of the
interpreter (quiet, threads, Ctrl-C, no growth over many calls)."""

import concurrent.futures
import ctypes
import os
import pathlib
import re
import signal
import subprocess
import sys
import textwrap
import threading
import warnings

import numpy as np
import pytest

import pmedian

ROOT = pathlib.Path(__file__).resolve().parents[2]
PROGRAM = os.environ.get("PMEDIAN_PROGRAM", str(ROOT / "build" / "pmedian"))
CONVERT = os.environ.get("PMEDIAN_CONVERT", str(ROOT / "build" / "pmedian-convert"))
CONFORMANCE = sorted(p for p in (ROOT / "tests" / "conformance").iterdir() if p.is_dir())
# An instance far too large for any machine, as a view of one value.
HUGE = np.broadcast_to(np.float32(1), (1_500_000_000,) * 2)


# ---- the program's outputs and a Result, side by side ------------------------------

def without_cpu_time(text):
    return "".join(line for line in text.splitlines(True) if "Total CPU Time" not in line)


def parse_solution(text):
    """(sorted assignment lines, status, medians) of a solucao.txt."""
    lines = text.splitlines()
    end = lines.index("9999999")
    assigned = sorted(tuple(line.split()) for line in lines[:end])
    return assigned, int(lines[end + 1]), [int(m) for m in lines[end + 2].split()]


def solution_of(result):
    medians = set(result.medians.tolist())
    assigned = sorted((str(result.assignment[c]), str(c), "%.2f" % result.client_cost[c])
                      for c in range(len(result.assignment)) if c not in medians)
    return assigned, result.status, result.medians.tolist()


def run_program(folder):
    done = subprocess.run([PROGRAM], cwd=folder, capture_output=True, text=True, timeout=600)
    assert done.returncode == 1, done.stdout + done.stderr
    return done.stdout, (pathlib.Path(folder) / "solucao.txt").read_text()


def assert_same_run(result, stdout, solution):
    assert without_cpu_time(result.summary) == without_cpu_time(stdout)
    assert solution_of(result) == parse_solution(solution)


def generated(count):
    """Instances of every kind the solver meets: (cost, p, dist, radius)."""
    rng = np.random.default_rng(13)
    for k in range(count):
        n = int(rng.integers(1, 60))
        p = int(rng.integers(1, n + 1))
        kind = k % 5
        points = rng.uniform(0, 100, size=(n, 2))
        euclid = np.hypot(*(points[:, None, :] - points[None, :, :]).transpose(2, 0, 1))
        if kind == 0:  # real distances, every exchange
            yield euclid, p, None, None
        elif kind == 1:  # asymmetric integers with ties, restricted by a distance matrix
            cost = rng.integers(0, 6, size=(n, n))
            yield cost, p, np.round(euclid, 1), float(np.quantile(euclid, 0.4))
        elif kind == 2:  # float32 with cells that cannot serve
            cost = rng.uniform(0, 50, size=(n, n)).astype(np.float32)
            cost[rng.random((n, n)) < 0.05] = np.inf
            cost[rng.random((n, n)) < 0.02] = np.nan
            yield cost, p, None, None
        elif kind == 3:  # float64 values halfway between two floats, radius on cost
            base = np.float32(1) + rng.integers(0, 2**20, size=(n, n)).astype(np.float32) / np.float32(4096)
            half_ulp = np.spacing(base).astype(np.float64) / 2
            cost = base.astype(np.float64) + half_ulp
            cost = np.minimum(cost, cost.T)
            yield cost, p, None, float(np.median(cost))
        else:  # nested lists of small whole numbers
            yield rng.integers(1, 4, size=(n, n)).tolist(), p, None, None


def test_generated_instances_give_the_programs_bits(tmp_path):
    for k, (cost, p, dist, radius) in enumerate(generated(40)):
        folder = tmp_path / str(k)
        pmedian.write(folder, cost, p, dist=dist, radius=radius)
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", pmedian.InstanceWarning)
            result = pmedian.solve(cost, p, dist=dist, radius=radius)
        assert_same_run(result, *run_program(folder))


def test_large_instance_default_radius_tries_every_exchange(tmp_path):
    # From 700 vertices on the program looks within 0.8 x the radius.
    rng = np.random.default_rng(700)
    points = rng.uniform(0, 1000, size=(720, 2))
    cost = np.hypot(*(points[:, None, :] - points[None, :, :]).transpose(2, 0, 1))
    radius = pmedian.write(tmp_path, cost, 30)
    assert radius * 0.8 >= cost.astype(np.float32).max()
    assert_same_run(pmedian.solve(cost, 30), *run_program(tmp_path))


@pytest.mark.parametrize("case", CONFORMANCE, ids=lambda c: c.name)
def test_conformance_case_through_read_and_solve(case):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        inst = pmedian.read(case)
        result = pmedian.solve(inst.cost, inst.p, dist=inst.dist, radius=inst.radius)
    stdout = (case / "expected_stdout.txt").read_text()
    assert_same_run(result, stdout, (case / "expected_solucao.txt").read_text())
    last = result.history[-1]
    assert (last["lower_bound"], last["upper_bound"]) == (np.float32(result.lower_bound), np.float32(result.upper_bound))
    short = any("incompleto" in str(w.message) for w in caught)
    assert short == (case.name in ("n40-p4-text-in-costs", "n40-p4-truncated"))


# ---- values as the reader stores them ------------------------------------------------

def strtof(text):
    libc = ctypes.CDLL(None)
    libc.strtof.restype = ctypes.c_float
    libc.strtof.argtypes = [ctypes.c_char_p, ctypes.c_void_p]
    return np.float32(libc.strtof(text.encode(), None))


def test_values_become_the_float_the_reader_reads_from_their_text(tmp_path):
    one = 1.0 + 2.0**-24  # halfway between 1 and the next float: its text rounds up
    values = [one, 3.0 - 2.0**-23, 0.1, 1e-46, 3.4028235677973366e38, -7.25, 16777217.0, 1e39]
    cost = np.zeros((len(values) + 1, len(values) + 1))
    cost[0, 1:] = values
    pmedian.write(tmp_path, cost, 1)
    read = pmedian.read(tmp_path).cost[0, 1:]
    expected = [strtof(repr(v)) for v in values]
    np.testing.assert_array_equal(read, expected)
    assert read[0] != np.float32(one)  # plain rounding would tie to even
    # Integers beyond 2^53 and any layout or byte order give the same floats.
    # Integers of every width, those beyond 2^24 rounded (ties to even).
    for dtype, big in [(np.int64, 2**60 + 2**36 + 1), (np.int32, 2**24 + 1), (np.int32, 2**31 - 1),
                       (np.uint32, 2**32 - 1), (np.int32, 2**24 + 3), (np.uint16, 65535)]:
        pmedian.write(tmp_path / "big", np.array([[0, big], [3, 0]], dtype=dtype), 1)
        assert pmedian.read(tmp_path / "big").cost[0, 1] == strtof(str(big)), dtype
    c = np.arange(36, dtype=np.float64).reshape(6, 6) % 7
    variants = [c.T.copy(), c.T, c.T.astype(">f8"), c.T.astype(np.float16), c.T.tolist()]
    bits = [pmedian.solve(v, 2).summary for v in variants]
    assert all(without_cpu_time(b) == without_cpu_time(bits[0]) for b in bits)


# ---- errors and warnings -------------------------------------------------------------------

@pytest.mark.parametrize("cost, p, options, error, words", [
    (np.zeros(4), 1, {}, ValueError, "square"),
    (np.zeros((2, 3)), 1, {}, ValueError, "square"),
    (np.zeros((0, 0)), 1, {}, ValueError, "at least one"),
    ([[0, 1], [1]], 1, {}, ValueError, "square matrix of numbers"),
    ([["0", "1"], ["1", "0"]], 1, {}, ValueError, "real numbers"),
    ([[0, None], [1, 0]], 1, {}, ValueError, "real numbers"),
    (np.zeros((2, 2), complex), 1, {}, ValueError, "complex"),
    (np.zeros((3, 3)), 0, {}, ValueError, "between 1 and n = 3"),
    (np.zeros((3, 3)), 4, {}, ValueError, "between 1 and n = 3"),
    (np.zeros((3, 3)), 1.5, {}, ValueError, "integer"),
    (np.zeros((3, 3)), True, {}, ValueError, "bool"),
    (np.zeros((3, 3)), 1, {"dist": np.zeros((2, 2))}, ValueError, "shape of cost"),
    (np.zeros((3, 3)), 1, {"radius": "far"}, ValueError, "radius"),
    (HUGE, 1, {}, MemoryError, "^not enough memory for .*Memoria insuficiente"),
])
def test_bad_arguments_raise(cost, p, options, error, words):
    with pytest.raises(error, match=words):
        pmedian.solve(cost, p, **options)


def test_file_errors_raise(tmp_path):
    with pytest.raises(FileNotFoundError, match=r"^\[Errno 2\] cannot open the data file pmeddata.dat") as raised:
        pmedian.read(tmp_path)
    assert raised.value.program_message == "Arquivo de dados (pmeddata.dat) nao pode ser aberto"
    (tmp_path / "pmeddata.dat").write_text("3 1\n4 7.5\n4.5 2\n7 2.5\n")
    with pytest.raises(FileNotFoundError, match="pmedmtrx.dat"):
        pmedian.read(tmp_path)
    (tmp_path / "pmeddata.dat").write_text("3 x\n")
    with pytest.raises(ValueError, match="^pmeddata.dat: unreadable header.*Cabecalho de pmeddata.dat ilegivel"):
        pmedian.read(tmp_path)
    (tmp_path / "pmeddata.dat").write_text("3 5\n")
    with pytest.raises(ValueError, match=r"^pmeddata.dat: invalid sizes n = 3, p = 5 .*Tamanho invalido"):
        pmedian.read(tmp_path)
    with pytest.raises(FileNotFoundError):
        pmedian.read_tsplib(tmp_path / "missing.tsp")
    (tmp_path / "bad.tsp").write_text("EDGE_WEIGHT_TYPE : EUC_3D\nDIMENSION : 2\nNODE_COORD_SECTION\n")
    with pytest.raises(ValueError, match="EUC_3D not supported"):
        pmedian.read_tsplib(tmp_path / "bad.tsp")
    with pytest.raises(ValueError, match="round"):
        pmedian.read_tsplib(tmp_path / "bad.tsp", round="up")
    (tmp_path / "file").write_text("")
    with pytest.raises(OSError):
        pmedian.write(tmp_path / "file", np.zeros((2, 2)), 1)


def test_instances_that_are_not_what_they_seem_warn(tmp_path):
    (tmp_path / "pmeddata.dat").write_text("3 1\n4 7.5\n4.5")
    (tmp_path / "pmedmtrx.dat").write_text("3 1 150\n10 25\n12\n")
    with pytest.warns(pmedian.InstanceWarning, match="^pmeddata.dat is short .* 3 of 6 values read.*incompleto"):
        inst = pmedian.read(tmp_path)
    assert inst.cost[1, 2] == 0 and inst.dist[2, 1] == 12
    with pytest.warns(pmedian.InstanceWarning, match="diagonal"):
        pmedian.solve(np.ones((3, 3)), 1)
    with pytest.warns(pmedian.InstanceWarning, match="dist is not symmetric"):
        pmedian.solve(np.ones((3, 3)), 1, dist=np.triu(np.ones((3, 3))), radius=1)
    with pytest.warns(pmedian.InstanceWarning, match="no solution"):
        assert not pmedian.solve(np.full((3, 3), np.nan), 1).found
    with pytest.warns(pmedian.InstanceWarning, match="dist is used only with a radius"):
        pmedian.solve(np.ones((3, 3)), 1, dist=np.ones((3, 3)))


# ---- converters -----------------------------------------------------------------------------

def test_converters_give_pmedian_convert_matrices(tmp_path):
    graph = tmp_path / "g.txt"
    graph.write_text("4 4 2\n1 2 5\n2 3 1.5\n3 4 2\n1 2 3\n")
    tsp = tmp_path / "t.tsp"
    tsp.write_text("NAME : t\nEDGE_WEIGHT_TYPE : EUC_2D\nDIMENSION : 3\nNODE_COORD_SECTION\n"
                   "1 0 0\n2 3 4.2\n3 -1.5 7\nEOF\n")
    cases = [(["orlib", graph], lambda: pmedian.read_orlib(graph))]
    for mode in ("none", "nint", "floor"):
        cases.append((["tsplib", tsp, "--p", "1", "--round", mode],
                      lambda mode=mode: (pmedian.read_tsplib(tsp, round=mode), 1)))
    for k, (args, convert) in enumerate(cases):
        folder = tmp_path / str(k)
        subprocess.run([CONVERT, *map(str, args), "--out", str(folder)], check=True, capture_output=True)
        matrix, p = convert()
        inst = pmedian.read(folder)
        assert matrix.dtype == np.float32 and p == inst.p
        np.testing.assert_array_equal(matrix, inst.cost)
        np.testing.assert_array_equal(matrix, inst.dist)
    xy = pmedian.read_tsplib(tsp, coordinates=True)[1]
    np.testing.assert_array_equal(xy, [[0, 0], [3, 4.2], [-1.5, 7]])


# ---- a good citizen of the interpreter -----------------------------------------------------------

def test_quiet_unless_verbose(capfd):
    cost = np.array([[0, 4, 7.5], [4.5, 0, 2], [7, 2.5, 0]])
    result = pmedian.solve(cost, 1)
    assert capfd.readouterr() == ("", "")
    pmedian.solve(cost, 1, verbose=True)
    assert capfd.readouterr().out == result.summary
    assert "UB ........................... " in result.summary and "Result(n=3, p=1" in repr(result)


@pytest.mark.filterwarnings("ignore::pmedian.InstanceWarning")
def test_threads_started_together_give_the_summaries_of_solves_alone():
    instances = [(c, p, d, r) for c, p, d, r in generated(10) if r is None and not isinstance(c, list)]
    expected = [without_cpu_time(pmedian.solve(c, p).summary) for c, p, _, _ in instances]
    got = [None] * len(instances)

    def work(k):
        got[k] = without_cpu_time(pmedian.solve(instances[k][0], instances[k][1]).summary)

    threads = [threading.Thread(target=work, args=(k,)) for k in range(len(instances))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert got == expected


def everything_of(result):
    """Every field of a Result but the CPU time, floats as their bits."""
    arrays = (result.medians, result.assignment, result.client_cost, result.history)
    floats = (result.upper_bound, result.lower_bound, result.dual_value, result.primal_value, result.step,
              result.factor)
    return ([a.dtype.str + a.tobytes().hex() for a in arrays], np.array(floats).tobytes().hex(),
            (result.status, result.iterations, result.feasible_solutions), without_cpu_time(result.summary))


@pytest.mark.filterwarnings("ignore::pmedian.InstanceWarning")
def test_solves_side_by_side_give_the_bits_of_each_alone():
    rng = np.random.default_rng(2024)
    instances = []
    for k in range(12):
        n = int(rng.integers(20, 121))
        p = int(rng.integers(1, n // 3 + 2))
        points = rng.uniform(0, 100, size=(n, 2))
        euclid = np.hypot(*(points[:, None, :] - points[None, :, :]).transpose(2, 0, 1))
        if k % 3 == 0:  # real distances, every exchange
            instances.append((euclid, p, {}))
        elif k % 3 == 1:  # asymmetric integers with many ties, restricted by distances
            cost = rng.integers(0, 8, size=(n, n))
            instances.append((cost, p, {"dist": euclid, "radius": float(np.quantile(euclid, 0.3))}))
        else:  # float32 with cells that cannot serve, restricted by cost itself
            cost = np.minimum(euclid, euclid.T).astype(np.float32)
            cost[rng.random((n, n)) < 0.03] = np.inf
            instances.append((cost, p, {"radius": float(np.median(euclid))}))

    def run(instance):
        cost, p, options = instance
        return everything_of(pmedian.solve(cost, p, **options))

    alone = [run(instance) for instance in instances]
    for workers in (2, 4):
        order = list(rng.permutation(len(instances))) * 2  # each one beside several others
        with concurrent.futures.ThreadPoolExecutor(workers) as pool:
            together = list(pool.map(run, [instances[k] for k in order]))
        for k, got in zip(order, together):
            assert got == alone[k], f"instance {k} with {workers} threads"


def test_version_is_the_projects():
    text = (ROOT / "CMakeLists.txt").read_text()
    version = re.search(r"project\(pmedian\s+VERSION\s+(\d+\.\d+\.\d+)", text).group(1)
    assert pmedian.__version__ == version
    assert pmedian._pmedian.__version__ == version
    assert re.search(r'^version = "' + re.escape(version) + '"', (ROOT / "pyproject.toml").read_text(), re.M)


def test_limits_and_progress_stop_with_the_best_solution():
    rng = np.random.default_rng(21)
    xy = rng.random((150, 2))
    cost = (1000 * np.hypot(*(xy[:, None, :] - xy[None, :, :]).transpose(2, 0, 1))).astype(np.float32)
    full = pmedian.solve(cost, 8)
    assert (full.status, full.found, full.stop_reason) == (2, True, "step size exhausted")
    seen = []

    def stop_at_once(**state):
        seen.append(state)
        return False

    stopped = pmedian.solve(cost, 8, progress=stop_at_once)
    assert len(seen) == 1 and seen[0]["iteration"] == stopped.iterations
    assert set(seen[0]) == {"iteration", "upper_bound", "lower_bound", "dual_value", "elapsed_seconds"}
    assert (stopped.status, stopped.stop_reason) == (3, "stopped by the caller")
    assert stopped.upper_bound >= full.upper_bound and len(stopped.medians) == 8
    wide = pmedian.solve(cost, 8, gap=0.5)
    assert wide.stop_reason in ("gap reached", "step size exhausted") and wide.gap <= 0.5
    assert pmedian.solve(cost, 8, threads=1).upper_bound == full.upper_bound

    def fails(**state):
        raise RuntimeError("from progress")

    with pytest.raises(RuntimeError, match="from progress"):
        pmedian.solve(cost, 8, progress=fails)
    for bad in ({"time_limit": -1}, {"gap": float("nan")}, {"threads": 0}, {"progress": 3}):
        with pytest.raises(ValueError):
            pmedian.solve(cost, 8, **bad)


def footprint():
    """Virtual and resident bytes of this process, and its open files."""
    with open("/proc/self/statm") as f:
        size, resident = (int(v) * os.sysconf("SC_PAGE_SIZE") for v in f.read().split()[:2])
    return np.array([size, resident, len(os.listdir("/proc/self/fd"))])


def test_no_growth_over_a_thousand_calls(tmp_path):
    rng = np.random.default_rng(1000)
    cost = rng.uniform(0, 100, size=(20, 20))
    np.fill_diagonal(cost, 0)
    pmedian.write(tmp_path / "good", cost, 4)
    (tmp_path / "bad").mkdir()
    (tmp_path / "bad" / "pmeddata.dat").write_text("20 21\n")
    failing = [lambda: pmedian.read(tmp_path / "none"), lambda: pmedian.read(tmp_path / "bad"),
               lambda: pmedian.solve(HUGE, 1)]

    def calls(count):
        for k in range(count):
            pmedian.solve(cost, 4, radius=50.0)
            pmedian.read(tmp_path / "good")
            for call in failing:
                with pytest.raises((OSError, ValueError, MemoryError)):
                    call()

    calls(100)
    before = footprint()
    calls(1000)
    assert (footprint() - before <= [64 * 2**20, 4 * 2**20, 0]).all()


def test_ctrl_c_interrupts_within_a_second_and_leaves_the_module_usable(tmp_path):
    script = textwrap.dedent("""
        import os, signal, sys, threading, time
        import numpy as np, pmedian
        rng = np.random.default_rng(3)
        points = rng.uniform(0, 1000, size=(1500, 2))
        cost = np.hypot(*(points[:, None, :] - points[None, :, :]).transpose(2, 0, 1))
        sent = []
        def interrupt():
            time.sleep(0.5)
            sent.append(time.monotonic())
            os.kill(os.getpid(), signal.SIGINT)
        threading.Thread(target=interrupt).start()
        try:
            pmedian.solve(cost, 150)
            print("finished")
        except KeyboardInterrupt:
            print("interrupted after %.2f s" % (time.monotonic() - sent[0]))
        small = np.array([[0, 4, 7.5], [4.5, 0, 2], [7, 2.5, 0]])
        print(pmedian.solve(small, 1).upper_bound)
    """)
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=300)
    lines = done.stdout.split("\n")
    assert lines[0].startswith("interrupted after"), done.stdout + done.stderr
    assert float(lines[0].split()[2]) < 2.0  # about a second, on a busy machine
    assert float(lines[1]) == 6.5


def test_example_draws_a_solution(tmp_path):
    pytest.importorskip("matplotlib")
    tsp = tmp_path / "square.tsp"
    nodes = "".join(f"{k + 1} {k % 5} {k // 5}\n" for k in range(25))
    tsp.write_text(f"EDGE_WEIGHT_TYPE : EUC_2D\nDIMENSION : 25\nNODE_COORD_SECTION\n{nodes}EOF\n")
    picture = tmp_path / "square.png"
    script = ROOT / "examples" / "python" / "plot_solution.py"
    subprocess.run([sys.executable, str(script), str(tsp), "3", "--out", str(picture)], check=True,
                   capture_output=True, timeout=120)
    assert picture.read_bytes().startswith(b"\x89PNG")
