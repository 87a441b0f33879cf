// test_tools.cpp - the tools around the solver, run as real programs in
// scratch folders: pmedian-convert on small hand-made files of each input
// format and on every kind of bad input, pmedian-check on a good solution
// file and on broken ones, and one graph converted, solved and checked.
#include <dirent.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "support.h"

using ::testing::HasSubstr;

// Every number of a file, read one at a time with "%f" as the solver reads.
static std::vector<float> numbers_of(const std::string &path) {
    std::vector<float> values;
    FILE *f = fopen(path.c_str(), "r");
    if (!f) return values;
    float v;
    while (fscanf(f, "%f", &v) == 1) values.push_back(v);
    fclose(f);
    return values;
}

static void shell(const std::string &command) { ASSERT_EQ(system(command.c_str()), 0) << command; }

// Names in a folder, without "." and "..".
static std::vector<std::string> entries_of(const std::string &dir) {
    std::vector<std::string> names;
    DIR *d = opendir(dir.c_str());
    if (!d) return names;
    while (dirent *e = readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
    return names;
}

// An instance as the converter wrote it into a folder.
struct Converted {
    int n = 0, p = 0;
    int header_n = 0, header_p = 0;  // the two integers of pmedmtrx.dat
    float radius = 0;
    Matrix cost, dist;
};

// Reads both files back the way the solver does and checks that each holds
// exactly the number of values its header calls for.
static Converted read_converted(const std::string &dir) {
    Converted c;
    std::vector<float> data = numbers_of(dir + "/pmeddata.dat");
    std::vector<float> mtrx = numbers_of(dir + "/pmedmtrx.dat");
    EXPECT_GE(data.size(), 2u);
    EXPECT_GE(mtrx.size(), 3u);
    if (data.size() < 2 || mtrx.size() < 3) return c;
    c.n = (int)data[0];
    c.p = (int)data[1];
    c.header_n = (int)mtrx[0];
    c.header_p = (int)mtrx[1];
    c.radius = mtrx[2];
    int n = c.n;
    EXPECT_EQ(data.size(), 2u + (size_t)n * (n - 1));
    EXPECT_EQ(mtrx.size(), 3u + (size_t)n * (n - 1) / 2);
    if (data.size() != 2u + (size_t)n * (n - 1) || mtrx.size() != 3u + (size_t)n * (n - 1) / 2) return c;
    c.cost = zero_matrix(n);
    c.dist = zero_matrix(n);
    size_t k = 2;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            if (j != i) c.cost[i][j] = data[k++];
    k = 3;
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j) c.dist[i][j] = c.dist[j][i] = mtrx[k++];
    return c;
}

// A symmetric matrix from its strict upper triangle, row by row.
static Matrix symmetric(int n, const std::vector<double> &upper) {
    Matrix m = zero_matrix(n);
    size_t k = 0;
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j) m[i][j] = m[j][i] = (float)upper[k++];
    return m;
}

class ToolTest : public ::testing::Test {
protected:
    ScratchDir scratch;

    RunResult convert(const std::string &arguments) {
        return run_program(scratch.path(), PMEDIAN_CONVERT, 60, arguments);
    }
    // Runs the converter into "out", expecting success, and reads back what
    // it wrote.
    Converted convert_ok(const std::string &arguments) {
        RunResult r = convert(arguments + " --out out");
        EXPECT_EQ(r.exit_status, 0) << r.err;
        return read_converted("out");
    }
    RunResult check(const std::string &arguments) {
        return run_program(scratch.path(), PMEDIAN_CHECK, 60, arguments);
    }
};

// ---- pmedian-convert: OR-Library graphs ---------------------------------------

// Edge 1-2 is listed first with cost 3 and last with 10: the last one counts
// although it is larger.  The shortest 1-3 path then runs through vertex 2
// (10 + 4 = 14 < 20), and 1-4 through 2 and 3.
static const char *GRAPH =
    "4 5 2\n"
    "1 2 3\n"
    "2 3 4\n"
    "1 3 20\n"
    "3 4 5\n"
    "1 2 10\n";

TEST_F(ToolTest, OrlibLastDuplicateCountsAndPathsRunThroughOtherVertices) {
    write_file("graph.txt", GRAPH);
    Converted c = convert_ok("orlib graph.txt");
    EXPECT_EQ(c.n, 4);
    EXPECT_EQ(c.p, 2);
    EXPECT_EQ(c.header_n, 4);
    EXPECT_EQ(c.header_p, 2);
    Matrix expected = symmetric(4, {10, 14, 19, 4, 9, 5});
    EXPECT_EQ(c.cost, expected);
    EXPECT_EQ(c.dist, expected);
    EXPECT_EQ(c.radius, 19.0f);  // the largest distance: every exchange is tried
    // Integer path lengths are written as plain integers.
    EXPECT_EQ(read_file("out/pmeddata.dat"), "4 2\n10 14 19\n10 4 9\n14 4 5\n19 9 5\n");
    EXPECT_EQ(read_file("out/pmedmtrx.dat"), "4 2 19\n10 14 19\n4 9\n5\n");
}

TEST_F(ToolTest, OrlibPAndRadiusOptions) {
    struct Case {
        const char *options;
        int p;
        float radius;
    };
    // The six distances in ascending order: 4 5 9 10 14 19.
    const Case cases[] = {
        {"--p 3", 3, 19.0f},
        {"--p=4", 4, 19.0f},
        {"--radius 7.5", 2, 7.5f},
        {"--radius-quantile 0", 2, 4.0f},
        {"--radius-quantile 0.5", 2, 9.0f},  // position floor(0.5 * 5) = 2
        {"--radius-quantile 0.99", 2, 14.0f},
        {"--radius-quantile 1", 2, 19.0f},
    };
    write_file("graph.txt", GRAPH);
    for (const Case &t : cases) {
        SCOPED_TRACE(t.options);
        Converted c = convert_ok(std::string("orlib graph.txt ") + t.options);
        EXPECT_EQ(c.p, t.p);
        EXPECT_EQ(c.header_p, t.p);
        EXPECT_EQ(c.radius, t.radius);
    }
}

TEST_F(ToolTest, ConvertCreatesMissingTargetFolders) {
    write_file("graph.txt", GRAPH);
    RunResult r = convert("orlib graph.txt --out new/deeper");
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(read_converted("new/deeper").n, 4);
    EXPECT_THAT(entries_of("new/deeper"), ::testing::UnorderedElementsAre("pmeddata.dat", "pmedmtrx.dat"));
}

