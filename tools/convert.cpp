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
// a failed write leaves the target folder as it was.  A matrix computed from
// coordinates is never held whole: each pass over it computes its rows again
// (matrix_rows.h), so that the memory grows with n, not n^2.  The OR-Library and
// TSPLIB readers and the writer are shared with the Python package
// (instance_formats.cpp).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "geometry.h"
#include "instance_formats.h"
#include "matrix_rows.h"
#include "output_files.h"
#include "points.h"
#include "side_file.h"
#include "table.h"
#include "text_input.h"
#include "tool_error.h"

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

// ---- point tables --------------------------------------------------------------

// A table of points (points.cpp reads it): the distances under the metric
// serve as costs and distances, as for the other formats.
static Instance read_point_table(const std::string &path, PointOptions &options) {
    Instance inst;
    inst.info = read_points(path, options);
    check_size((long long)inst.info.x.size(), path);
    inst.n = (int)inst.info.x.size();
    inst.rows = point_rows(inst.info, options.metric);
    return inst;
}

// ---- plain matrices ------------------------------------------------------------

// The cells of a matrix line: separated by white space, or by semicolons
// where the line has any, else by commas where it has any (blanks around
// them do not count).  Between two separators, or before or after one, a
// cell with nothing in it is kept as "" so that it can be reported instead
// of shifting the rest of its row.
static std::vector<std::string> split_cells(const std::string &line) {
    char separator = line.find(';') != std::string::npos ? ';' : line.find(',') != std::string::npos ? ',' : 0;
    if (!separator) return split_fields(line);
    std::vector<std::string> cells;
    size_t start = 0;
    for (;;) {
        size_t next = line.find(separator, start);
        std::vector<std::string> fields =
            split_fields(line.substr(start, next == std::string::npos ? std::string::npos : next - start));
        if (fields.empty()) cells.push_back("");
        cells.insert(cells.end(), fields.begin(), fields.end());
        if (next == std::string::npos) break;
        start = next + 1;
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
        if (cell.find(',') != std::string::npos)
            return quoted + " is not a number (write decimals with a point: 1.5, not 1,5)";
        return quoted + " is not a number";
    }
    if (overflow) return quoted + " is beyond the float range (write inf for no service)";
    if (value < 0) return "negative value " + cell;
    return "";
}

