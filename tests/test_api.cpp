// The public API: an instance from arrays solves as the same instance read
// from its files, and solves in several threads at once give the bits each
// gives alone.
#include <cstring>
#include <thread>
#include <vector>

#include "pmedian/pmedian.hpp"
#include "support.h"

namespace {

uint32_t bits(double v) {
    float f = (float)v;
    uint32_t b;
    memcpy(&b, &f, sizeof b);
    return b;
}

void expect_same(const pmedian::Result &a, const pmedian::Result &b, const std::string &label) {
    EXPECT_EQ(bits(a.upper_bound), bits(b.upper_bound)) << label;
    EXPECT_EQ(bits(a.lower_bound), bits(b.lower_bound)) << label;
    EXPECT_EQ(a.status, b.status) << label;
    EXPECT_EQ(a.iterations, b.iterations) << label;
    EXPECT_EQ(a.feasible_solutions, b.feasible_solutions) << label;
    EXPECT_EQ(a.medians, b.medians) << label;
    EXPECT_EQ(a.assignment, b.assignment) << label;
    EXPECT_EQ(a.history, b.history) << label;
}

pmedian::Instance from_matrices(int nv, int pv, const Generated &g) {
    std::vector<float> costs, dists;
    for (int i = 0; i < nv; ++i)
        for (int j = 0; j < nv; ++j) {
            costs.push_back(i == j ? 0.0f : g.costs[i][j]);
            dists.push_back(g.dists[i][j]);
        }
    return pmedian::make_instance(nv, pv, costs, dists, g.rad);
}

class Api : public SolverTest {};

// Every kind of cost, solved from arrays and from files, one after the other
// and then all at once in threads.
TEST_F(Api, ConcurrentSolvesGiveTheBitsOfSolvesAlone) {
    std::mt19937 rng(2020);
    std::vector<pmedian::Instance> instances;
    std::vector<pmedian::Result> alone;
    for (int k = 0; k < 2 * KIND_COUNT; ++k) {
        int nv = 20 + (int)(rng() % 60), pv = 1 + (int)(rng() % (nv / 3));
        Generated g = generate(nv, (CostKind)(k % KIND_COUNT), k % 3 == 0, rng);
        write_instance(nv, pv, g.costs, g.dists, g.rad);
        pmedian::Instance read = pmedian::read_instance(".");
        instances.push_back(from_matrices(nv, pv, g));
        EXPECT_EQ(read.cost, instances.back().cost) << "instance " << k;
        alone.push_back(pmedian::solve(read));
        expect_same(pmedian::solve(instances.back()), alone.back(), "arrays, instance " + std::to_string(k));
    }
    std::vector<pmedian::Result> together(instances.size());
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&, t] {
            for (size_t k = t; k < instances.size(); k += 3) together[k] = pmedian::solve(instances[k]);
        });
    for (std::thread &t : threads) t.join();
    for (size_t k = 0; k < instances.size(); ++k) expect_same(together[k], alone[k], "thread, instance " + std::to_string(k));
}

// The callback sees every iteration and can stop the run, which keeps its
// best solution; the gap and errors say what happened.
TEST_F(Api, ProgressStopsGapAndErrors) {
    std::mt19937 rng(7);
    Generated g = generate(60, FRACTIONAL, true, rng);
    pmedian::Instance instance = from_matrices(60, 6, g);
    pmedian::Result full = pmedian::solve(instance);
    int calls = 0;
    pmedian::Options options;
    options.progress = [&calls](const pmedian::Progress &) { return ++calls < 3; };
    pmedian::Result stopped = pmedian::solve(instance, options);
    if (full.iterations > stopped.iterations) {
        EXPECT_EQ(stopped.status, 3);
        EXPECT_EQ(stopped.stop_reason, pmedian::StopReason::stopped);
        EXPECT_EQ(calls, 3);
        EXPECT_EQ((int)stopped.medians.size(), 6);
    }
    pmedian::Options wide;
    wide.gap = 1.0;  // any solution is within 100 % of a non-negative bound
    pmedian::Result gap = pmedian::solve(instance, wide);
    EXPECT_TRUE(gap.status != 3 || gap.stop_reason == pmedian::StopReason::gap_reached);
    EXPECT_LE(gap.relative_gap(), 1.0);

    EXPECT_THROW(pmedian::make_instance(3, 4, std::vector<float>(9)), pmedian::Error);
    EXPECT_THROW(pmedian::make_instance(3, 1, std::vector<float>(8)), pmedian::Error);
    try {
        pmedian::read_instance("no-such-folder");
        ADD_FAILURE() << "no error for a missing folder";
    } catch (const pmedian::Error &e) {
        EXPECT_STREQ(e.what(), "Arquivo de dados (pmeddata.dat) nao pode ser aberto");
        EXPECT_EQ(e.error_number(), ENOENT);
    }
}

}  // namespace
