// Hostile input and faults, each run as the real program in a scratch folder:
// missing, empty, damaged and absurd instance files, non-finite and negative
// values, and a solution file that cannot be written.  Every run must end
// within a bound with exit status 1, print its message (or a complete summary
// where the run is valid), raise no sanitizer report, and leave a
// "solucao.txt" that was there before a failed run as it was.
//
// A short or damaged file that is still read is covered in test_instance.cpp
// (the warning and the values kept) and by the conformance cases
// n40-p4-text-in-costs and n40-p4-truncated (the run that follows).
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "fuzz/harness.h"
#include "solver.h"

using namespace pmedian;
#include "support.h"

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

// Generous for a run under the sanitizers, short for a hang.
const int TIME_BOUND_SECONDS = 60;

const char *PREVIOUS = "previous solution\n";

// The three-vertex example: median 1 with clients 0 and 2 costs 6.50.  Every
// valid run of the matrix solves an instance of 3 vertices and 1 median.
const char *DATA = "3 1\n4.0 7.5\n4.5 2.0\n7.0 2.5\n";
const char *MATRIX = "3 1 150.0\n10.0 25.0\n12.0\n";

const char *NO_SOLUTION = "Aviso: nenhuma solucao de custo abaixo de 99899998208.00 foi encontrada";

// What else the folder holds or the child is given.
enum Setup {
    PLAIN,              // a previous "solucao.txt" stands in the folder
    SOLUTION_FOLDER,    // "solucao.txt" is a folder
    READ_ONLY,          // the folder and the previous solution are read-only
    READ_ONLY_FOLDER,   // the folder is read-only, the previous solution is not
    FULL_DEVICE,        // "solucao.txt" is a link to /dev/full
    SMALL_FILES,        // the program may not write more than 32 bytes to a file
};

enum Outcome {
    MESSAGE,        // only the message, before any summary
    SUMMARY_THEN,   // the summary, then the message
    SUMMARY,        // a valid run: the summary, which holds the text
};

struct HostileCase {
    const char *name;
    const char *data;     // "pmeddata.dat"; null: none
    const char *matrix;   // "pmedmtrx.dat"; null: none
    Setup setup;
    Outcome outcome;
    const char *text;     // the message, or a line the summary holds
    const char *warning;  // text standard error holds; null: it stays empty
};

// The superuser ignores permissions: the child drops to an ordinary user.
void drop_privileges() {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
}

// Whether the child, once it has dropped its privileges, may execute path.
bool unprivileged_can_execute(const std::string &path) {
    fflush(nullptr);
    pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        drop_privileges();
        _exit(access(path.c_str(), X_OK) == 0 ? 0 : 1);
    }
    int raw = 0;
    waitpid(child, &raw, 0);
    return WIFEXITED(raw) && WEXITSTATUS(raw) == 0;
}

// The program must survive the limit by itself: SIGXFSZ keeps its default
// action, which kills the process, whatever this test process inherited.
void limit_file_size() {
    signal(SIGXFSZ, SIG_DFL);
    struct rlimit limit = {32, 32};
    setrlimit(RLIMIT_FSIZE, &limit);
}

// Entries of the working directory whose name starts with "solucao.txt".
int solution_entries() {
    int count = 0;
    DIR *dir = opendir(".");
    while (struct dirent *entry = readdir(dir))
        if (std::string(entry->d_name).rfind("solucao.txt", 0) == 0) ++count;
    closedir(dir);
    return count;
}

class Hostile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(Hostile, EndsWithStatusOneItsMessageAndThePreviousSolutionKept) {
    const HostileCase &c = GetParam();
    ScratchDir dir;
    if (c.data) write_file("pmeddata.dat", c.data);
    if (c.matrix) write_file("pmedmtrx.dat", c.matrix);
    void (*prepare)() = nullptr;
    std::string program;  // empty: the program under test where it lies
    switch (c.setup) {
    case SOLUTION_FOLDER:
        ASSERT_EQ(mkdir("solucao.txt", 0755), 0);
        break;
    case FULL_DEVICE:
        if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no writable /dev/full";
        ASSERT_EQ(symlink("/dev/full", "solucao.txt"), 0);
        break;
    case READ_ONLY:
    case READ_ONLY_FOLDER:
        write_file("solucao.txt", PREVIOUS);
        chmod("solucao.txt", c.setup == READ_ONLY ? 0444 : 0666);
        // The checkout may lie where only root may enter (under /root, or in
        // a private temporary folder): the unprivileged child runs a copy.
        if (geteuid() == 0) {
            program = dir.path() + "/pmedian";
            std::error_code copy_failed;
            std::filesystem::copy_file(PMEDIAN_PROGRAM, program, copy_failed);
            chmod(program.c_str(), 0755);
        }
        chmod(".", 0555);
        if (!program.empty() && !unprivileged_can_execute(program))
            GTEST_SKIP() << "user 65534 cannot execute a copy of the program in " << dir.path();
        prepare = drop_privileges;
        break;
    case SMALL_FILES:
        write_file("solucao.txt", PREVIOUS);
        prepare = limit_file_size;
        break;
    case PLAIN:
        write_file("solucao.txt", PREVIOUS);
        break;
    }

