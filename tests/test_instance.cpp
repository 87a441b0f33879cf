// Instance reader: file layout, the quirks of formatted reads, short files
// and storage.
#include <cmath>

#include "solver.h"

using namespace pmedian;
#include "support.h"

using ::testing::HasSubstr;

namespace {

class Reader : public SolverTest {};

TEST_F(Reader, KeepsAsymmetricCostsApartAndZeroDiagonal) {
    write_file("pmeddata.dat", "3 1\n4.0 7.5\n4.5 2.0\n7.0 2.5\n");
    write_file("pmedmtrx.dat", "3 1 150.0\n10.0 25.0\n12.0\n");
    read_instance();
    ASSERT_EQ(n, 3);
    ASSERT_EQ(p, 1);
    float expected[3][3] = {{0, 4.0f, 7.5f}, {4.5f, 0, 2.0f}, {7.0f, 2.5f, 0}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(cost[i][j], expected[i][j]) << i << "," << j;
    EXPECT_EQ(radius, 150.0f);
}

TEST_F(Reader, KeepsWhichPairsLieBeyondTheRadiusBothWays) {
    write_file("pmeddata.dat", "4 2 1 2 3 4 5 6 7 8 9 10 11 12");
    // Any white space separates values; the line structure means nothing.
    write_file("pmedmtrx.dat", "4 2\t3.5 1\n2 3 4\n\n 5 6");
    read_instance();
    float upper[4][4] = {{0, 1, 2, 3}, {0, 0, 4, 5}, {0, 0, 0, 6}, {0, 0, 0, 0}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(is_far(i, i));
        for (int j = i + 1; j < 4; ++j) {
            EXPECT_EQ(is_far(i, j), upper[i][j] > 3.5f) << i << "," << j;
            EXPECT_EQ(is_far(j, i), upper[i][j] > 3.5f) << j << "," << i;
        }
    }
    EXPECT_EQ(radius, 3.5f);
    EXPECT_EQ(cost[1][0], 4.0f);  // row 1 starts at column 0
    EXPECT_EQ(cost[3][2], 12.0f);
}

TEST_F(Reader, IgnoresTheHeaderIntegersOfTheDistanceFile) {
    write_file("pmeddata.dat", "4 2 1 2 3 4 5 6 7 8 9 10 11 12");
    write_file("pmedmtrx.dat", "5 3 100.0\n1 2 3 4 5 6");
    read_instance();
    EXPECT_EQ(n, 4);
    EXPECT_EQ(p, 2);
    EXPECT_EQ(radius, 100.0f);
    EXPECT_EQ(far, nullptr);  // no pair beyond the radius: no bits are kept
}

TEST_F(Reader, ShortCostFileLeavesZerosAndWarns) {
    write_file("pmeddata.dat", "3 1\n4.0 7.5\n4.5");
    write_file("pmedmtrx.dat", "3 1 150.0\n10.0 25.0\n12.0\n");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    read_instance();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_THAT(err, HasSubstr("pmeddata.dat"));
    EXPECT_THAT(err, HasSubstr("3 de 6 valores"));
    EXPECT_EQ(cost[1][0], 4.5f);
    EXPECT_EQ(cost[1][2], 0.0f);
    EXPECT_EQ(cost[2][0], 0.0f);
    EXPECT_EQ(cost[2][1], 0.0f);
    EXPECT_EQ(radius, 150.0f);  // the distance file is still read
}

TEST_F(Reader, TextInTheCostsStopsTheRestOfThatFile) {
    write_file("pmeddata.dat", "3 1\n4.0 7.5\nabc 2.0\n7.0 2.5\n");
    write_file("pmedmtrx.dat", "3 1 150.0\n10.0 25.0\n12.0\n");
    testing::internal::CaptureStderr();
    read_instance();
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("2 de 6 valores"));
    EXPECT_EQ(cost[0][2], 7.5f);
    EXPECT_EQ(cost[1][2], 0.0f);
    EXPECT_EQ(cost[2][1], 0.0f);
    EXPECT_EQ(radius, 150.0f);
}

TEST_F(Reader, ShortDistanceFileLeavesZerosAndWarns) {
    write_file("pmeddata.dat", "3 1\n4.0 7.5\n4.5 2.0\n7.0 2.5\n");
    write_file("pmedmtrx.dat", "3 1 5.0\n10.0");
    testing::internal::CaptureStderr();
    read_instance();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_THAT(err, HasSubstr("pmedmtrx.dat"));
    EXPECT_THAT(err, HasSubstr("2 de 4 valores"));
    EXPECT_TRUE(is_far(0, 1));
    EXPECT_TRUE(is_far(1, 0));
    EXPECT_FALSE(is_far(0, 2));  // unread distances are 0
    EXPECT_FALSE(is_far(2, 1));
}

TEST_F(Reader, RadiusThatCannotBeReadIsZeroAlsoAfterAnEarlierInstance) {
    write_file("pmeddata.dat", "3 1\n4.0 7.5\n4.5 2.0\n7.0 2.5\n");
    write_file("pmedmtrx.dat", "3 1 150.0\n10.0 25.0\n12.0\n");
    read_instance();
    release_storage();
    write_file("pmedmtrx.dat", "3 1\n");
    testing::internal::CaptureStderr();
    read_instance();
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("0 de 4 valores"));
    EXPECT_EQ(radius, 0.0f);
}

