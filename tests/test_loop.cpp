// Subgradient loop: the integer part that decides when the step stalls, and
// the end of a run whose multipliers are not finite.  The loop's courses
// (feasible at once, a gap of exactly 1, five repeated factors, no primal
// solution at all, and an interchange chain whose end needs its costs rounded
// to float: it never ended in an x87 build) run end to end from tests/e2e,
// and non-finite input from tests/test_hostile.cpp.
#include <cmath>
#include <cstdio>
#include <limits>

#include "solver.h"

using namespace pmedian;
#include "support.h"

namespace {

struct IntegerPartCase {
    float value;
    int expected;
};

class IntegerPart : public ::testing::TestWithParam<IntegerPartCase> {};

TEST_P(IntegerPart, TruncatesToTheLow32BitsOfA64BitInteger) {
    EXPECT_EQ(integer_part(GetParam().value), GetParam().expected) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Values, IntegerPart,
    ::testing::Values(IntegerPartCase{1234.7f, 1234}, IntegerPartCase{1234.9f, 1234},
                      IntegerPartCase{1235.1f, 1235}, IntegerPartCase{-3.9f, -3},
                      IntegerPartCase{-0.5f, 0}, IntegerPartCase{-INFINITE_COST, -1115750400},
                      IntegerPartCase{INFINITE_COST, 1115750400},
                      IntegerPartCase{3e9f, (int)(3000000000LL - 4294967296LL)},
                      IntegerPartCase{1e30f, 0}, IntegerPartCase{-1e30f, 0},
                      IntegerPartCase{std::numeric_limits<float>::infinity(), 0},
                      IntegerPartCase{std::nanf(""), 0}),
    // The value as a name: "minus3_9", "1e30", "inf".
    [](const auto &info) {
        char text[32];
        snprintf(text, sizeof text, "%g", info.param.value);
        std::string name;
        for (const char *c = text; *c; ++c)
            name += *c == '-' ? "minus" : *c == '.' ? "_" : *c == '+' ? "" : std::string(1, *c);
        return name;
    });

// A multiplier that is infinite or NaN (what an overflowing step leaves)
// makes every later dual value NaN: LB never rises again, and the run ends
// when Pi runs out, 135 iterations on.
class NonFiniteMultiplier : public SolverTest, public ::testing::WithParamInterface<float> {};

TEST_P(NonFiniteMultiplier, EndsWhenPiRunsOutWithoutRaisingLB) {
    write_file("pmeddata.dat", "3 1\n4.0 7.5\n4.5 2.0\n7.0 2.5\n");
    write_file("pmedmtrx.dat", "3 1 150.0\n10.0 25.0\n12.0\n");
    read_instance();
    initial_multipliers();
    lambda[1] = GetParam();
    UB = INFINITE_COST;
    LB = -INFINITE_COST;
    iterations = 0;
    testing::internal::CaptureStdout();
    subgradient_optimization();
    std::string summary = testing::internal::GetCapturedStdout();
    EXPECT_EQ(LB, -INFINITE_COST);
    EXPECT_EQ(feasible_count, 0);
    EXPECT_EQ(status, 2);
    EXPECT_THAT(summary, ::testing::HasSubstr("\nPi ...........................      0.0039\n"));
    EXPECT_TRUE(std::isnan(ZD)) << ZD;
}

INSTANTIATE_TEST_SUITE_P(Values, NonFiniteMultiplier,
                         ::testing::Values(std::numeric_limits<float>::infinity(), std::nanf("")),
                         [](const auto &info) { return std::isnan(info.param) ? "NaN" : "Infinity"; });

}  // namespace
