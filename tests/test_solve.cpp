// test_solve.cpp - pmedian-solve run as a real program: on every conformance
// case and on a generated instance it writes the classic program's solution
// file with its bounds and iterations, and its JSON agrees with the summary
// and the solution file; and each way a run can end gives its exit status.
#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <nlohmann/json.hpp>

#include "solution.h"
#include "support.h"

using ::testing::HasSubstr;

namespace {

std::string two_decimals(double v) {
    char text[64];
    snprintf(text, sizeof text, "%.2f", v);
    return text;
}

// The medians line of a solution file (the last line).
std::vector<int> medians_of(const std::string &solution) {
    std::string line = solution.substr(solution.rfind('\n', solution.size() - 2) + 1);
    std::istringstream in(line);
    std::vector<int> medians;
    for (int m; in >> m;) medians.push_back(m);
    return medians;
}

// A generated instance in the working folder on which one iteration is far
// from the end of the run.
void write_generated_instance() {
    std::mt19937 rng(2103);
    Generated g = generate(300, WHOLE, true, rng);
    write_instance(300, 12, g.costs, g.dists, g.rad);
}

class SolveTest : public ::testing::Test {
protected:
    ScratchDir scratch;

    RunResult solve(const std::string &arguments) { return run_program(scratch.path(), PMEDIAN_SOLVE, 300, arguments); }

    // Runs pmedian-solve on dir with a JSON report and checks what every
    // completed run must give: exit 0, the expected solution file and
    // summary values, and a report that agrees with both.
    void expect_classic_run(const std::string &dir, const std::string &expected_solution,
                            const std::string &expected_summary) {
        RunResult r = solve(dir + " --quiet --json " + dir + "/r.json");
        ASSERT_EQ(r.exit_status, 0) << r.out << r.err;
        std::string solution = read_file(dir + "/solucao.txt");
        EXPECT_EQ(solution, expected_solution);
        Summary classic;
        ASSERT_TRUE(parse_summary(expected_summary, classic));
        nlohmann::json j = nlohmann::json::parse(read_file(dir + "/r.json"));
        float ub = j["upper_bound"].get<float>(), lb = j["lower_bound"].get<float>();
        EXPECT_EQ(two_decimals(ub), two_decimals(classic.UB));
        EXPECT_EQ(two_decimals(lb), two_decimals(classic.LB));
        EXPECT_EQ(j["iterations"].get<int>(), classic.iterations);
        EXPECT_EQ(j["status"].get<int>(), classic.status);
        EXPECT_EQ(j["feasible_solutions"].get<int>(), classic.feasible_count);
        EXPECT_EQ(j["medians"].get<std::vector<int>>(), medians_of(solution));
        EXPECT_EQ(j["assignment"].size(), j["n"].get<size_t>());
        EXPECT_EQ(j["exit_status"].get<int>(), 0);
        EXPECT_THAT(r.out, HasSubstr("Upper bound         " + two_decimals(ub) + " "));
        EXPECT_THAT(r.out, HasSubstr("Lower bound         " + two_decimals(lb) + "\n"));
        EXPECT_EQ(r.err.find("iteration"), std::string::npos);  // --quiet
    }
};

TEST_F(SolveTest, CompletedRunsWriteTheClassicSolutionFile) {
    std::vector<std::string> cases;
    if (DIR *d = opendir(PMEDIAN_CONFORMANCE_DIR)) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.') cases.push_back(e->d_name);
        closedir(d);
    }
    ASSERT_GE(cases.size(), 20u);
    for (const std::string &name : cases) {
        SCOPED_TRACE(name);
        std::string source = std::string(PMEDIAN_CONFORMANCE_DIR) + "/" + name;
        ASSERT_EQ(system(("mkdir '" + name + "' && cp '" + source + "'/pmed*.dat '" + name + "'/").c_str()), 0);
        expect_classic_run(name, read_file(source + "/expected_solucao.txt"),
                           read_file(source + "/expected_stdout.txt"));
    }