    RunResult r = run_program(dir.path(), program, TIME_BOUND_SECONDS, "", prepare);
    chmod(".", 0755);

    EXPECT_EQ(r.exit_status, 1) << "-1: killed, or not done within " << TIME_BOUND_SECONDS << " s";
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
    if (c.warning)
        EXPECT_THAT(r.err, HasSubstr(c.warning));
    else
        EXPECT_EQ(r.err, "");

    size_t summary_end = r.out.find("\nStatus da solucao ............ ");
    if (summary_end != std::string::npos) summary_end = r.out.find('\n', summary_end + 1) + 1;
    switch (c.outcome) {
    case MESSAGE:
        EXPECT_THAT(r.out, StartsWith(c.text));
        EXPECT_EQ(r.out.empty() ? ' ' : r.out.back(), '\n');
        EXPECT_EQ(r.out.find("Iteracoes"), std::string::npos) << r.out;
        break;
    case SUMMARY_THEN:
        ASSERT_NE(summary_end, std::string::npos) << r.out;
        EXPECT_THAT(r.out, StartsWith("\n\nIteracoes "));
        EXPECT_EQ(r.out.substr(summary_end), c.text);
        break;
    case SUMMARY:
        ASSERT_NE(summary_end, std::string::npos) << r.out;
        EXPECT_THAT(r.out, StartsWith("\n\nIteracoes "));
        EXPECT_EQ(summary_end, r.out.size()) << r.out;
        EXPECT_THAT(r.out, HasSubstr(c.text));
        break;
    }

    struct stat st;
    switch (c.setup) {
    case SOLUTION_FOLDER:
        EXPECT_TRUE(stat("solucao.txt", &st) == 0 && S_ISDIR(st.st_mode));
        break;
    case FULL_DEVICE:
        EXPECT_TRUE(lstat("solucao.txt", &st) == 0 && S_ISLNK(st.st_mode));
        break;
    default:
        if (c.outcome == SUMMARY) {
            bool found = r.err.find(NO_SOLUTION) == std::string::npos;
            EXPECT_EQ(solution_problem(read_file("solucao.txt"), 3, 1, found), "");
        } else {
            EXPECT_EQ(read_file("solucao.txt"), PREVIOUS);
        }
    }
    EXPECT_EQ(solution_entries(), 1) << "a temporary file was left behind";
}

// Rows with long numbers point into strings built at start-up.
const std::string THOUSAND_DIGIT_N = std::string(1000, '7') + " 1\n";
const std::string LEADING_ZEROS_N = std::string(1000, '0') + DATA;
const std::string THOUSAND_DIGIT_COST = "3 1\n" + std::string(1000, '9') + " 7.5\n4.5 2.0\n7.0 2.5\n";

const std::string UNREADABLE = "\nCabecalho de pmeddata.dat ilegivel: esperados os inteiros n e p, lidos ";
const std::string NOTHING_READ_TEXT = UNREADABLE + "n = 0, p = 0\n";
const std::string ONLY_N_READ_TEXT = UNREADABLE + "n = 3, p = 0\n";
const char *NOTHING_READ = NOTHING_READ_TEXT.c_str();
// A UTF-8 byte-order mark is read as text, and named in the message.
const char *BYTE_ORDER_MARK = "\xEF\xBB\xBF";
const std::string MARKED_DATA = BYTE_ORDER_MARK + std::string(DATA);
const std::string MARKED_MATRIX = BYTE_ORDER_MARK + std::string(MATRIX);
const char *MARK_NOTE = " (o arquivo comeca com a marca BOM do UTF-8: grave-o sem ela)\n";
const std::string MARKED_NOTHING_READ = UNREADABLE + "n = 0, p = 0" + MARK_NOTE;
const std::string MARKED_WARNING =
    std::string("pmedmtrx.dat incompleto ou com texto nao numerico: 0 de 4 valores lidos; os valores nao lidos ficam 0") +
    MARK_NOTE;
