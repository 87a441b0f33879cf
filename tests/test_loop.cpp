// Subgradient loop: the integer part that decides when the step stalls.
// The loop's courses (feasible at once, a gap of exactly 1, five repeated
// factors, no primal solution at all) run end to end from tests/e2e.
#include <cmath>
#include <limits>

#include "pmedian.h"
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
                      IntegerPartCase{std::nanf(""), 0}));

}  // namespace
