// convert.cpp - pmedian-convert: writes the solver's instance files
// "pmeddata.dat" and "pmedmtrx.dat" from an OR-Library p-median graph, a
// TSPLIB coordinate file (EUC_2D, GEO or ATT), a plain n x n matrix or a
// table of points.
//
// Every format gives one n x n matrix that serves both as the cost matrix and
// as the distance matrix; demand weights, when given, multiply each client's
// column of the costs and leave the distances as they are.  What the tools
// after the solver need about the vertices (names, coordinates, weights) goes
// into the side file "pmedvertices.csv".  The values are kept as the 32-bit floats that the
// solver will hold, and each is written in the shortest text that its "%f"
// read turns back into exactly that float.  The input is read and checked
// completely before anything is written; both files are written under
// temporary names and renamed only when both are complete, so a bad input or
// a failed write leaves the target folder as it was.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "geometry.h"
#include "output_files.h"
#include "points.h"
#include "side_file.h"
#include "text_input.h"
#include "tool_error.h"

// Sizes beyond this would need tens of gigabytes in the solver anyway.
static const int MAX_VERTICES = 100000;

static const char *USAGE =
    "usage: pmedian-convert FORMAT FILE [options]\n"
    "  FORMAT   orlib | tsplib | matrix | points\n"
    "  --p P                 number of medians (required but for orlib)\n"
    "  --round MODE          tsplib EUC_2D distances: none (default), nint or floor\n"
    "  --metric M            points: euclid (default for x, y) or haversine\n"
    "                        (great-circle km, default for lon, lat)\n"
    "  --weight COLUMN       points: the column of the demand weights\n"
    "  --id COLUMN           points: the column of the names of the points\n"
    "  --weights FILE        demand weights, one per vertex and line\n"
    "  --radius R            interchange radius written to pmedmtrx.dat\n"
    "  --radius-quantile Q   radius = the Q-quantile (0..1) of the distances\n"
    "  --out DIR             target folder, created when missing (default .)\n";

// Bad input or a failed write: thrown, and reported by convert_main on
// standard error with status 1.
[[noreturn]] static void fail(const char *format, ...) {
    va_list args;
    va_start(args, format);
    char message[4096];
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    throw ToolError(message);
}

// A wrong command line: the message and the usage, status 2.
[[noreturn]] static void usage_error(const char *message, const std::string &what) {
    fprintf(stderr, "pmedian-convert: %s%s\n%s", message, what.c_str(), USAGE);
    exit(2);
}

struct Options {
    std::string format;       // orlib, tsplib, matrix or points
    std::string input;        // path of the input file
    std::string out = ".";    // target folder
    std::string round = "none";
    int p = 0;                // 0: not given
    bool has_radius = false;
    float radius = 0.0f;
    bool has_quantile = false;
    double quantile = 0.0;
    std::string weights_file;  // --weights; "": none
    PointOptions points;       // --weight, --id, --metric
};

// The converted instance: dist[i * n + j] = matrix[i * n + j], zero
// diagonal, and the costs the same unless weights gave their own.
struct Instance {
    int n = 0;
    long long p = -1;  // -1: the file gives none
    std::vector<float> matrix;
    std::vector<float> cost;  // weighted costs; empty: the matrix
    VertexInfo info;          // for the side file
};

// ---- small parsing helpers ---------------------------------------------------