// ---- pmedian-convert: TSPLIB coordinates ------------------------------------------

// Five points, listed out of order, with distances chosen so that the three
// rounding rules differ: sqrt(2), 2.5 (nint rounds it up), sqrt(13) ...
static const char *POINTS =
    "NAME : five\n"
    "COMMENT : hand-made\n"
    "TYPE : TSP\n"
    "DIMENSION: 5\n"
    "EDGE_WEIGHT_TYPE : EUC_2D\n"
    "NODE_COORD_SECTION\n"
    "1 0.00000e+00 0.00000e+00\n"
    "3 1.00000e+00 1.00000e+00\n"
    "2 3.00000e+00 4.00000e+00\n"
    "4 0 2.5\n"
    "5 6.00000e+00 8.00000e+00\n"
    "EOF\n";

TEST_F(ToolTest, TsplibEuclideanDistancesUnderEachRounding) {
    struct Case {
        const char *options;
        std::vector<double> upper;  // d12 d13 d14 d15 d23 d24 d25 d34 d35 d45
    };
    const double r2 = 1.4142135623730951, r13 = 3.6055512754639891, r1125 = 3.3541019662496847,
                 r325 = 1.8027756377319946, r74 = 8.6023252670426267, r6625 = 8.1394102980498531;
    const Case cases[] = {
        {"", {5, r2, 2.5, 10, r13, r1125, 5, r325, r74, r6625}},
        {"--round none", {5, r2, 2.5, 10, r13, r1125, 5, r325, r74, r6625}},
        {"--round nint", {5, 1, 3, 10, 4, 3, 5, 2, 9, 8}},
        {"--round floor", {5, 1, 2, 10, 3, 3, 5, 1, 8, 8}},
    };
    write_file("five.tsp", POINTS);
    for (const Case &t : cases) {
        SCOPED_TRACE(t.options);
        Converted c = convert_ok(std::string("tsplib five.tsp --p 2 ") + t.options);
        EXPECT_EQ(c.n, 5);
        EXPECT_EQ(c.p, 2);
        Matrix expected = symmetric(5, t.upper);
        EXPECT_EQ(c.cost, expected);
        EXPECT_EQ(c.dist, expected);
        EXPECT_EQ(c.radius, (float)10.0);
    }
}

// TSPLIB readers commonly take keywords in any case; a byte-order mark is
// skipped.  Both files must come out as from the upper-case original.
TEST_F(ToolTest, TsplibKeywordsInAnyCaseAndAByteOrderMark) {
    std::string lower = POINTS;
    for (char &c : lower) c = (char)tolower((unsigned char)c);
    write_file("five.tsp", POINTS);
    write_file("lower.tsp", "\xEF\xBB\xBF" + lower);
    ASSERT_EQ(convert("tsplib five.tsp --p 2 --out upper").exit_status, 0);
    RunResult r = convert("tsplib lower.tsp --p 2 --out lower");
    ASSERT_EQ(r.exit_status, 0) << r.err;
    for (const char *file : {"/pmeddata.dat", "/pmedmtrx.dat"})
        EXPECT_EQ(read_file(std::string("lower") + file), read_file(std::string("upper") + file)) << file;
}

// ---- pmedian-convert: plain matrices ---------------------------------------------

// Row labels become the vertices' names in the side file.
TEST_F(ToolTest, MatrixWithBlanksCommasSemicolonsOrLabelsKeepsAsymmetricCosts) {
    struct Case {
        const char *text;
        const char *side_file;  // nullptr: none
    };
    const Case cases[] = {
        {"0 1.5 2\n3 0 4.25\n5 6 0\n", nullptr},
        {"0,1.5,2\n3, 0, 4.25\n\n5 ,6,0\n", nullptr},
        {"  0\t1.5   2\r\n3 0 4.25\r\n5 6 0", nullptr},
        {"\xEF\xBB\xBF" "0 1.5 2\n3 0 4.25\n5 6 0\n", nullptr},  // a byte-order mark
        {"from,to a,to b\n0,1.5,2\n3,0,4.25\n5,6,0\n", nullptr},  // a header of column names
        {"0;1.5;2\n3 ; 0;4.25\n5;6;0\n", nullptr},
        {",a,b,c\na,0,1.5,2\nb,3,0,4.25\nc,5,6,0\n", "vertex,id\n0,a\n1,b\n2,c\n"},
        {"from;Porto;\"Braga\";x\nPorto;0;1.5;2\n\"Braga\";3;0;4.25\nx y;5;6;0\n",
         "vertex,id\n0,Porto\n1,Braga\n2,x y\n"},
        {"a 0 1.5 2\nb 3 0 4.25\n7 5 6 0\n", "vertex,id\n0,a\n1,b\n2,7\n"},  // labels once the first is text
    };
    for (const Case &t : cases) {
        SCOPED_TRACE(t.text);
        write_file("m.txt", t.text);
        Converted c = convert_ok("matrix m.txt --p 1");
        EXPECT_EQ(c.cost, (Matrix{{0, 1.5f, 2}, {3, 0, 4.25f}, {5, 6, 0}}));
        EXPECT_EQ(c.dist, symmetric(3, {1.5, 2, 4.25}));  // from the upper triangle
        EXPECT_EQ(c.radius, 4.25f);
        EXPECT_EQ(file_exists("out/pmedvertices.csv") ? read_file("out/pmedvertices.csv") : "",
                  t.side_file ? t.side_file : "");
    }
}

