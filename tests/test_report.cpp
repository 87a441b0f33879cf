// Reports: the console summary and the solution file and its layout.
#include <cstdio>
#include <vector>

#include "solver.h"

using namespace pmedian;
#include "support.h"

namespace {

class Report : public SolverTest {
protected:
    // The six-vertex example: best = 3, 0 | 1, 2, 4, 5 and status 0.
    void load_six() {
        Matrix c(6, std::vector<float>(6, 9.0f));
        for (int i = 0; i < 6; ++i) c[i][i] = 0.0f;
        c[3][2] = 2.0f;
        c[3][4] = 3.25f;
        c[0][1] = 4.5f;
        c[0][5] = 1.0f;
        load_instance(6, 2, c, zero_matrix(6), 0.0f);
        int order[6] = {3, 0, 1, 2, 4, 5};
        for (int i = 0; i < 6; ++i) best[i] = order[i];
        status = STATUS_RELAXATION_FEASIBLE;
    }
};

TEST_F(Report, SummaryAtTheStartingBoundsWidensItsFields) {
    iterations = 0;
    UB = INFINITE_COST;
    LB = -INFINITE_COST;
    ZD = 1234.5f;
    TFator = 0.25f;
    feasible_count = 12;
    cpu_time = 0.42f;
    status = STATUS_STEP_EXHAUSTED;
    testing::internal::CaptureStdout();
    print_summary(0.0f, 0.00390625f);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n"
              "\nIteracoes ....................      0"
              "\nUB ........................... 99899998208.00"
              "\nLB ........................... -99899998208.00"
              "\nZD ...........................   1234.50"
              "\nZP ...........................      0.00"
              "\nPi ...........................      0.0039"
              "\nTFator .......................      0.2500"
              "\nSolucoes viaveis .............     12"
              "\nTotal CPU Time ...............      0.42"
              "\nStatus da solucao ............      2\n");
}


const char *SIX_SOLUTION =
    "      3      2       2.00\n"
    "      3      4       3.25\n"
    "      0      1       4.50\n"
    "      0      5       1.00\n"
    "9999999\n"
    "0\n"
    "    3    0\n";

TEST_F(Report, SolutionFileGroupsClientsByClusterInMedianOrder) {
    load_six();
    write_solution();
    EXPECT_EQ(read_file("solucao.txt"), SIX_SOLUTION);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(sv_node[i], best[i]);
}

TEST_F(Report, SolutionFileReplacesAnOlderOneAndLeavesNoTemporaryFile) {
    load_six();
    write_file("solucao.txt", "an older solution that is much longer than the new one\n");
    write_solution();
    EXPECT_EQ(read_file("solucao.txt"), SIX_SOLUTION);
    EXPECT_EQ(system("test $(ls -A | grep -c solucao) -eq 1"), 0);
}

TEST_F(Report, AllMediansWriteNoAssignmentLine) {
    load_instance(3, 3, zero_matrix(3), zero_matrix(3), 0.0f);
    best[0] = 2;
    best[1] = 0;
    best[2] = 1;
    status = STATUS_GAP_CLOSED;
    write_solution();
    EXPECT_EQ(read_file("solucao.txt"), "9999999\n1\n    2    0    1\n");
}

// Wide values without an instance of 12346 vertices: only the rows of the
// two medians are allocated, which is all the writer reads.
TEST_F(Report, WideValuesAreSeparatedByABlank) {
    const int nv = 12346;
    static float median_row_a[nv], median_row_b[nv];
    std::vector<float *> rows(nv, nullptr);
    rows[9999] = median_row_a;
    rows[12345] = median_row_b;
    std::vector<int> best_order(nv), work(nv), members_a(nv), members_b(nv);
    Cluster clusters[2] = {{0, 0, members_a.data(), 0.0f}, {0, 0, members_b.data(), 0.0f}};
    for (int i = 0; i < nv; ++i) {
        median_row_a[i] = 1e9f;
        median_row_b[i] = 1e9f;
    }
    best_order[0] = 9999;
    best_order[1] = 12345;
    int k = 2;
    for (int v = 0; v < nv; ++v)
        if (v != 9999 && v != 12345) best_order[k++] = v;
    median_row_a[1234567 % nv] = 12345678.5f;  // needs 11 characters
    median_row_b[10000] = -9999999.0f;         // "-9999999.00": 11 characters
    median_row_a[3] = 1.25f;
    median_row_b[3] = 5.0f;

    // The allocation's working arrays, as the reader would provide them.
    std::vector<float> first(nv), second(nv);
    std::vector<int> first_pos(nv), second_pos(nv), arrangement(nv);
    near1 = first.data();
    near2 = second.data();
    near1_pos = first_pos.data();
    near2_pos = second_pos.data();
    nearest_for = arrangement.data();

    n = nv;
    p = 2;
    cost = rows.data();
    best = best_order.data();
    sv_node = work.data();
    vc = clusters;
    status = STATUS_STEP_EXHAUSTED;
    write_solution();
    n = p = 0;
    cost = nullptr;
    best = sv_node = nullptr;
    vc = nullptr;
    near1 = near2 = nullptr;
    near1_pos = near2_pos = nearest_for = nullptr;
    nearest_valid = NEAREST_INVALID;

    std::string text = read_file("solucao.txt");
    EXPECT_NE(text.find("   9999      3       1.25\n"), std::string::npos);
    EXPECT_NE(text.find("  12345  10000 -9999999.00\n"), std::string::npos);
    char wide[64];
    snprintf(wide, sizeof wide, "   9999%7d 12345678.00\n", 1234567 % nv);
    EXPECT_NE(text.find(wide), std::string::npos) << wide;
    EXPECT_NE(text.find("   9999      0 1000000000.00\n"), std::string::npos);  // 1e9 needs 13
    EXPECT_EQ(text.substr(text.size() - 13), "\n 9999 12345\n");
}

// The failures of the solution file run as the real program in
// test_hostile.cpp.

}  // namespace