const char *ONLY_N_READ = ONLY_N_READ_TEXT.c_str();

INSTANTIATE_TEST_SUITE_P(
    Instance, Hostile,
    ::testing::Values(
        HostileCase{"NoCostFile", nullptr, MATRIX, PLAIN, MESSAGE,
                    "\nArquivo de dados (pmeddata.dat) nao pode ser aberto\n", nullptr},
        HostileCase{"EmptyCostFile", "", MATRIX, PLAIN, MESSAGE, NOTHING_READ, nullptr},
        HostileCase{"OnlyN", "3", MATRIX, PLAIN, MESSAGE, ONLY_N_READ, nullptr},
        HostileCase{"NNotANumber", "x 1\n", MATRIX, PLAIN, MESSAGE, NOTHING_READ, nullptr},
        HostileCase{"PNotANumber", "3 y\n", MATRIX, PLAIN, MESSAGE, ONLY_N_READ, nullptr},
        // "%d" would wrap these around, 4294967299 to 3, and read a wrong instance.
        HostileCase{"NBeyondAnInt", "4294967299 1\n4.0 7.5\n4.5 2.0\n7.0 2.5\n", MATRIX, PLAIN, MESSAGE,
                    NOTHING_READ, nullptr},
        HostileCase{"PBelowAnInt", "3 -2147483649\n", MATRIX, PLAIN, MESSAGE, ONLY_N_READ, nullptr},
        HostileCase{"NWithAThousandDigits", THOUSAND_DIGIT_N.c_str(), MATRIX, PLAIN, MESSAGE, NOTHING_READ,
                    nullptr},
        HostileCase{"NZero", "0 0\n", MATRIX, PLAIN, MESSAGE,
                    "\nTamanho invalido em pmeddata.dat: n = 0, p = 0 (exige-se n >= 1 e 1 <= p <= n)\n",
                    nullptr},
        HostileCase{"NNegative", "-3 1\n", MATRIX, PLAIN, MESSAGE,
                    "\nTamanho invalido em pmeddata.dat: n = -3, p = 1 ", nullptr},
        HostileCase{"PZero", "3 0\n", MATRIX, PLAIN, MESSAGE, "\nTamanho invalido em pmeddata.dat: n = 3, p = 0 ",
                    nullptr},
        HostileCase{"PNegative", "3 -1\n", MATRIX, PLAIN, MESSAGE,
                    "\nTamanho invalido em pmeddata.dat: n = 3, p = -1 ", nullptr},
        HostileCase{"PAboveN", "3 4\n", MATRIX, PLAIN, MESSAGE, "\nTamanho invalido em pmeddata.dat: n = 3, p = 4 ",
                    nullptr},
        // 8 TB of matrices: refused before the kernel would kill the process.
        HostileCase{"TooLargeForMemory", "1000000 10\n", MATRIX, PLAIN, MESSAGE,
                    "\n >>> Memoria insuficiente para ", nullptr},
        HostileCase{"ByteOrderMarkBeforeTheCosts", MARKED_DATA.c_str(), MATRIX, PLAIN, MESSAGE,
                    MARKED_NOTHING_READ.c_str(), nullptr},
        // Every distance stays 0; the costs alone make the example's result.
        HostileCase{"ByteOrderMarkBeforeTheDistances", DATA, MARKED_MATRIX.c_str(), PLAIN, SUMMARY,
                    "UB ...........................      6.50\n", MARKED_WARNING.c_str()},
        HostileCase{"NoDistanceFile", DATA, nullptr, PLAIN, MESSAGE,
                    "\nMatriz de distancias (pmedmtrx.dat) nao pode ser aberto\n", nullptr},
        HostileCase{"HeaderOnly", "3 1\n", MATRIX, PLAIN, SUMMARY, "UB ...........................      0.00\n",
                    "pmeddata.dat incompleto ou com texto nao numerico: 0 de 6 valores lidos"},
        HostileCase{"LeadingZerosInN", LEADING_ZEROS_N.c_str(), MATRIX, PLAIN, SUMMARY,
                    "UB ...........................      6.50\n", nullptr},
        HostileCase{"CostWithAThousandDigitsIsInfinite", THOUSAND_DIGIT_COST.c_str(), MATRIX, PLAIN, SUMMARY,
                    "UB ...........................      6.50\n", nullptr}),
    [](const auto &info) { return std::string(info.param.name); });

