// test_solution_tools.cpp - the tools after the solver, run as real programs
// in scratch folders: a point table converted, solved, exported, drawn and
// checked; each tool's table of bad inputs; a sweep over p in which one
// run is killed and a second sweep runs only that one again; and a sweep
// through the library with a time limit.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include <dirent.h>

#include <nlohmann/json.hpp>

#include "fuzz/tools_harness.h"
#include "map_colours.h"
#include "support.h"

using ::testing::HasSubstr;
using Json = nlohmann::ordered_json;

namespace {

// Two groups of four made-up sites, with names and demands.
const char *SITES =
    "site,x,y,demand\n"
    "a,0,0,1\nb,1,0,2\nc,0,1,1\nd,1,1,3\n"
    "e,10,10,1\nf,11,10,1\ng,10,11,2\n\"h, east\",11,11,1\n";

size_t count(const std::string &text, const std::string &what) {
    size_t found = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++found;
    return found;
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class SolutionToolTest : public ::testing::Test {
protected:
    ScratchDir scratch;

    RunResult tool(const char *program, const std::string &arguments) {
        return run_program(scratch.path(), program, 120, arguments);
    }
    // Converts SITES into "run" with p = 2 and solves it there, keeping the
    // solver's output in summary.txt as docs/tools-and-planner-path.md says.
    void solved_sites() {
        write_file("sites.csv", SITES);
        RunResult r = tool(PMEDIAN_CONVERT, "points sites.csv --p 2 --weight demand --id site --out run");
        ASSERT_EQ(r.exit_status, 0) << r.err;
        RunResult solved = run_program(scratch.path() + "/run");
        ASSERT_EQ(solved.exit_status, 1);
        write_file("run/summary.txt", solved.out);
    }
};

// ---- the round trip ------------------------------------------------------------

TEST_F(SolutionToolTest, PointsConvertSolveExportAndCheckAgree) {
    solved_sites();
    RunResult checked = tool(PMEDIAN_CHECK, "run");
    ASSERT_EQ(checked.exit_status, 0) << checked.err;
    RunResult r = tool(PMEDIAN_EXPORT, "run");
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("n = 8, p = 2"));

    // Every vertex once, served within its group by its median at the
    // instance's cost w x d (a median by itself at 0); the costs add up to
    // the checked cost, and each cluster's to its median's cluster_cost.
    Json j = Json::parse(read_file("run/solution.json"));
    ASSERT_EQ(j["vertices"].size(), 8u);
    const char *names[] = {"a", "b", "c", "d", "e", "f", "g", "h, east"};
    double total = 0, clusters = 0;
    for (int v = 0; v < 8; ++v) {
        SCOPED_TRACE(v);
        const Json &row = j["vertices"][v];
        int median = row["median"];
        EXPECT_EQ(row["vertex"], v);
        EXPECT_EQ(row["role"], median == v ? "median" : "client");
        EXPECT_EQ(v < 4, median < 4);
        EXPECT_EQ(row["id"], names[v]);
        EXPECT_EQ(row["median_id"], names[median]);
        double dx = row["x"].get<double>() - (median % 2) - 10 * (median >= 4);
        double dy = row["y"].get<double>() - (median % 4 >= 2) - 10 * (median >= 4);
        float distance = row["distance"], cost = row["cost"], weight = row["weight"];
        EXPECT_EQ(distance, (float)std::sqrt(dx * dx + dy * dy));
        EXPECT_EQ(cost, (float)((double)weight * distance));
        total += cost;
    }
    for (const Json &median : j["medians"]) clusters += median["cluster_cost"].get<double>();
    char expected[64];
    snprintf(expected, sizeof expected, "cost %.2f\n", total);
    EXPECT_THAT(checked.out, HasSubstr(expected));
    EXPECT_NEAR(j["total_cost"].get<double>(), total, 1e-6);
    EXPECT_NEAR(clusters, total, 1e-6);
    EXPECT_EQ(j["summary"]["status"], j["status"]);
    // The CSV holds the same rows, a name with a comma quoted.
    std::vector<std::string> rows = lines_of(read_file("run/assignment.csv"));
    ASSERT_EQ(rows.size(), 9u);
    EXPECT_THAT(rows[8], ::testing::StartsWith("7,client,"));
    EXPECT_THAT(rows[8], HasSubstr(",\"h, east\","));
}

// Each export describes a vertex with the same fields in the same order,
// those the instance has: assignment.csv's columns, the records of
// solution.json, and the properties of solution.geojson (its geometry
// holding the coordinates).  A median adds clients and cluster_cost in
// both JSON files.
TEST_F(SolutionToolTest, ExportsDescribeEveryVertexWithTheDocumentedFields) {
    struct Case {
        const char *conversion;
        std::vector<std::string> fields, coordinates;
    };
    const Case cases[] = {
        {"points sites.csv --weight demand --id site",
         {"vertex", "role", "median", "cluster", "cost", "id", "median_id", "x", "y", "weight", "distance"},
         {"x", "y"}},
        {"points sites.csv --metric haversine", {"vertex", "role", "median", "cluster", "cost", "lon", "lat"},
         {"lon", "lat"}},
        {"matrix costs.csv", {"vertex", "role", "median", "cluster", "cost"}, {}},
        {"matrix labelled.csv --weights w.txt",
         {"vertex", "role", "median", "cluster", "cost", "id", "median_id", "weight", "distance"}, {}},
    };
    write_file("sites.csv", SITES);
    write_file("costs.csv", "0 1 9 9\n1 0 9 9\n9 9 0 1\n9 9 1 0\n");
    write_file("labelled.csv", ",a,b,c,d\na,0,1,9,9\nb,1,0,9,9\nc,9,9,0,1\nd,9,9,1,0\n");
    write_file("w.txt", "1\n2\n1\n0.5\n");
    auto keys = [](const Json &object) {
        std::vector<std::string> names;
        for (auto field = object.begin(); field != object.end(); ++field) names.push_back(field.key());
        return names;
    };
    for (const Case &t : cases) {
        SCOPED_TRACE(t.conversion);
        ASSERT_EQ(system("rm -rf run"), 0);
        RunResult r = tool(PMEDIAN_CONVERT, std::string(t.conversion) + " --p 2 --out run");
        ASSERT_EQ(r.exit_status, 0) << r.err;
        ASSERT_EQ(run_program(scratch.path() + "/run").exit_status, 1);
        r = tool(PMEDIAN_EXPORT, "run");
        ASSERT_EQ(r.exit_status, 0) << r.err;
        std::vector<std::string> median_fields = t.fields;
        median_fields.insert(median_fields.end(), {"clients", "cluster_cost"});
        auto without_coordinates = [&](std::vector<std::string> fields) {
            std::erase_if(fields, [&](const std::string &field) {
                return std::find(t.coordinates.begin(), t.coordinates.end(), field) != t.coordinates.end();
            });
            return fields;
        };
        std::vector<std::string> properties = without_coordinates(t.fields),
                                 median_properties = without_coordinates(median_fields);

        std::vector<std::string> rows = lines_of(read_file("run/assignment.csv"));
        Json j = Json::parse(read_file("run/solution.json"));
        int n = j["n"], p = j["p"];
        ASSERT_EQ(rows.size(), (size_t)n + 1);
        std::string header;
        for (const std::string &field : t.fields) header += (header.empty() ? "" : ",") + field;
        EXPECT_EQ(rows[0], header);
        EXPECT_EQ(keys(j), (std::vector<std::string>{"n", "p", "status", "total_cost", "medians", "vertices"}));
        ASSERT_EQ(j["vertices"].size(), (size_t)n);
        ASSERT_EQ(j["medians"].size(), (size_t)p);
        for (int v = 0; v < n; ++v) {
            EXPECT_EQ(keys(j["vertices"][v]), t.fields) << v;
            EXPECT_THAT(rows[v + 1], ::testing::StartsWith(std::to_string(v) + "," +
                                                           j["vertices"][v]["role"].get<std::string>() + ","));
        }
        for (const Json &median : j["medians"]) EXPECT_EQ(keys(median), median_fields);

        EXPECT_EQ(file_exists("run/solution.geojson"), !t.coordinates.empty());
        if (t.coordinates.empty()) continue;
        Json g = Json::parse(read_file("run/solution.geojson"));
        ASSERT_EQ(g["features"].size(), (size_t)n);
        for (int k = 0; k < n; ++k) {
            const Json &feature = g["features"][k];
            int v = feature["properties"]["vertex"];
            EXPECT_EQ(keys(feature["properties"]), k < p ? median_properties : properties) << k;
            EXPECT_EQ(feature["properties"]["role"], k < p ? "median" : "client");
            EXPECT_EQ(feature["geometry"]["coordinates"],
                      Json({j["vertices"][v][t.coordinates[0]], j["vertices"][v][t.coordinates[1]]}));
        }
    }
}

// Up to the palette's twenty colours every cluster has its own; beyond,
// clusters that meet still differ.  Clusters on a grid, 10 apart, each a
// median with four clients 3 away, the medians listed in a shuffled order.
TEST(MapColours, NeighbouringClustersDiffer) {
    for (int side : {4, 6, 9}) {
        SCOPED_TRACE(side);
        int p = side * side;
        std::vector<double> x, y;
        std::vector<int> medians, median_of;
        for (int c = 0; c < p; ++c) {
            int m = (int)x.size();
            medians.push_back(m);
            for (auto [dx, dy] : {std::pair{0, 0}, {3, 0}, {-3, 0}, {0, 3}, {0, -3}}) {
                x.push_back(10.0 * (c % side) + dx);
                y.push_back(10.0 * (c / side) + dy);
                median_of.push_back(m);
            }
        }
        std::vector<int> position(p);  // grid position of the k-th median
        for (int k = 0; k < p; ++k) position[k] = k;
        std::shuffle(position.begin(), position.end(), std::mt19937(7));
        std::vector<int> listed(p);
        for (int k = 0; k < p; ++k) listed[k] = medians[position[k]];
        std::vector<int> colour = cluster_colours(x, y, listed, median_of), at(p);
        ASSERT_EQ(colour.size(), (size_t)p);
        for (int k = 0; k < p; ++k) {
            EXPECT_TRUE(colour[k] >= 0 && colour[k] < (int)MAP_PALETTE.size());
            at[position[k]] = colour[k];
        }
        if (p <= (int)MAP_PALETTE.size()) {
            EXPECT_EQ(std::set<int>(colour.begin(), colour.end()).size(), (size_t)p);
            continue;
        }
        for (int c = 0; c < p; ++c) {
            if (c % side + 1 < side) {
                EXPECT_NE(at[c], at[c + 1]) << c;
            }
            if (c + side < p) {
                EXPECT_NE(at[c], at[c + side]) << c;
            }
        }
    }
}

// The map draws one dot and one line per client and one square per median
// (each legend adds one more of its kind), with the medians' names.
TEST_F(SolutionToolTest, MapDrawsEveryClientLineAndMedian) {
    if (system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot is not installed";
    solved_sites();
    RunResult r = tool(PMEDIAN_PLOT, "run");
    ASSERT_EQ(r.exit_status, 0) << r.err;
    std::string svg = read_file("run/map.svg");
    EXPECT_EQ(count(svg, "xlink:href='#gpPt6' transform"), 6u + 1);  // client dots
    EXPECT_EQ(count(svg, "xlink:href='#gpPt4' transform"), 2u);      // median squares
    size_t links = svg.find("<title>to its median</title>"), dots = svg.find("<title>clients</title>");
    ASSERT_LT(links, dots);
    EXPECT_EQ(count(svg.substr(links, dots - links), " L"), 6u + 1);
    EXPECT_THAT(svg, HasSubstr("n = 8, p = 2, cost "));
    EXPECT_THAT(svg, HasSubstr(" gap "));
    std::string solution = read_file("run/solucao.txt");
    std::istringstream medians(solution.substr(solution.rfind('\n', solution.size() - 2) + 1));
    const char *names[] = {"a", "b", "c", "d", "e", "f", "g", "h, east"};
    int count_named = 0;
    for (int m; medians >> m; ++count_named) EXPECT_THAT(svg, HasSubstr(std::string("<text>") + names[m] + "</text>"));
    EXPECT_EQ(count_named, 2);
}

// ---- bad input ---------------------------------------------------------------------

// Each failure: status, message, and no output file of the tool left.
TEST_F(SolutionToolTest, ExportAndPlotRefuseWhatTheyCannotUse) {
    struct Case {
        const char *name;
        const char *program;
        const char *arguments;
        const char *file, *text;  // written into run/ before the tool runs; nullptr: nothing
        int status;
        const char *message;
    };
    const Case cases[] = {
        {"no solution", PMEDIAN_EXPORT, "run", "solucao.txt", nullptr, 1, "cannot open run/solucao.txt"},
        {"broken solution", PMEDIAN_EXPORT, "run", "solucao.txt", "9999999\n1\n0 1\n", 1,
         "invalid solution: client 2 is not assigned"},
        {"another run's summary", PMEDIAN_EXPORT, "run", "summary.txt",
         "Iteracoes .... 1\nUB .... 1.00\nLB .... 1.00\nZD .... 1\nZP .... 1\nPi .... 2\nTFator .... 0.25\n"
         "Solucoes viaveis .... 1\nTotal CPU Time .... 0.00\nStatus da solucao .... 1\n",
         1, "does not belong to this solution: it reports UB 1.00"},
        {"cut summary", PMEDIAN_EXPORT, "run", "summary.txt", "Iteracoes .... 1\nUB .... 1.00\n", 1,
         "not the solver's complete console summary"},
        {"side file too short", PMEDIAN_EXPORT, "run", "pmedvertices.csv", "vertex,x,y\n0,1,1\n", 1,
         "1 rows for an instance of 8 vertices"},
        {"side file out of order", PMEDIAN_EXPORT, "run", "pmedvertices.csv",
         "vertex,x,y\n0,0,0\n2,0,0\n1,0,0\n3,0,0\n4,0,0\n5,0,0\n6,0,0\n7,0,0\n", 1, "line 3: vertex 1 expected"},
        {"side file bad weight", PMEDIAN_EXPORT, "run", "pmedvertices.csv",
         "vertex,weight\n0,1\n1,-1\n2,1\n3,1\n4,1\n5,1\n6,1\n7,1\n", 1, "line 3: weight \"-1\""},
        {"export wrong option", PMEDIAN_EXPORT, "run --format xml", nullptr, nullptr, 2, "unknown option --format"},
        {"no coordinates", PMEDIAN_PLOT, "run", "pmedvertices.csv", "vertex,id\n0,a\n1,b\n2,c\n3,d\n4,e\n5,f\n6,g\n7,h\n",
         1, "has no coordinates to draw"},
        {"plot not svg", PMEDIAN_PLOT, "run --out map.pdf", nullptr, nullptr, 2, "--out must name a .svg file"},
        {"plot broken solution", PMEDIAN_PLOT, "run", "solucao.txt", "1 0 1.00\n", 1, "invalid solution"},
    };
    solved_sites();
    std::string solution = read_file("run/solucao.txt"), summary = read_file("run/summary.txt"),
                side = read_file("run/pmedvertices.csv");
    for (const Case &t : cases) {
        SCOPED_TRACE(t.name);
        write_file("run/solucao.txt", solution);
        write_file("run/summary.txt", summary);
        write_file("run/pmedvertices.csv", side);
        if (t.file && t.text) write_file(std::string("run/") + t.file, t.text);
        if (t.file && !t.text) unlink((std::string("run/") + t.file).c_str());
        RunResult r = tool(t.program, t.arguments);
        EXPECT_EQ(r.exit_status, t.status);
        EXPECT_THAT(r.err, HasSubstr(t.message));
        for (const char *output : {"solution.json", "assignment.csv", "solution.geojson", "map.svg", "map.png"})
            EXPECT_FALSE(file_exists(std::string("run/") + output)) << output;
    }
}

// ---- the sweep ------------------------------------------------------------------------

// A solver that logs the p of each run (from the header of the instance
// file in its run folder, inst/sweep/pP) and kills itself at p = 3 while
// the file "kill" exists.
const char *WRAPPER =
    "#!/bin/sh\n"
    "p=$(head -c 20 pmeddata.dat | tr -s ' \\n' '  ' | cut -d ' ' -f 2)\n"
    "echo $p >> ../../../runs.log\n"
    "if [ \"$p\" = 3 ] && [ -e ../../../kill ]; then kill -9 $$; fi\n"
    "exec '" PMEDIAN_PROGRAM "'\n";

TEST_F(SolutionToolTest, SweepRecordsAKilledRunAndRunsOnlyItAgain) {
    write_file("sites.csv", SITES);
    ASSERT_EQ(tool(PMEDIAN_CONVERT, "points sites.csv --p 1 --weight demand --id site --out inst").exit_status, 0);
    write_file("solver.sh", WRAPPER);
    write_file("kill", "");
    ASSERT_EQ(system("chmod +x solver.sh"), 0);

    RunResult r = tool(PMEDIAN_SWEEP, "inst --p 1:4,6 --jobs 2 --solver ./solver.sh");
    EXPECT_EQ(r.exit_status, 1) << r.err;
    EXPECT_THAT(r.out, HasSubstr("p = 3: FAILED, killed by signal 9"));
    EXPECT_THAT(r.out, HasSubstr("the plot "));
    std::string csv = read_file("inst/sweep/sweep.csv");
    EXPECT_EQ(lines_of(csv).size(), 6u);
    EXPECT_THAT(csv, HasSubstr("\n3,,,,,,,killed by signal 9"));
    EXPECT_THAT(read_file("inst/sweep/sweep.md"), HasSubstr("4 of 5 values of p solved."));
    EXPECT_THAT(read_file("inst/sweep/sweep.md"), HasSubstr("sums over the clients of demand x distance"));
    // A run folder keeps no copy of the instance once its run is over; the
    // tools find the instance, its p and its names through the run's record.
    EXPECT_FALSE(file_exists("inst/sweep/p6/pmeddata.dat"));
    EXPECT_FALSE(file_exists("inst-p6"));
    EXPECT_EQ(tool(PMEDIAN_CHECK, "inst/sweep/p6").exit_status, 0);
    ASSERT_EQ(tool(PMEDIAN_EXPORT, "inst/sweep/p6").exit_status, 0);
    EXPECT_EQ(Json::parse(read_file("inst/sweep/p6/solution.json"))["p"], 6);
    EXPECT_THAT(read_file("inst/sweep/p6/assignment.csv"), HasSubstr(",\"h, east\","));

    // Printed jobs: the unsolved p only, its folder with the instance files,
    // only their headers changed.
    r = tool(PMEDIAN_SWEEP, "inst --p 1:4,6 --print-jobs --solver ./solver.sh");
    EXPECT_EQ(r.exit_status, 0);
    ASSERT_EQ(lines_of(r.out).size(), 1u) << r.out;
    EXPECT_THAT(r.out, HasSubstr("inst/sweep/p3' && '"));
    std::string data = read_file("inst/pmeddata.dat");
    EXPECT_EQ(read_file("inst/sweep/p3/pmeddata.dat"), "8 3" + data.substr(3));

    // Run again with another p: only p = 3 and the new one run, and the
    // table holds every p solved from these files.
    unlink("kill");
    unlink("runs.log");
    r = tool(PMEDIAN_SWEEP, "inst --p 3,5 --jobs 1 --solver ./solver.sh");
    EXPECT_EQ(r.exit_status, 0) << r.out << r.err;
    EXPECT_EQ(read_file("runs.log"), "3\n5\n");
    EXPECT_THAT(read_file("inst/sweep/sweep.md"), HasSubstr("6 of 6 values of p solved."));
    EXPECT_FALSE(file_exists("inst/sweep/p3/pmeddata.dat"));

    // A changed instance makes its runs again; the runs of the old files
    // leave the table and can no longer be read as solutions.
    ASSERT_EQ(tool(PMEDIAN_CONVERT, "points sites.csv --p 1 --out inst").exit_status, 0);
    unlink("runs.log");
    EXPECT_EQ(tool(PMEDIAN_SWEEP, "inst --p 2,3 --jobs 1 --solver ./solver.sh").exit_status, 0);
    EXPECT_EQ(read_file("runs.log"), "2\n3\n");
    EXPECT_THAT(read_file("inst/sweep/sweep.md"), HasSubstr("2 of 2 values of p solved."));
    RunResult stale = tool(PMEDIAN_CHECK, "inst/sweep/p6");
    EXPECT_EQ(stale.exit_status, 2);
    EXPECT_THAT(stale.err, HasSubstr("whose instance files changed since: sweep it again"));
}

// The summary without its CPU time, which differs from run to run.
std::string without_cpu_time(const std::string &summary) {
    std::string kept;
    for (const std::string &line : lines_of(summary))
        if (line.rfind("Total CPU Time", 0) != 0) kept += line + "\n";
    return kept;
}

// Without --solver each run solves through the library: a run stopped by
// --time-limit keeps its bounds and status 3, and a run to its end prints
// what the pmedian program prints in that folder.
TEST_F(SolutionToolTest, SweepThroughTheLibraryRecordsARunStoppedByItsLimit) {
    std::mt19937 rng(21);
    std::string points = "x,y\n";
    for (int k = 0; k < 200; ++k) points += std::to_string(rng() % 1000) + "," + std::to_string(rng() % 1000) + "\n";
    write_file("points.csv", points);
    ASSERT_EQ(tool(PMEDIAN_CONVERT, "points points.csv --p 1 --out inst").exit_status, 0);

    RunResult r = tool(PMEDIAN_SWEEP, "inst --p 5,10 --time-limit 1e-9");
    EXPECT_EQ(r.exit_status, 0) << r.out << r.err;
    std::vector<std::string> rows = lines_of(read_file("inst/sweep/sweep.csv"));
    ASSERT_EQ(rows.size(), 3u);
    for (const std::string &row : {rows[1], rows[2]})  // p, UB, LB, gap, status 3...
        EXPECT_THAT(row, ::testing::MatchesRegex("[0-9]+,[0-9.]+,[0-9.]+,[0-9.]+,3,.*"));
    EXPECT_THAT(read_file("inst/sweep/sweep.md"), HasSubstr("| 3 (stopped by a limit) |"));
    EXPECT_EQ(tool(PMEDIAN_CHECK, "inst/sweep/p10").exit_status, 0);

    // Solved to its end from the instance's own files with p = 10, the run
    // gives what the program gives from files whose headers say p = 10.
    ASSERT_EQ(system("rm -r inst/sweep/p10 && mkdir classic && "
                     "awk 'NR == 1 { $2 = 10 } 1' inst/pmeddata.dat > classic/pmeddata.dat && "
                     "awk 'NR == 1 { $2 = 10 } 1' inst/pmedmtrx.dat > classic/pmedmtrx.dat"),
              0);
    r = tool(PMEDIAN_SWEEP, "inst --p 10");
    EXPECT_EQ(r.exit_status, 0) << r.out << r.err;
    RunResult classic = run_program(scratch.path() + "/classic");
    EXPECT_EQ(without_cpu_time(read_file("inst/sweep/p10/summary.txt")), without_cpu_time(classic.out));
    EXPECT_EQ(read_file("inst/sweep/p10/solucao.txt"), read_file("classic/solucao.txt"));
}

TEST_F(SolutionToolTest, SweepRefusesBadInputBeforeMakingAnyFolder) {
    struct Case {
        const char *name, *arguments;
        int status;
        const char *message;
    };
    const Case cases[] = {
        {"p above n", "inst --p 2,9", 1, "--p: 9 lies outside 1..8 (n)"},
        {"p zero", "inst --p 0:4", 1, "--p: 0 lies outside 1..8 (n)"},
        {"word", "inst --p 2,x", 1, "--p: \"x\" in \"x\" is not a whole number"},
        {"empty item", "inst --p 2,,3", 1, "is not a whole number"},
        {"zero step", "inst --p 1:8:0", 1, "the step of \"1:8:0\" must be at least 1"},
        {"downwards", "inst --p 8:1", 1, "runs downwards"},
        {"four parts", "inst --p 1:2:3:4", 1, "is not P or FIRST:LAST:STEP"},
        {"no instance", "none --p 2", 1, "cannot open"},
        {"no solver", "inst --p 2 --solver ./missing", 1, "the solver ./missing cannot be run"},
        {"someone else's folder", "inst --p 5", 1, "inst/sweep/p5 exists and was not made by a sweep"},
        {"no p", "inst", 2, "--p is required"},
        {"bad jobs", "inst --p 2 --jobs 0", 2, "--jobs must be 1..1024"},
        {"bad timeout", "inst --p 2 --timeout soon", 2, "--timeout must be a number of seconds"},
        {"bad time limit", "inst --p 2 --time-limit -1", 2, "--time-limit must be a number of seconds"},
        {"time limit of a program", "inst --p 2 --time-limit 5 --solver ./solver.sh", 2,
         "--time-limit stops the library's runs"},
    };
    write_file("sites.csv", SITES);
    ASSERT_EQ(tool(PMEDIAN_CONVERT, "points sites.csv --p 1 --out inst").exit_status, 0);
    ASSERT_EQ(system("mkdir -p inst/sweep/p5 && echo mine > inst/sweep/p5/notes.txt"), 0);
    for (const Case &t : cases) {
        SCOPED_TRACE(t.name);
        RunResult r = tool(PMEDIAN_SWEEP, t.arguments);
        EXPECT_EQ(r.exit_status, t.status);
        EXPECT_THAT(r.err, HasSubstr(t.message));
        for (const char *folder : {"inst/sweep/p2", "inst/sweep/p3", "inst/sweep/p4", "inst/sweep/sweep.md"})
            EXPECT_FALSE(file_exists(folder)) << folder;
    }
    EXPECT_EQ(read_file("inst/sweep/p5/notes.txt"), "mine\n");
}

// ---- fuzz inputs ------------------------------------------------------------------

// Every committed seed and every input that once failed runs through the
// tools' fuzz harness again, in every build.  Each conversion seed must
// convert, or it seeds nothing.
TEST(ToolsFuzzInputs, ParseWithoutAFinding) {
    std::vector<std::string> inputs;
    for (const char *folder : {PMEDIAN_FUZZ_DIR "/tools-corpus", PMEDIAN_FUZZ_DIR "/tools-regressions"})
        if (DIR *dir = opendir(folder)) {
            while (struct dirent *entry = readdir(dir))
                if (entry->d_name[0] != '.') inputs.push_back(std::string(folder) + "/" + entry->d_name);
            closedir(dir);
        }
    ASSERT_GE(inputs.size(), 13u);
    for (const std::string &name : inputs) {
        std::string bytes = read_file(name);
        ScratchDir dir;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        std::string problem = run_tools_fuzz_input((const uint8_t *)bytes.data(), bytes.size());
        testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(problem, "") << name;
        if (name.find("/tools-corpus/") != std::string::npos && bytes[0] - 'A' < 8) {
            EXPECT_TRUE(file_exists("out/pmeddata.dat")) << name << ": " << err;
        }
    }
}

}  // namespace
