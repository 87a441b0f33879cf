// Primal heuristics: client allocation and the restricted vertex interchange.
#include <cmath>
#include <cstring>
#include <vector>

#include "solver.h"

using namespace pmedian;
#include "support.h"

namespace {

class Primal : public SolverTest {
protected:
    // Loads costs with every distance 1 and the given radius, and sets sv_node.
    void load(int pv, const Matrix &c, const std::vector<int> &order, float rad = 10.0f) {
        int nv = (int)c.size();
        Matrix d(nv, std::vector<float>(nv, 1.0f));
        load_instance(nv, pv, c, d, rad);
        for (int i = 0; i < nv; ++i) sv_node[i] = order[i];
    }
    std::vector<int> arrangement() const { return std::vector<int>(sv_node, sv_node + n); }
    std::vector<int> members(int i) const { return std::vector<int>(vc[i].members, vc[i].members + vc[i].size); }
    static uint32_t bits(float v) {
        uint32_t b;
        memcpy(&b, &v, sizeof b);
        return b;
    }
};

Matrix filled(int nv, float value) {
    Matrix c(nv, std::vector<float>(nv, value));
    for (int i = 0; i < nv; ++i) c[i][i] = 0.0f;
    return c;
}

// ---- allocate_clients -----------------------------------------------------

TEST_F(Primal, AllMediansHaveNoClientsAndCostZero) {
    load(3, filled(3, 4.0f), {2, 0, 1});
    EXPECT_EQ(allocate_clients(), 0.0f);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(vc[i].median, sv_node[i]);
        EXPECT_EQ(vc[i].size, 0);
        EXPECT_EQ(vc[i].total, 0.0f);
    }
}

TEST_F(Primal, TiesGoToTheLowerMedianPositionAndMembersFollowClientOrder) {
    // Medians at positions 0..3 are vertices 4, 3, 2, 1; clients 0 and 5.
    Matrix c = filled(6, 9.0f);
    c[3][0] = 2.0f;  // position 1
    c[1][0] = 2.0f;  // position 3: same cost, loses
    c[3][5] = 0.0f;  // a client at cost 0 is listed but adds nothing
    load(4, c, {4, 3, 2, 1, 5, 0});
    EXPECT_EQ(allocate_clients(), 2.0f);
    EXPECT_EQ(members(1), (std::vector<int>{5, 0}));
    EXPECT_EQ(vc[1].total, 2.0f);
    EXPECT_EQ(members(3), std::vector<int>{});
    EXPECT_EQ(vc[0].size + vc[2].size, 0);
}

TEST_F(Primal, RepeatedAllocationIsBitIdenticalAndTotalsAreTheirFloatSums) {
    std::vector<int> order = {0, 1, 2, 3, 4, 5, 6, 7};
    Matrix c = filled(8, 0.0f);
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j)
            if (i != j) c[i][j] = 0.1f * (float)((i * 5 + j * 3) % 7) + 1e-3f * (float)(i + j);
    load(3, c, order);
    float first = allocate_clients();
    std::vector<std::vector<int>> lists;
    for (int i = 0; i < 3; ++i) lists.push_back(members(i));
    float second = allocate_clients();
    EXPECT_EQ(bits(first), bits(second));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(members(i), lists[i]);
        float sum = 0.0f;
        for (int k = 0; k < vc[i].size; ++k) sum = sum + cost[vc[i].median][vc[i].members[k]];
        EXPECT_EQ(bits(sum), bits(vc[i].total));
    }
}

TEST_F(Primal, SumIsInClientOrderWhileTotalsGroupByCluster) {
    // Client costs in position order: 2^24 (median A), 1, 1 (median B).
    // In client order 2^24 + 1 rounds back to 2^24 twice; the totals are
    // 2^24 and 2, whose sum is 2^24 + 2.
    Matrix c = filled(5, 1e9f);
    c[0][2] = 16777216.0f;
    c[1][3] = c[1][4] = 1.0f;
    load(2, c, {0, 1, 2, 3, 4});
    EXPECT_EQ(allocate_clients(), 16777216.0f);
    EXPECT_EQ(vc[0].total, 16777216.0f);
    EXPECT_EQ(vc[1].total, 2.0f);
}

