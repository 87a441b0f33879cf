# Top-level commands; see README.md and docs/development.md.
BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=


# The sanitizer build: ASan, UBSan and the float-to-int checks that g++ keeps
# out of "undefined", optimised as a release is so that the suite stays quick.
SANITIZE_DIR ?= build-sanitize
SANITIZERS ?= address,undefined,float-cast-overflow

# The fuzz targets: clang's libFuzzer with ASan and UBSan, fuzz_solver (the
# solver) and fuzz_tools (the tools' parsers), each for half of FUZZ_TIME
# seconds from the committed seeds.  New inputs go to FUZZ_DIR/corpus and
# FUZZ_DIR/tools-corpus, findings to FUZZ_DIR/findings.  The targets change
# their working directory, so every path handed to them is absolute.  Every
# path is quoted in the recipes, so that a checkout in a folder with blanks
# in its name works.
FUZZ_DIR ?= build-fuzz
FUZZ_TIME ?= 300
FUZZ_CXX ?= clang++-14
FUZZ_COMMON = -timeout=10 -close_fd_mask=3 -print_final_stats=1 \
    "-artifact_prefix=$(abspath $(FUZZ_DIR))/findings/"
FUZZ_FLAGS = $(FUZZ_COMMON) -max_len=4096 "-dict=$(CURDIR)/tests/fuzz/pmedian.dict"
FUZZ_TOOLS_FLAGS = $(FUZZ_COMMON) -max_len=2048 "-dict=$(CURDIR)/tests/fuzz/tools.dict"

# Cross builds for test-cross: Debian's cross compilers, one build folder
# per GNU triple under CROSS_DIR, CROSS_CASES random instances.
CROSS_DIR ?= build-cross
CROSS_TRIPLES ?= aarch64-linux-gnu s390x-linux-gnu i686-linux-gnu
CROSS_CASES ?= 300

# Installs what the build needs with apt when missing (as root), or names
# the apt-get line to run; without the tests, the compiler and CMake alone.
# BUILD_DEPS=true skips the check.
BUILD_DEPS ?= sh tools/build-deps.sh
DEPS_SET = $(if $(findstring PMEDIAN_TESTS=OFF,$(CMAKE_FLAGS)),--programs)

.PHONY: all configure build install run test test-sanitize test-cross fuzz-deps fuzz-build fuzz clean \
	solve-deps bench bench-orlib bench-tsplib bench-plot-tool plot-tool bench-scaling bench-shapes bench-baseline \
	python python-deps exact-deps bench-exact

all: build