// Values that are not exact binary fractions reach the solver as the floats
// it would have read from the original text.
TEST_F(ToolTest, MatrixValuesReachTheSolverAsTheSameFloats) {
    const char *values[] = {"0.1", "3.14159265358979", "1e-40", "123456.789", "16777217", "inf"};
    std::string text;
    int n = 3;
    for (int i = 0, k = 0; i < n; ++i, text += "\n")
        for (int j = 0; j < n; ++j) text += std::string(i == j ? "0" : values[k++]) + " ";
    write_file("m.txt", text);
    Converted c = convert_ok("matrix m.txt --p 1");
    for (int i = 0, k = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            if (i != j) {
                EXPECT_EQ(c.cost[i][j], strtof(values[k++], nullptr)) << i << " " << j;
            }
}

// From 700 vertices on the solver only tries exchanges within 0.8 times the
// radius, so the default radius grows to keep the largest distance inside.
TEST_F(ToolTest, DefaultRadiusLetsEveryExchangeBeTriedAtAnySize) {
    for (int n : {699, 700}) {
        SCOPED_TRACE(n);
        std::string text;
        for (int i = 0; i < n; ++i, text += '\n')
            for (int j = 0; j < n; ++j) text += std::to_string(i == j ? 0 : (i + j) % 97 + 1) + ' ';
        write_file("m.txt", text);
        float radius = convert_ok("matrix m.txt --p 7").radius;
        if (n < 700) {
            EXPECT_EQ(radius, 97.0f);
        } else {
            EXPECT_GE((double)0.8f * radius, 97.0);
            EXPECT_LT((double)0.8f * std::nextafter(radius, 0.0f), 97.0);  // and no larger
        }
    }
}

// ---- pmedian-convert: point tables, weights, GEO and ATT -------------------------

// Three points 3, 4 and 5 apart with demands 2, 0.5 and 4: serving client j
// from i costs w_j d(i, j), and the distances stay d.  The same table with
// commas, tabs or semicolons, and a name with a comma in quotes.
TEST_F(ToolTest, PointsWithWeightsGiveWeightedCostsAndKeepTheirNames) {
    const char *tables[] = {
        "# made up\nname,x,y,demand\nA,0,0,2\n\"B, north\",3,0,0.5\nC,3,4,4\n",
        "name\tX\tY\tDemand\nA\t0\t0\t2\n\"B, north\"\t3\t0\t0.5\n\nC\t3\t4\t4\n",
        "\xEF\xBB\xBFname;x;y;demand\r\nA;0;0;2\r\n\"B, north\";3;0;0.5\r\nC;3;4;4\r\n",
    };
    for (const char *table : tables) {
        SCOPED_TRACE(table);
        write_file("p.csv", table);
        Converted c = convert_ok("points p.csv --p 1 --weight demand --id name");
        EXPECT_EQ(c.dist, symmetric(3, {3, 5, 4}));
        EXPECT_EQ(c.cost, (Matrix{{0, 1.5f, 20}, {6, 0, 16}, {10, 2, 0}}));
        EXPECT_EQ(c.radius, 5.0f);
        EXPECT_EQ(read_file("out/pmedvertices.csv"),
                  "vertex,id,x,y,weight\n0,A,0,0,2\n1,\"B, north\",3,0,0.5\n2,C,3,4,4\n");
    }
}

// Longitude and latitude give great-circle kilometres unless --metric
// euclid is asked for; one degree of a meridian is 6371 pi / 180 km.  The
// coordinates are found under their common names in any case, or named.
TEST_F(ToolTest, PointsInLongitudeAndLatitudeAreKilometresApart) {
    struct Case {
        const char *header, *options;
        bool geographic;
    };
    const Case cases[] = {
        {"lat,lon", "", true},
        {"Latitude,Long", "", true},
        {"LAT,lng", "", true},
        {"y,x", "", false},
        {"north,east", "--lon east --lat north", true},
        {"b,a", "--x a --y b", false},
        {"lat,lon", "--x lon --y lat", false},
    };
    for (const Case &t : cases) {
        SCOPED_TRACE(std::string(t.header) + " " + t.options);
        write_file("p.csv", std::string(t.header) + "\n0,0\n1,0\n");
        Converted c = convert_ok(std::string("points p.csv --p 1 ") + t.options);
        EXPECT_EQ(c.dist[0][1], t.geographic ? (float)(6371.0 * M_PI / 180.0) : 1.0f);
        EXPECT_EQ(read_file("out/pmedvertices.csv"),
                  t.geographic ? "vertex,lon,lat\n0,0,0\n1,0,1\n" : "vertex,x,y\n0,0,0\n1,0,1\n");
    }
    write_file("p.csv", "lat,lon\n0,0\n1,0\n");
    EXPECT_EQ(convert_ok("points p.csv --p 1 --metric euclid").dist[0][1], 1.0f);
}

// GEO: the first three cities of TSPLIB's burma14, whose published matrix
// gives 153, 510 and 422.  ATT: sqrt(10) rounds up to 4, sqrt(100) stays
// 10, sqrt(90) rounds up to 10.
TEST_F(ToolTest, TsplibGeoAndAttDistancesFollowTsplib) {
    struct Case {
        const char *type, *nodes;
        std::vector<double> upper;
    };
    const Case cases[] = {
        {"GEO", "1 16.47 96.10\n2 16.47 94.44\n3 20.09 92.54\n", {153, 510, 422}},
        {"ATT", "1 0 0\n2 10 0\n3 10 30\n", {4, 10, 10}},
    };
    for (const Case &t : cases) {
        SCOPED_TRACE(t.type);
        write_file("in.tsp", std::string("DIMENSION : 3\nEDGE_WEIGHT_TYPE : ") + t.type + "\nNODE_COORD_SECTION\n" +
                                 t.nodes + "EOF\n");
        Converted c = convert_ok("tsplib in.tsp --p 1");
        EXPECT_EQ(c.cost, symmetric(3, t.upper));
        EXPECT_EQ(c.dist, symmetric(3, t.upper));
    }
}

// A weights file serves every format.  An infinite matrix entry stays
// infinite whatever the weight, a zero weight makes a client's costs 0.
TEST_F(ToolTest, WeightsFileMultipliesEachClientsColumn) {
    write_file("graph.txt", GRAPH);
    write_file("w.txt", "demand\n1\n2\n# none\n0\n0.5\n\n");
    Converted c = convert_ok("orlib graph.txt --weights w.txt");
    EXPECT_EQ(c.dist, symmetric(4, {10, 14, 19, 4, 9, 5}));
    EXPECT_EQ(c.cost, (Matrix{{0, 20, 0, 9.5f}, {10, 0, 0, 4.5f}, {14, 8, 0, 2.5f}, {19, 18, 0, 0}}));
    EXPECT_EQ(read_file("out/pmedvertices.csv"), "vertex,weight\n0,1\n1,2\n2,0\n3,0.5\n");

    write_file("m.txt", "0 inf\n1 0\n");
    write_file("w.txt", "0\n3\n");
    c = convert_ok("matrix m.txt --p 1 --weights w.txt");
    EXPECT_EQ(c.cost, (Matrix{{0, INFINITY}, {0, 0}}));

    // Converted again without weights, the folder keeps no side file.
    convert_ok("matrix m.txt --p 1");
    EXPECT_THAT(entries_of("out"), ::testing::UnorderedElementsAre("pmeddata.dat", "pmedmtrx.dat"));
}

// ---- pmedian-convert: bad input --------------------------------------------------

TEST_F(ToolTest, BadInputIsRejectedAndNothingIsWritten) {
    struct Case {
        const char *name;
        int status;             // 1: bad input, 2: wrong command line
        const char *file_text;  // written to "in.txt"; nullptr: no file
        const char *arguments;
        const char *message;
        const char *weights_text = nullptr;  // written to "w.txt"
    };
    const char *tsp_head = "NAME : x\nTYPE : TSP\nDIMENSION : 3\nEDGE_WEIGHT_TYPE : EUC_2D\nNODE_COORD_SECTION\n";
    std::string tsp_short = std::string(tsp_head) + "1 0 0\n2 1 1\nEOF\n";
    std::string tsp_twice = std::string(tsp_head) + "1 0 0\n2 1 1\n1 2 2\nEOF\n";
    std::string tsp_good = std::string(tsp_head) + "1 0 0\n2 1 1\n3 2 2\nEOF\n";
    std::string many_bad = "x,y\n";  // 25 bad rows, on lines 2 to 26
    for (int k = 0; k < 25; ++k) many_bad += "a,1\n";
    const Case cases[] = {
        {"missing file", 1, nullptr, "orlib in.txt", "cannot open in.txt"},
        {"orlib bad header", 1, "4 x 2\n", "orlib in.txt", "header \"n edges p\" expected"},
        {"orlib truncated", 1, "4 5 2\n1 2 3\n2 3 4\n", "orlib in.txt", "edge list ends after 2 of 5 edges"},
        {"orlib half an edge", 1, "3 2 1\n1 2 3\n2 3\n", "orlib in.txt", "edge list ends after 1 of 2 edges"},
        {"orlib vertex 0", 1, "3 2 1\n1 2 3\n0 3 1\n", "orlib in.txt", "line 3: vertex out of range 1..3"},
        {"orlib vertex n+1", 1, "3 2 1\n1 2 3\n2 4 1\n", "orlib in.txt", "line 3: vertex out of range 1..3"},
        {"orlib text cost", 1, "2 1 1\n1 2 x\n", "orlib in.txt", "line 2: edge cost expected"},
        {"orlib negative cost", 1, "2 1 1\n1 2 -3\n", "orlib in.txt", "negative edge cost"},
        {"orlib extra edges", 1, "2 1 1\n1 2 3\n2 1 4\n", "orlib in.txt", "more data after the 1 edges"},
        {"orlib disconnected", 1, "4 2 1\n1 2 3\n3 4 1\n", "orlib in.txt",
         "not connected: no path from vertex 1 to vertex 3"},
        {"orlib p 0", 1, "2 1 0\n1 2 3\n", "orlib in.txt", "p = 0 outside 1..2"},
        {"orlib p above n", 1, "2 1 1\n1 2 3\n", "orlib in.txt --p 3", "p = 3 outside 1..2"},
        {"tsplib weight type", 1, "DIMENSION : 2\nEDGE_WEIGHT_TYPE : EUC_3D\nNODE_COORD_SECTION\n1 0 0 0\n2 1 1 1\n",
         "tsplib in.txt --p 1", "EDGE_WEIGHT_TYPE EUC_3D not supported (only EUC_2D, GEO and ATT)"},
        {"tsplib no weight type", 1, "DIMENSION : 2\nNODE_COORD_SECTION\n1 0 0\n2 1 1\n", "tsplib in.txt --p 1",
         "no EDGE_WEIGHT_TYPE"},
        {"tsplib no dimension", 1, "EDGE_WEIGHT_TYPE : EUC_2D\nNODE_COORD_SECTION\n1 0 0\n",
         "tsplib in.txt --p 1", "no DIMENSION"},
        {"tsplib truncated", 1, tsp_short.c_str(), "tsplib in.txt --p 1", "ends after 2 of 3 nodes"},
        {"tsplib id twice", 1, tsp_twice.c_str(), "tsplib in.txt --p 1", "node 1 listed twice"},
        {"tsplib without p", 2, tsp_good.c_str(), "tsplib in.txt", "--p is required"},
        {"tsplib p above n", 1, tsp_good.c_str(), "tsplib in.txt --p 4", "p = 4 outside 1..3"},
        {"matrix ragged", 1, "0 1 2\n1 0\n2 1 0\n", "matrix in.txt --p 1", "line 2: 2 values, but the first row has 3"},
        {"matrix not square", 1, "0 1 2\n1 0 1\n", "matrix in.txt --p 1", "must be square"},
        {"matrix negative", 1, "0 -1\n1 0\n", "matrix in.txt --p 1", "negative value -1"},
        {"matrix text", 1, "0 1\nx 0\n", "matrix in.txt --p 1", "line 2, column 1: \"x\" is not a number"},
        {"matrix text in a short row", 1, "0 1 2\n1 0\n2 x 0\n", "matrix in.txt --p 1",
         "line 3, column 2: \"x\" is not a number"},
        {"matrix empty cell", 1, "0,1,2\n1,0,,1\n2,1,0\n", "matrix in.txt --p 1", "line 2, column 3: empty cell"},
        {"matrix decimal commas", 1, "0;1,5\n2;0\n", "matrix in.txt --p 1",
         "line 1, column 2: \"1,5\" is not a number (write decimals with a point: 1.5, not 1,5)"},
        {"matrix label twice", 1, "x;a;b\na;0;1\na;1;0\n", "matrix in.txt --p 1",
         "line 3: label \"a\" again (first on line 2)"},
        {"matrix labels, not square", 1, "a 0 1\nb 1 0\nc 1 1\n", "matrix in.txt --p 1",
         "3 rows of 2 values: the matrix must be square (the first column was taken as the rows' labels)"},
        {"matrix nan", 1, "0 1\nnan 0\n", "matrix in.txt --p 1", "line 2, column 1: \"nan\" is not a number"},
        {"matrix beyond floats", 1, "0 1e39\n1 0\n", "matrix in.txt --p 1", "\"1e39\" is beyond the float range"},
        {"matrix numbered columns", 1, "1 2\n0 1\n1 0\n", "matrix in.txt --p 1",
         "3 rows of 2 values: the matrix must be square (is the first row a header of column numbers?)"},
        {"matrix without p", 2, "0 1\n1 0\n", "matrix in.txt", "--p is required"},
        {"unknown format", 2, "0 1\n1 0\n", "dimacs in.txt --p 1",
         "FORMAT must be orlib, tsplib, matrix or points, not dimacs"},
        {"unknown option", 2, GRAPH, "orlib in.txt --size 3", "unknown option --size"},
        {"bad rounding", 2, tsp_good.c_str(), "tsplib in.txt --p 1 --round up", "--round must be none, nint or floor"},
        {"rounding a graph", 2, GRAPH, "orlib in.txt --round floor", "--round applies to tsplib files only"},
        {"two radii", 2, GRAPH, "orlib in.txt --radius 3 --radius-quantile 0.5", "not both"},
        {"quantile above 1", 2, GRAPH, "orlib in.txt --radius-quantile 1.5", "between 0 and 1"},
        {"negative radius", 2, GRAPH, "orlib in.txt --radius -1", "--radius must be a number 0 or above, not -1"},
        {"missing option value", 2, GRAPH, "orlib in.txt --p", "missing value for --p"},
        {"orlib huge n, few edges", 1, "5000 0 1\n", "orlib in.txt", "0 edges cannot connect 5000 vertices"},
        {"orlib huge n, short list", 1, "100000 99999 1\n1 2 3\n", "orlib in.txt", "ends after 1 of 99999 edges"},
        {"tsplib GEO rounded", 1, "DIMENSION : 1\nEDGE_WEIGHT_TYPE : GEO\nNODE_COORD_SECTION\n1 0 0\n",
         "tsplib in.txt --p 1 --round floor", "--round applies to EUC_2D files"},
        {"tsplib GEO out of range", 1, "DIMENSION : 1\nEDGE_WEIGHT_TYPE : GEO\nNODE_COORD_SECTION\n1 95.5 0\n",
         "tsplib in.txt --p 1", "line 4: GEO latitude 95.5, longitude 0"},
        {"points without coordinates", 1, "a,b\n1,2\n", "points in.txt --p 1",
         "no coordinate columns: the header needs x and y, or lon and lat (it has: a, b)"},
        {"points text", 1, "x,y\n1,2\nfoo,3\n", "points in.txt --p 1", "line 3, column 1 (x): \"foo\" is not a number"},
        {"points empty cell", 1, "x,y\n1,\n", "points in.txt --p 1", "line 2, column 2 (y): the y is missing"},
        {"points ragged", 1, "x,y\n1,2,3\n", "points in.txt --p 1", "line 2: 3 cells, but the header has 2 (x, y)"},
        {"points open quote", 1, "id,x,y\n\"a,1,2\n", "points in.txt --p 1 --id id",
         "line 2, character 1: quote not closed on its line"},
        {"points header only", 1, "x,y\n\n", "points in.txt --p 1", "no points below the header"},
        {"points no header", 1, "# nothing\n", "points in.txt --p 1", "no header row"},
        {"points negative weight", 1, "x,y,w\n0,0,1\n1,1,-2\n", "points in.txt --p 1 --weight w",
         "line 3, column 3: negative weight -2"},
        {"points nan weight", 1, "x,y,w\n0,0,nan\n", "points in.txt --p 1 --weight w", "weight \"nan\" is not a number"},
        {"points missing weight", 1, "x,y,w\n0,0,\n", "points in.txt --p 1 --weight w",
         "line 2, column 3: the weight is missing"},
        {"points huge weight", 1, "x,y,w\n0,0,1e39\n", "points in.txt --p 1 --weight w", "beyond the float range"},
        {"points cost overflow", 1, "x,y,w\n0,0,1\n1e30,0,1e30\n", "points in.txt --p 1 --weight w",
         "line 3: weight 1e+30 of vertex 1 times its distance 1e+30 from vertex 0 is beyond the float range"},
        {"points distance overflow", 1, "x,y\n0,0\n1e39,0\n", "points in.txt --p 1",
         "the distance 1e+39 between vertices 0 and 1 is beyond the float range"},
        {"tsplib distance overflow", 1,
         "DIMENSION : 2\nEDGE_WEIGHT_TYPE : EUC_2D\nNODE_COORD_SECTION\n1 0 0\n2 1e99 0\nEOF\n",
         "tsplib in.txt --p 1 --round nint", "the distance 1e+99 between nodes 1 and 2 is beyond the float range"},
        {"points no weight column", 1, "x,y\n0,0\n", "points in.txt --p 1 --weight pop",
         "no column \"pop\" for --weight (the header has: x, y)"},
        {"points id twice", 1, "id,x,y\na,0,0\nb,1,1\na,2,2\n", "points in.txt --p 1 --id id",
         "line 4: id \"a\" again (first on line 2)"},
        {"points id not UTF-8", 1, "id,x,y\n\xE9vora,0,0\n", "points in.txt --p 1 --id id", "not UTF-8 text"},
        {"points swapped lon lat", 1, "lon,lat\n-8.6,41.1\n41.2,-95\n", "points in.txt --p 1",
         "line 3: longitude 41.2, latitude -95: a longitude lies in -180..180 and a latitude in -90..90"},
        {"points --x without --y", 2, "a,b\n0,0\n", "points in.txt --p 1 --x a", "give --x and --y together"},
        {"points named column missing", 1, "a,b\n0,0\n", "points in.txt --p 1 --lon a --lat c",
         "no column \"c\" for --lat (the header has: a, b)"},
        {"points both pairs named", 2, "a,b\n0,0\n", "points in.txt --p 1 --x a --y b --lon a --lat b",
         "not both"},
        {"coordinate columns of a graph", 2, GRAPH, "orlib in.txt --lon a --lat b",
         "--x, --y, --lon and --lat apply to points files only"},
        {"points two x columns", 1, "x,y,X\n0,0,0\n", "points in.txt --p 1", "two columns are named \"x\""},
        // Every bad row of a file at once, in file order, whichever check
        // finds it (the row's length is checked before its cells).
        {"points bad rows", 1, "id,x,y,w\na,1,2,1\nb,x,2,1\nc,1,2,-1\nd,1,2\ne,1,2,1\na,3,4,1\n",
         "points in.txt --p 1 --id id --weight w",
         "in.txt: 4 bad rows:\n  line 3, column 2 (x): \"x\" is not a number\n  line 4, column 4: negative weight -1\n"
         "  line 5: 3 cells, but the header has 4 (id, x, y, w)\n  line 7: id \"a\" again (first on line 2)\n"},
        {"points many bad rows", 1, many_bad.c_str(), "points in.txt --p 1",
         "in.txt: 25 bad rows:\n  line 2, column 1 (x): \"a\" is not a number\n"},
        {"points bad rows beyond the list", 1, many_bad.c_str(), "points in.txt --p 1",
         "\n  line 21, column 1 (x): \"a\" is not a number\n  and 5 more bad rows\n"},
        {"matrix bad rows", 1, "0 x 2\n1 0\n2 1 y\n", "matrix in.txt --p 1",
         "in.txt: 3 bad rows:\n  line 1, column 2: \"x\" is not a number\n  line 2: 2 values, but the first row has 3\n"
         "  line 3, column 3: \"y\" is not a number\n"},
        {"weights bad rows", 1, GRAPH, "orlib in.txt --weights w.txt",
         "w.txt: 2 bad rows:\n  line 2: weight \"x\" is not a number\n  line 3: negative weight -1\n", "1\nx\n-1\n4\n"},
        {"weights short", 1, GRAPH, "orlib in.txt --weights w.txt", "w.txt: 2 weights for 4 vertices", "1\n2\n"},
        {"weights text", 1, GRAPH, "orlib in.txt --weights w.txt", "w.txt: line 2: weight \"x\" is not a number",
         "1\nx\n3\n4\n"},
        {"weights gap", 1, GRAPH, "orlib in.txt --weights w.txt", "w.txt: line 2: empty line where a weight is missing",
         "1\n\n3\n4\n5\n"},
        {"weights too many", 1, GRAPH, "orlib in.txt --weights w.txt",
         "w.txt: line 5: more weights than the 4 vertices", "1\n2\n3\n4\n5\n"},
        {"weights negative", 1, GRAPH, "orlib in.txt --weights w.txt", "w.txt: line 1: negative weight -1",
         "-1\n2\n3\n4\n"},
        {"weights two per line", 1, GRAPH, "orlib in.txt --weights w.txt", "w.txt: line 1: one weight per line",
         "1,2\n3\n4\n"},
        {"weights missing file", 1, GRAPH, "orlib in.txt --weights none.txt", "cannot open none.txt"},
        {"weight column of a graph", 2, GRAPH, "orlib in.txt --weight w", "--weight applies to points files"},
        {"weight and weights", 2, "x,y\n0,0\n", "points in.txt --p 1 --weight w --weights w.txt", "not both"},
        {"bad metric", 2, "x,y\n0,0\n", "points in.txt --p 1 --metric manhattan", "--metric must be euclid or haversine"},
    };
    for (const Case &t : cases) {
        SCOPED_TRACE(t.name);
        shell("rm -rf in.txt w.txt out");
        if (t.file_text) write_file("in.txt", t.file_text);
        if (t.weights_text) write_file("w.txt", t.weights_text);
        RunResult r = convert(std::string("--out out ") + t.arguments);
        EXPECT_EQ(r.exit_status, t.status);
        EXPECT_THAT(r.err, HasSubstr(t.message));
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(file_exists("out"));  // not even the target folder
    }
}

// A failed conversion leaves the files of an earlier one as they were and no
// temporary file behind.
TEST_F(ToolTest, FailedConversionKeepsEarlierFiles) {
    shell("mkdir out");
    write_file("out/pmeddata.dat", "earlier data");
    write_file("out/pmedmtrx.dat", "earlier matrix");
    write_file("in.txt", "4 2 1\n1 2 3\n3 4 1\n");  // not connected
    RunResult r = convert("orlib in.txt --out out");
    EXPECT_NE(r.exit_status, 0);
    EXPECT_EQ(read_file("out/pmeddata.dat"), "earlier data");
    EXPECT_EQ(read_file("out/pmedmtrx.dat"), "earlier matrix");
    EXPECT_THAT(entries_of("out"), ::testing::UnorderedElementsAre("pmeddata.dat", "pmedmtrx.dat"));
}

// ---- pmedian-check ------------------------------------------------------------

// Four vertices with asymmetric costs; cost[2][3] = 1.125 prints as "1.12"
// (ties round to even, as the solver's own "%.2f" does).
static void write_check_instance() {
    Matrix cost = {{0, 1.25f, 2.5f, 7}, {1.5f, 0, 3.75f, 8}, {2, 4, 0, 1.125f}, {9, 5, 0.5f, 0}};
    write_instance(4, 2, cost, cost, 100.0f);
}

// Medians 0 and 2; client 1 at median 0, client 3 at median 2.
static const char *GOOD_SOLUTION =
    "      0      1       1.25\n"
    "      2      3       1.12\n"
    "9999999\n"
    "2\n"
    "    0    2\n";

TEST_F(ToolTest, CheckAcceptsAValidSolutionAndRecomputesItsCost) {
    write_check_instance();
    write_file("solucao.txt", GOOD_SOLUTION);
    RunResult r = check("");
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("cost 2.38\n"));  // 1.25 + 1.125 in double
    EXPECT_THAT(r.out, ::testing::Not(HasSubstr("gap")));

    r = check(". --optimal 2");
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("gap 18.7500 % to optimal 2.00"));

    // Status 3: a run that a limit stopped with its best solution.
    std::string stopped = GOOD_SOLUTION;
    stopped.replace(stopped.find("9999999\n2\n"), 10, "9999999\n3\n");
    write_file("solucao.txt", stopped);
    r = check("");
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("status 3 (stopped by a limit)\n"));
    write_file("solucao.txt", GOOD_SOLUTION);

    // The folder may be given, and clusters may come in any order.
    shell("mkdir sub && cp pmeddata.dat sub/");
    write_file("sub/solucao.txt", "      2      3       1.12\n      0      1       1.25\n9999999\n1\n    2    0\n");
    r = check("sub");
    EXPECT_EQ(r.exit_status, 0) << r.err;

    // A byte-order mark before either file is skipped.
    write_file("sub/pmeddata.dat", "\xEF\xBB\xBF" + read_file("pmeddata.dat"));
    write_file("sub/solucao.txt", "\xEF\xBB\xBF" + read_file("solucao.txt"));
    r = check("sub");
    EXPECT_EQ(r.exit_status, 0) << r.err;
}