TEST_F(Primal, ExchangingMedianPositionsPermutesTheClusters) {
    Matrix c = filled(5, 3.0f);
    c[0][2] = 1.0f;
    c[1][3] = 1.0f;
    load(2, c, {0, 1, 2, 3, 4});
    float before = allocate_clients();
    std::vector<int> first = members(0), second = members(1);
    EXPECT_EQ(first, (std::vector<int>{2, 4}));
    EXPECT_EQ(second, (std::vector<int>{3}));
    swap_int(sv_node[0], sv_node[1]);
    EXPECT_EQ(bits(allocate_clients()), bits(before));
    EXPECT_EQ(vc[0].median, 1);
    EXPECT_EQ(vc[1].median, 0);
    // Client 4 costs 3 from both medians: it follows the lower position.
    EXPECT_EQ(members(1), (std::vector<int>{2}));
    EXPECT_EQ(members(0), (std::vector<int>{3, 4}));
}

TEST_F(Primal, ClientWithoutACheapMedianGoesToPositionZeroAtInfiniteCost) {
    Matrix c = filled(4, 1.0f);
    c[0][3] = 1e11f;  // at or above INFINITE_COST
    c[1][3] = std::nanf("");
    load(2, c, {0, 1, 2, 3});
    float total = allocate_clients();
    EXPECT_EQ(total, (float)(1.0 + (double)INFINITE_COST));
    EXPECT_EQ(members(0), (std::vector<int>{2, 3}));
    EXPECT_EQ(vc[0].total, total);
    EXPECT_EQ(vc[1].size, 0);
}

// ---- interchange ----------------------------------------------------------

TEST_F(Primal, NeighbourhoodShrinksFrom700Vertices) {
    load(1, filled(2, 1.0f), {0, 1}, 10.0f);
    n = 699;
    EXPECT_EQ(neighbourhood_bound(), 10.0);
    n = 700;
    EXPECT_EQ(neighbourhood_bound(), (double)0.8f * 10.0);
    EXPECT_NE(neighbourhood_bound(), (double)(0.8f * 10.0f));  // never rounded to float
    n = 2;
}

// Median 0 serves everything at 1; vertex 1 would serve all at 0.  Vertex 1
// lies at distance `d` from the median; every other distance is 100.
struct BoundCase {
    int size;
    float rad;
    float distance;
    bool tried;
};

class InterchangeBound : public Primal, public ::testing::WithParamInterface<BoundCase> {};