# $(call optional_packages,PACKAGES,WHAT): installs the Debian PACKAGES that
# are missing with apt when make runs as root; otherwise names them, and the
# build goes on without WHAT.
define optional_packages
@missing=$$(for p in $(1); do dpkg -s $$p >/dev/null 2>&1 || echo $$p; done); \
if [ -n "$$missing" ]; then \
    if [ "$$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then \
        { apt-get update -q && apt-get install -y -q --no-install-recommends $$missing; } || \
            echo "could not install" $$missing": $(2) is not built"; \
    else \
        echo "$(2) needs" $$missing "(apt-get install as root); it is not built"; \
    fi; \
fi
endef

configure: exact-deps
	$(BUILD_DEPS) $(DEPS_SET)
	cmake -S . -B "$(BUILD_DIR)" -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

# pmedian-exact needs a MIP solver library: CBC or GLPK (Debian's
# coinor-libcbc-dev and libglpk-dev, found through pkg-config).  They are
# installed with apt when missing and make runs as root; otherwise they are
# named, and the build goes on without pmedian-exact.
EXACT_PACKAGES = coinor-libcbc-dev libglpk-dev pkg-config
exact-deps:
	$(call optional_packages,$(EXACT_PACKAGES),pmedian-exact)

# The programs need CLI11 and nlohmann-json (Debian's libcli11-dev and
# nlohmann-json3-dev, header-only): tools/build-deps.sh checks them with the
# compiler and CMake, in every build, and so does this target alone.
solve-deps:
	$(BUILD_DEPS) --programs

build: configure
	cmake --build "$(BUILD_DIR)" -j $(JOBS)

# Installs the programs, the library, its header, the CMake package and
# pmedian.pc under PREFIX (see docs/library.md).
PREFIX ?= /usr/local
install: build
	cmake --install "$(BUILD_DIR)" --prefix "$(PREFIX)"

# Runs the solver on the bundled example in a scratch folder, building the
# solver alone.  The solver always ends with exit status 1, so that status
# is not a failure here.
run: configure
	cmake --build "$(BUILD_DIR)" -j $(JOBS) --target pmedian
	rm -rf "$(BUILD_DIR)/run" && mkdir -p "$(BUILD_DIR)/run"
	cp examples/pmeddata.dat examples/pmedmtrx.dat "$(BUILD_DIR)/run/"
	cd "$(BUILD_DIR)/run" && { ../pmedian; rc=$$?; [ $$rc -eq 1 ] || { echo "pmedian exited with status $$rc"; exit 1; }; }
	@echo; echo "--- $(BUILD_DIR)/run/solucao.txt"; cat "$(BUILD_DIR)/run/solucao.txt"

# The map and sweep tests draw with gnuplot; without it they are skipped.
# The Python package's Debian packages come first: CMake looks for them.
test: python-deps build plot-tool
	cd "$(BUILD_DIR)" && ctest --output-on-failure -j $(JOBS)

# The solver built for other architectures must give this machine's bits:
# aarch64 and s390x (big-endian) under qemu-user, i686 with SSE2 arithmetic
# on this CPU, each on the conformance and end-to-end cases and on random
# instances solved here.  See tests/cross_check.sh.
test-cross: build
	$(BUILD_DEPS) $(CROSS_TRIPLES)
	sh tests/cross_check.sh "$(BUILD_DIR)" "$(CROSS_DIR)" $(JOBS) $(CROSS_CASES) $(CROSS_TRIPLES)

# The Python package (docs/python.md), built in $(BUILD_DIR)/python.
python: python-deps configure
	cmake --build "$(BUILD_DIR)" -j $(JOBS) --target python

# What the Python package, its tests, its example and the offline pip route
# (docs/python.md) need from Debian: the
# packages are installed with apt when missing and make runs as root;
# otherwise they are named, and the build goes on without the package.
PYTHON_PACKAGES = pybind11-dev python3-dev python3-numpy python3-pytest python3-matplotlib \
    python3-setuptools python3-wheel
python-deps:
	$(call optional_packages,$(PYTHON_PACKAGES),the Python package)

# Where the benchmarks write their tables and plots: into the build folder,
# unless BENCH_UPDATE=1 asks to update the committed ones in bench/results.
# (docs/performance-and-results.md)
BENCH_UPDATE ?=
BENCH_RESULTS = $(if $(filter 1 yes true,$(BENCH_UPDATE)),bench/results,$(BUILD_DIR)/bench-results)

# Speed: the fast build against pmedian-reference, outputs compared byte for
# byte, then the large instances alone (bench/results/performance.md); the
# Python package against the program on pcb3038 (bench/results/python.md);
# the shapes of bench-shapes; and the micro-benchmarks of the hot routines
# when Google Benchmark is found.
bench: build bench-scaling bench-shapes
	python3 bench/perf_bench.py --bin "$(BUILD_DIR)" --orlib "$(ORLIB_DIR)" \
	    --work "$(BUILD_DIR)/bench-performance" --results "$(BENCH_RESULTS)"
	if [ -f "$(BUILD_DIR)/python/pmedian/__init__.py" ]; then \
	    py=$$(sed -n 's/^Python_EXECUTABLE:[A-Z]*=//p' "$(BUILD_DIR)/CMakeCache.txt"); \
	    PYTHONPATH="$(BUILD_DIR)/python" "$${py:-python3}" bench/python_bench.py --bin "$(BUILD_DIR)" \
	        --tsplib "$(TSPLIB_DIR)" --work "$(BUILD_DIR)/bench-python" --results "$(BENCH_RESULTS)"; \
	fi
	if [ -x "$(BUILD_DIR)/pmedian-micro-bench" ]; then "$(BUILD_DIR)/pmedian-micro-bench"; fi

# Large instances (up to 10,000 vertices) with one thread and with every
# core, time and peak memory, outputs compared with the solver before the
# cost order (bench/results/scaling.md).  SCALING_BASELINE=1 builds that
# solver from git and runs it again where it takes under two minutes.
# SCALING_INSTANCES restricts the run (comma-separated labels).
SCALING_BASELINE ?=
SCALING_INSTANCES ?=
BASELINE_DIR ?= $(BUILD_DIR)/baseline
bench-scaling: build bench-plot-tool $(if $(SCALING_BASELINE),bench-baseline)
	python3 bench/scaling_bench.py --bin "$(BUILD_DIR)" --tsplib "$(TSPLIB_DIR)" \
	    --work "$(BUILD_DIR)/bench-scaling" \
	    --results "$(if $(SCALING_INSTANCES),$(BUILD_DIR)/bench-scaling,$(BENCH_RESULTS))" \
	    --only "$(SCALING_INSTANCES)" $(if $(SCALING_BASELINE),--baseline "$(BASELINE_DIR)/build/pmedian")

# Few medians, radius 0, ties and negative costs: the fast build against the
# straightforward one, outputs compared byte for byte, into
# SHAPES_RESULTS/shapes.md (bench/results with BENCH_UPDATE=1, the scratch
# folder for a restricted run).  SHAPES_BASELINE=1 runs the 6b2ac2a build beside
# them; SHAPES_INSTANCES restricts the run (comma-separated label parts);
# SHAPES_LIMIT stops a run after that many seconds.  SHAPES_LARGE random
# points (p a tenth of them; 0 skips it) are then converted and solved by the
# fast build alone, with the time and peak memory of both; at 20,000 the
# instance files take 5.7 GB of disk in the work folder.
SHAPES_BASELINE ?=
SHAPES_INSTANCES ?=
SHAPES_LIMIT ?= 600
SHAPES_LARGE ?= 20000
SHAPES_RESULTS ?= $(if $(SHAPES_INSTANCES),$(BUILD_DIR)/bench-shapes,$(BENCH_RESULTS))
bench-shapes: build $(if $(SHAPES_BASELINE),bench-baseline)
	python3 bench/shape_bench.py --bin "$(BUILD_DIR)" --tsplib "$(TSPLIB_DIR)" \
	    --work "$(BUILD_DIR)/bench-shapes" --results "$(SHAPES_RESULTS)" \
	    --limit $(SHAPES_LIMIT) --only "$(SHAPES_INSTANCES)" --large $(SHAPES_LARGE) \
	    $(if $(SHAPES_BASELINE),--compare "6b2ac2a=$(BASELINE_DIR)/build/pmedian")

bench-baseline:
	rm -rf "$(BASELINE_DIR)" && mkdir -p "$(BASELINE_DIR)/src"
	git archive 6b2ac2a | tar -x -C "$(BASELINE_DIR)/src"
	cmake -S "$(BASELINE_DIR)/src" -B "$(BASELINE_DIR)/build" -DCMAKE_BUILD_TYPE=Release -DPMEDIAN_TESTS=OFF
	cmake --build "$(BASELINE_DIR)/build" -j $(JOBS) --target pmedian

# Benchmarks on the public instance sets (docs/performance-and-results.md,
# which says where the instance files come from).  Each instance is converted into a scratch folder under
# $(BUILD_DIR), solved under a time limit of BENCH_TIMEOUT seconds (0: none)
# and checked; failures are recorded and the run goes on.  A run restricted
# with ORLIB_INSTANCES or TSPLIB_INSTANCES writes its table into the scratch
# folder, so that only complete runs land in bench/results (with BENCH_UPDATE=1).
INSTANCES_DIR ?= $(CURDIR)/../shared/instances
ORLIB_DIR ?= $(INSTANCES_DIR)/orlib
TSPLIB_DIR ?= $(INSTANCES_DIR)/tsplib
ORLIB_INSTANCES ?=
TSPLIB_INSTANCES ?=
BENCH_TIMEOUT ?= 900
ORLIB_RESULTS ?= $(if $(ORLIB_INSTANCES),$(BUILD_DIR)/bench-orlib,$(BENCH_RESULTS))
TSPLIB_RESULTS ?= $(if $(TSPLIB_INSTANCES),$(BUILD_DIR)/bench-tsplib,$(BENCH_RESULTS))

bench-orlib: build bench-plot-tool
	python3 bench/run_bench.py orlib --instances "$(ORLIB_DIR)" --bin "$(BUILD_DIR)" \
	    --work "$(BUILD_DIR)/bench-orlib" --results "$(ORLIB_RESULTS)" \
	    --timeout "$(BENCH_TIMEOUT)" --only "$(ORLIB_INSTANCES)"

bench-tsplib: build bench-plot-tool
	python3 bench/run_bench.py tsplib --instances "$(TSPLIB_DIR)" --bin "$(BUILD_DIR)" \
	    --work "$(BUILD_DIR)/bench-tsplib" --results "$(TSPLIB_RESULTS)" \
	    --timeout "$(BENCH_TIMEOUT)" --only "$(TSPLIB_INSTANCES)"

# Proving the published optima with pmedian-exact (OR-Library, and every
# TSPLIB row of best_known.csv beside the published Benders times), once per
# MIP solver of EXACT_MIP (the first leads) with EXACT_MODEL as its --model, and the plain classic model of
# each instance in the first solver under PLAIN_TIME_LIMIT seconds (0: skip
# it), side by side (docs/proving-optimality.md).  A run restricted with EXACT_INSTANCES
# writes its table into the scratch folder.
EXACT_INSTANCES ?=
EXACT_MIP ?= cbc glpk
EXACT_MODEL ?= auto
EXACT_TIME_LIMIT ?= 600
PLAIN_TIME_LIMIT ?= 60
EXACT_RESULTS ?= $(if $(EXACT_INSTANCES),$(BUILD_DIR)/bench-exact,$(BENCH_RESULTS))

bench-exact: build bench-plot-tool
	python3 bench/run_exact.py --orlib "$(ORLIB_DIR)" --tsplib "$(TSPLIB_DIR)" --bin "$(BUILD_DIR)" \
	    --work "$(BUILD_DIR)/bench-exact" --results "$(EXACT_RESULTS)" --mip "$(EXACT_MIP)" \
	    --model "$(EXACT_MODEL)" --time-limit "$(EXACT_TIME_LIMIT)" --plain-limit "$(PLAIN_TIME_LIMIT)" --only "$(EXACT_INSTANCES)"

# The plots need gnuplot (Debian's gnuplot-nox); without it the tables are
# still written, and pmedian-plot says what to install.
plot-tool: bench-plot-tool
bench-plot-tool:
	@command -v gnuplot >/dev/null 2>&1 || \
	    { apt-get update -q && apt-get install -y -q --no-install-recommends gnuplot-nox; } || \
	    echo "gnuplot could not be installed: tables are written without plots"

# The whole suite again, with every program (the end-to-end runs included)
# built with the sanitizers.
test-sanitize:
	$(MAKE) test "BUILD_DIR=$(SANITIZE_DIR)" BUILD_TYPE=RelWithDebInfo \
	    CMAKE_FLAGS="-DPMEDIAN_SANITIZE=$(SANITIZERS) $(CMAKE_FLAGS)"

# libFuzzer ships with clang's runtime; Debian has it in libclang-rt-14-dev.
fuzz-deps:
	@mkdir -p "$(FUZZ_DIR)"
	@echo 'extern "C" int LLVMFuzzerTestOneInput(const char *, long) { return 0; }' \
	    > "$(FUZZ_DIR)/probe.cpp"
	@$(FUZZ_CXX) -fsanitize=fuzzer "$(FUZZ_DIR)/probe.cpp" -o "$(FUZZ_DIR)/probe" 2>/dev/null \
	    || { apt-get update && apt-get install -y clang-14 libclang-rt-14-dev; }

fuzz-build: fuzz-deps
	cmake -S . -B "$(FUZZ_DIR)" -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DPMEDIAN_TESTS=OFF -DPMEDIAN_FUZZ=ON -DPMEDIAN_SANITIZE=address,undefined
	cmake --build "$(FUZZ_DIR)" -j $(JOBS) --target fuzz_solver fuzz_tools

fuzz: fuzz-build
	mkdir -p "$(FUZZ_DIR)/corpus" "$(FUZZ_DIR)/tools-corpus" "$(FUZZ_DIR)/findings"
	set -- "$(CURDIR)/tests/fuzz/corpus"; \
	    if [ -d tests/fuzz/regressions ]; then set -- "$$@" "$(CURDIR)/tests/fuzz/regressions"; fi; \
	    "$(FUZZ_DIR)/fuzz_solver" $(FUZZ_FLAGS) -max_total_time=$$(( ($(FUZZ_TIME) + 1) / 2 )) \
	        "$(abspath $(FUZZ_DIR))/corpus" "$$@"
	set -- "$(CURDIR)/tests/fuzz/tools-corpus"; \
	    if [ -d tests/fuzz/tools-regressions ]; then set -- "$$@" "$(CURDIR)/tests/fuzz/tools-regressions"; fi; \
	    "$(FUZZ_DIR)/fuzz_tools" $(FUZZ_TOOLS_FLAGS) -max_total_time=$$(( $(FUZZ_TIME) / 2 )) \
	        "$(abspath $(FUZZ_DIR))/tools-corpus" "$$@"

clean:
	rm -rf "$(BUILD_DIR)" "$(SANITIZE_DIR)" "$(FUZZ_DIR)" "$(CROSS_DIR)"