static bool parse_int(const std::string &text, long long &value) {
    if (text.empty()) return false;
    char *end = nullptr;
    errno = 0;
    value = strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

static bool parse_double(const std::string &text, double &value) {
    if (text.empty()) return false;
    char *end = nullptr;
    errno = 0;
    value = strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(value);
}

// strtof is what the solver's "%f" read uses, so a matrix entry keeps the
// float that the solver would have read from the same text.
static bool parse_float(const std::string &text, float &value) {
    if (text.empty()) return false;
    char *end = nullptr;
    errno = 0;
    value = strtof(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(value);
}

static std::string read_whole_file(const std::string &path) { return read_text_file(path); }

// Splits text into lines (without the line ends, "\r" removed).
static std::vector<std::string> split_lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// Splits a line into fields separated by white space.
static std::vector<std::string> split_fields(const std::string &line) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : line) {
        if (c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r') {
            if (!field.empty()) fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    if (!field.empty()) fields.push_back(field);
    return fields;
}

static std::string trim(const std::string &s) {
    size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

static std::string upper_case(std::string s) {
    for (char &c : s) c = (char)toupper((unsigned char)c);
    return s;
}

static void check_size(long long n, const std::string &path) {
    if (n < 1 || n > MAX_VERTICES)
        fail("%s: number of vertices %lld outside 1..%d", path.c_str(), n, MAX_VERTICES);
}

// ---- OR-Library graphs -------------------------------------------------------

// First line "n m p", then m edges "i j cost", 1-based and undirected.  An
// edge listed again replaces the earlier cost (the last one counts, even when
// it is larger).  Costs are all-pairs shortest paths by Floyd-Warshall,
// summed in double so that integer costs stay exact.
static Instance read_orlib(const std::string &path) {
    std::vector<std::string> lines = split_lines(read_whole_file(path));

    // Every number with the line it stands on, for the messages.
    std::vector<std::string> tokens;
    std::vector<int> token_line;
    for (size_t l = 0; l < lines.size(); ++l)
        for (const std::string &field : split_fields(lines[l])) {
            tokens.push_back(field);
            token_line.push_back((int)l + 1);
        }
    if (tokens.size() < 3) fail("%s: missing header \"n edges p\"", path.c_str());
    long long header[3];
    for (int k = 0; k < 3; ++k)
        if (!parse_int(tokens[k], header[k]))
            fail("%s: header \"n edges p\" expected, found \"%s\"", path.c_str(), tokens[k].c_str());
    long long n = header[0], edges = header[1];
    check_size(n, path);
    if (edges < 0) fail("%s: negative number of edges %lld", path.c_str(), edges);
    // A short file must not make the n x n table below gigabytes large:
    // the edges it lacks, and too few edges to connect a large graph, are
    // reported before the table is made.
    if ((long long)(tokens.size() - 3) / 3 < edges)
        fail("%s: edge list ends after %lld of %lld edges", path.c_str(), (long long)(tokens.size() - 3) / 3, edges);
    if (n > 2048 && edges < n - 1)
        fail("%s: graph is not connected: %lld edges cannot connect %lld vertices", path.c_str(), edges, n);

    const double none = std::numeric_limits<double>::infinity();
    std::vector<double> d((size_t)n * n, none);
    for (long long i = 0; i < n; ++i) d[i * n + i] = 0.0;

    size_t next = 3;
    for (long long e = 0; e < edges; ++e) {
        if (next + 3 > tokens.size())
            fail("%s: edge list ends after %lld of %lld edges", path.c_str(), e, edges);
        int line = token_line[next];
        long long i, j;
        double c;
        if (!parse_int(tokens[next], i) || !parse_int(tokens[next + 1], j))
            fail("%s: line %d: vertex numbers expected, found \"%s %s\"", path.c_str(), line,
                 tokens[next].c_str(), tokens[next + 1].c_str());
        if (!parse_double(tokens[next + 2], c))
            fail("%s: line %d: edge cost expected, found \"%s\"", path.c_str(), line,
                 tokens[next + 2].c_str());
        if (i < 1 || i > n || j < 1 || j > n)
            fail("%s: line %d: vertex out of range 1..%lld in edge %lld %lld", path.c_str(), line, n,
                 i, j);
        if (c < 0) fail("%s: line %d: negative edge cost %s", path.c_str(), line, tokens[next + 2].c_str());
        next += 3;
        if (i == j) continue;  // a loop never shortens a path
        d[(i - 1) * n + (j - 1)] = c;
        d[(j - 1) * n + (i - 1)] = c;
    }
    if (next < tokens.size())
        fail("%s: line %d: more data after the %lld edges of the header", path.c_str(),
             token_line[next], edges);

    for (long long k = 0; k < n; ++k) {
        const double *row_k = &d[k * n];
        for (long long i = 0; i < n; ++i) {
            double d_ik = d[i * n + k];
            if (d_ik == none) continue;
            double *row_i = &d[i * n];
            for (long long j = 0; j < n; ++j)
                if (d_ik + row_k[j] < row_i[j]) row_i[j] = d_ik + row_k[j];
        }
    }

    Instance inst;
    inst.n = (int)n;
    inst.p = header[2];
    inst.matrix.resize((size_t)n * n);
    for (long long i = 0; i < n; ++i)
        for (long long j = 0; j < n; ++j) {
            if (d[i * n + j] == none)
                fail("%s: graph is not connected: no path from vertex %lld to vertex %lld",
                     path.c_str(), i + 1, j + 1);
            inst.matrix[i * n + j] = (float)d[i * n + j];
        }
    return inst;
}

// ---- TSPLIB coordinate files ----------------------------------------------------

// Header lines "KEY : value" up to NODE_COORD_SECTION, then n lines "id x y".
// Keywords and the weight type are taken in any case, as TSPLIB readers
// commonly do.  EUC_2D: cost = distance = the Euclidean distance, in double,
// then rounded as asked ("nint" is TSPLIB's own rule, "floor" the one of the
// published rl1304 optima) and stored as a float.  GEO and ATT: TSPLIB's own
// whole-number distances (geometry.cpp), which no --round changes.  The
// coordinates (GEO ones in decimal degrees) and the node numbers are kept
// for the side file.
static Instance read_tsplib(const std::string &path, const std::string &round) {
    std::vector<std::string> lines = split_lines(read_whole_file(path));
    long long n = -1;
    std::string weight_type;
    size_t l = 0;
    bool in_section = false;
    for (; l < lines.size() && !in_section; ++l) {
        std::string line = trim(lines[l]);
        if (line.empty()) continue;
        size_t colon = line.find(':');
        std::string key = upper_case(trim(line.substr(0, colon)));
        std::string value = colon == std::string::npos ? "" : trim(line.substr(colon + 1));
        if (key == "NODE_COORD_SECTION") {
            in_section = true;
        } else if (key == "DIMENSION") {
            if (!parse_int(value, n)) fail("%s: line %zu: bad DIMENSION \"%s\"", path.c_str(), l + 1, value.c_str());
            check_size(n, path);
        } else if (key == "EDGE_WEIGHT_TYPE") {
            weight_type = upper_case(value);
        } else if (key == "EOF" || colon == std::string::npos) {
            fail("%s: line %zu: \"%s\" before NODE_COORD_SECTION", path.c_str(), l + 1, line.c_str());
        }
    }
    if (weight_type.empty()) fail("%s: no EDGE_WEIGHT_TYPE", path.c_str());
    if (weight_type != "EUC_2D" && weight_type != "GEO" && weight_type != "ATT")
        fail("%s: EDGE_WEIGHT_TYPE %s not supported (only EUC_2D, GEO and ATT)", path.c_str(), weight_type.c_str());
    if (weight_type != "EUC_2D" && round != "none")
        fail("%s: --round applies to EUC_2D files; %s distances follow TSPLIB's own rule", path.c_str(),
             weight_type.c_str());
    bool geo = weight_type == "GEO";
    if (n < 0) fail("%s: no DIMENSION", path.c_str());
    if (!in_section) fail("%s: no NODE_COORD_SECTION", path.c_str());

    std::vector<double> x(n), y(n);
    std::vector<bool> seen(n, false);
    long long read = 0;
    for (; l < lines.size() && read < n; ++l) {
        std::vector<std::string> fields = split_fields(lines[l]);
        if (fields.empty()) continue;
        if (upper_case(fields[0]) == "EOF") break;
        long long id;
        double xi, yi;
        if (fields.size() != 3 || !parse_int(fields[0], id) || !parse_double(fields[1], xi) ||
            !parse_double(fields[2], yi))
            fail("%s: line %zu: \"id x y\" expected, found \"%s\"", path.c_str(), l + 1, lines[l].c_str());
        if (id < 1 || id > n) fail("%s: line %zu: node id %lld outside 1..%lld", path.c_str(), l + 1, id, n);
        if (seen[id - 1]) fail("%s: line %zu: node %lld listed twice", path.c_str(), l + 1, id);
        if (geo && (std::fabs(xi) > 90.0 || std::fabs(yi) > 180.0))
            fail("%s: line %zu: GEO latitude %s, longitude %s: they lie within 90 and 180 degrees (DDD.MM)",
                 path.c_str(), l + 1, fields[1].c_str(), fields[2].c_str());
        seen[id - 1] = true;
        x[id - 1] = xi;
        y[id - 1] = yi;
        ++read;
    }
    if (read < n) fail("%s: NODE_COORD_SECTION ends after %lld of %lld nodes", path.c_str(), read, n);
    for (; l < lines.size(); ++l) {
        std::string line = trim(lines[l]);
        if (!line.empty() && upper_case(line) != "EOF")
            fail("%s: line %zu: unexpected \"%s\" after the %lld nodes", path.c_str(), l + 1, line.c_str(), n);
    }

    Instance inst;
    inst.n = (int)n;
    inst.matrix.resize((size_t)n * n);
    for (long long i = 0; i < n; ++i)
        for (long long j = 0; j < n; ++j) {
            double d = i == j               ? 0.0
                       : geo                ? tsplib_geo_distance(x[i], y[i], x[j], y[j])
                       : weight_type == "ATT" ? tsplib_att_distance(x[i], y[i], x[j], y[j])
                                            : euclid_distance(x[i], y[i], x[j], y[j]);
            if (round == "nint") d = (double)(long long)(d + 0.5);
            else if (round == "floor") d = std::floor(d);
            inst.matrix[i * n + j] = (float)d;
        }
    inst.info.has_coordinates = true;
    inst.info.geographic = geo;
    for (long long i = 0; i < n; ++i) {
        inst.info.ids.push_back(std::to_string(i + 1));
        inst.info.x.push_back(geo ? tsplib_geo_degrees(y[i]) : x[i]);  // GEO lists latitude first
        inst.info.y.push_back(geo ? tsplib_geo_degrees(x[i]) : y[i]);
    }
    return inst;
}

// ---- point tables --------------------------------------------------------------

// A table of points (points.cpp reads it): the distances under the metric
// serve as costs and distances, as for the other formats.
static Instance read_point_table(const std::string &path, PointOptions &options) {
    Instance inst;
    inst.info = read_points(path, options);
    check_size((long long)inst.info.x.size(), path);
    inst.n = (int)inst.info.x.size();
    inst.matrix = point_distances(inst.info, options.metric);
    return inst;
}

// ---- plain matrices ------------------------------------------------------------

// The cells of a matrix line: separated by white space, or by commas where
// the line has any (blanks around a comma do not count).  Between two commas,
// or before or after one, a cell with nothing in it is kept as "" so that it
// can be reported instead of shifting the rest of its row.
static std::vector<std::string> split_cells(const std::string &line) {
    if (line.find(',') == std::string::npos) return split_fields(line);
    std::vector<std::string> cells;
    size_t start = 0;
    for (;;) {
        size_t comma = line.find(',', start);
        std::vector<std::string> fields =
            split_fields(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (fields.empty()) cells.push_back("");
        cells.insert(cells.end(), fields.begin(), fields.end());
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return cells;
}

// Reads a whole cell as the solver's "%f" would read it (strtof), NaN
// excepted; overflow tells whether the number is beyond the float range.
static bool cell_number(const std::string &cell, float &value, bool &overflow) {
    char *end = nullptr;
    errno = 0;
    value = strtof(cell.c_str(), &end);
    overflow = errno == ERANGE && std::isinf(value);
    return !cell.empty() && *end == '\0' && !std::isnan(value);
}

// A matrix entry, with "inf" (any case) for a pair where no service is
// possible.  Returns "" when the cell is a usable value, or what is wrong
// with it.  Too small a magnitude reads as 0 or a subnormal float, as in the
// solver; too large a one is refused rather than taken as infinite.
static std::string matrix_value(const std::string &cell, float &value) {
    if (cell.empty()) return "empty cell";
    bool overflow;
    std::string quoted = "\"" + cell + "\"";
    if (!cell_number(cell, value, overflow)) {
        if (cell.find(';') != std::string::npos)
            return quoted + " is not a number (separate values by blanks or commas, not semicolons)";
        return quoted + " is not a number";
    }
    if (overflow) return quoted + " is beyond the float range (write inf for no service)";
    if (value < 0) return "negative value " + cell;
    return "";
}

// n lines of n numbers, separated by white space or commas; blank lines are
// skipped, and so is a first line without any number (a header of column
// names).  Every cell is checked before the shape, so a stray word or an
// empty cell is named where it stands.  The diagonal is not used (the
// solver's is always 0).  The matrix need not be symmetric: the costs are
// taken as given, the distances from its upper triangle.
static Instance read_matrix(const std::string &path) {
    std::vector<std::string> lines = split_lines(read_whole_file(path));
    std::vector<std::vector<float>> rows;
    std::vector<size_t> row_line;
    for (size_t l = 0; l < lines.size(); ++l) {
        std::vector<std::string> cells = split_cells(lines[l]);
        if (cells.empty()) continue;
        std::vector<float> values(cells.size());
        std::vector<std::string> problems(cells.size());
        bool any_number = false, overflow;
        for (size_t c = 0; c < cells.size(); ++c) {
            problems[c] = matrix_value(cells[c], values[c]);
            float number;
            any_number = any_number || cell_number(cells[c], number, overflow);
        }
        // The header; a line of semicolon-separated values is refused instead.
        if (rows.empty() && !any_number && lines[l].find(';') == std::string::npos) continue;
        for (size_t c = 0; c < cells.size(); ++c)
            if (!problems[c].empty())
                fail("%s: line %zu, column %zu: %s", path.c_str(), l + 1, c + 1, problems[c].c_str());
        rows.push_back(values);
        row_line.push_back(l + 1);
    }
    if (rows.empty()) fail("%s: no matrix rows", path.c_str());
    long long n = (long long)rows[0].size();
    check_size(n, path);
    for (size_t r = 0; r < rows.size(); ++r)
        if ((long long)rows[r].size() != n)
            fail("%s: line %zu: %zu values, but the first row has %lld", path.c_str(), row_line[r],
                 rows[r].size(), n);
    if ((long long)rows.size() != n)
        fail("%s: %zu rows of %lld values: the matrix must be square%s", path.c_str(), rows.size(), n,
             (long long)rows.size() == n + 1 ? " (is the first row a header of column numbers?)" : "");

    Instance inst;
    inst.n = (int)n;
    inst.matrix.resize((size_t)n * n);
    for (long long i = 0; i < n; ++i)
        for (long long j = 0; j < n; ++j) inst.matrix[i * n + j] = i == j ? 0.0f : rows[i][j];
    return inst;
}

// ---- radius -----------------------------------------------------------------------

// The distances the solver reads: the strict upper triangle.
static std::vector<float> upper_triangle(const Instance &inst) {
    std::vector<float> values;
    values.reserve((size_t)inst.n * (inst.n - 1) / 2);
    for (int i = 0; i < inst.n; ++i)
        for (int j = i + 1; j < inst.n; ++j) values.push_back(inst.matrix[(size_t)i * inst.n + j]);
    return values;
}

// The solver narrows the interchange to 0.8 times the radius from 700
// vertices on (the product taken exactly in double).  The default radius is
// the smallest float whose neighbourhood still holds the largest distance,
// so that every exchange is tried at any size.
static float full_radius(const Instance &inst) {
    std::vector<float> d = upper_triangle(inst);
    float largest = d.empty() ? 0.0f : *std::max_element(d.begin(), d.end());
    if (inst.n < 700) return largest;
    float r = (float)((double)largest / (double)0.8f);
    while ((double)0.8f * (double)r < (double)largest) r = std::nextafter(r, INFINITY);
    while (r > 0.0f) {
        float smaller = std::nextafter(r, 0.0f);
        if ((double)0.8f * (double)smaller < (double)largest) break;
        r = smaller;
    }
    return r;
}

// The Q-quantile of the distances: the value at position floor(Q (m - 1))
// of the m distances in ascending order (0 gives the smallest, 1 the largest).
static float quantile_radius(const Instance &inst, double q) {
    std::vector<float> d = upper_triangle(inst);
    if (d.empty()) return 0.0f;
    std::sort(d.begin(), d.end());
    size_t k = (size_t)std::floor(q * (double)(d.size() - 1));
    return d[k];
}

// ---- writing ------------------------------------------------------------------------

// Appends the shortest text that reads back as exactly v (integers stay
// plain integers, such as "299").
static void append_float(std::string &text, float v) {
    char buffer[32];
    std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, v);
    text.append(buffer, r.ptr);
}

static void append_int(std::string &text, long long v) {
    char buffer[32];
    std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, v);
    text.append(buffer, r.ptr);
}

// "n p", then one line per row with its n - 1 off-diagonal costs.
static std::string cost_file_text(const Instance &inst) {
    const std::vector<float> &costs = inst.cost.empty() ? inst.matrix : inst.cost;
    std::string text;
    text.reserve((size_t)inst.n * inst.n * 8 + 32);
    append_int(text, inst.n);
    text += ' ';
    append_int(text, inst.p);
    text += '\n';
    for (int i = 0; i < inst.n; ++i) {
        bool first = true;
        for (int j = 0; j < inst.n; ++j) {
            if (j == i) continue;
            if (!first) text += ' ';
            first = false;
            append_float(text, costs[(size_t)i * inst.n + j]);
        }
        if (inst.n > 1) text += '\n';
    }
    return text;
}

// "n p radius", then one line per row of the strict upper triangle.
static std::string distance_file_text(const Instance &inst, float radius) {
    std::string text;
    text.reserve((size_t)inst.n * inst.n * 4 + 32);
    append_int(text, inst.n);
    text += ' ';
    append_int(text, inst.p);
    text += ' ';
    append_float(text, radius);
    text += '\n';
    for (int i = 0; i + 1 < inst.n; ++i) {
        for (int j = i + 1; j < inst.n; ++j) {
            if (j > i + 1) text += ' ';
            append_float(text, inst.matrix[(size_t)i * inst.n + j]);
        }
        text += '\n';
    }
    return text;
}

// Both instance files and the side file, each complete or not at all; a
// side file of an earlier conversion that this one has nothing for is
// removed, so that no tool attaches its names to this instance.
static void write_instance_files(const Instance &inst, float radius, const std::string &out) {
    make_folder(out);
    std::vector<OutputFile> files = {{out + "/pmeddata.dat", cost_file_text(inst)},
                                     {out + "/pmedmtrx.dat", distance_file_text(inst, radius)}};
    std::string side = out + "/" + SIDE_FILE_NAME;
    if (!inst.info.empty()) files.push_back({side, side_file_text(inst.info, inst.n)});
    write_files(files);
    if (inst.info.empty()) remove_stale(side);
}

// ---- command line ----------------------------------------------------------------------

static Options parse_options(int argc, char **argv) {
    Options opt;
    std::vector<std::string> positional;
    for (int a = 1; a < argc; ++a) {
        std::string arg = argv[a];
        if (arg == "-h" || arg == "--help") {
            fputs(USAGE, stdout);
            exit(0);
        }
        if (arg.rfind("--", 0) != 0) {
            positional.push_back(arg);
            continue;
        }
        std::string name = arg, value;
        size_t eq = arg.find('=');
        if (eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        } else {
            if (a + 1 >= argc) usage_error("missing value for ", name);
            value = argv[++a];
        }
        if (name == "--p") {
            long long p;
            if (!parse_int(value, p) || p < 1 || p > MAX_VERTICES) usage_error("bad --p ", value);
            opt.p = (int)p;
        } else if (name == "--round") {
            if (value != "none" && value != "nint" && value != "floor")
                usage_error("--round must be none, nint or floor, not ", value);
            opt.round = value;
        } else if (name == "--radius") {
            if (!parse_float(value, opt.radius) || opt.radius < 0) usage_error("bad --radius ", value);
            opt.has_radius = true;
        } else if (name == "--radius-quantile") {
            if (!parse_double(value, opt.quantile) || opt.quantile < 0 || opt.quantile > 1)
                usage_error("--radius-quantile must be between 0 and 1, not ", value);
            opt.has_quantile = true;
        } else if (name == "--out") {
            if (value.empty()) usage_error("empty --out", "");
            opt.out = value;
        } else if (name == "--weights") {
            if (value.empty()) usage_error("empty --weights", "");
            opt.weights_file = value;
        } else if (name == "--weight" || name == "--id") {
            if (value.empty()) usage_error("empty ", name);
            (name == "--weight" ? opt.points.weight_column : opt.points.id_column) = value;
        } else if (name == "--metric") {
            if (value != "euclid" && value != "haversine") usage_error("--metric must be euclid or haversine, not ", value);
            opt.points.metric = value;
        } else {
            usage_error("unknown option ", name);
        }
    }
    if (positional.size() != 2) usage_error("expected FORMAT and FILE", "");
    opt.format = positional[0];
    opt.input = positional[1];
    if (opt.format != "orlib" && opt.format != "tsplib" && opt.format != "matrix" && opt.format != "points")
        usage_error("unknown format ", opt.format);
    if (opt.format != "points") {
        if (!opt.points.weight_column.empty()) usage_error("--weight applies to points files (use --weights FILE)", "");
        if (!opt.points.id_column.empty()) usage_error("--id applies to points files only", "");
        if (!opt.points.metric.empty()) usage_error("--metric applies to points files only", "");
    }
    if (!opt.weights_file.empty() && !opt.points.weight_column.empty())
        usage_error("give --weight COLUMN or --weights FILE, not both", "");
    if (opt.has_radius && opt.has_quantile) usage_error("give --radius or --radius-quantile, not both", "");
    if (opt.round != "none" && opt.format != "tsplib") usage_error("--round applies to tsplib files only", "");
    if (opt.p == 0 && opt.format != "orlib") usage_error("--p is required for ", opt.format + " files");
    return opt;
}

// The whole program but the process: bad input is reported here, so that
// the fuzzer can run it in process.
int convert_main(int argc, char **argv) {
    Options opt = parse_options(argc, argv);
    try {
        Instance inst;
        if (opt.format == "orlib") inst = read_orlib(opt.input);
        else if (opt.format == "tsplib") inst = read_tsplib(opt.input, opt.round);
        else if (opt.format == "points") inst = read_point_table(opt.input, opt.points);
        else inst = read_matrix(opt.input);

        if (opt.p > 0) inst.p = opt.p;
        if (inst.p < 1 || inst.p > inst.n) fail("p = %lld outside 1..%d (n)", inst.p, inst.n);

        std::string weights_source = opt.weights_file.empty() ? opt.input : opt.weights_file;
        if (!opt.weights_file.empty()) read_weights_file(opt.weights_file, inst.n, inst.info);
        if (!inst.info.weights.empty()) inst.cost = weighted_costs(inst.matrix, inst.n, inst.info, weights_source);

        float radius = opt.has_radius ? opt.radius
                       : opt.has_quantile ? quantile_radius(inst, opt.quantile)
                                          : full_radius(inst);
        write_instance_files(inst, radius, opt.out);

        char radius_text[32];
        std::to_chars_result r = std::to_chars(radius_text, radius_text + sizeof radius_text - 1, radius);
        *r.ptr = '\0';
        if (inst.info.empty())
            printf("wrote %s/pmeddata.dat and %s/pmedmtrx.dat: n = %d, p = %lld, radius = %s\n", opt.out.c_str(),
                   opt.out.c_str(), inst.n, inst.p, radius_text);
        else
            printf("wrote %s/pmeddata.dat, %s/pmedmtrx.dat and %s/%s: n = %d, p = %lld, radius = %s%s\n",
                   opt.out.c_str(), opt.out.c_str(), opt.out.c_str(), SIDE_FILE_NAME, inst.n, inst.p, radius_text,
                   inst.info.weights.empty() ? "" : ", costs weighted by demand");
    } catch (const ToolError &e) {
        fprintf(stderr, "pmedian-convert: %s\n", e.what());
        return 1;
    } catch (const std::bad_alloc &) {
        fprintf(stderr, "pmedian-convert: not enough memory for this instance\n");
        return 1;
    }
    return 0;
}

#ifndef PMEDIAN_CONVERT_NO_MAIN
int main(int argc, char **argv) { return convert_main(argc, argv); }
#endif
