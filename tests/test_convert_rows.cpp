// test_convert_rows.cpp - pmedian-convert computes, checks and writes its
// matrices a row at a time.  Its files, and the message of a refused input,
// must be byte for byte what the straightforward algorithm gives: the whole
// matrix computed first, then the weighted costs, the radius from the
// sorted upper triangle and the two texts.  That algorithm is kept here as
// the reference, and both run on random inputs of every format and option.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <random>

#include "geometry.h"
#include "support.h"

namespace {

// The shortest text of a float or a double.
template <class Real>
std::string text_of(Real v) {
    char buffer[32];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
}

// One conversion: the input files, the command line, and the reference's
// whole matrix (or the message that refuses the input).
struct Conversion {
    std::string input, weights_file, arguments;
    int n = 0;
    long long p = 1;
    std::vector<float> matrix, weights;
    std::vector<int> weight_line;
    std::string weights_source = "in.txt";
    std::string error;
    double quantile = -1;  // < 0: none
    float radius = -1;     // < 0: none
};

// ---- the reference ---------------------------------------------------------

// The first message counts.
void refuse(Conversion &c, const char *pattern, ...) __attribute__((format(printf, 2, 3)));
void refuse(Conversion &c, const char *pattern, ...) {
    va_list arguments;
    va_start(arguments, pattern);
    char message[512];
    vsnprintf(message, sizeof message, pattern, arguments);
    va_end(arguments);
    if (c.error.empty()) c.error = message;
}

// Great-circle kilometres as the converter has always computed them.
double haversine(double lon1, double lat1, double lon2, double lat2) {
    const double radians = M_PI / 180.0;
    double phi1 = lat1 * radians, phi2 = lat2 * radians;
    double half_dphi = (lat2 - lat1) * radians / 2.0, half_dlambda = (lon2 - lon1) * radians / 2.0;
    double h = std::sin(half_dphi) * std::sin(half_dphi) +
               std::cos(phi1) * std::cos(phi2) * std::sin(half_dlambda) * std::sin(half_dlambda);
    return 2.0 * EARTH_RADIUS_KM * std::asin(std::sqrt(std::min(h, 1.0)));
}

// Costs weighted by demand, as a whole matrix.
std::vector<float> weighted(Conversion &c) {
    std::vector<float> cost(c.matrix.size());
    for (int i = 0; i < c.n; ++i)
        for (int j = 0; j < c.n; ++j) {
            float d = c.matrix[(size_t)i * c.n + j], w = c.weights[j];
            float &entry = cost[(size_t)i * c.n + j];
            entry = i == j ? 0.0f : std::isinf(d) ? d : (float)((double)w * (double)d);
            if (i != j && !std::isinf(d) && std::isinf(entry)) {
                refuse(c, "%s: line %d: weight %g of vertex %d times its distance %g from vertex %d is beyond the "
                          "float range",
                       c.weights_source.c_str(), c.weight_line[j], (double)w, j, (double)d, i);
                return {};
            }
        }
    return cost;
}

float reference_radius(const Conversion &c) {
    if (c.radius >= 0) return c.radius;
    std::vector<float> upper;
    for (int i = 0; i < c.n; ++i)
        for (int j = i + 1; j < c.n; ++j) upper.push_back(c.matrix[(size_t)i * c.n + j]);
    if (upper.empty()) return 0.0f;
    if (c.quantile >= 0) {
        std::sort(upper.begin(), upper.end());
        return upper[(size_t)std::floor(c.quantile * (double)(upper.size() - 1))];
    }
    float largest = *std::max_element(upper.begin(), upper.end());
    if (c.n < 700) return largest;
    float r = (float)((double)largest / (double)0.8f);
    while ((double)0.8f * (double)r < (double)largest) r = std::nextafter(r, INFINITY);
    while (r > 0.0f && (double)0.8f * (double)std::nextafter(r, 0.0f) >= (double)largest)
        r = std::nextafter(r, 0.0f);
    return r;
}

// What the converter writes: pmeddata.dat and pmedmtrx.dat, or its message.
struct Output {
    std::string error, data, mtrx;
};

Output reference_output(Conversion c) {
    std::vector<float> cost = c.weights.empty() || !c.error.empty() ? c.matrix : weighted(c);
    if (!c.error.empty()) return {"pmedian-convert: " + c.error + "\n", "", ""};
    std::string data = std::to_string(c.n) + " " + std::to_string(c.p) + "\n";
    std::string mtrx = std::to_string(c.n) + " " + std::to_string(c.p) + " " + text_of(reference_radius(c)) + "\n";
    for (int i = 0; i < c.n; ++i) {
        std::string line, upper;
        for (int j = 0; j < c.n; ++j)
            if (j != i) line += (line.empty() ? "" : " ") + text_of(cost[(size_t)i * c.n + j]);
        for (int j = i + 1; j < c.n; ++j) upper += (upper.empty() ? "" : " ") + text_of(c.matrix[(size_t)i * c.n + j]);
        if (c.n > 1) data += line + "\n";
        if (i + 1 < c.n) mtrx += upper + "\n";
    }
    return {"", data, mtrx};
}

// Where two texts first differ, or "" when they are the same.
std::string difference(const std::string &got, const std::string &expected) {
    size_t k = std::mismatch(got.begin(), got.begin() + std::min(got.size(), expected.size()), expected.begin()).first -
               got.begin();
    if (k == got.size() && k == expected.size()) return "";
    size_t from = k < 40 ? 0 : k - 40;
    return "at byte " + std::to_string(k) + ": \"" + got.substr(from, 80) + "\" instead of \"" +
           expected.substr(from, 80) + "\"";
}

// ---- random inputs ---------------------------------------------------------

struct Random {
    std::mt19937_64 engine;
    explicit Random(unsigned seed) : engine(seed) {}
    int below(int k) { return (int)(engine() % (unsigned)k); }
    double uniform(double low, double high) { return std::uniform_real_distribution<double>(low, high)(engine); }
    template <class T> const T &pick(const std::vector<T> &values) { return values[below((int)values.size())]; }
};

// Coordinates on a grid of the scale (ties and whole distances) or spread
// over it; the largest scales put some distances beyond the float range.
double coordinate(Random &random, double scale, bool grid) {
    return grid ? scale * (random.below(5) - 2) / 2 : random.uniform(-scale, scale);
}

// Demand weights, from the point table's column or from a weights file.
void add_weights(Conversion &c, Random &random, bool in_table) {
    double scale = random.pick<double>({1.0, 1e3, 1e30});
    for (int i = 0; i < c.n; ++i) c.weights.push_back((float)random.uniform(0, scale) * (random.below(8) > 0));
    if (in_table) return;
    c.weights_source = "w.txt";
    c.arguments += " --weights w.txt";
    for (int i = 0; i < c.n; ++i) {
        c.weights_file += text_of(c.weights[i]) + "\n";
        c.weight_line.push_back(i + 1);
    }
}

Conversion tsplib_case(Random &random, int n) {
    Conversion c;
    c.n = n;
    const std::string type = random.pick<std::string>({"EUC_2D", "GEO", "ATT"});
    const std::string round = type == "EUC_2D" ? random.pick<std::string>({"none", "nint", "floor"}) : "none";
    double scale = type == "GEO" ? 90.0 : random.pick<double>({1.0, 1e3, 1e-3, 1e37, 1.2e38, 2e38});
    bool grid = random.below(3) == 0;
    std::vector<double> x(n), y(n);
    c.input = "NAME : t\nTYPE : TSP\nDIMENSION : " + std::to_string(n) + "\nEDGE_WEIGHT_TYPE : " + type +
              "\nNODE_COORD_SECTION\n";
    for (int i = 0; i < n; ++i) {
        x[i] = coordinate(random, scale, grid);
        y[i] = coordinate(random, type == "GEO" ? 2 * scale : scale, grid);
        c.input += std::to_string(i + 1) + " " + text_of(x[i]) + " " + text_of(y[i]) + "\n";
    }
    c.input += "EOF\n";
    c.arguments = "tsplib in.txt --round " + round;
    c.matrix.resize((size_t)n * n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            double d = i == j            ? 0.0
                       : type == "GEO"   ? tsplib_geo_distance(x[i], y[i], x[j], y[j])
                       : type == "ATT"   ? tsplib_att_distance(x[i], y[i], x[j], y[j])
                                         : euclid_distance(x[i], y[i], x[j], y[j]);
            if (round == "nint") d = std::trunc(d + 0.5);
            else if (round == "floor") d = std::floor(d);
            c.matrix[(size_t)i * n + j] = (float)d;
            if (std::isinf((float)d))
                refuse(c, "in.txt: the distance %g between nodes %d and %d is beyond the float range", d, i + 1, j + 1);
        }
    if (random.below(3) == 0) add_weights(c, random, false);
    return c;
}

Conversion points_case(Random &random, int n) {
    Conversion c;
    c.n = n;
    bool sphere = random.below(2) == 0, weight_column = random.below(3) == 0;
    double scale = sphere ? 90.0 : random.pick<double>({1.0, 1e6, 1e-3, 1.2e38, 2e38});
    bool grid = random.below(3) == 0;
    c.arguments = "points in.txt";
    if (weight_column) {
        add_weights(c, random, true);
        c.arguments += " --weight w";
    }
    c.input = std::string(sphere ? "lon,lat" : "x,y") + (weight_column ? ",w\n" : "\n");
    std::vector<double> x(n), y(n);
    for (int i = 0; i < n; ++i) {
        x[i] = coordinate(random, sphere ? 2 * scale : scale, grid);
        y[i] = coordinate(random, scale, grid);
        c.input += text_of(x[i]) + "," + text_of(y[i]) + (weight_column ? "," + text_of(c.weights[i]) : "") + "\n";
        if (weight_column) c.weight_line.push_back(i + 2);
    }
    c.matrix.assign((size_t)n * n, 0.0f);
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j) {
            double v = sphere ? haversine(x[i], y[i], x[j], y[j]) : euclid_distance(x[i], y[i], x[j], y[j]);
            c.matrix[(size_t)i * n + j] = c.matrix[(size_t)j * n + i] = (float)v;
            if (std::isinf((float)v))
                refuse(c, "the distance %g between vertices %d and %d is beyond the float range", v, i, j);
        }
    if (!weight_column && random.below(3) == 0) add_weights(c, random, false);
    return c;
}

