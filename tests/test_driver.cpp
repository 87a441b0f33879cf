// Driver: starting multipliers, the clock arithmetic, the exit status and
// the arguments that have no effect.
#include "solver.h"

using namespace pmedian;
#include "support.h"

namespace {

class Driver : public SolverTest {};

TEST_F(Driver, SingleVertexGetsInfiniteMultiplier) {
    write_file("pmeddata.dat", "1 1\n");
    write_file("pmedmtrx.dat", "1 1 10.0\n");
    read_instance();
    initial_multipliers();
    EXPECT_EQ(lambda[0], INFINITE_COST);
    EXPECT_EQ((double)lambda[0], 99899998208.0);
}

TEST_F(Driver, MultiplierIsSmallestStrictlyPositiveCostOfTheColumn) {
    Matrix c = zero_matrix(4);
    c[1][0] = 3.5f;  // column 0: 3.5 and 2.0 among zeros
    c[3][0] = 2.0f;
    c[0][1] = -1.0f;  // column 1: zeros and a negative only
    c[0][2] = 5.0f;  // column 2: 5, and 1e11 above INFINITE_COST
    c[1][2] = 1e11f;
    c[0][3] = 1e11f;  // column 3: only a value at or above INFINITE_COST
    c[1][3] = INFINITE_COST;
    load_instance(4, 1, c, zero_matrix(4), 0.0f);
    initial_multipliers();
    EXPECT_EQ(lambda[0], 2.0f);
    EXPECT_EQ(lambda[1], INFINITE_COST);
    EXPECT_EQ(lambda[2], 5.0f);
    EXPECT_EQ(lambda[3], INFINITE_COST);
}

TEST(DriverClock, ElapsedSecondsKeepsDoublePrecision) {
    EXPECT_EQ(elapsed_seconds(1000.0f, 3500.0f), 2.5);
    EXPECT_EQ(elapsed_seconds(0.0f, 1.0f), 1.0 / 1000.0);  // not rounded to float
    EXPECT_EQ(elapsed_seconds(7.0f, 3.0f), -0.004);
}

TEST(DriverRun, ExitsWithStatusOneAndIgnoresArguments) {
    ScratchDir dir;
    write_file("pmeddata.dat", "3 1\n4.0 7.5\n4.5 2.0\n7.0 2.5\n");
    write_file("pmedmtrx.dat", "3 1 150.0\n10.0 25.0\n12.0\n");
    RunResult plain = run_program(dir.path());
    std::string plain_solution = read_file("solucao.txt");
    RunResult with_args = run_program(dir.path(), "", 120, "-h x.dat");
    EXPECT_EQ(plain.exit_status, 1);
    EXPECT_EQ(with_args.exit_status, 1);
    auto without_cpu = [](std::string s) {
        size_t at = s.find("\nTotal CPU Time");
        return at == std::string::npos ? s : s.erase(at, s.find('\n', at + 1) - at);
    };
    EXPECT_EQ(without_cpu(plain.out), without_cpu(with_args.out));
    EXPECT_EQ(read_file("solucao.txt"), plain_solution);
    EXPECT_NE(plain.out.find("Status da solucao"), std::string::npos);
}

}  // namespace