// Non-finite and negative values: no message, but every run must end and
// report.  A NaN cost is never below anything, so it is never taken or
// chosen; the same holds for +inf.  With no cost below INFINITE_COST no
// solution can be found, and the warning says so.
INSTANTIATE_TEST_SUITE_P(
    Values, Hostile,
    ::testing::Values(
        HostileCase{"NaNCosts", "3 1\nnan nan\nnan nan\nnan nan\n", MATRIX, PLAIN, SUMMARY,
                    "UB ........................... 99899998208.00\n", NO_SOLUTION},
        HostileCase{"InfiniteCosts", "3 1\ninf inf\ninf inf\ninf inf\n", MATRIX, PLAIN, SUMMARY,
                    "UB ........................... 99899998208.00\n", NO_SOLUTION},
        // Median 1 cannot serve vertex 0 any more; median 2 costs 9.50.
        HostileCase{"SomeNaNCosts", "3 1\n4.0 nan\nnan 2.0\n7.0 2.5\n", MATRIX, PLAIN, SUMMARY,
                    "UB ...........................      9.50\n", nullptr},
        // -inf - inf in the dual value is NaN from the first evaluation on: the
        // bound never rises, and Pi runs out after 9 x 15 iterations.
        HostileCase{"MinusInfiniteCost", "3 1\n-inf 7.5\n4.5 2.0\n7.0 2.5\n", MATRIX, PLAIN, SUMMARY,
                    "Pi ...........................      0.0039\n", NO_SOLUTION},
        HostileCase{"NegativeCosts", "3 1\n-1 -2\n-3 -4\n-5 -6\n", MATRIX, PLAIN, SUMMARY,
                    "UB ...........................    -11.00\n", nullptr},
        // Sums beyond the float range: the dual value is NaN again.
        HostileCase{"CostsNearTheFloatLimit", "3 1\n3.4e38 -3.4e38\n3.4e38 3.4e38\n-3.4e38 1e-45\n", MATRIX, PLAIN,
                    SUMMARY, "Pi ...........................      0.0039\n", NO_SOLUTION},
        HostileCase{"NaNDistances", DATA, "3 1 150.0\nnan nan\nnan\n", PLAIN, SUMMARY,
                    "UB ...........................      6.50\n", nullptr},
        HostileCase{"InfiniteDistances", DATA, "3 1 150.0\ninf inf\n-inf\n", PLAIN, SUMMARY,
                    "UB ...........................      6.50\n", nullptr},
        HostileCase{"NegativeDistances", DATA, "3 1 150.0\n-10 -25\n-12\n", PLAIN, SUMMARY,
                    "UB ...........................      6.50\n", nullptr},
        HostileCase{"NegativeRadius", DATA, "3 1 -150.0\n10.0 25.0\n12.0\n", PLAIN, SUMMARY,
                    "UB ...........................      6.50\n", nullptr},
        HostileCase{"NaNRadius", DATA, "3 1 nan\n10.0 25.0\n12.0\n", PLAIN, SUMMARY,
                    "UB ...........................      6.50\n", nullptr},
        HostileCase{"InfiniteRadius", DATA, "3 1 inf\n10.0 25.0\n12.0\n", PLAIN, SUMMARY,
                    "UB ...........................      6.50\n", nullptr}),
    [](const auto &info) { return std::string(info.param.name); });