TEST_F(ToolTest, CheckNamesTheFirstViolation) {
    struct Case {
        const char *name;
        const char *solution;  // nullptr: no solution file
        const char *message;
    };
    const Case cases[] = {
        {"client twice", "0 1 1.25\n2 3 1.12\n0 3 7.00\n9999999\n2\n0 2\n", "line 3: client 3 assigned twice (also on line 2)"},
        {"missing client", "0 1 1.25\n9999999\n2\n0 2\n", "client 3 is not assigned"},
        {"wrong cost", "0 1 1.25\n2 3 1.13\n9999999\n2\n0 2\n",
         "line 2: cost 1.13 for client 3 at median 2, the instance gives 1.12"},
        {"cost of the other direction", "0 1 1.25\n2 3 0.50\n9999999\n2\n0 2\n", "the instance gives 1.12"},
        {"median as client", "0 1 1.25\n0 2 2.50\n2 3 1.12\n9999999\n2\n0 2\n", "line 2: median 2 is assigned as a client"},
        {"duplicated medians", "0 1 1.25\n0 3 7.00\n9999999\n2\n0 0\n", "line 5: median 0 listed twice"},
        {"client at a non-median", "0 1 1.25\n1 3 8.00\n9999999\n2\n0 2\n", "line 2: vertex 1 is not a median"},
        {"too few medians", "0 1 1.25\n0 3 7.00\n9999999\n2\n0\n", "1 medians listed, p = 2"},
        {"median out of range", "0 1 1.25\n9999999\n2\n0 4\n", "median \"4\" is not a vertex 0..3"},
        {"client out of range", "0 1 1.25\n0 4 1.00\n9999999\n2\n0 2\n", "client 4 is not a vertex 0..3"},
        {"no end marker", "0 1 1.25\n2 3 1.12\n", "no end marker 9999999"},
        {"no medians line", "0 1 1.25\n2 3 1.12\n9999999\n2\n", "no medians line"},
        {"status beyond 3", "0 1 1.25\n2 3 1.12\n9999999\n4\n0 2\n", "status 0, 1, 2 or 3 expected"},
        {"garbled line", "0 1\n9999999\n2\n0 2\n", "line 1: \"median client cost\" expected"},
        {"text after medians", "0 1 1.25\n2 3 1.12\n9999999\n2\n0 2\n5\n", "line 6: unexpected text"},
    };
    write_check_instance();
    for (const Case &t : cases) {
        SCOPED_TRACE(t.name);
        unlink("solucao.txt");
        if (t.solution) write_file("solucao.txt", t.solution);
        RunResult r = check("");
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_THAT(r.err, HasSubstr(t.message));
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(ToolTest, CheckRejectsAnUnreadableInstanceOrCommandLine) {
    struct Case {
        const char *name;
        const char *instance;  // pmeddata.dat; nullptr: none
        const char *arguments;
        const char *message;
    };
    const Case cases[] = {
        {"no instance", nullptr, "", "cannot open ./pmeddata.dat"},
        {"no solution file", "2 1\n1 1\n", "", "cannot open ./solucao.txt"},
        {"short instance", "3 1\n1 2 3 4 5\n", "", "only 5 of 6 costs readable"},
        {"header beyond the file", "100000 4\n1 2 3\n", "", "only 3 of 9999900000 costs readable"},
        {"bad sizes", "3 4\n1 2 3 4 5 6\n", "", "bad sizes n = 3, p = 4"},
        {"bad optimal", "2 1\n1 1\n", "--optimal x", "--optimal must be a positive number"},
        {"two folders", "2 1\n1 1\n", "a b", "unexpected argument b"},
    };
    for (const Case &t : cases) {
        SCOPED_TRACE(t.name);
        unlink("pmeddata.dat");
        if (t.instance) write_file("pmeddata.dat", t.instance);
        unlink("solucao.txt");
        if (std::string(t.name) != "no solution file") write_file("solucao.txt", "9999999\n1\n    0\n");
        RunResult r = check(t.arguments);
        EXPECT_EQ(r.exit_status, 2);
        EXPECT_THAT(r.err, HasSubstr(t.message));
    }
}

// ---- end to end -----------------------------------------------------------------

// Two paths 1-2-3 and 4-5-6 of unit edges joined by a long edge 3-4: with
// p = 2 the best medians are 2 and 5, at cost 4.
TEST_F(ToolTest, ConvertSolveAndCheckATinyGraph) {
    write_file("graph.txt", "6 6 2\n1 2 5\n2 3 1\n3 4 10\n4 5 1\n5 6 1\n1 2 1\n");
    RunResult r = convert("orlib graph.txt --out run");
    ASSERT_EQ(r.exit_status, 0) << r.err;

    RunResult solved = run_program(scratch.path() + "/run");
    ASSERT_EQ(solved.exit_status, 1) << solved.out;  // the solver's normal status
    size_t at = solved.out.find("UB ....");
    ASSERT_NE(at, std::string::npos) << solved.out;
    double ub = atof(solved.out.substr(solved.out.find_first_of("0123456789", at)).c_str());

    RunResult checked = run_program(scratch.path(), PMEDIAN_CHECK, 60, "run --optimal 4");
    EXPECT_EQ(checked.exit_status, 0) << checked.err;
    char expected[64];
    snprintf(expected, sizeof expected, "cost %.2f\n", ub);
    EXPECT_THAT(checked.out, HasSubstr(expected));
    EXPECT_THAT(checked.out, HasSubstr("cost 4.00\ngap 0.0000 %"));
}

// ---- benchmark script -------------------------------------------------------------

// A set of two OR-Library-format instances, one of them broken: the good one
// is solved, checked and tabled, the broken one recorded, and the run ends
// with a failure status after writing the table.  It runs through make, as a
// user starts it, with a blank in every folder name it is given.
TEST_F(ToolTest, BenchTablesSolvedInstancesAndRecordsFailures) {
    shell("mkdir 'set dir' 'bin dir'");
    for (const char *program : {"pmedian", "pmedian-convert", "pmedian-check"})
        shell("ln -s '" + std::string(PMEDIAN_BIN_DIR) + "/" + program + "' 'bin dir/'");
    write_file("set dir/pmed1.txt", "6 6 2\n1 2 5\n2 3 1\n3 4 10\n4 5 1\n5 6 1\n1 2 1\n");
    write_file("set dir/pmed2.txt", "4 3 2\n1 2 1\n");
    write_file("set dir/optimal.csv", "name,n,p,optimal\npmed2,4,2,10\npmed1,6,2,4\n");
    std::string script = PMEDIAN_BENCH_SCRIPT, here = scratch.path();
    std::string source = script.substr(0, script.rfind("/bench/"));
    // The programs are in place already: make is told not to build them nor
    // to look for gnuplot, and not to join a make that runs the tests.
    RunResult r = run_program(here, "env", 120,
                              "-u MAKEFLAGS -u MFLAGS -u MAKELEVEL make -s -C '" + source +
                                  "' -o build -o bench-plot-tool bench-orlib 'BUILD_DIR=" + here +
                                  "/bin dir' 'ORLIB_DIR=" + here + "/set dir' 'ORLIB_RESULTS=" + here +
                                  "/results dir' BENCH_TIMEOUT=60");
    EXPECT_EQ(r.exit_status, 2) << r.out << r.err;  // make's status for a failed recipe
    std::string table = read_file("results dir/orlib.md");
    EXPECT_THAT(table, HasSubstr("| pmed1 | 6 | 2 | 4 | 4.00 |"));
    EXPECT_THAT(table, HasSubstr("| 0.000 |"));  // UB gap of pmed1
    EXPECT_THAT(table, HasSubstr("| ok |"));
    EXPECT_THAT(table, HasSubstr("| pmed2 | 4 | 2 | 10 | – |"));
    EXPECT_THAT(table, HasSubstr("conversion failed: "));
    EXPECT_THAT(table, HasSubstr("edge list ends after 1 of 3 edges"));
    EXPECT_THAT(table, HasSubstr("1 of 2 instances solved and checked."));
    EXPECT_LT(table.find("| pmed1 |"), table.find("| pmed2 |"));  // in the order of their numbers
    EXPECT_TRUE(file_exists("bin dir/bench-orlib/pmed1/solucao.txt"));
    EXPECT_FALSE(file_exists("bin dir/bench-orlib/pmed1/pmeddata.dat"));  // removed after the successful check
}

// What each benchmark target hands its script, from a checkout whose build
// and instance folders have blanks in their names: make prints the recipes
// (-n), and a shell runs them with python3 standing for a function that
// prints each argument it gets in brackets.  Every path must arrive whole,
// and a full run must write its tables into the build folder, not into the
// committed bench/results.
TEST_F(ToolTest, BenchTargetsHandEveryPathWhole) {
    std::string script = PMEDIAN_BENCH_SCRIPT, here = scratch.path();
    std::string source = script.substr(0, script.rfind("/bench/"));
    std::string bin = here + "/bin dir", set = here + "/set dir";
    struct Case {
        const char *target;
        std::vector<std::string> arguments;
    } cases[] = {
        {"bench-orlib", {set + "/orlib", bin, bin + "/bench-orlib", bin + "/bench-results"}},
        {"bench-tsplib", {set + "/tsplib", bin, bin + "/bench-results"}},
        {"bench-exact", {set + "/orlib", set + "/tsplib", bin, bin + "/bench-exact", "cbc glpk", "pmed1 pmed16"}},
        {"bench-scaling", {bin, set + "/tsplib", bin + "/bench-results"}},
        {"bench", {bin, set + "/orlib", bin + "/bench-results"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.target);
        write_file("recipes.sh", "{ echo 'python3() { for a in \"$@\"; do printf \"[%s]\\\\n\" \"$a\"; done; }'\n"
                                 "env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL make -s -n -C '" + source +
                                     "' -o build -o bench-plot-tool " + c.target + " 'BUILD_DIR=" +
                                     bin + "' 'INSTANCES_DIR=" + set +
                                     "' 'EXACT_INSTANCES=pmed1 pmed16'; } | sh\n");
        RunResult r = run_program(here, "sh", 60, "recipes.sh");
        ASSERT_EQ(r.exit_status, 0) << r.out << r.err;
        for (const std::string &argument : c.arguments) EXPECT_THAT(r.out, HasSubstr("[" + argument + "]\n"));
    }
}

// Every tool answers --help with its usage on standard output and status 0,
// in one layout: a "usage: NAME" line, then one row per argument indented
// by two blanks, every description starting in one column; --version with
// its name and the project's version; and a wrong command line with a
// message on standard error that starts with its name, and status 2.
TEST_F(ToolTest, EveryToolAnswersHelpVersionAndAWrongCommandLine) {
    struct Tool {
        std::string name, program;
        const char *arguments;  // a command line that is right but for one unknown option
    };
    std::vector<Tool> tools = {
        {"pmedian-convert", PMEDIAN_CONVERT, "orlib in.txt --no-such-option"},
        {"pmedian-check", PMEDIAN_CHECK, ". --no-such-option"},
        {"pmedian-export", PMEDIAN_EXPORT, ". --no-such-option"},
        {"pmedian-plot", PMEDIAN_PLOT, ". --no-such-option"},
        {"pmedian-sweep", PMEDIAN_SWEEP, ". --p 2 --no-such-option"},
        {"pmedian-solve", PMEDIAN_SOLVE, ". --no-such-option"},
    };
#ifdef PMEDIAN_EXACT
    tools.push_back({"pmedian-exact", PMEDIAN_EXACT, ". --no-such-option"});
#endif
    for (const auto &[name, program, arguments] : tools) {
        SCOPED_TRACE(name);
        RunResult help = run_program(scratch.path(), program, 60, "--help");
        EXPECT_EQ(help.exit_status, 0) << help.err;
        EXPECT_EQ(help.err, "");
        EXPECT_EQ(help.out.rfind("usage: " + name + " ", 0), 0u) << help.out;
        // The rows: up to the first blank line.  A row's description starts
        // after its label and two blanks or more; a continued description
        // after blanks alone.
        std::string rows = help.out.substr(help.out.find('\n') + 1);
        if (rows.find("\n\n") != std::string::npos) rows = rows.substr(0, rows.find("\n\n") + 1);
        size_t column = std::string::npos, count = 0;
        for (size_t at = 0, end; (end = rows.find('\n', at)) != std::string::npos; at = end + 1, ++count) {
            std::string row = rows.substr(at, end - at);
            ASSERT_EQ(row.rfind("  ", 0), 0u) << row;
            size_t gap = row.find("  ", 2), text = row.find_first_not_of(' ', row.find_first_not_of(' ') == 2 ? gap : 0);
            if (gap == std::string::npos || text == std::string::npos) continue;  // a label alone on its row
            if (column == std::string::npos) column = text;
            EXPECT_EQ(text, column) << row;
        }
        EXPECT_GE(count, 2u) << help.out;

        RunResult version = run_program(scratch.path(), program, 60, "--version");
        EXPECT_EQ(version.exit_status, 0) << version.err;
        EXPECT_EQ(version.out, name + " " + PMEDIAN_VERSION + "\n");

        RunResult wrong = run_program(scratch.path(), program, 60, arguments);
        EXPECT_EQ(wrong.exit_status, 2);
        EXPECT_EQ(wrong.out, "");
        EXPECT_EQ(wrong.err.rfind(name + ": ", 0), 0u) << wrong.err;
        EXPECT_THAT(wrong.err, HasSubstr("--no-such-option"));
    }
}