// n lines of n numbers, separated by white space, commas or semicolons;
// blank lines are skipped, and so is a first line without any number (a
// header of column names).  When the first cell of the first row is text,
// the first column holds row labels, kept as the vertices' names.  Every cell is checked before the shape, so a stray word or an
// empty cell is named where it stands; every bad row is named, with its
// first bad cell or its length (BadRows), before the file is refused.  The diagonal is not used (the
// solver's is always 0).  The matrix need not be symmetric: the costs are
// taken as given, the distances from its upper triangle.  The file is read
// a line at a time into the one n x n array that the instance keeps.
static Instance read_matrix(const std::string &path) {
    LineReader lines(path);
    BadRows bad(path);
    std::string line;
    std::vector<float> rows;  // one row after the other
    std::vector<size_t> row_size, row_line;
    std::vector<bool> row_bad;
    bool labelled = false;
    std::vector<std::string> labels;
    std::map<std::string, size_t> line_of_label;
    for (size_t l = 0; lines.next(line); ++l) {
        std::vector<std::string> cells = split_cells(line);
        if (cells.empty()) continue;
        bool any_number = false, overflow;
        for (size_t c = 0; c < cells.size(); ++c) {
            float number;
            any_number = any_number || cell_number(cells[c], number, overflow);
        }
        if (row_size.empty() && !any_number) continue;  // the header
        std::string where = path + ": line " + std::to_string(l + 1);
        bool wrong = false;
        if (row_size.empty()) {
            // A first cell that strtof does not read whole is a label.
            char *end = nullptr;
            (void)strtof(cells[0].c_str(), &end);
            labelled = !cells[0].empty() && *end != '\0';
        }
        if (labelled) {
            // The label: up to the line's first separator, blanks and all.
            size_t at = line.find(line.find(';') != std::string::npos ? ';' : ',');
            std::string label = cells[0];
            if (at != std::string::npos) {
                std::vector<std::string> words = split_fields(line.substr(0, at));
                label.clear();
                for (const std::string &word : words) label += (label.empty() ? "" : " ") + word;
                cells = split_cells(line.substr(at + 1));
                if (cells.empty()) cells.push_back("");  // "a;" has one empty cell
            } else {
                cells.erase(cells.begin());
            }
            if (label.size() > 1 && label.front() == '"' && label.back() == '"') label = label.substr(1, label.size() - 2);
            try {
                if (label.empty()) tool_fail("%s, column 1: the row's label is missing", where.c_str());
                check_id_text(label, where);
                auto seen = line_of_label.emplace(label, l + 1);
                if (!seen.second)
                    tool_fail("%s: label \"%s\" again (first on line %zu)", where.c_str(), label.c_str(),
                              seen.first->second);
            } catch (const ToolError &e) {
                bad.add((int)l + 1, e.what());
                wrong = true;
            }
            labels.push_back(label);
        }
        std::vector<float> values(cells.size());
        for (size_t c = 0; c < cells.size(); ++c) {
            std::string problem = matrix_value(cells[c], values[c]);
            if (!problem.empty() && !wrong) {
                bad.add((int)l + 1, where + ", column " + std::to_string(c + 1 + labelled) + ": " + problem);
                wrong = true;
            }
        }
        // n values take at least 2n - 1 characters, so a file that can hold
        // n rows of them gets their room at once (and a row more, for a
        // header of numbers), rather than twice as much in steps.
        double n = (double)cells.size();
        if (row_size.empty() && 2 * n * n <= (double)lines.size() + 1) rows.reserve((size_t)(n * (n + 1)));
        rows.insert(rows.end(), values.begin(), values.end());
        row_size.push_back(cells.size());
        row_line.push_back(l + 1);
        row_bad.push_back(wrong);
    }
    if (row_size.empty()) fail("%s: no matrix rows", path.c_str());
    long long n = (long long)row_size[0];
    for (size_t r = 0; r < row_size.size(); ++r)
        if ((long long)row_size[r] != n && !row_bad[r])
            bad.add((int)row_line[r], path + ": line " + std::to_string(row_line[r]) + ": " +
                                          std::to_string(row_size[r]) + " values, but the first row has " +
                                          std::to_string(n));
    bad.throw_if_any();
    check_size(n, path);
    if ((long long)row_size.size() != n)
        fail("%s: %zu rows of %lld values: the matrix must be square%s", path.c_str(), row_size.size(), n,
             labelled ? " (the first column was taken as the rows' labels)"
             : (long long)row_size.size() == n + 1 ? " (is the first row a header of column numbers?)"
                                                    : "");

    Instance inst;
    inst.n = (int)n;
    inst.info.ids = labels;
    for (long long i = 0; i < n; ++i) rows[i * n + i] = 0.0f;
    inst.matrix = std::move(rows);
    return inst;
}

// ---- command line ----------------------------------------------------------------------

