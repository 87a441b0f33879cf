// Differential tests: the fast routines against the straightforward ones on
// many random instances, bit for bit.  The instances mix the cases where a
// shortcut could go wrong: ties, zero and negative costs, costs at or above
// INFINITE_COST, whole and fractional values of very different sizes,
// symmetric and asymmetric matrices, radius 0 and full radius, p = 1 and
// p = n.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#ifdef _OPENMP
#include <omp.h>
#endif

// The test uses only some of the kernels that this header defines.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include "direct_trials.h"
#pragma GCC diagnostic pop
#include "fast_interchange.h"
#include "number_reader.h"
#include "solver.h"

using namespace pmedian;
#include "support.h"

namespace {

struct Snapshot {
    std::vector<int> arrangement;
    std::vector<int> medians, sizes, members;
    std::vector<uint32_t> totals;
    uint32_t result;
};

uint32_t bits(float v) {
    uint32_t b;
    memcpy(&b, &v, sizeof b);
    return b;
}

Snapshot snapshot(const Solver &solver, float result) {
    Snapshot s;
    s.arrangement.assign(solver.sv_node, solver.sv_node + solver.n);
    for (int i = 0; i < solver.p; ++i) {
        s.medians.push_back(solver.vc[i].median);
        s.sizes.push_back(solver.vc[i].size);
        s.members.insert(s.members.end(), solver.vc[i].members, solver.vc[i].members + solver.vc[i].size);
        s.totals.push_back(bits(solver.vc[i].total));
    }
    s.result = bits(result);
    return s;
}

void expect_same(const Snapshot &fast, const Snapshot &reference, const std::string &where) {
    EXPECT_EQ(fast.result, reference.result) << where;
    EXPECT_EQ(fast.arrangement, reference.arrangement) << where;
    EXPECT_EQ(fast.medians, reference.medians) << where;
    EXPECT_EQ(fast.sizes, reference.sizes) << where;
    EXPECT_EQ(fast.members, reference.members) << where;
    EXPECT_EQ(fast.totals, reference.totals) << where;
}

// Runs chains of interchange passes from random arrangements with both
// passes and compares everything a pass leaves behind.
void compare_interchange_chains(Solver &solver, int nv, int pv, std::mt19937 &rng, const std::string &label) {
    std::vector<int> start(nv);
    for (int i = 0; i < nv; ++i) start[i] = i;
    std::shuffle(start.begin(), start.end(), rng);
    for (int pass = 0; pass < 6; ++pass) {
        std::vector<int> before(solver.sv_node, solver.sv_node + nv);
        if (pass == 0) before = start;
        for (int i = 0; i < nv; ++i) solver.sv_node[i] = before[i];
        float previous = solver.allocate_clients();
        Snapshot reference = snapshot(solver, solver.interchange_reference());
        for (int i = 0; i < nv; ++i) solver.sv_node[i] = before[i];
        solver.allocate_clients();
        Snapshot fast = snapshot(solver, solver.interchange_fast());
        expect_same(fast, reference, label + " pass " + std::to_string(pass));
        if (::testing::Test::HasFailure() || !(bits(fast.result) != bits(previous) && pv < nv)) return;
    }
}

// Runs whole chains as the subgradient loop does: one allocation, then
// passes on the arrangement the previous pass left until one no longer
// improves, with each pass, from the same random start, and compares the
// ends.  The fast passes carry their bookkeeping from one to the next.
void compare_whole_chains(Solver &solver, int nv, std::mt19937 &rng, const std::string &label) {
    std::vector<int> start(nv);
    for (int i = 0; i < nv; ++i) start[i] = i;
    std::shuffle(start.begin(), start.end(), rng);
    Snapshot ends[2];
    int passes[2] = {0, 0};
    for (int fast = 0; fast < 2; ++fast) {
        std::copy(start.begin(), start.end(), solver.sv_node);
        float cost = solver.allocate_clients();
        for (;;) {
            float v = fast ? solver.interchange_fast() : solver.interchange_reference();
            ++passes[fast];
            if (!(v < cost)) break;
            cost = v;
        }
        ends[fast] = snapshot(solver, cost);
    }
    EXPECT_EQ(passes[1], passes[0]) << label;
    expect_same(ends[1], ends[0], label + " whole chain");
}

class Differential : public SolverTest {};

TEST_F(Differential, InterchangeOnThousandsOfSmallInstances) {
    std::mt19937 rng(20261208);
    int cases = 0;
    for (int round = 0; round < 400; ++round) {
        for (int kind = 0; kind < KIND_COUNT; ++kind) {
            int nv = 1 + (int)(rng() % 12);
            int pv = 1 + (int)(rng() % nv);
            if (round % 7 == 0) pv = 1;
            if (round % 11 == 0) pv = nv;
            bool symmetric = rng() % 2 == 0;
            Generated g = generate(nv, (CostKind)kind, symmetric, rng);
            load_instance(nv, pv, g.costs, g.dists, g.rad);
            ASSERT_TRUE(costs_finite);
            std::string label = "round " + std::to_string(round) + " kind " + std::to_string(kind) + " n " +
                                std::to_string(nv) + " p " + std::to_string(pv);
            compare_interchange_chains(*this, nv, pv, rng, label);
            compare_whole_chains(*this, nv, rng, label);
            release_storage();
            ++cases;
            if (HasFailure()) return;
        }
    }
    EXPECT_EQ(cases, 400 * KIND_COUNT);
}

TEST_F(Differential, InterchangeOnLargerInstances) {
    std::mt19937 rng(7);
    struct Size {
        int nv, pv;
    } sizes[] = {{40, 4}, {60, 15}, {90, 30}, {120, 12}, {150, 75}};
    for (const Size &size : sizes)
        for (int kind = 0; kind < KIND_COUNT; ++kind) {
            Generated g = generate(size.nv, (CostKind)kind, kind % 2 == 0, rng);
            load_instance(size.nv, size.pv, g.costs, g.dists, g.rad == 0.0f ? 1e9f : g.rad);
            compare_interchange_chains(*this, size.nv, size.pv, rng,
                                       "n " + std::to_string(size.nv) + " kind " + std::to_string(kind));
            release_storage();
            if (HasFailure()) return;
        }
}

TEST_F(Differential, InterchangeFromSevenHundredVerticesOn) {
    // The neighbourhood shrinks to 0.8 x radius from 700 vertices on.
    std::mt19937 rng(700);
    Generated g = generate(700, WHOLE, true, rng);
    load_instance(700, 35, g.costs, g.dists, 60.0f);
    compare_interchange_chains(*this, 700, 35, rng, "n 700");
}

// The fast pass judges a position from its gains or by direct trials of
// the candidates that the neighbourhood bound allows (eight at a time, or
// all vertices at once from the clients' rows), as its cost model finds
// cheaper.  Each method, forced, and the model's choice must give the
// straightforward pass's bits on the shapes where the choice matters: radius 0 with many or almost no pairs at distance 0, a radius
// that allows a few pairs, every pair; p = 1 and 2 and a few more medians;
// ties everywhere and the other cost kinds.
TEST_F(Differential, InterchangeMethodsOnSparseNeighbourhoods) {
    std::mt19937 rng(962);
    const InterchangeMethod methods[] = {METHOD_BY_COST, METHOD_GAINS, METHOD_DIRECT, METHOD_ROWS};
    for (int round = 0; round < 150 && !HasFailure(); ++round) {
        int nv = 12 + (int)(rng() % (round % 4 == 0 ? 150 : 60));
        int pv = round % 3 == 0 ? 1 : round % 3 == 1 ? 2 : 1 + (int)(rng() % (nv < 40 ? nv : 40));
        CostKind kind = round % 2 == 0 ? TIES : (CostKind)(rng() % KIND_COUNT);
        Generated g = generate(nv, kind, rng() % 4 != 0, rng);
        const char *shape = "";
        switch (round % 4) {
        case 0:  // radius 0, a quarter of the pairs at distance 0
            shape = "radius 0, many pairs";
            for (int i = 0; i < nv; ++i)
                for (int j = i + 1; j < nv; ++j) g.dists[i][j] = g.dists[j][i] = (float)(rng() % 4);
            g.rad = 0.0f;
            break;
        case 1: shape = "radius 0"; g.rad = 0.0f; break;
        case 2: shape = "tiny radius"; g.rad = 8.0f; break;
        default: shape = "every pair"; g.rad = 1e9f; break;
        }
        load_instance(nv, pv, g.costs, g.dists, g.rad);
        if (!costs_finite) {
            release_storage();
            continue;
        }
        for (InterchangeMethod method : methods) {
            interchange_work->method = method;
            std::string label = std::string(shape) + " round " + std::to_string(round) + " method " +
                                std::to_string(method) + " n " + std::to_string(nv) + " p " + std::to_string(pv) +
                                " kind " + std::to_string(kind);
            compare_interchange_chains(*this, nv, pv, rng, label);
            compare_whole_chains(*this, nv, rng, label);
        }
        release_storage();
    }
}

// A whole chain from `start` with the fast pass forced to `method`: each
// pass's result, then the arrangement and clusters it ends with.
std::pair<std::vector<uint32_t>, Snapshot> method_chain(Solver &solver, const std::vector<int> &start,
                                                        InterchangeMethod method) {
    solver.interchange_work->method = method;
    std::copy(start.begin(), start.end(), solver.sv_node);
    float cost = solver.allocate_clients();
    std::vector<uint32_t> results;
    for (;;) {
        float v = solver.interchange_fast();
        results.push_back(bits(v));
        if (!(v < cost)) break;
        cost = v;
    }
    return {results, snapshot(solver, cost)};
}

// Gains rule out a position's candidates that its walks do not reach by the
// rounding bound of a whole float sum and, where that bound outgrows the
// positions' losses (many clients, a large total), by the shifted bound of
// each block.  Direct trials need neither.  Weighted points, where a few
// heavy clients make the total large beside the light clients' losses,
// bring the second bound into play at a few hundred vertices: chains judged
// from the gains must match chains of direct trials pass for pass.
TEST_F(Differential, GainsMatchDirectTrialsWhereTheSumIsLarge) {
    std::mt19937 rng(20000);
    const float heavy[] = {1.0f, 100.0f, 10000.0f};
    for (int round = 0; round < 6 && !HasFailure(); ++round) {
        int nv = 500 + 100 * (round % 3), pv = round < 3 ? nv / 10 : nv / 40;
        std::uniform_real_distribution<float> where(0.0f, 1000.0f);
        std::vector<float> x(nv), y(nv), weight(nv);
        for (int i = 0; i < nv; ++i) {
            x[i] = where(rng);
            y[i] = where(rng);
            weight[i] = rng() % 10 == 0 ? heavy[round % 3] : 1.0f;
        }
        Matrix costs = zero_matrix(nv);
        for (int i = 0; i < nv; ++i)
            for (int c = 0; c < nv; ++c)
                if (i != c) costs[i][c] = (float)((double)std::hypot(x[i] - x[c], y[i] - y[c]) * weight[c]);
        load_instance(nv, pv, costs, zero_matrix(nv), INFINITY);
        std::vector<int> start(nv);
        for (int i = 0; i < nv; ++i) start[i] = i;
        std::shuffle(start.begin(), start.end(), rng);
        auto direct = method_chain(*this, start, METHOD_DIRECT);
        auto gains = method_chain(*this, start, METHOD_GAINS);
        std::string label = "round " + std::to_string(round) + " n " + std::to_string(nv) + " p " + std::to_string(pv);
        EXPECT_EQ(gains.first, direct.first) << label;
        expect_same(gains.second, direct.second, label);
        release_storage();
    }
}

// The bits of a float, to compare sums exactly.
static uint32_t float_bits(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

// A trial summed from the current terms with its changes put in
// (sparse_trial_sums) must have the bits of the same trial summed from
// every client's row (direct_trial_sums).  Generated arrangements cover the
// edges of the events: a candidate that is itself a client of the median
// under exchange (its own change after the lane -1 one), changes at the first
// and the last client position, p = 1 (every client changes), several
// lanes changing one position, and sums of fractional costs whose order
// matters.
TEST(TrialSums, ChangedTermsMatchWholeSums) {
    std::mt19937 rng(977);
    for (int round = 0; round < 400 && !::testing::Test::HasFailure(); ++round) {
        const int nv = 2 + (int)(rng() % 120), pv = 1 + (int)(rng() % std::min(nv - 1, 6));
        const bool whole = round % 3 == 0;
        std::vector<std::vector<float>> row(nv, std::vector<float>(nv));
        std::uniform_real_distribution<float> fraction(0.0f, 1.0f);
        for (auto &r : row)
            for (float &c : r) c = whole ? (float)(rng() % 8) : std::ldexp(fraction(rng), (int)(rng() % 24));
        std::vector<int> node(nv);
        for (int i = 0; i < nv; ++i) node[i] = i;
        std::shuffle(node.begin(), node.end(), rng);
        const int j = (int)(rng() % pv);
        // Per client position: the nearest cost, and the cost from the
        // medians that stay; served_by_j marks the clients of position j.
        std::vector<float> near1(nv, INFINITY), other(nv - pv);
        std::vector<char> served_by_j(nv, 0);
        std::vector<float> base_terms(nv, 0.0f), base_prefix(nv, 0.0f);
        float sum = 0.0f;
        for (int k = pv; k < nv; ++k) {
            const int c = node[k];
            int by = -1;
            float stay = INFINITY;
            for (int l = 0; l < pv; ++l) {
                float x = row[node[l]][c];
                if (x < near1[c]) near1[c] = x, by = l;
                if (l != j && x < stay) stay = x;
            }
            served_by_j[k] = by == j;
            other[k - pv] = stay;
            base_terms[k] = near1[c];
            base_prefix[k] = sum += near1[c];
        }
        const int lanes = 1 + (int)(rng() % std::min(TRIAL_LANES, nv - pv));
        std::vector<int> positions(nv - pv);
        for (int k = pv; k < nv; ++k) positions[k - pv] = k;
        std::shuffle(positions.begin(), positions.end(), rng);
        const float *rows[TRIAL_LANES];
        int at[TRIAL_LANES];
        float displaced[TRIAL_LANES];
        std::vector<TrialEvent> events;
        for (int k = pv; k < nv; ++k)
            if (served_by_j[k]) events.push_back(TrialEvent{k, -1, other[k - pv]});
        for (int i = 0; i < TRIAL_LANES; ++i) {
            const int lane = std::min(i, lanes - 1), d = positions[lane], u = node[d];
            rows[i] = row[u].data();
            at[i] = d - pv;
            displaced[i] = std::min(row[u][node[j]], other[0]);
            if (i >= lanes) continue;
            events.push_back(TrialEvent{d, i, displaced[i]});
            for (int k = pv; k < nv; ++k)
                if (k != d && !served_by_j[k] && row[u][node[k]] < near1[node[k]])
                    events.push_back(TrialEvent{k, i, row[u][node[k]]});
        }
        std::sort(events.begin(), events.end(), [](const TrialEvent &x, const TrialEvent &y) {
            return x.position != y.position ? x.position < y.position : x.lane < y.lane;
        });
        const int from = events[0].position;
        float sparse[TRIAL_LANES], direct[TRIAL_LANES];
        sparse_trial_sums(rows, node.data(), base_terms.data(), from > pv ? base_prefix[from - 1] : 0.0f, from, nv,
                          events.data(), (int)events.size(), sparse);
        direct_trial_sums(rows, lanes, node.data() + pv, other.data(), nv - pv, at, displaced, direct);
        for (int i = 0; i < lanes; ++i)
            EXPECT_EQ(float_bits(sparse[i]), float_bits(direct[i]))
                << "round " << round << " n " << nv << " p " << pv << " lane " << i << ": " << sparse[i] << " vs "
                << direct[i];
    }
}

// With few medians and a symmetric matrix, the corrections of a position
// and the gains that an exchange moves come from sweeps of whole rows, four
// at a time, whose parts are made in float within a bound.  Weighted points
// (fractional costs of very different sizes, a large total beside small
// losses) and costs of every kind, p from 2 to 8 on a few hundred vertices,
// every exchange allowed: chains judged from the gains, and as the cost
// model chooses, must match the straightforward pass pass for pass.
TEST_F(Differential, GainsFromFloatRowSweepsOnFewMedians) {
    std::mt19937 rng(3038);
    const float heavy[] = {1.0f, 30.0f, 1000.0f};
    int checked = 0;
    for (int round = 0; round < 12 && !HasFailure(); ++round) {
        int nv = 120 + 60 * (round % 4), pv = 2 + (int)(rng() % 7);
        Matrix costs;
        int kind = -1;
        if (round % 2 == 0) {
            std::uniform_real_distribution<float> where(0.0f, 1000.0f);
            std::vector<float> x(nv), y(nv), weight(nv);
            for (int i = 0; i < nv; ++i) {
                x[i] = where(rng);
                y[i] = where(rng);
                weight[i] = rng() % 8 == 0 ? heavy[round / 2 % 3] : 1.0f;
            }
            costs = zero_matrix(nv);
            for (int i = 0; i < nv; ++i)
                for (int c = 0; c < nv; ++c)
                    if (i != c)
                        costs[i][c] = (float)((double)std::hypot(x[i] - x[c], y[i] - y[c]) * weight[i] * weight[c]);
        } else {
            kind = (int)(rng() % KIND_COUNT);
            costs = generate(nv, (CostKind)kind, true, rng).costs;
        }
        load_instance(nv, pv, costs, zero_matrix(nv), INFINITY);
        std::string label = "round " + std::to_string(round) + " n " + std::to_string(nv) + " p " +
                            std::to_string(pv) + " kind " + std::to_string(kind);
        if (!costs_finite) {
            release_storage();
            continue;
        }
        ASSERT_TRUE(costs_symmetric) << label;
        for (InterchangeMethod method : {METHOD_GAINS, METHOD_BY_COST}) {
            interchange_work->method = method;
            compare_interchange_chains(*this, nv, pv, rng, label + " method " + std::to_string(method));
            compare_whole_chains(*this, nv, rng, label + " method " + std::to_string(method));
        }
        ++checked;
        release_storage();
    }
    EXPECT_GE(checked, 8);
}

// The walks through the cost order fall back to whole columns and row
// sweeps where a column's kept rows run out, and threads share the large
// loops.  Shallow orders and a zero threshold for threads make every
// instance take those paths: interchange chains, relaxations and
// subgradients must still match the straightforward routines.  Every fourth
// instance has NaN, infinite, signed-zero and huge costs mixed in, and every
// third set of multipliers a few non-finite ones, for the dense sweeps.
TEST_F(Differential, ShallowCostOrderAndThreads) {
    std::mt19937 rng(3038);
    const int depths[] = {1, 2, 5};
    const float specials[] = {std::nanf(""), INFINITY, -INFINITY, INFINITE_COST, 3e38f, -0.0f};
    parallel_work = 1;
#ifdef _OPENMP
    omp_set_num_threads(3);  // uneven shares
#endif
    for (int round = 0; round < 120 && !HasFailure(); ++round) {
        int nv = 2 + (int)(rng() % 90);
        int pv = 1 + (int)(rng() % (nv < 20 ? nv : 20));
        Generated g = generate(nv, (CostKind)(round % KIND_COUNT), round % 2 == 0, rng);
        if (round % 4 == 3)
            for (int k = 0; k < 1 + nv / 4; ++k) g.costs[rng() % nv][rng() % nv] = specials[rng() % 6];
        load_instance(nv, pv, g.costs, g.dists, g.rad);
        build_cost_order(depths[round % 3]);
        std::string label = "round " + std::to_string(round) + " n " + std::to_string(nv) + " p " + std::to_string(pv);
        if (costs_finite) compare_interchange_chains(*this, nv, pv, rng, label);
        for (int trial = 0; trial < 3 && !HasFailure(); ++trial) {
            for (int j = 0; j < nv; ++j) lambda[j] = draw_cost((CostKind)(rng() % KIND_COUNT), rng);
            if (trial == 2) lambda[rng() % nv] = specials[rng() % 6];
            TFator = trial == 0 ? 0.25f : 1.0f + (float)trial;
            solve_relaxation_reference();
            std::vector<float> ref_beta(beta, beta + nv);
            std::vector<int> ref_node(node, node + nv);
            solve_relaxation_fast();
            EXPECT_EQ(0, memcmp(ref_beta.data(), beta, nv * sizeof(float))) << label;
            EXPECT_EQ(ref_node, std::vector<int>(node, node + nv)) << label;
            compute_subgradient_reference();
            std::vector<int> ref_subg(subg, subg + nv);
            int ref_feasible = feasible;
            compute_subgradient();
            EXPECT_EQ(ref_subg, std::vector<int>(subg, subg + nv)) << label;
            EXPECT_EQ(ref_feasible, feasible) << label;
        }
        release_storage();
    }
    parallel_work = 4096;
#ifdef _OPENMP
    omp_set_num_threads(omp_get_num_procs());
#endif
}

// Allocation: the clusters, their totals and the cost of random
// arrangements, fast (the medians' rows read eight vertices at a time) and
// straightforward, on every cost kind with NaN and infinite costs mixed in,
// sizes on both sides of the eight-vertex blocks.
TEST_F(Differential, AllocationOnRandomInstances) {
    std::mt19937 rng(1208);
    const float specials[] = {std::nanf(""), INFINITY, -INFINITY, INFINITE_COST, 1e11f, -0.0f};
    for (int round = 0; round < 600 && !HasFailure(); ++round) {
        int nv = 1 + (int)(rng() % (round % 5 == 0 ? 120 : 30));
        int pv = 1 + (int)(rng() % nv);
        if (round % 9 == 0) pv = std::min(nv, 1 + (int)(rng() % 3));
        Generated g = generate(nv, (CostKind)(round % KIND_COUNT), round % 2 == 0, rng);
        if (round % 4 == 3)
            for (int k = 0; k < 1 + nv / 4; ++k) g.costs[rng() % nv][rng() % nv] = specials[rng() % 6];
        load_instance(nv, pv, g.costs, g.dists, g.rad);
        std::vector<int> start(nv);
        for (int i = 0; i < nv; ++i) start[i] = i;
        for (int trial = 0; trial < 3; ++trial) {
            std::shuffle(start.begin(), start.end(), rng);
            std::copy(start.begin(), start.end(), sv_node);
            Snapshot reference = snapshot(*this, allocate_clients_reference());
            Snapshot fast = snapshot(*this, allocate_clients_fast());
            expect_same(fast, reference, "round " + std::to_string(round) + " n " + std::to_string(nv) + " p " +
                                             std::to_string(pv));
        }
        release_storage();
    }
}

// Relaxation: values, order and ZD of both evaluations at random factors and
// multipliers, non-finite ones included.
TEST_F(Differential, RelaxationOnRandomInstancesAndMultipliers) {
    std::mt19937 rng(99);
    const float specials[] = {0.0f, -0.0f, 1e-30f, 1e30f, 3e38f, INFINITY, -INFINITY, std::nanf(""), INFINITE_COST};
    const float factors[] = {0.25f, 0.1f, 0.0f, -0.0625f, 0.4375f, 1e-20f, 1e20f, 2.0f};
    for (int round = 0; round < 300; ++round) {
        int nv = 1 + (int)(rng() % 40);
        int pv = 1 + (int)(rng() % nv);
        Generated g = generate(nv, (CostKind)(round % KIND_COUNT), round % 3 == 0, rng);
        if (round % 10 == 9) g.costs[rng() % nv][rng() % nv] = specials[rng() % 9];
        load_instance(nv, pv, g.costs, g.dists, g.rad);
        for (int trial = 0; trial < 4; ++trial) {
            for (int j = 0; j < nv; ++j) {
                int r = (int)(rng() % 20);
                lambda[j] = r == 0 ? specials[rng() % 9] : r < 4 ? 0.0f : draw_cost((CostKind)(rng() % KIND_COUNT), rng);
            }
            TFator = factors[rng() % 8];
            solve_relaxation_reference();
            std::vector<uint32_t> ref_beta;
            for (int i = 0; i < nv; ++i) ref_beta.push_back(bits(beta[i]));
            std::vector<int> ref_node(node, node + nv);
            uint32_t ref_zd = bits(ZD);
            for (int i = 0; i < nv; ++i) {
                beta[i] = 7.0f;
                node[i] = 0;
            }
            solve_relaxation_fast();
            std::vector<uint32_t> fast_beta;
            for (int i = 0; i < nv; ++i) fast_beta.push_back(bits(beta[i]));
            ASSERT_EQ(fast_beta, ref_beta) << "round " << round << " trial " << trial;
            ASSERT_EQ(std::vector<int>(node, node + nv), ref_node) << "round " << round;
            ASSERT_EQ(bits(ZD), ref_zd) << "round " << round;
        }
        release_storage();
    }
}

// Number reader: the fast reads against plain fscanf "%f" reads of the same
// file, return codes and bits, over files that mix plain decimals of every
// shape with tokens that only the formatted read understands.
std::string random_token(std::mt19937 &rng, bool plain_only) {
    static const char *odd[] = {"-1.5", "+2", "1e5", "0x1p3", "inf", "nan",  "abc",  "1.2.3", "12abc", "- 5",
                                ".",    "5e", "-0",  "1E-3",  "0.5x", "3.4028236e38", "1e-46"};
    // Plain decimals whose nearest double lies exactly halfway between two
    // floats (the first three are that midpoint, the next four are not, so
    // rounding through double would go wrong), or that have more digits
    // than a double holds exactly.
    static const char *hard[] = {"16777217", "33554434", "16777219.0", "38.4000186920166", "0.392079696059227",
                                 "6.71081280708313", "12.7043776512146", "0.000000000000000000000000000000000000001",
                                 "00000000000000000000000000001.5", "340282356779733661637539395458142568448",
                                 "1.000000059604644775390625", "0.1", "12345678901234567890.5"};
    std::uniform_int_distribution<int> pick(0, 999);
    int r = pick(rng);
    if (r < 15 && !plain_only) return odd[pick(rng) % 17];
    if (r < 40) return hard[pick(rng) % 13];
    std::string digits;
    int count = 1 + pick(rng) % (r < 100 ? 25 : 9);
    for (int i = 0; i < count; ++i) digits += (char)('0' + pick(rng) % 10);
    int point = pick(rng) % (count + 3);
    if (point <= count) digits.insert(digits.begin() + point, '.');
    if (digits == ".") digits = "0";
    return digits;
}

void compare_number_reads(const std::string &text, const std::string &label) {
    write_file("numbers.txt", text);
    int reads = 0;
    for (char c : text) reads += c == ' ' || c == '\n';
    reads += 3;  // past the end as well
    FILE *fast = fopen("numbers.txt", "r");
    FILE *plain = fopen("numbers.txt", "r");
    ASSERT_TRUE(fast && plain);
    NumberReader numbers(fast);
    for (int i = 0; i < reads; ++i) {
        float a = 42.0f, b = 42.0f;
        int ra = numbers.next(&a), rb = fscanf(plain, "%f", &b);
        ASSERT_EQ(ra, rb) << label << " read " << i;
        ASSERT_EQ(bits(a), bits(b)) << label << " read " << i << ": " << a << " vs " << b;
    }
    fclose(fast);
    fclose(plain);
}

TEST_F(Differential, NumberReaderAgreesWithFormattedReads) {
    std::mt19937 rng(1304);
    const char *spaces[] = {" ", "\n", "\t", "  ", "\r\n", " \n "};
    for (int file = 0; file < 300; ++file) {
        std::string text = file % 5 == 0 ? "   " : "";
        bool many = file >= 290;  // a few plain files span many buffers
        int tokens = many ? 30000 : 1 + (int)(rng() % 200);
        for (int t = 0; t < tokens; ++t) text += random_token(rng, many) + spaces[rng() % 6];
        if (file % 3 == 0 && !text.empty()) text.pop_back();  // no white space after the last token
        compare_number_reads(text, "file " + std::to_string(file));
        if (HasFailure()) return;
    }
}

// Trials whose float sums overflow to -infinity, where the rounding bounds
// of the fast pass no longer hold: the trials of two positions both sum to
// -infinity, though their exact values differ, and the lower position must
// win the tie, as in the straightforward scan.  (A trial cannot overflow
// upwards: each of its terms is at most INFINITE_COST.)
TEST_F(Differential, InterchangeTiesAtMinusInfinity) {
    struct Case {
        const char *label;
        int nv, pv;
        std::vector<std::vector<float>> costs;
    } cases[] = {
        {"both -inf, lower exact cost later", 4, 1,
         {{0, 1, 1, 1}, {-3e38f, 0, -3e38f, 0}, {-3e38f, -3e38f, 0, -3e38f}, {1, 1, 1, 0}}},
        {"two medians, -inf ties", 5, 2,
         {{0, 1, 1, 1, 1}, {1, 0, 1, 1, 1}, {-3e38f, 1, 0, -3e38f, 0}, {-3e38f, 1, -3e38f, 0, -3e38f},
          {1, 1, 1, 1, 0}}},
    };
    for (const Case &k : cases) {
        load_instance(k.nv, k.pv, k.costs, zero_matrix(k.nv), INFINITY);
        ASSERT_TRUE(costs_finite) << k.label;
        for (int i = 0; i < k.nv; ++i) sv_node[i] = i;
        allocate_clients();
        Snapshot reference = snapshot(*this, interchange_reference());
        for (InterchangeMethod method : {METHOD_BY_COST, METHOD_GAINS, METHOD_DIRECT, METHOD_ROWS}) {
            interchange_work->method = method;
            for (int i = 0; i < k.nv; ++i) sv_node[i] = i;
            allocate_clients();
            expect_same(snapshot(*this, interchange_fast()), reference,
                        std::string(k.label) + " method " + std::to_string(method));
        }
        release_storage();
    }
}

TEST_F(Differential, NonFiniteCostsTakeTheStraightforwardPass) {
    Matrix c = zero_matrix(4);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (i != j) c[i][j] = (float)(i + 2 * j);
    c[1][2] = std::nanf("");
    c[3][0] = INFINITY;
    load_instance(4, 2, c, zero_matrix(4), 5.0f);
    EXPECT_FALSE(costs_finite);
    for (int i = 0; i < 4; ++i) sv_node[i] = i;
    allocate_clients();
    Snapshot reference = snapshot(*this, interchange_reference());
    for (int i = 0; i < 4; ++i) sv_node[i] = i;
    allocate_clients();
    expect_same(snapshot(*this, interchange()), reference, "non-finite");
}

}  // namespace
