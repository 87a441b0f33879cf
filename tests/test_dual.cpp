// Lagrangian dual: relaxation and its quicksort, subgradient, factor search.
#include <algorithm>
#include <cmath>
#include <vector>

#include "solver.h"

using namespace pmedian;
#include "support.h"

namespace {

class Dual : public SolverTest {
protected:
    // Loads an instance with the given costs and zero distances.
    void load(int nv, int pv, const Matrix &c) { load_instance(nv, pv, c, zero_matrix(nv), 0.0f); }

    // Loads an n-vertex instance and fills beta, with node = 0 .. n-1.
    void load_values(const std::vector<float> &values) {
        int nv = (int)values.size();
        load(nv, 1, zero_matrix(nv));
        for (int i = 0; i < nv; ++i) {
            beta[i] = values[i];
            node[i] = i;
        }
    }

    std::vector<int> nodes() const { return std::vector<int>(node, node + n); }
    std::vector<float> betas() const { return std::vector<float>(beta, beta + n); }
};

// ---- sort_by_beta ---------------------------------------------------------

struct EqualCase {
    int size;
    std::vector<int> order;
};

class SortAllEqual : public Dual, public ::testing::WithParamInterface<EqualCase> {};

TEST_P(SortAllEqual, StillPermutesNode) {
    const EqualCase &c = GetParam();
    load_values(std::vector<float>(c.size, 0.0f));
    sort_by_beta(0, n - 1);
    EXPECT_EQ(nodes(), c.order);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SortAllEqual,
                         ::testing::Values(EqualCase{1, {0}}, EqualCase{3, {2, 1, 0}},
                                           EqualCase{4, {2, 3, 0, 1}}, EqualCase{5, {3, 4, 2, 0, 1}},
                                           EqualCase{8, {5, 4, 7, 6, 1, 0, 3, 2}}),
                         [](const auto &info) { return "n" + std::to_string(info.param.size); });

TEST_F(Dual, SortCarriesNodeAlongAndBreaksTiesByItsOwnOrder) {
    load_values({-5, -3, -5, -1, -3});
    sort_by_beta(0, 4);
    EXPECT_EQ(betas(), (std::vector<float>{-5, -5, -3, -3, -1}));
    EXPECT_EQ(nodes(), (std::vector<int>{2, 0, 4, 1, 3}));
}

TEST_F(Dual, SortSortsOnlyTheGivenRange) {
    load_values({9, 3, 2, 1, 0});
    sort_by_beta(1, 3);
    EXPECT_EQ(betas(), (std::vector<float>{9, 1, 2, 3, 0}));
    EXPECT_EQ(nodes(), (std::vector<int>{0, 3, 2, 1, 4}));
}

TEST_F(Dual, SortOfNaNValuesTerminatesInsideTheRangeWithAPermutation) {
    const float nan = std::nanf("");
    std::vector<std::vector<float>> inputs = {
        {nan, nan, nan}, {1, nan, -1, nan, 0}, {nan, 5, 4, 3, 2, 1}, {3, 2, 1, nan}, {nan, 1}};
    for (const auto &in : inputs) {
        load_values(in);
        sort_by_beta(0, n - 1);
        std::vector<int> seen = nodes();
        std::sort(seen.begin(), seen.end());
        for (int i = 0; i < n; ++i) EXPECT_EQ(seen[i], i);
        release_storage();
    }
}

TEST_F(Dual, SortOfManyValuesIsAscending) {
    std::vector<float> values;
    for (int i = 0; i < 2000; ++i) values.push_back((float)((i * 7919) % 613) - 300.0f);
    load_values(values);
    sort_by_beta(0, n - 1);
    for (int i = 1; i < n; ++i) ASSERT_LE(beta[i - 1], beta[i]);
    for (int i = 0; i < n; ++i) ASSERT_EQ(beta[i], values[node[i]]);
}

// ---- solve_relaxation -----------------------------------------------------

TEST_F(Dual, RelaxationAddsTheExactProductAboveTheCost) {
    // TFator = 0.1f is 0.100000001490116..., so 0.1f x 10 exceeds 1 by 2^-26:
    // vertex 0 takes vertex 1 at cost 1 with the term -2^-26.  A product
    // rounded to float first would be 1 and add nothing.
    Matrix c = zero_matrix(2);
    c[0][1] = 1.0f;
    c[1][0] = 5.0f;
    load(2, 1, c);
    lambda[0] = 0.0f;
    lambda[1] = 10.0f;
    TFator = 0.1f;
    iterations = 0;
    solve_relaxation();
    // beta1 = float(0 - (1 + 2^-26)) = -1; beta0 = 1 - (1 + 2^-26) = -2^-26.
    EXPECT_EQ(betas(), (std::vector<float>{-1.0f, -std::ldexp(1.0f, -26)}));
    EXPECT_EQ(nodes(), (std::vector<int>{1, 0}));
    // ZD = -1, then + 0 x 0.1f, then + (1 + 2^-26) = 2^-26.
    EXPECT_EQ(ZD, std::ldexp(1.0f, -26));
    EXPECT_EQ(iterations, 1);
}

TEST_F(Dual, RelaxationAddsNothingWhenProductEqualsCost) {
    Matrix c = zero_matrix(2);
    c[0][1] = 2.0f;  // 0.25 x 8 = 2: equal, not taken
    c[1][0] = 2.5f;  // 0.25 x 8 = 2 < 2.5: not taken
    load(2, 1, c);
    lambda[0] = 8.0f;
    lambda[1] = 8.0f;
    TFator = 0.25f;
    solve_relaxation();
    // Each vertex takes only itself: -2 each.  All equal, n = 2 swaps once.
    EXPECT_EQ(betas(), (std::vector<float>{-2.0f, -2.0f}));
    EXPECT_EQ(nodes(), (std::vector<int>{1, 0}));
    EXPECT_EQ(ZD, -2.0f + 2.0f + 2.0f);
}

TEST_F(Dual, RelaxationSumsThePSmallestValuesThenTheMultipliers) {
    // Costs huge off the diagonal: vertex i takes only itself, value -TFator x lambda[i].
    Matrix c(4, std::vector<float>(4, 1000.0f));
    for (int i = 0; i < 4; ++i) c[i][i] = 0.0f;
    for (int pv : {1, 2, 4}) {
        load(4, pv, c);
        float lam[4] = {4, 8, 1, 2};
        for (int i = 0; i < 4; ++i) lambda[i] = lam[i];
        TFator = 0.5f;
        iterations = 7;
        solve_relaxation();
        EXPECT_EQ(betas(), (std::vector<float>{-4, -2, -1, -0.5f}));
        EXPECT_EQ(nodes(), (std::vector<int>{1, 0, 3, 2}));
        float smallest[5] = {0, -4, -6, -7, -7.5f};
        EXPECT_EQ(ZD, smallest[pv] + 7.5f) << "p = " << pv;
        EXPECT_EQ(iterations, 8);
        release_storage();
    }
}

TEST_F(Dual, RelaxationAccumulatesEachValueInFloatInColumnOrder) {
    // Terms of vertex 0: 2^24 first, then 1 and 1.  A float sum loses both
    // ones (ties to even); a sum kept in double would give 2^24 + 2.
    Matrix c = zero_matrix(3);
    c[0][1] = -16777216.0f;
    c[0][2] = -1.0f;
    c[1][0] = c[1][2] = c[2][0] = c[2][1] = 100.0f;
    load(3, 1, c);
    lambda[0] = 0.0f;
    lambda[1] = 0.0f;
    lambda[2] = 0.0f;
    TFator = 0.25f;
    // j = 1: 0 > -2^24, term -2^24; j = 2: term -1 -> -2^24 - 1 rounds to -2^24.
    solve_relaxation();
    EXPECT_EQ(beta[0], -16777216.0f);
    EXPECT_EQ(node[0], 0);
}

TEST_F(Dual, RelaxationDoesNotDependOnPreviousContents) {
    Matrix c = zero_matrix(3);
    c[0][1] = 1;
    c[0][2] = 2;
    c[1][0] = 3;
    c[1][2] = 1;
    c[2][0] = 2;
    c[2][1] = 4;
    load(3, 2, c);
    for (int i = 0; i < 3; ++i) lambda[i] = 3.0f;
    TFator = 1.0f;
    solve_relaxation();
    std::vector<float> b = betas();
    std::vector<int> v = nodes();
    float z = ZD;
    for (int i = 0; i < 3; ++i) {
        beta[i] = 99.0f;
        node[i] = 2 - i;
    }
    solve_relaxation();
    EXPECT_EQ(betas(), b);
    EXPECT_EQ(nodes(), v);
    EXPECT_EQ(ZD, z);
}

// ---- compute_subgradient -------------------------------------------------

TEST_F(Dual, SubgradientWithZeroFactorIsAllOnes) {
    Matrix c(3, std::vector<float>(3, 1.0f));
    load(3, 2, c);
    for (int i = 0; i < 3; ++i) {
        lambda[i] = 5.0f;
        node[i] = i;
    }
    TFator = 0.0f;
    compute_subgradient();
    EXPECT_EQ(std::vector<int>(subg, subg + 3), (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(feasible, 0);
}

TEST_F(Dual, SubgradientCountsTheMediansThatTakeEachVertex) {
    // Medians 0, 1, 2 (in node order 2, 0, 1); vertex 3 a client.
    Matrix c(4, std::vector<float>(4, 100.0f));
    for (int i = 0; i < 4; ++i) c[i][i] = 0.0f;
    c[0][2] = 1.0f;               // median 0 takes vertex 2 (4 > 1)
    c[0][3] = c[1][3] = 1.0f;     // vertex 3 taken by all three medians
    c[2][3] = 4.0f - 1e-6f;
    load(4, 3, c);
    float lam[4] = {4, 0, 4, 4};  // median 1 has lambda 0: does not take itself
    for (int i = 0; i < 4; ++i) lambda[i] = lam[i];
    int order[4] = {2, 0, 1, 3};
    for (int i = 0; i < 4; ++i) node[i] = order[i];
    TFator = 1.0f;
    compute_subgradient();
    EXPECT_EQ(std::vector<int>(subg, subg + 4), (std::vector<int>{0, 1, -1, -2}));
    EXPECT_EQ(feasible, 0);
}

TEST_F(Dual, SubgradientTestsTheExactProductAndStrictly) {
    // Both vertices open, TFator = 0.1f.  For vertex 1, 0.1f x 10 exceeds
    // cost[0][1] = 1 by 2^-26, so median 0 takes it (a product rounded to
    // float would not).  For vertex 0, 0.1f x 8 is exactly 0.8f =
    // cost[1][0], so median 1 does not take it.
    Matrix c = zero_matrix(2);
    c[0][1] = 1.0f;
    c[1][0] = 0.8f;
    load(2, 2, c);
    lambda[0] = 8.0f;
    lambda[1] = 10.0f;
    node[0] = 0;
    node[1] = 1;
    TFator = 0.1f;
    compute_subgradient();
    EXPECT_EQ(subg[0], 0);
    EXPECT_EQ(subg[1], -1);
    EXPECT_EQ(feasible, 0);
}

TEST_F(Dual, SubgradientOfAnExactCoverIsFeasible) {
    Matrix c = zero_matrix(3);
    c[0][1] = 1.0f;   // median 0 takes 1
    c[0][2] = 9.0f;
    c[2][0] = 9.0f;
    c[2][1] = 9.0f;   // median 2 takes only itself
    c[1][0] = c[1][2] = 9.0f;
    load(3, 2, c);
    for (int i = 0; i < 3; ++i) lambda[i] = 2.0f;
    node[0] = 0;
    node[1] = 2;
    node[2] = 1;
    TFator = 1.0f;
    compute_subgradient();
    EXPECT_EQ(std::vector<int>(subg, subg + 3), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(feasible, 1);
}

// ---- search_factor --------------------------------------------------------

class FactorSearch : public Dual {
protected:
    // n = 2, p = 1, costs 100 off the diagonal, lambda = (1, 2): each vertex
    // takes only itself.  At factor t the values are -t and -2t, the open
    // median is vertex 1, ZD = -2t + t + 2t = t, and the slope is
    // -2 + 1 + 2 = 1 > 0: ZD rises with t.
    void load_rising() {
        Matrix c = zero_matrix(2);
        c[0][1] = c[1][0] = 100.0f;
        load(2, 1, c);
        lambda[0] = 1.0f;
        lambda[1] = 2.0f;
        iterations = 0;
    }
};

TEST_F(FactorSearch, PositiveSlopeWithNoLaterImprovement) {
    load_rising();
    float factor = 0.25f, step = 0.25f;
    // 0.25: ZD 0.25, slope 1 > 0: next 0.25 - 0.125 = 0.125.
    // 0.125: ZD 0.125 fails: step 0.125, next 0.0, first turn.
    // 0.0: ZD 0 fails: step 0.0625, TFator -0.0625, second turn: done.
    float result = search_factor(factor, step);
    EXPECT_EQ(result, 0.25f);
    EXPECT_EQ(factor, 0.25f);
    EXPECT_EQ(step, 0.25f);
    EXPECT_EQ(iterations, 3);
    EXPECT_EQ(TFator, -0.0625f);
    EXPECT_EQ(ZD, 0.25f);
    EXPECT_EQ(betas(), (std::vector<float>{-0.5f, -0.25f}));
    EXPECT_EQ(nodes(), (std::vector<int>{1, 0}));
    EXPECT_EQ(std::vector<float>(sv_beta, sv_beta + 2), betas());
    EXPECT_EQ(std::vector<int>(sv_node, sv_node + 2), nodes());
}

TEST_F(FactorSearch, HalfStepToZeroEndsAfterOneEvaluation) {
    load_rising();
    float factor = 0.25f, step = 0.5f;
    // 0.25: slope > 0, next 0.25 - 0.25 = 0 <= 0: the search ends.
    EXPECT_EQ(search_factor(factor, step), 0.25f);
    EXPECT_EQ(iterations, 1);
    EXPECT_EQ(TFator, 0.0f);
    EXPECT_EQ(ZD, 0.25f);
    EXPECT_EQ(step, 0.5f);
}

TEST_F(FactorSearch, FlatSlopeWithNoLaterImprovement) {
    // n = 1, lambda 4: value -4t, ZD = -4t + 4t = 0 at every t, slope
    // -4 + 4 = 0.  0.25 improves (fall point), 0.5 ties and fails (step
    // 0.125, next 0.375, turn), 0.375 fails (step 0.0625, TFator 0.3125).
    load(1, 1, zero_matrix(1));
    lambda[0] = 4.0f;
    iterations = 0;
    float factor = 0.25f, step = 0.25f;
    EXPECT_EQ(search_factor(factor, step), 0.25f);
    EXPECT_EQ(iterations, 3);
    EXPECT_EQ(TFator, 0.3125f);
    EXPECT_EQ(factor, 0.25f);
    EXPECT_EQ(ZD, 0.0f);
    EXPECT_EQ(beta[0], -1.0f);  // restored from the evaluation at 0.25
}

TEST_F(FactorSearch, InterpolatesBetweenAFallAndARisePoint) {
    // In exact arithmetic ZD is concave in the factor, so a zero or negative
    // slope is never followed by a higher ZD; the float sums can do it.
    // n = 4, p = 1, L = 2^24, lambda = (L + 2, L + 2, 2, L).
    //
    // At 0.25 the multipliers are 4194304.5, 4194304.5, 0.5, 4194304.  The
    // values, each sum rounded to float after every term (ulp 1 from 2^23),
    // are -12582913, -12582813, -12582716 and -12582912; vertex 0 opens and
    // ZD = -12582913 + 4194304.5 (-> -8388608) + 4194304.5 + 0.5 + 4194304
    // = 1.  Vertex 0 takes every vertex: the slope subtracts L + 2, L + 2,
    // 2 (lost: -33554438 rounds to -33554440) and L, then adds them back in
    // the same order (-33554438 rounds to -33554440 again), ending at -4:
    // a fall point.  Next trial 0.25 + 0.25 = 0.5.
    //
    // At 0.5 the values are -25165824, -25165726, -25165628 and -25165824;
    // the sort puts vertex 3 first (node 3, 0, 1, 2) and ZD = -25165824 +
    // 8388609 + 8388609 + 1 + 8388608 = 3 > 1.  Vertex 3 takes vertices 0, 1
    // and 3; the slope is -(L + 2) - (L + 2) - L = -50331652, then
    // + (L + 2) -> -33554434 rounds to -33554432, + (L + 2) + 2 + L = 4 > 0:
    // a rise point.  Interpolation: (3 x 0.5 + 1 x 0.25) / (3 + 1) = 0.4375,
    // and a turn.
    //
    // At 0.4375 vertex 0 opens again with -22020098, and ZD = 1: no
    // improvement.  The step halves to 0.125, TFator is left at 0.3125, the
    // second turn ends the search, and the evaluation at 0.5 is restored.
    const float L = 16777216.0f;
    Matrix c = {{0, 1, -1, 1}, {0, 0, 100, 100}, {100, 100, 0, -2}, {0.5f, 0, 100, 0}};
    load(4, 1, c);
    lambda[0] = lambda[1] = L + 2.0f;
    lambda[2] = 2.0f;
    lambda[3] = L;
    iterations = 0;
    float factor = 0.25f, step = 0.25f;
    EXPECT_EQ(search_factor(factor, step), 0.5f);
    EXPECT_EQ(factor, 0.5f);
    EXPECT_EQ(iterations, 3);
    EXPECT_EQ(TFator, 0.3125f);
    EXPECT_EQ(ZD, 3.0f);
    EXPECT_EQ(nodes(), (std::vector<int>{3, 0, 1, 2}));
    EXPECT_EQ(betas(), (std::vector<float>{-25165824.0f, -25165824.0f, -25165726.0f, -25165628.0f}));
}

TEST_F(FactorSearch, NoImprovementOnMinusInfiniteCostReturnsZero) {
    // Vertex 0 takes vertex 1 at cost -1e12 whatever the factor, so every
    // ZD is about -1e12, below the starting best of -99899998208.
    Matrix c = zero_matrix(2);
    c[0][1] = -1e12f;
    c[1][0] = 5.0f;
    load(2, 1, c);
    lambda[0] = lambda[1] = 0.0f;
    iterations = 0;
    float factor = 0.25f, step = 0.25f;
    // 0.25 fails (step 0.125, next 0.125, turn); 0.125 fails (second turn).
    EXPECT_EQ(search_factor(factor, step), 0.0f);
    EXPECT_EQ(factor, 0.25f);
    EXPECT_EQ(iterations, 2);
    EXPECT_EQ(TFator, 0.0625f);
    EXPECT_EQ(ZD, -1e12f);  // the last evaluation, not a restore
    EXPECT_EQ(node[0], 0);
}

}  // namespace
