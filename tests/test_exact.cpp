// test_exact.cpp - pmedian-exact against brute force, and as a program.
//
// The reduction must never cut off a solution within its limit, whatever
// the multipliers and the limit: checked on hundreds of random small
// instances by enumerating every solution.  The whole proof must end at the
// brute-force optimum with each MIP solver.  The program's statuses, files
// and refusals are checked end to end.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cmath>
#include <fcntl.h>
#include <random>

#include "exact.h"
#ifdef _OPENMP
#include <omp.h>
#endif
#include "solver.h"

using namespace pmedian;
#include "support.h"

using ::testing::HasSubstr;

namespace {

// Standard output goes to /dev/null while it lives: the core's loop prints
// its summary.
struct Quiet {
    int saved;
    Quiet() {
        fflush(stdout);
        saved = dup(1);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~Quiet() {
        fflush(stdout);
        dup2(saved, 1);
        close(saved);
    }
};

// Every way to open p medians, with its cost.
struct Solution {
    std::vector<int> medians;
    double cost;
};
class Exact : public SolverTest {
protected:
    // A random instance: whole costs with many ties, real-valued costs, or
    // rounded distances of random points; asymmetric in the first two cases.
    void load_random(std::mt19937 &rng, int nv, int pv, int kind) {
        if (cost) release_storage();
        Matrix c = zero_matrix(nv);
        std::vector<double> x(nv), y(nv);
        for (int i = 0; i < nv; ++i) x[i] = rng() % 100, y[i] = rng() % 100;
        for (int i = 0; i < nv; ++i)
            for (int j = 0; j < nv; ++j) {
                if (i == j) continue;
                if (kind == 0) c[i][j] = (float)(rng() % 10);
                if (kind == 1) c[i][j] = std::uniform_real_distribution<float>(0.0f, 10.0f)(rng);
                if (kind == 2) c[i][j] = std::floor((float)std::hypot(x[i] - x[j], y[i] - y[j]));
            }
        load_instance(nv, pv, c, c, 1e9f);
    }


    std::vector<Solution> every_solution() {
        std::vector<Solution> all;
        std::vector<int> pick(p);
        for (int k = 0; k < p; ++k) pick[k] = k;
        for (;;) {
            all.push_back({pick, solution_cost(*this, pick)});
            int k = p - 1;
            while (k >= 0 && pick[k] == n - p + k) --k;
            if (k < 0) return all;
            ++pick[k];
            for (int m = k + 1; m < p; ++m) pick[m] = pick[m - 1] + 1;
        }
    }