TEST_P(InterchangeBound, TriesExactlyTheClientsWithinTheBound) {
    const BoundCase &b = GetParam();
    int nv = b.size;
    Matrix c = filled(nv, 1.0f);
    for (int j = 0; j < nv; ++j)
        if (j != 1) c[1][j] = 0.0f;
    Matrix d(nv, std::vector<float>(nv, 100.0f));
    d[0][1] = d[1][0] = b.distance;
    load_instance(nv, 1, c, d, b.rad);
    for (int i = 0; i < nv; ++i) sv_node[i] = i;
    float start = allocate_clients();
    float result = interchange();
    if (b.tried) {
        EXPECT_EQ(sv_node[0], 1);
        EXPECT_EQ(sv_node[1], 0);
        EXPECT_EQ(result, 0.0f);  // vertex 1 serves everyone, the old median too, at 0
    } else {
        EXPECT_EQ(sv_node[0], 0);
        EXPECT_EQ(result, start);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Radius, InterchangeBound,
    ::testing::Values(BoundCase{699, 10.0f, 10.0f, true},                     // equal: inside
                      BoundCase{699, 10.0f, std::nextafter(10.0f, 20.0f), false},
                      BoundCase{700, 10.0f, 10.0f, false},                    // beyond 0.8 x 10
                      BoundCase{700, 1.0f, 0.8f, true},                       // 0.8f x 1 exactly
                      BoundCase{700, 1.0f, std::nextafter(0.8f, 1.0f), false},
                      BoundCase{5, 0.0f, 1.0f, false},                        // radius 0
                      BoundCase{5, 0.0f, 0.0f, true}),
    [](const auto &info) {
        const BoundCase &b = info.param;
        return "n" + std::to_string(b.size) + "_case" + std::to_string(info.index) + (b.tried ? "_tried" : "_not_tried");
    });

TEST_F(Primal, EqualBestTrialsGoToTheLowerClientPosition) {
    // Replacing median 0 by vertex 2 or by vertex 3 gives the same cost.
    Matrix c = filled(4, 5.0f);
    for (int j : {0, 1, 3}) c[2][j] = 1.0f;
    for (int j : {0, 1, 2}) c[3][j] = 1.0f;
    load(1, c, {0, 3, 2, 1});
    allocate_clients();
    EXPECT_EQ(interchange(), 3.0f);
    EXPECT_EQ(arrangement(), (std::vector<int>{3, 0, 2, 1}));  // position 1 holds vertex 3
}

TEST_F(Primal, BestTrialEqualToCurrentMakesNoExchange) {
    load(1, filled(3, 2.0f), {0, 1, 2});
    float start = allocate_clients();
    EXPECT_EQ(bits(interchange()), bits(start));
    EXPECT_EQ(arrangement(), (std::vector<int>{0, 1, 2}));
}

TEST_F(Primal, AllMediansMakeNoTrialAndCostZero) {
    load(3, filled(3, 2.0f), {1, 2, 0});
    allocate_clients();
    EXPECT_EQ(interchange(), 0.0f);
    EXPECT_EQ(arrangement(), (std::vector<int>{1, 2, 0}));
}

TEST_F(Primal, TrialsAreJudgedAgainstTheSumOfTheClusterTotals) {
    // As in SumIsInClientOrderWhileTotalsGroupByCluster: the allocation
    // returns 2^24, the totals add up to 2^24 + 2.  Exchanging median B
    // (vertex 1) with client y (vertex 3) gives the client costs 2^24, 1, 1
    // again, a trial of 2^24: below the totals' sum, so it is taken although
    // it equals the allocation's result.
    Matrix c = filled(5, 1e9f);
    c[0][2] = 16777216.0f;
    c[1][3] = c[1][4] = 1.0f;
    c[3][1] = c[3][4] = 1.0f;
    load(2, c, {0, 1, 2, 3, 4});
    EXPECT_EQ(allocate_clients(), 16777216.0f);
    EXPECT_EQ(interchange(), 16777216.0f);
    EXPECT_EQ(arrangement(), (std::vector<int>{0, 3, 2, 1, 4}));
}

TEST_F(Primal, PassWithoutExchangeReturnsThePreviousValueBitForBit) {
    // Whole-number costs: every sum is exact, so the totals' sum equals the
    // allocation's result and the passes end when nothing improves.
    Matrix c = filled(6, 0.0f);
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 6; ++j)
            if (i != j) c[i][j] = (float)(1 + (i * 7 + j * 11) % 5);
    load(2, c, {0, 1, 2, 3, 4, 5});
    float value = allocate_clients();
    for (int pass = 0; pass < 6; ++pass) {
        std::vector<int> before = arrangement();
        float next = interchange();
        if (!(next < value)) {
            EXPECT_EQ(bits(next), bits(value));
            EXPECT_EQ(arrangement(), before);
            EXPECT_EQ(bits(interchange()), bits(value));  // and again
            return;
        }
        value = next;
    }
    FAIL() << "the passes kept improving";
}

TEST_F(Primal, DisplacedMedianComesBackAtALaterPosition) {
    // Vertices A=0, B=1, C=2, D=3; medians A, B.  At position 0, C replaces
    // A (cost 12 -> 6); at position 1 the best candidate is A again
    // ({C, A} costs 3, {C, D} 4).
    Matrix c = filled(4, 100.0f);
    c[0][2] = 10.0f;
    c[0][3] = 2.0f;
    c[0][1] = 1.0f;
    c[2][0] = 1.0f;
    c[2][1] = 3.0f;
    c[2][3] = 5.0f;
    load(2, c, {0, 1, 2, 3});
    EXPECT_EQ(allocate_clients(), 12.0f);
    EXPECT_EQ(interchange(), 3.0f);
    EXPECT_EQ(arrangement(), (std::vector<int>{2, 0, 1, 3}));
    EXPECT_EQ(members(1), (std::vector<int>{1, 3}));
}

}  // namespace