// An asymmetric matrix with some pairs that cannot be served ("inf"), in
// the text layouts that the reader takes line by line: blanks or commas,
// "\r\n" line ends, a byte-order mark, a header of column names, blank lines
// and a last line without its end.
Conversion matrix_case(Random &random, int n) {
    Conversion c;
    c.n = n;
    c.arguments = "matrix in.txt";
    double scale = random.pick<double>({10.0, 1e30});
    std::string separator = random.pick<std::string>({" ", ",", " , ", "\t"});
    std::string end = random.below(3) ? "\n" : "\r\n";
    if (random.below(4) == 0) c.input += "\xEF\xBB\xBF";
    if (random.below(3) == 0) c.input += "from" + separator + "to" + end;
    c.matrix.resize((size_t)n * n);
    for (int i = 0; i < n; ++i) {
        if (random.below(8) == 0) c.input += end;
        for (int j = 0; j < n; ++j) {
            float v = random.below(10) == 0 ? INFINITY
                      : random.below(2)     ? (float)random.below(4)
                                            : (float)random.uniform(0, scale);
            c.input += (j ? separator : "") + (std::isinf(v) ? std::string("inf") : text_of(v));
            c.matrix[(size_t)i * n + j] = i == j ? 0.0f : v;
        }
        if (i + 1 < n || random.below(2)) c.input += end;
    }
    if (random.below(2) == 0) add_weights(c, random, false);
    return c;
}