// The solution file: the summary comes first, then the message.
INSTANTIATE_TEST_SUITE_P(
    SolutionFile, Hostile,
    ::testing::Values(
        HostileCase{"IsAFolder", DATA, MATRIX, SOLUTION_FOLDER, SUMMARY_THEN,
                    "\nArquivo solucao.txt nao pode ser aberto\n", nullptr},
        HostileCase{"InAReadOnlyFolder", DATA, MATRIX, READ_ONLY, SUMMARY_THEN,
                    "\nArquivo solucao.txt nao pode ser aberto\n", nullptr},
        // No temporary file can be made, but the old solution is writable.
        HostileCase{"WritableInAReadOnlyFolder", DATA, MATRIX, READ_ONLY_FOLDER, SUMMARY,
                    "UB ...........................      6.50\n", nullptr},
        HostileCase{"OnAFullDevice", DATA, MATRIX, FULL_DEVICE, SUMMARY_THEN,
                    "\nArquivo solucao.txt nao pode ser gravado (No space left on device)\n", nullptr},
        HostileCase{"LargerThanTheFileSizeLimit", DATA, MATRIX, SMALL_FILES, SUMMARY_THEN,
                    "\nArquivo solucao.txt nao pode ser gravado (File too large)\n", nullptr}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- values that must act alike --------------------------------------------

// A 12-vertex instance, costs 1..50 and distances 1..20 drawn from a fixed
// sequence, on which the radius, the distances and the costs named below all
// change the result when they are given ordinary values instead.
struct Instance12 {
    Matrix costs = zero_matrix(12), dists = zero_matrix(12);
    Instance12() {
        uint64_t x = 1;
        auto next = [&x] { return x = (x * 1103515245u + 12345u) % 2147483648u; };
        for (int i = 0; i < 12; ++i)
            for (int j = 0; j < 12; ++j)
                if (i != j) costs[i][j] = (float)(next() % 50 + 1);
        for (int i = 0; i < 12; ++i)
            for (int j = i + 1; j < 12; ++j) dists[i][j] = dists[j][i] = (float)(next() % 20 + 1);
    }
};

struct Variant {
    Matrix costs, dists;
    float rad;
};

struct AlikeCase {
    const char *name;
    Variant (*odd)();    // with the hostile value
    Variant (*plain)();  // with the value it must act like
};

std::string without_cpu_time(std::string s) {
    size_t at = s.find("\nTotal CPU Time");
    return at == std::string::npos ? s : s.erase(at, s.find('\n', at + 1) - at);
}

class Alike : public ::testing::TestWithParam<AlikeCase> {};

TEST_P(Alike, GivesTheSameSummaryAndSolution) {
    std::string out[2], solution[2];
    Variant (*variants[2])() = {GetParam().odd, GetParam().plain};
    for (int k = 0; k < 2; ++k) {
        ScratchDir dir;
        Variant v = variants[k]();
        write_instance(12, 3, v.costs, v.dists, v.rad);
        RunResult r = run_program(dir.path(), "", TIME_BOUND_SECONDS);
        ASSERT_EQ(r.exit_status, 1);
        out[k] = without_cpu_time(r.out);
        solution[k] = read_file("solucao.txt");
    }
    EXPECT_EQ(out[0], out[1]);
    EXPECT_EQ(solution[0], solution[1]);
    EXPECT_THAT(out[0], HasSubstr("Status da solucao"));
}

const float NaN = std::numeric_limits<float>::quiet_NaN();
const float INF = std::numeric_limits<float>::infinity();

// The entries (i, j), i != j, with i + 2j a multiple of 5 set to value; the
// writer takes distances from the upper triangle only.
Matrix with_every_fifth(Matrix m, float value) {
    for (size_t i = 0; i < m.size(); ++i)
        for (size_t j = 0; j < m.size(); ++j)
            if (i != j && (i + 2 * j) % 5 == 0) m[i][j] = value;
    return m;
}

Variant with_radius(float rad) {
    Instance12 base;
    return Variant{base.costs, base.dists, rad};
}

Variant with_distances(float value) {
    Instance12 base;
    return Variant{base.costs, with_every_fifth(base.dists, value), 8.0f};
}

Variant with_costs(float value) {
    Instance12 base;
    return Variant{with_every_fifth(base.costs, value), base.dists, 8.0f};
}

INSTANTIATE_TEST_SUITE_P(
    Values, Alike,
    ::testing::Values(
        // The bound test "distance > bound" is false for a NaN bound: every
        // exchange is tried, as with an infinite radius.
        AlikeCase{"NaNRadiusAsInfinite", [] { return with_radius(NaN); }, [] { return with_radius(INF); }},
        AlikeCase{"NegativeRadiusAsZero", [] { return with_radius(-5.0f); }, [] { return with_radius(0.0f); }},
        AlikeCase{"NaNDistanceAsZero", [] { return with_distances(NaN); }, [] { return with_distances(0.0f); }},
        AlikeCase{"NaNCostAsInfinite", [] { return with_costs(NaN); }, [] { return with_costs(INF); }}),
    [](const auto &info) { return std::string(info.param.name); });

// In a build with AddressSanitizer the program that every run above starts
// is instrumented too, so a fault in it cannot go unseen.
TEST(SanitizerBuild, TheProgramUnderTestIsInstrumented) {
    if (std::string(PMEDIAN_SANITIZERS).find("address") == std::string::npos)
        GTEST_SKIP() << "not a build with AddressSanitizer";
    ScratchDir dir;
    RunResult r = run_program(dir.path(), "", TIME_BOUND_SECONDS, "", [] { setenv("ASAN_OPTIONS", "help=1", 1); });
    EXPECT_THAT(r.err, HasSubstr("Available flags for AddressSanitizer"));
}

// ---- fuzz inputs ------------------------------------------------------------

std::vector<std::string> files_in(const std::string &folder) {
    std::vector<std::string> names;
    if (DIR *dir = opendir(folder.c_str())) {
        while (struct dirent *entry = readdir(dir))
            if (entry->d_name[0] != '.') names.push_back(folder + "/" + entry->d_name);
        closedir(dir);
    }
    return names;
}

// Every committed seed and every input that once failed runs through the
// fuzz harness again, in every build: the solution must be consistent.  A
// seed must be one the harness solves, or it seeds nothing.
TEST(FuzzInputs, SolveToAConsistentSolution) {
    std::vector<std::string> seeds = files_in(PMEDIAN_FUZZ_DIR "/corpus");
    std::vector<std::string> inputs = files_in(PMEDIAN_FUZZ_DIR "/regressions");
    ASSERT_GE(seeds.size(), 10u);
    inputs.insert(inputs.end(), seeds.begin(), seeds.end());
    for (const std::string &name : inputs) {
        std::string bytes = read_file(name);
        ScratchDir dir;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        std::string problem = run_fuzz_input((const uint8_t *)bytes.data(), bytes.size());
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(problem, "") << name;
        if (name.find("/corpus/") != std::string::npos) {
            EXPECT_TRUE(file_exists("solucao.txt")) << name;
        }
    }
}

// The oracle of the harness must catch what it is there for.
struct BrokenSolution {
    const char *name;
    const char *text;
    bool found;
};

class FuzzOracle : public ::testing::TestWithParam<BrokenSolution> {};

TEST_P(FuzzOracle, RejectsABrokenSolutionOfFourVerticesAndTwoMedians) {
    EXPECT_NE(solution_problem(GetParam().text, 4, 2, GetParam().found), "");
}

// The layout is what the oracle reads, not the column widths of the writer.
INSTANTIATE_TEST_SUITE_P(
    Files, FuzzOracle,
    ::testing::Values(BrokenSolution{"NoEndMarker", "1 0 4.5\n1 2 2.0\n", true},
                      BrokenSolution{"BadStatus", "1 0 1\n1 2 1\n9999999\n3\n1 3\n", true},
                      BrokenSolution{"TooFewClients", "1 0 1\n9999999\n1\n1 3\n", true},
                      BrokenSolution{"ClientIsAMedian", "1 3 1\n1 2 1\n9999999\n1\n1 3\n", true},
                      BrokenSolution{"ServedByANonMedian", "0 2 1\n1 0 1\n9999999\n1\n1 3\n", true},
                      BrokenSolution{"MedianTwice", "1 0 1\n1 2 1\n9999999\n1\n1 1\n", true},
                      BrokenSolution{"VertexOutOfRange", "1 4 1\n1 2 1\n9999999\n1\n1 3\n", false},
                      BrokenSolution{"TooFewMedians", "1 0 1\n1 2 1\n9999999\n1\n1\n", false},
                      BrokenSolution{"TextAfterTheMedians", "1 0 1\n1 2 1\n9999999\n1\n1 3\nx\n", false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FuzzOracle, AcceptsAValidSolutionAndTheAllZeroArrangementWhenNoneWasFound) {
    EXPECT_EQ(solution_problem("      1      0       1.00\n      3      2        nan\n9999999\n1\n    1    3\n",
                               4, 2, true),
              "");
    EXPECT_EQ(solution_problem("0 0 0.00\n0 0 0.00\n9999999\n1\n0 0\n", 4, 2, false), "");
}

}  // namespace
