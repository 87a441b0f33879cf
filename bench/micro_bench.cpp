// micro_bench.cpp - the hot routines, fast against straightforward, on a
// random Euclidean instance of 400 vertices and 40 medians written to a
// scratch folder and loaded through the reader.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "solver.h"

using namespace pmedian;

namespace {

const int SIZE = 400, MEDIANS = 40;

// The solver that every benchmark uses, loaded once per process from a
// scratch folder.
Solver &load() {
    static Solver solver;
    static bool loaded = false;
    if (loaded) return solver;
    loaded = true;
    char folder[] = "/tmp/pmedian-bench-XXXXXX";
    if (!mkdtemp(folder) || chdir(folder) != 0) abort();
    std::mt19937 rng(400);
    std::uniform_real_distribution<float> where(0.0f, 1000.0f);
    std::vector<float> x(SIZE), y(SIZE);
    for (int i = 0; i < SIZE; ++i) x[i] = where(rng), y[i] = where(rng);
    FILE *data = fopen("pmeddata.dat", "w"), *matrix = fopen("pmedmtrx.dat", "w");
    fprintf(data, "%d %d\n", SIZE, MEDIANS);
    fprintf(matrix, "%d %d 2000\n", SIZE, MEDIANS);
    for (int i = 0; i < SIZE; ++i)
        for (int j = 0; j < SIZE; ++j) {
            float d = std::hypot(x[i] - x[j], y[i] - y[j]);
            if (j != i) fprintf(data, "%.9g ", d);
            if (j > i) fprintf(matrix, "%.9g ", d);
        }
    fclose(data);
    fclose(matrix);
    solver.read_instance();
    for (int i = 0; i < SIZE; ++i) solver.lambda[i] = 20.0f + (float)(i % 7);
    solver.TFator = 0.25f;
    return solver;
}

// A fixed arrangement: the first 40 vertices open.
void arrange(Solver &s) {
    for (int i = 0; i < SIZE; ++i) s.sv_node[i] = i;
    s.allocate_clients();
}

void relaxation_reference(benchmark::State &state) {
    Solver &s = load();
    for (auto _ : state) s.solve_relaxation_reference();
}

void relaxation_fast(benchmark::State &state) {
    Solver &s = load();
    for (auto _ : state) s.solve_relaxation_fast();
}

void interchange_pass_reference(benchmark::State &state) {
    Solver &s = load();
    for (auto _ : state) {
        arrange(s);
        benchmark::DoNotOptimize(s.interchange_reference());
    }
}

void interchange_pass_fast(benchmark::State &state) {
    Solver &s = load();
    for (auto _ : state) {
        arrange(s);
        s.nearest_valid = NEAREST_INVALID;  // a first pass on a new arrangement
        benchmark::DoNotOptimize(s.interchange_fast());
    }
}

BENCHMARK(relaxation_reference)->Unit(benchmark::kMicrosecond);
BENCHMARK(relaxation_fast)->Unit(benchmark::kMicrosecond);
BENCHMARK(interchange_pass_reference)->Unit(benchmark::kMillisecond);
BENCHMARK(interchange_pass_fast)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