    // What the reduction promises for a solution within its limit: it respects
    // the fixings, and each client keeps a pair to one of its nearest medians.
    bool kept(const Candidates &c, const Solution &s) {
        std::vector<char> open(n, 0);
        for (int i : s.medians) open[i] = 1;
        for (int i = 0; i < n; ++i)
            if ((c.fix[i] > 0 && !open[i]) || (c.fix[i] < 0 && open[i])) return false;
        for (int j = 0; j < n; ++j) {
            float nearest = INFINITY;
            for (int i : s.medians) nearest = std::fmin(nearest, cost[i][j]);
            bool served = false;
            for (int e = c.start[j]; e < c.start[j + 1]; ++e) served |= open[c.vertex[e]] && c.cost[e] == nearest;
            if (!served) return false;
        }
        return true;
    }
};

// The model's value with the medians fixed: every z at its least value
// (the rows, applied until nothing changes); +inf when a bound fails.
double model_value_at(const Model &m, const Solution &s) {
    std::vector<double> x(m.columns, 0.0);
    for (int i : s.medians) {
        if (m.median_col[i] >= 0) x[m.median_col[i]] = 1.0;
        else if (std::find(m.fixed_open.begin(), m.fixed_open.end(), i) == m.fixed_open.end()) return INFINITY;
    }
    for (bool changed = true; changed;) {
        changed = false;
        for (int r = 0; r < m.rows(); ++r) {
            int z = -1;
            double rest = 0;
            for (int e = m.row_start[r]; e < m.row_start[r + 1]; ++e) {
                if (!m.integer[m.row_col[e]] && m.row_val[e] > 0) z = m.row_col[e];
                else rest += m.row_val[e] * x[m.row_col[e]];
            }
            if (z >= 0 && m.row_lo[r] - rest > x[z] + 1e-12) x[z] = m.row_lo[r] - rest, changed = true;
        }
    }
    return model_feasible(m, x, 1e-9) ? model_value(m, x) : INFINITY;
}

TEST_F(Exact, ReductionKeepsEverySolutionWithinItsLimit) {
    std::mt19937 rng(14);
    int checked = 0, cut = 0;
    for (int round = 0; round < 400; ++round) {
        int nv = 3 + (int)(rng() % 6), pv = 1 + (int)(rng() % nv), kind = (int)(rng() % 3);
        load_random(rng, nv, pv, kind);
        std::vector<Solution> solutions = every_solution();
        double optimum = INFINITY;
        for (const Solution &s : solutions) optimum = std::fmin(optimum, s.cost);
        // Any multipliers and any limit: from far below the optimum to far above.
        Candidates all = all_candidates(*this);
        DualPoint point;
        for (int j = 0; j < n; ++j) point.u.push_back(std::uniform_real_distribution<double>(0, 12)(rng));
        DualSearch search;
        search.target = search.stop_at = optimum + 5;
        search.max_steps = (int)(rng() % 40);
        improve_dual(all, all.fix, point, search);
        ASSERT_LE(point.bound - point.error, optimum) << "round " << round;
        double limits[] = {optimum - 1, optimum, optimum + 0.5, optimum + (double)(rng() % 20)};
        double limit = limits[rng() % 4];

        Candidates c = reduce(all, point, limit);
        for (int pass = 0; pass < 2; ++pass) {
            improve_dual(c, c.fix, point, search);
            if (optimum <= limit) {
                ASSERT_LE(point.bound - point.error, optimum) << "round " << round;
            }
            c = reduce(c, point, limit);
            cover_clients(c, point, limit, 0);
            if (pass == 0) probe_vertices(c, point, limit, 0);
        }
        c = reduce(c, point, limit);
        Model model = radius_model(c, {}, 0);
        for (const Solution &s : solutions) {
            bool respects = true;
            for (int i : s.medians) respects &= c.fix[i] >= 0;
            for (int i = 0; i < n; ++i)
                respects &= c.fix[i] <= 0 || std::find(s.medians.begin(), s.medians.end(), i) != s.medians.end();
            double value = model_value_at(model, s);
            if (s.cost <= limit) {
                ASSERT_TRUE(kept(c, s)) << "round " << round << ": a solution of cost " << s.cost << " <= " << limit;
                ASSERT_NEAR(value, s.cost, 1e-9 * (1 + s.cost)) << "round " << round;
                ++checked;
            } else {
                ASSERT_GE(value, s.cost - 1e-9 * (1 + s.cost)) << "round " << round;
                cut += !respects || std::isinf(value);
            }
        }
    }
    EXPECT_GT(checked, 1000);
    EXPECT_GT(cut, 1000);  // the reduction does cut
}

TEST_F(Exact, ProofEndsAtTheBruteForceOptimum) {
    // Each MIP solver on the radius model, and the decomposition.
    std::vector<std::pair<const MipSolver *, MipPath>> ways;
    for (const MipSolver &solver : mip_solvers()) ways.push_back({&solver, MipPath::RADIUS});
    if (have_benders()) ways.push_back({&mip_solvers()[0], MipPath::BENDERS});
    std::mt19937 rng(1414);
    for (auto [way, path] : ways) {
        const MipSolver &solver = *way;
        int with_mip = 0;
        for (int round = 0; round < 150; ++round) {
            int nv = 6 + (int)(rng() % 14), pv = 1 + (int)(rng() % 5), kind = (int)(rng() % 3);
            load_random(rng, nv, std::min(pv, nv), kind);
            double optimum = INFINITY;
            for (const Solution &s : every_solution()) optimum = std::fmin(optimum, s.cost);
            std::vector<double> multipliers(n);
            {
                Quiet quiet;
                best_multiplier = multipliers.data();
                initial_multipliers();
                UB = INFINITE_COST;
                LB = -INFINITE_COST;
                subgradient_optimization();
                best_multiplier = nullptr;
            }
            // The multipliers kept are those of the core's best bound.
            DualPoint kept_point;
            kept_point.u = multipliers;
            Candidates all = all_candidates(*this);
            evaluate_dual(all, all.fix, kept_point, nullptr);
            ASSERT_NEAR(kept_point.bound, LB, 1e-5 * (1 + std::fabs(LB))) << "round " << round;
            Proof proof = prove_optimum(*this, std::vector<int>(best, best + p), multipliers, solver, 0, path);
            ASSERT_EQ(proof.status, Proof::OPTIMAL) << solver.name << " round " << round << ": " << proof.message;
            ASSERT_NEAR(proof.value, optimum, 1e-9 * (1 + optimum)) << solver.name << " round " << round;
            ASSERT_EQ(proof.value, solution_cost(*this, proof.medians));
            std::vector<int> m = proof.medians;
            std::sort(m.begin(), m.end());
            ASSERT_TRUE((int)m.size() == p && std::unique(m.begin(), m.end()) == m.end());
            with_mip += proof.mip_used;
        }
        EXPECT_GT(with_mip, 10) << solver.name;  // the MIP path is exercised, not only the bound
    }
}

// The decomposition alone, on every pair and on reduced lists, from no
// multipliers and from random ones, with and without a start: its optimum
// must be the brute-force one, and a cutoff below the optimum must leave
// nothing.
TEST_F(Exact, DecompositionEndsAtTheBruteForceOptimum) {
    if (!have_benders()) GTEST_SKIP() << "built without CBC";
    std::mt19937 rng(2424);
    for (int round = 0; round < 200; ++round) {
        int nv = 5 + (int)(rng() % 14), pv = 1 + (int)(rng() % 6), kind = (int)(rng() % 3);
        load_random(rng, nv, std::min(pv, nv), kind);
        Solution optimum{{}, INFINITY};
        for (const Solution &s : every_solution())
            if (s.cost < optimum.cost) optimum = s;
        Candidates c = all_candidates(*this);
        std::vector<double> u;
        if (round % 2) {
            DualPoint point;
            for (int j = 0; j < n; ++j) point.u.push_back(std::uniform_real_distribution<double>(0, 12)(rng));
            DualSearch search;
            search.target = search.stop_at = optimum.cost + 5;
            search.max_steps = (int)(rng() % 40);
            improve_dual(c, c.fix, point, search);
            if (round % 4 == 1) c = reduce(c, point, optimum.cost + (double)(rng() % 4));
            u = point.u;
        }
        MipOptions options;
        options.integral_objective = kind != 1;
        std::vector<int> start = round % 3 ? std::vector<int>() : optimum.medians;
        MipResult r = solve_benders(c, start, u, options);
        ASSERT_EQ(r.status, MipResult::OPTIMAL) << "round " << round << ": " << r.message;
        std::vector<int> medians;
        for (int i = 0; i < n; ++i)
            if (r.x[i] > 0.5) medians.push_back(i);
        ASSERT_EQ((int)medians.size(), p) << "round " << round;
        ASSERT_NEAR(r.value, optimum.cost, 1e-9 * (1 + optimum.cost)) << "round " << round;
        ASSERT_NEAR(solution_cost(*this, medians), optimum.cost, 1e-9 * (1 + optimum.cost)) << "round " << round;
        options.cutoff = optimum.cost - (kind == 1 ? 1e-3 : 0.5);
        ASSERT_EQ(solve_benders(c, {}, u, options).status, MipResult::INFEASIBLE) << "round " << round;
    }
}

// Before the first reduction the proof reads every pair from the core's
// cost order and cost rows (AllPairs) instead of a sorted copy: the dual,
// the reduction and the model size must come out with the same bits as from
// the copy, with multipliers inside the kept rows and beyond them, on
// symmetric and asymmetric costs with and without ties.
TEST_F(Exact, PairsReadFromTheCoreMatchTheSortedCopy) {
    std::mt19937 rng(2424);
    int beyond = 0;
    for (int round = 0; round < 60; ++round) {
        int nv = 70 + (int)(rng() % 200), pv = 1 + (int)(rng() % 20), kind = (int)(rng() % 3);
        load_random(rng, nv, pv, kind);
        ASSERT_LT(order_depth, n);
        const Candidates copy = all_candidates(*this);
        const AllPairs view(*this);
        double dearest = 0;
        for (float c : copy.cost) dearest = std::max(dearest, (double)c);
        const double scale = dearest * std::uniform_real_distribution<double>(0.05, 1.5)(rng);
        DualPoint a, b;
        for (int j = 0; j < n; ++j) a.u.push_back(std::uniform_real_distribution<double>(0, scale)(rng));
        for (int j = 0; j < n; ++j) beyond += column_overflows(j, float_at_least(a.u[j]));
        b.u = a.u;
        std::vector<int> ga, gb;
        evaluate_dual(copy, copy.fix, a, &ga);
        evaluate_dual(view, view.fix, b, &gb);
        ASSERT_EQ(a.beta, b.beta) << "round " << round;
        ASSERT_EQ(ga, gb) << "round " << round;
        ASSERT_EQ(a.bound, b.bound) << "round " << round;
        DualSearch search;
        search.target = search.stop_at = a.bound + scale * n;
        search.max_steps = 30;
        ASSERT_EQ(improve_dual(copy, copy.fix, a, search), improve_dual(view, view.fix, b, search));
        ASSERT_EQ(a.u, b.u) << "round " << round;
        ASSERT_EQ(a.bound, b.bound) << "round " << round;
        const double limit = a.bound + std::uniform_real_distribution<double>(0, scale)(rng);
        const Candidates ra = reduce(copy, a, limit), rb = reduce(view, b, limit);
        ASSERT_EQ(ra.start, rb.start) << "round " << round;
        ASSERT_EQ(ra.vertex, rb.vertex) << "round " << round;
        ASSERT_EQ(ra.cost, rb.cost) << "round " << round;
        ASSERT_EQ(ra.fix, rb.fix) << "round " << round;
        ASSERT_EQ(ra.capped, rb.capped) << "round " << round;
        const ModelSize sa = radius_model_size(copy), sb = radius_model_size(view);
        ASSERT_EQ(sa.rows, sb.rows);
        ASSERT_EQ(sa.columns, sb.columns);
        ASSERT_EQ(sa.nonzeros, sb.nonzeros);
    }
    EXPECT_GT(beyond, 1000);  // many multipliers lie beyond the kept rows
}

// The swap search over every pair ends at a solution that no single swap
// improves, never worse than its start; over the pairs a reduction kept it
// may stop earlier but still never gets worse.
TEST_F(Exact, SwapSearchEndsWhereNoSwapImproves) {
    std::mt19937 rng(2406);
    int improved = 0;
    for (int round = 0; round < 120; ++round) {
        int nv = 5 + (int)(rng() % 25), pv = 1 + (int)(rng() % 6), kind = (int)(rng() % 3);
        load_random(rng, nv, std::min(pv, nv - 1), kind);
        std::vector<int> start(n);
        for (int i = 0; i < n; ++i) start[i] = i;
        std::shuffle(start.begin(), start.end(), rng);
        start.resize(p);
        const double start_cost = solution_cost(*this, start);
        Candidates all = all_candidates(*this);
        DualPoint none;  // no relaxed solution: the search starts from start alone
        std::vector<int> found = improve_solution(*this, all, start, none, 0);
        std::vector<int> sorted = found;
        std::sort(sorted.begin(), sorted.end());
        ASSERT_TRUE((int)found.size() == p && std::unique(sorted.begin(), sorted.end()) == sorted.end());
        const double cost = solution_cost(*this, found);
        ASSERT_LE(cost, start_cost) << "round " << round;
        improved += cost < start_cost;
        for (int k = 0; k < p; ++k)
            for (int v = 0; v < n; ++v) {
                if (std::find(found.begin(), found.end(), v) != found.end()) continue;
                std::vector<int> other = found;
                other[k] = v;
                ASSERT_GE(solution_cost(*this, other), cost - 1e-6 * (1 + cost)) << "round " << round;
            }
        // Over reduced pairs: never worse than the start.
        DualPoint point;
        point.u.assign(n, 0.0);
        for (double &u : point.u) u = std::uniform_real_distribution<double>(0, 10)(rng);
        evaluate_dual(all, all.fix, point, nullptr);
        Candidates kept = reduce(all, point, start_cost);
        ASSERT_LE(solution_cost(*this, improve_solution(*this, kept, start, point, 0)), start_cost) << "round " << round;
    }
    EXPECT_GT(improved, 60);
}

// Probing runs its probes in threads; what it fixes and drops must not
// depend on how many.  Overlapping clusters of points give more than one
// block of probes, most of which succeed.
TEST_F(Exact, ProbingDoesNotDependOnTheThreadCount) {
#ifndef _OPENMP
    GTEST_SKIP() << "built without OpenMP";
#else
    std::mt19937 rng(3038);
    const int nv = 400;
    Matrix c = zero_matrix(nv);
    std::vector<double> x(nv), y(nv);
    for (int i = 0; i < nv; ++i) {
        int cluster = i % 40;
        x[i] = (cluster % 8) * 100 + rng() % 100;
        y[i] = (cluster / 8) * 100 + rng() % 100;
    }
    for (int i = 0; i < nv; ++i)
        for (int j = 0; j < nv; ++j) c[i][j] = std::floor((float)std::hypot(x[i] - x[j], y[i] - y[j]));
    load_instance(nv, 20, c, c, 1e9f);
    std::vector<double> multipliers(n);
    {
        Quiet quiet;
        best_multiplier = multipliers.data();
        start_run();
        subgradient_optimization();
        best_multiplier = nullptr;
    }
    double limit = solution_cost(*this, std::vector<int>(best, best + p)) - 1;
    Candidates all = all_candidates(*this);
    DualPoint point;
    point.u = multipliers;
    DualSearch search;
    search.target = search.stop_at = limit;
    improve_dual(all, all.fix, point, search);
    const Candidates reduced = reduce(all, point, limit);
    std::vector<Candidates> probed;
    std::vector<ProbeResult> results;
    const int saved = omp_get_max_threads();
    for (int threads : {1, 2, 3}) {
        omp_set_num_threads(threads);
        probed.push_back(reduced);
        results.push_back(probe_vertices(probed.back(), point, limit, 0));
    }
    omp_set_num_threads(saved);
    EXPECT_GT(results[0].probed, 64);  // more than one block
    EXPECT_GT(results[0].fixed, 0);
    for (int k = 1; k < 3; ++k) {
        EXPECT_EQ(results[k].fixed, results[0].fixed);
        EXPECT_EQ(results[k].dropped, results[0].dropped);
        EXPECT_EQ(probed[k].fix, probed[0].fix);
        EXPECT_EQ(probed[k].vertex, probed[0].vertex);
    }
#endif
}

// The program, end to end.
struct Case {
    const char *name;
    const char *arguments;
    int exit_status;
    const char *says;  // on standard output or error
};

class ExactProgram : public ::testing::TestWithParam<Case> {
protected:
    ScratchDir scratch;
};

TEST_P(ExactProgram, ExitsAndSays) {
    const Case &c = GetParam();
    write_file("pmeddata.dat", read_file(PMEDIAN_EXAMPLES "/pmeddata.dat"));
    write_file("pmedmtrx.dat", read_file(PMEDIAN_EXAMPLES "/pmedmtrx.dat"));
    mkdir("negative", 0777);
    write_file("negative/pmeddata.dat", "3 1\n1 2\n3 -4\n5 6\n");
    write_file("negative/pmedmtrx.dat", "3 1 100\n1 2\n3\n");
    mkdir("empty", 0777);
    RunResult r = run_program(scratch.path(), PMEDIAN_EXACT, 120, c.arguments);
    EXPECT_EQ(r.exit_status, c.exit_status) << r.out << r.err;
    EXPECT_THAT(r.out + r.err, HasSubstr(c.says));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExactProgram,
    ::testing::Values(Case{"Proves", "", 0, "status:                 optimal"},
                      Case{"ProvesWithGlpk", "--mip glpk", 0, "status:                 optimal"},
                      Case{"Plain", "--plain", 0, "status:                 optimal"},
                      Case{"ShowsProgress", "", 0, "carried-on dual  UB "},
                      Case{"UnknownSolver", "--mip cplex", 2, "--mip must be cbc or glpk, not cplex"},
                      // The decomposition runs on CBC only, never under another solver's name.
                      Case{"DecompositionNeedsCbc", "--mip glpk --model benders", 2, "--model benders needs --mip cbc"},
                      Case{"BadTimeLimit", "--time-limit -3", 2, "--time-limit must be a positive number of seconds, not -3"},
                      Case{"TwoFolders", ". .", 2, "unexpected argument ."},
                      Case{"NoFolder", "missing", 1, "cannot enter missing"},
                      Case{"NoInstance", "empty", 1, "Arquivo de dados (pmeddata.dat) nao pode ser aberto"},
                      Case{"NegativeCost", "negative", 1, "needs finite costs of 0 or more"}),
    [](const ::testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

// The answer goes to a file of its own, which pmedian-check accepts at the
// reported value; solucao.txt is left alone.
TEST(ExactFiles, AnswerIsCheckedAndSolucaoUntouched) {
    ScratchDir scratch;
    write_file("pmeddata.dat", read_file(PMEDIAN_EXAMPLES "/pmeddata.dat"));
    write_file("pmedmtrx.dat", read_file(PMEDIAN_EXAMPLES "/pmedmtrx.dat"));
    write_file("solucao.txt", "mine\n");
    RunResult r = run_program(scratch.path(), PMEDIAN_EXACT, 120, "");
    ASSERT_EQ(r.exit_status, 0) << r.out << r.err;
    EXPECT_EQ(read_file("solucao.txt"), "mine\n");
    std::string value = r.out.substr(r.out.find("value:") + 6);
    value = value.substr(value.find_first_not_of(' '), value.find('\n') - value.find_first_not_of(' '));
    RunResult checked = run_program(scratch.path(), PMEDIAN_CHECK, 60, ". --solution solucao_exata.txt");
    EXPECT_EQ(checked.exit_status, 0) << checked.err;
    EXPECT_THAT(checked.out, HasSubstr("status 1\ncost " + value + "\n"));
}

// The answer of an earlier run is removed at the start, so that a run that
// ends without one cannot leave it to pass for its own.
TEST(ExactFiles, AnEarlierAnswerIsRemovedAtTheStart) {
    ScratchDir scratch;
    write_file("pmeddata.dat", "3 1\n1 2\n3 -4\n5 6\n");  // refused: a negative cost
    write_file("pmedmtrx.dat", "3 1 100\n1 2\n3\n");
    write_file("solucao_exata.txt", "      0      1       1.00\n      0      2       2.00\n9999999\n1\n    0\n");
    RunResult r = run_program(scratch.path(), PMEDIAN_EXACT, 120, "");
    EXPECT_EQ(r.exit_status, 1) << r.out << r.err;
    EXPECT_FALSE(file_exists("solucao_exata.txt"));
}

// Points on two rings: the core's bound (198.75) lies well below the
// optimum (204) for p = 5, so a proof needs more than the first dual step.
Matrix ring_costs() {
    const int nv = 24;
    Matrix c = zero_matrix(nv);
    for (int i = 0; i < nv; ++i)
        for (int j = 0; j < nv; ++j) {
            double a = 2 * M_PI * (i % 12) / 12, b = 2 * M_PI * (j % 12) / 12;
            double ri = i < 12 ? 10 : 25, rj = j < 12 ? 10 : 25;
            c[i][j] = std::floor((float)std::hypot(ri * cos(a) - rj * cos(b), ri * sin(a) - rj * sin(b)));
        }
    return c;
}

// A time limit: a clear status, exit 3, the best solution known in the file
// with status 2, and an end soon after the limit wherever it falls.  Random
// asymmetric costs of 1 ... 1000 on 300 vertices make a model that no MIP
// solver proves in seconds, and a plain model whose root CBC does not solve
// within the limit (it looks at its clock only between nodes).
struct LimitCase {
    const char *name;
    const char *arguments;
    bool rings;          // the rings with p = 5, else the random costs with p = 10
    bool solution_file;  // a solution is known when the limit strikes
};

class ExactLimit : public ::testing::TestWithParam<LimitCase> {
protected:
    ScratchDir scratch;
};

TEST_P(ExactLimit, EndsSoonWithTheBestSolutionKnown) {
    const LimitCase &c = GetParam();
    if (c.rings) {
        write_instance(24, 5, ring_costs(), ring_costs(), 1e9f);
    } else {
        Matrix m = zero_matrix(300);
        std::mt19937 rng(24);
        for (int i = 0; i < 300; ++i)
            for (int j = 0; j < 300; ++j)
                if (i != j) m[i][j] = (float)(1 + rng() % 1000);
        write_instance(300, 10, m, m, 1e9f);
    }
    double limit = atof(strstr(c.arguments, "--time-limit ") + 13);
    auto started = std::chrono::steady_clock::now();
    RunResult r = run_program(scratch.path(), PMEDIAN_EXACT, 120, c.arguments);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(r.exit_status, 3) << r.out << r.err;
    EXPECT_THAT(r.out, HasSubstr("status:                 time limit, not proven"));
    EXPECT_LT(seconds, limit + 5) << r.out;  // a bound with room for a busy machine, not a speed target
    if (c.rings) {
        EXPECT_THAT(r.out, HasSubstr("value:                  204.00"));
    }
    if (c.solution_file) {
        RunResult checked = run_program(scratch.path(), PMEDIAN_CHECK, 60, ". --solution solucao_exata.txt");
        EXPECT_EQ(checked.exit_status, 0) << checked.err;
        EXPECT_THAT(checked.out, HasSubstr("status 2"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExactLimit,
    ::testing::Values(LimitCase{"BeforeTheDual", "--time-limit 0.000001", true, true},
                      LimitCase{"Cbc", "--time-limit 2", false, true},
                      LimitCase{"Glpk", "--mip glpk --time-limit 2", false, true},
                      LimitCase{"PlainCbcAtTheRoot", "--plain --time-limit 1", false, false}),
    [](const ::testing::TestParamInfo<LimitCase> &info) { return std::string(info.param.name); });

// Without a limit the rings are proven at the value the limit left.
TEST(ExactFiles, RingsAreProvenWithoutALimit) {
    ScratchDir scratch;
    write_instance(24, 5, ring_costs(), ring_costs(), 1e9f);
    RunResult unlimited = run_program(scratch.path(), PMEDIAN_EXACT, 120, "");
    EXPECT_EQ(unlimited.exit_status, 0) << unlimited.out;
    EXPECT_THAT(unlimited.out, HasSubstr("value:                  204.00"));
}

}  // namespace