    // A generated instance, against the classic program run beside it.
    ASSERT_EQ(system("mkdir classic generated"), 0);
    ASSERT_EQ(chdir("classic"), 0);
    write_generated_instance();
    ASSERT_EQ(system("cp pmed*.dat ../generated/"), 0);
    RunResult classic = run_program(scratch.path() + "/classic");
    ASSERT_EQ(chdir(".."), 0);
    ASSERT_EQ(classic.exit_status, 1);
    expect_classic_run("generated", read_file("classic/solucao.txt"), classic.out);
}

TEST_F(SolveTest, ExitStatusSaysHowTheRunEnded) {
    struct Case {
        const char *name;
        const char *arguments;
        int status;
        const char *message;  // in the standard output for 0 and 3, else in the standard error
        const char *said;     // for status 1: the library's own message, before it
        int solution_status;  // in the solution file; -1: none written
    };
    const Case cases[] = {
        {"missing folder", "none", 1, "cannot read the instance in the folder none: cannot open none/pmeddata.dat",
         "Arquivo de dados (pmeddata.dat) nao pode ser aberto", -1},
        {"missing matrix", "half", 1, "cannot open half/pmedmtrx.dat: No such file or directory",
         "Matriz de distancias (pmedmtrx.dat) nao pode ser aberto", -1},
        {"bad sizes", "bad", 1, "bad/pmeddata.dat is not a usable instance file",
         "Tamanho invalido em pmeddata.dat: n = 3, p = 5", -1},
        {"solution file a folder", "taken", 1, "cannot write the solution file taken/solucao.txt: Is a directory",
         "Arquivo taken/solucao.txt nao pode ser aberto", -1},
        {"unknown option", ". --fast", 2, "--fast", nullptr, -1},
        {"two folders", ". other", 2, "other", nullptr, -1},
        {"time limit zero", ". --time-limit 0", 2, "--time-limit", nullptr, -1},
        {"no threads", ". --threads 0", 2, "--threads", nullptr, -1},
        {"version", "--version", 0, "pmedian-solve 0.", nullptr, -1},
        {"time limit", ". --time-limit 1e-9", 3, "time limit of 1e-09 s, status 3: stopped with the best solution",
         nullptr, 3},
        {"gap reached", ". --gap 100", 0, "gap reached, status 3: relative gap", nullptr, 3},
    };
    write_generated_instance();
    ASSERT_EQ(system("mkdir half bad taken taken/solucao.txt && cp pmeddata.dat half/ && cp pmed*.dat taken/"), 0);
    write_file("bad/pmeddata.dat", "3 5\n1 2 3 4 5 6\n");
    write_file("bad/pmedmtrx.dat", "3 5 1\n1 2 3\n");
    for (const Case &t : cases) {
        SCOPED_TRACE(t.name);
        unlink("solucao.txt");
        RunResult r = solve(std::string(t.arguments) + " --quiet --json r.json");
        EXPECT_EQ(r.exit_status, t.status) << r.out << r.err;
        EXPECT_THAT(t.status == 0 || t.status == 3 ? r.out : r.err, HasSubstr(t.message));
        if (t.said) {
            EXPECT_THAT(r.err, HasSubstr(std::string("pmedian-solve: ") + t.said));
        }
        if (t.solution_status < 0) {
            EXPECT_FALSE(file_exists("solucao.txt"));
            EXPECT_FALSE(file_exists("r.json"));
            continue;
        }
        std::string solution = read_file("solucao.txt");
        std::string status_line = "9999999\n" + std::to_string(t.solution_status) + "\n";
        EXPECT_THAT(solution, HasSubstr(status_line));
        RunResult checked = run_program(scratch.path(), PMEDIAN_CHECK, 60, "");
        EXPECT_EQ(checked.exit_status, 0) << checked.err;
        nlohmann::json j = nlohmann::json::parse(read_file("r.json"));
        EXPECT_EQ(j["exit_status"].get<int>(), t.status);
        EXPECT_TRUE(j["stopped_by_limit"].get<bool>());
        EXPECT_EQ(j["medians"].get<std::vector<int>>(), medians_of(solution));
        unlink("r.json");
    }
}

}  // namespace