// The n x n matrices of the generator stay small but for a few cases that
// cross 700 vertices, where the default radius changes its rule.
Conversion random_case(Random &random, int number) {
    int n = number % 100 == 99 ? 700 + random.below(3) : 1 + random.below(random.below(4) == 0 ? 3 : 40);
    int format = random.below(3);
    Conversion c = format == 0 ? tsplib_case(random, n) : format == 1 ? points_case(random, n) : matrix_case(random, n);
    c.p = 1 + random.below(n);
    c.arguments += " --p " + std::to_string(c.p);
    int radius = random.below(3);
    if (radius == 1) {
        c.quantile = random.pick<double>({0.0, 1.0, random.uniform(0, 1)});
        c.arguments += " --radius-quantile " + text_of(c.quantile);
    } else if (radius == 2) {
        c.radius = (float)random.uniform(0, 100);
        c.arguments += " --radius " + text_of(c.radius);
    }
    return c;
}

TEST(ConvertRows, FilesAndMessagesMatchTheWholeMatrixAlgorithm) {
    ScratchDir scratch;
    int refused = 0, weighted_count = 0;
    for (int number = 0; number < 400; ++number) {
        Random random(1000 + number);
        Conversion c = random_case(random, number);
        SCOPED_TRACE("case " + std::to_string(number) + ": pmedian-convert " + c.arguments);
        write_file("in.txt", c.input);
        write_file("w.txt", c.weights_file);
        Output expected = reference_output(c);
        refused += !expected.error.empty();
        weighted_count += !c.weights.empty();
        RunResult r = run_program(scratch.path(), PMEDIAN_CONVERT, 60, c.arguments + " --out out");
        ASSERT_EQ(r.err, expected.error);
        ASSERT_EQ(r.exit_status, expected.error.empty() ? 0 : 1);
        if (!expected.error.empty()) continue;
        ASSERT_EQ(difference(read_file("out/pmeddata.dat"), expected.data), "");
        ASSERT_EQ(difference(read_file("out/pmedmtrx.dat"), expected.mtrx), "");
    }
    // The generator reaches both outcomes and both kinds of costs.
    EXPECT_GT(refused, 10);
    EXPECT_LT(refused, 200);
    EXPECT_GT(weighted_count, 50);
}

}  // namespace