// Reads the command line into opt; returns -1 to go on, else the exit status.
static int parse_options(int argc, char **argv, Options &opt) {
    CommandLine cli("pmedian-convert",
                    "Writes the solver's instance files pmeddata.dat and pmedmtrx.dat, and the side file "
                    "pmedvertices.csv with what the tools after the solver need, from an OR-Library graph, a TSPLIB "
                    "file, an n x n matrix or a table of points.",
                    "Exit status: 0 written; 1 bad input or a failed write (nothing is written); 2 a wrong command "
                    "line.");
    cli.choice("FORMAT", opt.format, {"orlib", "tsplib", "matrix", "points"}, "FORMAT",
               "orlib, tsplib, matrix or points")
        ->required();
    cli.text("FILE", opt.input, "FILE", "the file to convert")->required();
    cli.number("--p", opt.p, "P", 1, MAX_VERTICES, "a whole number 1.." + std::to_string(MAX_VERTICES),
               "number of medians (required but for orlib)");
    cli.choice("--round", opt.round, {"none", "nint", "floor"}, "MODE",
               "tsplib EUC_2D distances: none (default), nint or floor");
    cli.choice("--metric", opt.points.metric, {"euclid", "haversine"}, "M",
               "points: euclid (default for x, y) or haversine (great-circle km, default for lon, lat)");
    cli.text("--weight", opt.points.weight_column, "COLUMN", "points: the column of the demand weights");
    cli.text("--id", opt.points.id_column, "COLUMN", "points: the column of the names of the points");
    cli.text("--x", opt.points.x_column, "COLUMN", "points: the column of the x coordinates (with --y)");
    cli.text("--y", opt.points.y_column, "COLUMN", "points: the column of the y coordinates");
    cli.text("--lon", opt.points.lon_column, "COLUMN", "points: the column of the longitudes (with --lat)");
    cli.text("--lat", opt.points.lat_column, "COLUMN", "points: the column of the latitudes");
    cli.text("--weights", opt.weights_file, "FILE", "demand weights, one per vertex and line");
    CLI::Option *radius = cli.number("--radius", opt.radius, "R", 0, FLT_MAX, "a number 0 or above",
                                     "interchange radius written to pmedmtrx.dat");
    CLI::Option *quantile = cli.number("--radius-quantile", opt.quantile, "Q", 0, 1, "between 0 and 1",
                                       "radius = the Q-quantile (0..1) of the distances");
    cli.text("--out", opt.out, "DIR", "target folder, created when missing (default .)");
    if (int status = cli.parse(argc, argv); status >= 0) return status;
    opt.has_radius = radius->count() > 0;
    opt.has_quantile = quantile->count() > 0;

    if (opt.format != "points") {
        if (!opt.points.weight_column.empty()) return cli.wrong("--weight applies to points files (use --weights FILE)");
        if (!opt.points.id_column.empty()) return cli.wrong("--id applies to points files only");
        if (!opt.points.metric.empty()) return cli.wrong("--metric applies to points files only");
    }
    const PointOptions &points = opt.points;
    if (opt.format != "points" &&
        !(points.x_column + points.y_column + points.lon_column + points.lat_column).empty())
        return cli.wrong("--x, --y, --lon and --lat apply to points files only");
    if (points.x_column.empty() != points.y_column.empty()) return cli.wrong("give --x and --y together");
    if (points.lon_column.empty() != points.lat_column.empty()) return cli.wrong("give --lon and --lat together");
    if (!points.x_column.empty() && !points.lon_column.empty())
        return cli.wrong("give --x and --y, or --lon and --lat, not both");
    if (!opt.weights_file.empty() && !opt.points.weight_column.empty())
        return cli.wrong("give --weight COLUMN or --weights FILE, not both");
    if (opt.has_radius && opt.has_quantile) return cli.wrong("give --radius or --radius-quantile, not both");
    if (opt.round != "none" && opt.format != "tsplib") return cli.wrong("--round applies to tsplib files only");
    if (opt.p == 0 && opt.format != "orlib") return cli.wrong("--p is required for " + opt.format + " files");
    return -1;
}

// The whole program but the process: bad input is reported here, so that
// the fuzzer can run it in process.
int convert_main(int argc, char **argv) {
    Options opt;
    if (int status = parse_options(argc, argv, opt); status >= 0) return status;
    try {
        Instance inst;
        if (opt.format == "orlib") inst = read_orlib(opt.input);
        else if (opt.format == "tsplib") inst = read_tsplib_rows(opt.input, opt.round);
        else if (opt.format == "points") inst = read_point_table(opt.input, opt.points);
        else inst = read_matrix(opt.input);

        if (opt.p > 0) inst.p = opt.p;
        if (inst.p < 1 || inst.p > inst.n) fail("p = %lld outside 1..%d (n)", inst.p, inst.n);

        std::string weights_source = opt.weights_file.empty() ? opt.input : opt.weights_file;
        if (!opt.weights_file.empty()) read_weights_file(opt.weights_file, inst.n, inst.info);
        StoredRows stored(inst.matrix.data(), inst.n);
        const MatrixRows &dist = matrix_rows(inst, stored);
        std::optional<WeightedRows> weighted;
        if (!inst.info.weights.empty()) weighted.emplace(dist, inst.info, weights_source);

        float radius = opt.has_radius ? opt.radius
                       : opt.has_quantile ? quantile_radius(dist, opt.quantile)
                                          : full_radius(dist);
        write_instance_files(weighted ? *weighted : dist, dist, inst.p, radius, inst.info, opt.out);

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
