// instance_formats.cpp - the OR-Library and TSPLIB readers, the default and
// quantile radius, and the writer of the solver's instance files, shared by
// pmedian-convert and the Python package (see instance_formats.h).
//
// Every value is kept as the 32-bit float that the solver will hold, and each
// is written in the shortest text that its "%f" read turns back into exactly
// that float.  Bad input is thrown as ToolError.
#include "instance_formats.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "geometry.h"
#include "matrix_rows.h"
#include "output_files.h"
#include "text_input.h"
#include "tool_error.h"

// ---- small parsing helpers ---------------------------------------------------

bool parse_int(const std::string &text, long long &value) {
    if (text.empty()) return false;
    char *end = nullptr;
    errno = 0;
    value = strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

bool parse_double(const std::string &text, double &value) {
    if (text.empty()) return false;
    char *end = nullptr;
    errno = 0;
    value = strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(value);
}


std::string read_whole_file(const std::string &path) { return read_text_file(path); }

// Splits text into lines (without the line ends, "\r" removed).
std::vector<std::string> split_lines(const std::string &text) {
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
std::vector<std::string> split_fields(const std::string &line) {
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

void check_size(long long n, const std::string &path) {
    if (n < 1 || n > MAX_VERTICES)
        tool_fail("%s: number of vertices %lld outside 1..%d", path.c_str(), n, MAX_VERTICES);
}


// ---- OR-Library graphs -------------------------------------------------------

// First line "n m p", then m edges "i j cost", 1-based and undirected.  An
// edge listed again replaces the earlier cost (the last one counts, even when
// it is larger).  Costs are all-pairs shortest paths by Floyd-Warshall,
// summed in double so that integer costs stay exact.
Instance read_orlib(const std::string &path) {
    std::vector<std::string> lines = split_lines(read_whole_file(path));

    // Every number with the line it stands on, for the messages.
    std::vector<std::string> tokens;
    std::vector<int> token_line;
    for (size_t l = 0; l < lines.size(); ++l)
        for (const std::string &field : split_fields(lines[l])) {
            tokens.push_back(field);
            token_line.push_back((int)l + 1);
        }
    if (tokens.size() < 3) tool_fail("%s: missing header \"n edges p\"", path.c_str());
    long long header[3];
    for (int k = 0; k < 3; ++k)
        if (!parse_int(tokens[k], header[k]))
            tool_fail("%s: header \"n edges p\" expected, found \"%s\"", path.c_str(), tokens[k].c_str());
    long long n = header[0], edges = header[1];
    check_size(n, path);
    if (edges < 0) tool_fail("%s: negative number of edges %lld", path.c_str(), edges);
    // A short file must not make the n x n table below gigabytes large:
    // the edges it lacks, and too few edges to connect a large graph, are
    // reported before the table is made.
    if ((long long)(tokens.size() - 3) / 3 < edges)
        tool_fail("%s: edge list ends after %lld of %lld edges", path.c_str(), (long long)(tokens.size() - 3) / 3, edges);
    if (n > 2048 && edges < n - 1)
        tool_fail("%s: graph is not connected: %lld edges cannot connect %lld vertices", path.c_str(), edges, n);

    const double none = std::numeric_limits<double>::infinity();
    std::vector<double> d((size_t)n * n, none);
    for (long long i = 0; i < n; ++i) d[i * n + i] = 0.0;

    size_t next = 3;
    for (long long e = 0; e < edges; ++e) {
        if (next + 3 > tokens.size())
            tool_fail("%s: edge list ends after %lld of %lld edges", path.c_str(), e, edges);
        int line = token_line[next];
        long long i, j;
        double c;
        if (!parse_int(tokens[next], i) || !parse_int(tokens[next + 1], j))
            tool_fail("%s: line %d: vertex numbers expected, found \"%s %s\"", path.c_str(), line,
                      tokens[next].c_str(), tokens[next + 1].c_str());
        if (!parse_double(tokens[next + 2], c))
            tool_fail("%s: line %d: edge cost expected, found \"%s\"", path.c_str(), line,
                      tokens[next + 2].c_str());
        if (i < 1 || i > n || j < 1 || j > n)
            tool_fail("%s: line %d: vertex out of range 1..%lld in edge %lld %lld", path.c_str(), line, n,
                      i, j);
        if (c < 0) tool_fail("%s: line %d: negative edge cost %s", path.c_str(), line, tokens[next + 2].c_str());
        next += 3;
        if (i == j) continue;  // a loop never shortens a path
        d[(i - 1) * n + (j - 1)] = c;
        d[(j - 1) * n + (i - 1)] = c;
    }
    if (next < tokens.size())
        tool_fail("%s: line %d: more data after the %lld edges of the header", path.c_str(),
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
                tool_fail("%s: graph is not connected: no path from vertex %lld to vertex %lld",
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
Instance read_tsplib_rows(const std::string &path, const std::string &round) {
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
            if (!parse_int(value, n)) tool_fail("%s: line %zu: bad DIMENSION \"%s\"", path.c_str(), l + 1, value.c_str());
            check_size(n, path);
        } else if (key == "EDGE_WEIGHT_TYPE") {
            weight_type = upper_case(value);
        } else if (key == "EOF" || colon == std::string::npos) {
            tool_fail("%s: line %zu: \"%s\" before NODE_COORD_SECTION", path.c_str(), l + 1, line.c_str());
        }
    }
    if (weight_type.empty()) tool_fail("%s: no EDGE_WEIGHT_TYPE", path.c_str());
    if (weight_type != "EUC_2D" && weight_type != "GEO" && weight_type != "ATT")
        tool_fail("%s: EDGE_WEIGHT_TYPE %s not supported (only EUC_2D, GEO and ATT)", path.c_str(), weight_type.c_str());
    if (weight_type != "EUC_2D" && round != "none")
        tool_fail("%s: --round applies to EUC_2D files; %s distances follow TSPLIB's own rule", path.c_str(),
                  weight_type.c_str());
    bool geo = weight_type == "GEO";
    if (n < 0) tool_fail("%s: no DIMENSION", path.c_str());
    if (!in_section) tool_fail("%s: no NODE_COORD_SECTION", path.c_str());

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
            tool_fail("%s: line %zu: \"id x y\" expected, found \"%s\"", path.c_str(), l + 1, lines[l].c_str());
        if (id < 1 || id > n) tool_fail("%s: line %zu: node id %lld outside 1..%lld", path.c_str(), l + 1, id, n);
        if (seen[id - 1]) tool_fail("%s: line %zu: node %lld listed twice", path.c_str(), l + 1, id);
        if (geo && (std::fabs(xi) > 90.0 || std::fabs(yi) > 180.0))
            tool_fail("%s: line %zu: GEO latitude %s, longitude %s: they lie within 90 and 180 degrees (DDD.MM)",
                      path.c_str(), l + 1, fields[1].c_str(), fields[2].c_str());
        seen[id - 1] = true;
        x[id - 1] = xi;
        y[id - 1] = yi;
        ++read;
    }
    if (read < n) tool_fail("%s: NODE_COORD_SECTION ends after %lld of %lld nodes", path.c_str(), read, n);
    for (; l < lines.size(); ++l) {
        std::string line = trim(lines[l]);
        if (!line.empty() && upper_case(line) != "EOF")
            tool_fail("%s: line %zu: unexpected \"%s\" after the %lld nodes", path.c_str(), l + 1, line.c_str(), n);
    }

    Instance inst;
    inst.n = (int)n;
    inst.info.has_coordinates = true;
    inst.info.geographic = geo;
    for (long long i = 0; i < n; ++i) {
        inst.info.ids.push_back(std::to_string(i + 1));
        inst.info.x.push_back(geo ? tsplib_geo_degrees(y[i]) : x[i]);  // GEO lists latitude first
        inst.info.y.push_back(geo ? tsplib_geo_degrees(x[i]) : y[i]);
    }
    Metric metric = geo ? Metric::TSPLIB_GEO : weight_type == "ATT" ? Metric::TSPLIB_ATT : Metric::EUCLID;
    Rounding rounding = round == "nint" ? Rounding::NINT : round == "floor" ? Rounding::FLOOR : Rounding::NONE;
    auto rows = std::make_shared<CoordinateRows>(std::move(x), std::move(y), metric, rounding, false);
    int i, j;
    double d;
    if (rows->beyond_float_range(i, j, d))  // infinite would read as "no service"
        tool_fail("%s: the distance %g between nodes %d and %d is beyond the float range", path.c_str(), d, i + 1,
                  j + 1);
    inst.rows = rows;
    return inst;
}

Instance read_tsplib(const std::string &path, const std::string &round) {
    Instance inst = read_tsplib_rows(path, round);
    inst.matrix.resize((size_t)inst.n * inst.n);
    for (int i = 0; i < inst.n; ++i) inst.rows->row(i, 0, &inst.matrix[(size_t)i * inst.n]);
    inst.rows.reset();
    return inst;
}


const MatrixRows &matrix_rows(const Instance &inst, StoredRows &stored) { return inst.rows ? *inst.rows : stored; }

// ---- radius -----------------------------------------------------------------------

// Calls visit with every distance that the solver reads (the strict upper
// triangle), row by row.
template <class Visit>
static void each_distance(const MatrixRows &dist, Visit visit) {
    std::vector<float> row(dist.n);
    for (int i = 0; i + 1 < dist.n; ++i) {
        dist.row(i, i + 1, row.data());
        for (int j = i + 1; j < dist.n; ++j) visit(row[j]);
    }
}

// The solver narrows the interchange to 0.8 times the radius from 700
// vertices on (the product taken exactly in double).  The default radius is
// the smallest float whose neighbourhood still holds the largest distance
// (the first of equal ones), so that every exchange is tried at any size.
float full_radius(const MatrixRows &dist) {
    float largest = 0.0f;
    bool first = true;
    each_distance(dist, [&](float d) {
        if (first || largest < d) largest = d;
        first = false;
    });
    if (dist.n < 700) return largest;
    float r = (float)((double)largest / (double)0.8f);
    while ((double)0.8f * (double)r < (double)largest) r = std::nextafter(r, INFINITY);
    while (r > 0.0f) {
        float smaller = std::nextafter(r, 0.0f);
        if ((double)0.8f * (double)smaller < (double)largest) break;
        r = smaller;
    }
    return r;
}

// The bits of a float as a key in the order of the values (-0 before 0),
// and back.
static uint32_t order_key(float v) {
    uint32_t bits;
    memcpy(&bits, &v, sizeof bits);
    return bits & 0x80000000u ? ~bits : bits | 0x80000000u;
}

static float from_order_key(uint32_t key) {
    uint32_t bits = key & 0x80000000u ? key & 0x7fffffffu : ~key;
    float v;
    memcpy(&v, &bits, sizeof v);
    return v;
}

// The Q-quantile of the distances: the value at position floor(Q (m - 1))
// of the m distances in ascending order (0 gives the smallest, 1 the largest).
// It is found without holding the distances: one pass counts them by the high
// half of their keys, and a second one, within the half that holds the
// position, by the low half.
float quantile_radius(const MatrixRows &dist, double q) {
    uint64_t m = (uint64_t)dist.n * (dist.n - 1) / 2;  // beyond 32 bits from 92,682 vertices on
    if (m == 0) return 0.0f;
    uint64_t rank = (uint64_t)std::floor(q * (double)(m - 1));
    std::vector<uint64_t> count(1 << 16);
    // The half whose counts hold the position rank, which becomes the
    // position within that half.
    auto locate = [&]() {
        uint32_t half = 0;
        while (rank >= count[half]) rank -= count[half++];
        return half;
    };
    each_distance(dist, [&](float d) { ++count[order_key(d) >> 16]; });
    uint32_t high = locate();
    std::fill(count.begin(), count.end(), 0);
    each_distance(dist, [&](float d) {
        uint32_t key = order_key(d);
        if (key >> 16 == high) ++count[key & 0xffffu];
    });
    return from_order_key(high << 16 | locate());
}

float full_radius(const Instance &inst) {
    StoredRows stored(inst.matrix.data(), inst.n);
    return full_radius(matrix_rows(inst, stored));
}

float quantile_radius(const Instance &inst, double q) {
    StoredRows stored(inst.matrix.data(), inst.n);
    return quantile_radius(matrix_rows(inst, stored), q);
}

// ---- writing ------------------------------------------------------------------------

// The longest shortest text of a float, "-1.17549435e-38", and a blank.
static const size_t FLOAT_TEXT = 16;

// Writes the shortest text that reads back as exactly v (integers stay
// plain integers, such as "299") at at; returns its end.
static char *put_float(char *at, float v) { return std::to_chars(at, at + FLOAT_TEXT, v).ptr; }

static void append_float(std::string &text, float v) {
    char buffer[FLOAT_TEXT];
    text.append(buffer, put_float(buffer, v));
}

static void append_int(std::string &text, long long v) {
    char buffer[32];
    std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, v);
    text.append(buffer, r.ptr);
}

// values[from..to), each followed by a blank, at at; returns the end.
static char *put_row(char *at, const float *values, int from, int to) {
    for (int j = from; j < to; ++j) {
        at = put_float(at, values[j]);
        *at++ = ' ';
    }
    return at;
}

// "pmeddata.dat": "n p", then one line per row with its n - 1 off-diagonal
// costs.  "pmedmtrx.dat": "n p radius", then one line per row of the strict
// upper triangle of the distances.  Both are written a row at a time; where
// the costs are the distances, the text of a row's upper triangle serves
// both files.
void write_instance_files(const MatrixRows &cost, const MatrixRows &dist, long long p, float radius,
                          const VertexInfo &info, const std::string &out) {
    int n = dist.n;
    make_folder(out);
    std::string side = out + "/" + SIDE_FILE_NAME;
    std::vector<std::string> paths = {out + "/pmeddata.dat", out + "/pmedmtrx.dat"};
    if (!info.empty()) paths.push_back(side);
    StagedFiles files(paths);
    std::string header;
    append_int(header, n);
    header += ' ';
    append_int(header, p);
    files.write(0, header + '\n');
    header += ' ';
    append_float(header, radius);
    files.write(1, header + '\n');

    bool shared = &cost == &dist;
    const WeightedRows *weighted = dynamic_cast<const WeightedRows *>(&cost);
    if (weighted && &weighted->distances != &dist) weighted = nullptr;
    std::vector<float> distances(n), costs(shared ? 0 : n);
    std::vector<char> text((size_t)n * FLOAT_TEXT), distance_text(shared ? 0 : (size_t)n * FLOAT_TEXT);
    for (int i = 0; i < n; ++i) {
        dist.row(i, shared || weighted ? 0 : i + 1, distances.data());
        const float *cost_row = distances.data();
        if (weighted) weighted->weigh(i, 0, distances.data(), costs.data());
        else if (!shared) cost.row(i, 0, costs.data());
        if (!shared) cost_row = costs.data();
        char *start = text.data(), *upper = put_row(start, cost_row, 0, i), *end = put_row(upper, cost_row, i + 1, n);
        if (end > start) end[-1] = '\n';
        files.write(0, start, end - start);
        if (i + 1 == n) break;
        if (!shared) {
            upper = distance_text.data();
            end = put_row(upper, distances.data(), i + 1, n);
            end[-1] = '\n';
        }
        files.write(1, upper, end - upper);
    }
    if (!info.empty()) files.write(2, side_file_text(info, n));
    files.commit();
    if (info.empty()) remove_stale(side);
}

void write_instance_files(const Instance &inst, float radius, const std::string &out) {
    StoredRows stored(inst.matrix.data(), inst.n), stored_cost(inst.cost.data(), inst.n);
    const MatrixRows &dist = matrix_rows(inst, stored);
    write_instance_files(inst.cost.empty() ? dist : stored_cost, dist, inst.p, radius, inst.info, out);
}