TEST_F(Reader, CompleteFilesGiveNoWarning) {
    write_file("pmeddata.dat", "3 1\n4.0 7.5\n4.5 2.0\n7.0 2.5\n");
    write_file("pmedmtrx.dat", "3 1 150.0\n10.0 25.0\n12.0\n");
    testing::internal::CaptureStderr();
    read_instance();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(Reader, ReadsEveryFormOfFloatThatFormattedInputAccepts) {
    write_file("pmeddata.dat", "3 1  1e2 -0.5  0x1p-2 +3  inf 0.1");
    write_file("pmedmtrx.dat", "3 1 .5e1  1 2 3");
    read_instance();
    EXPECT_EQ(cost[0][1], 100.0f);
    EXPECT_EQ(cost[0][2], -0.5f);
    EXPECT_EQ(cost[1][0], 0.25f);
    EXPECT_EQ(cost[1][2], 3.0f);
    EXPECT_TRUE(std::isinf(cost[2][0]));
    EXPECT_EQ(cost[2][1], 0.1f);
    EXPECT_EQ(radius, 5.0f);
}

TEST_F(Reader, AllMediansGivesEmptyMemberArraysAndClearedWorkingArrays) {
    write_file("pmeddata.dat", "3 3\n4.0 7.5\n4.5 2.0\n7.0 2.5\n");
    write_file("pmedmtrx.dat", "3 3 150.0\n10.0 25.0\n12.0\n");
    testing::internal::CaptureStdout();
    read_instance();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(vc[i].members, nullptr);
        EXPECT_EQ(vc[i].size, 0);
        EXPECT_EQ(lambda[i], 0.0f);
        EXPECT_EQ(node[i], 0);
        EXPECT_EQ(subg[i], 0);
    }
}

// The fatal paths of the reader run as the real program in test_hostile.cpp.

TEST(ReaderOrder, MissingDistanceFileIsReportedAfterTheCostFileWasRead) {
    ScratchDir dir;
    write_file("pmeddata.dat", "3 1\n4.0 7.5\n4.5");  // short: its warning shows it was read
    RunResult r = run_program(dir.path());
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, "\nMatriz de distancias (pmedmtrx.dat) nao pode ser aberto\n");
    EXPECT_THAT(r.err, HasSubstr("pmeddata.dat"));
    EXPECT_THAT(r.err, HasSubstr("3 de 6 valores"));
}

}  // namespace
