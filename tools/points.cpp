// points.cpp - see points.h.
//
// A point table is what a planner has: one row per site, with its position
// and often a name and a demand.  Every cell that is used is checked and a
// wrong one is named by line and column, since a single bad cell would
// otherwise move a site or change a demand without a word; every bad row of
// a file is reported in one run (BadRows), so that a sheet can be fixed in
// one pass.  Longitudes and
// latitudes out of range are refused: they are almost always two columns
// swapped.
#include "points.h"

#include <cmath>
#include <cstdlib>
#include <map>

#include "geometry.h"
#include "table.h"
#include "text_input.h"
#include "tool_error.h"

float parse_weight(const std::string &cell, const std::string &where) {
    if (cell.empty()) tool_fail("%s: the weight is missing", where.c_str());
    float w;
    if (!parse_finite_float(cell, w)) {
        double d;
        if (parse_finite_double(cell, d))
            tool_fail("%s: weight %s is beyond the float range", where.c_str(), cell.c_str());
        tool_fail("%s: weight \"%s\" is not a number", where.c_str(), cell.c_str());
    }
    if (w < 0) tool_fail("%s: negative weight %s", where.c_str(), cell.c_str());
    return w;
}

// The column of a coordinate under any of its names, or -1.
static int coordinate_column(const Table &table, const std::vector<const char *> &names, const std::string &path) {
    int found = -1;
    for (const char *name : names) {
        int c = find_column(table, name, path);
        if (c >= 0 && found >= 0)
            tool_fail("%s: columns %d and %d both give the %s", path.c_str(), found + 1, c + 1, names[0]);
        if (c >= 0) found = c;
    }
    return found;
}

static int named_column(const Table &table, const std::string &name, const char *option, const std::string &path) {
    int c = find_column(table, name, path);
    if (c < 0)
        tool_fail("%s: no column \"%s\" for %s (the header has: %s)", path.c_str(), name.c_str(), option,
                  column_list(table).c_str());
    return c;
}

// Where a point table keeps what is read from it: column numbers, -1 for
// none; the names of the coordinates for messages.
struct PointColumns {
    int x = -1, y = -1, weight = -1, id = -1;
    const char *name_x = "x", *name_y = "y";
};

// One row of a point table into info; throws ToolError for the first cell
// that is wrong.  line_of_id: the line of each id so far.
static void read_point(const std::vector<std::string> &row, int line, const std::string &path,
                       const PointColumns &columns, VertexInfo &info, std::map<std::string, int> &line_of_id) {
    std::string where = path + ": line " + std::to_string(line);
    int cx = columns.x, cy = columns.y, weight = columns.weight, id = columns.id;
    double vx, vy;
    for (int k = 0; k < 2; ++k) {
        int c = k == 0 ? cx : cy;
        const char *name = k == 0 ? columns.name_x : columns.name_y;
        std::string at = where + ", column " + std::to_string(c + 1) + " (" + name + ")";
        if (row[c].empty()) tool_fail("%s: the %s is missing", at.c_str(), name);
        if (!parse_finite_double(row[c], k == 0 ? vx : vy))
            tool_fail("%s: \"%s\" is not a number", at.c_str(), row[c].c_str());
    }
    if (info.geographic && (vx < -180 || vx > 180 || vy < -90 || vy > 90))
        tool_fail("%s: longitude %s, latitude %s: a longitude lies in -180..180 and a latitude in -90..90 "
                  "(are the columns swapped?)",
                  where.c_str(), row[cx].c_str(), row[cy].c_str());
    info.x.push_back(vx);
    info.y.push_back(vy);
    if (weight >= 0) {
        info.weights.push_back(parse_weight(row[weight], where + ", column " + std::to_string(weight + 1)));
        info.weight_line.push_back(line);
    }
    if (id >= 0) {
        const std::string &name = row[id];
        if (name.empty()) tool_fail("%s, column %d: the id is missing", where.c_str(), id + 1);
        check_id_text(name, where);
        auto seen = line_of_id.emplace(name, line);
        if (!seen.second)
            tool_fail("%s: id \"%s\" again (first on line %d)", where.c_str(), name.c_str(), seen.first->second);
        info.ids.push_back(name);
    }
}

VertexInfo read_points(const std::string &path, PointOptions &options) {
    BadRows bad(path);
    Table table = parse_table(read_text_file(path), path, &bad);
    int x = -1, y = -1, lon = -1, lat = -1;
    if (!options.x_column.empty()) {
        x = named_column(table, options.x_column, "--x", path);
        y = named_column(table, options.y_column, "--y", path);
    } else if (!options.lon_column.empty()) {
        lon = named_column(table, options.lon_column, "--lon", path);
        lat = named_column(table, options.lat_column, "--lat", path);
    } else {
        x = coordinate_column(table, {"x"}, path), y = coordinate_column(table, {"y"}, path);
        lon = coordinate_column(table, {"longitude", "lon", "long", "lng"}, path);
        lat = coordinate_column(table, {"latitude", "lat"}, path);
    }
    bool planar = x >= 0 && y >= 0, geographic = lon >= 0 && lat >= 0;
    if (!planar && !geographic)
        tool_fail("%s: no coordinate columns: the header needs x and y, or lon and lat (it has: %s); or name them "
                  "with --x and --y, or --lon and --lat",
                  path.c_str(), column_list(table).c_str());
    if (options.metric.empty()) options.metric = planar ? "euclid" : "haversine";
    // Longitude and latitude under haversine; x and y are taken as such
    // when they are all there is.
    bool use_lon_lat = geographic && (options.metric == "haversine" || !planar);
    PointColumns columns;
    columns.x = use_lon_lat ? lon : x, columns.y = use_lon_lat ? lat : y;
    if (use_lon_lat) columns.name_x = "longitude", columns.name_y = "latitude";
    if (!options.weight_column.empty()) columns.weight = named_column(table, options.weight_column, "--weight", path);
    if (!options.id_column.empty()) columns.id = named_column(table, options.id_column, "--id", path);

    VertexInfo info;
    info.has_coordinates = true;
    info.geographic = options.metric == "haversine";
    std::map<std::string, int> line_of_id;
    for (size_t r = 0; r < table.rows.size(); ++r) {
        try {
            read_point(table.rows[r], table.row_line[r], path, columns, info, line_of_id);
        } catch (const ToolError &e) {
            bad.add(table.row_line[r], e.what());
        }
    }
    bad.throw_if_any();
    if (table.rows.empty()) tool_fail("%s: no points below the header", path.c_str());
    return info;
}

std::shared_ptr<const MatrixRows> point_rows(const VertexInfo &points, const std::string &metric) {
    auto rows = std::make_shared<CoordinateRows>(points.x, points.y,
                                                 metric == "haversine" ? Metric::HAVERSINE : Metric::EUCLID,
                                                 Rounding::NONE, true);
    int i, j;
    double d;
    if (rows->beyond_float_range(i, j, d))  // infinite would read as "no service"
        tool_fail("the distance %g between vertices %d and %d is beyond the float range", d, i, j);
    return rows;
}

void read_weights_file(const std::string &path, int n, VertexInfo &info) {
    std::string text = read_text_file(path);
    BadRows bad(path);
    std::vector<float> weights;
    std::vector<int> lines;
    bool header = false;
    int line = 0, blank_line = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string cell = text.substr(start, end - start);
        start = end + 1;
        ++line;
        size_t a = cell.find_first_not_of(" \t\r\v\f");
        cell = a == std::string::npos ? "" : cell.substr(a, cell.find_last_not_of(" \t\r\v\f") - a + 1);
        if (cell.empty()) {
            if (!blank_line) blank_line = line;  // an error only when a weight follows
            continue;
        }
        if (cell[0] == '#') continue;
        std::string where = path + ": line " + std::to_string(line);
        if (blank_line) bad.add(blank_line, path + ": line " + std::to_string(blank_line) +
                                                ": empty line where a weight is missing");
        blank_line = 0;
        // A first line without a digit that is not "nan" or "inf" either
        // is a column name.
        if (weights.empty() && !header && cell.find_first_of("0123456789") == std::string::npos) {
            char *rest = nullptr;
            (void)strtof(cell.c_str(), &rest);
            if (*rest != '\0') {
                header = true;
                continue;
            }
        }
        if ((int)weights.size() == n) {
            bad.add(line, where + ": more weights than the " + std::to_string(n) + " vertices of the instance");
            break;
        }
        float weight = 0.0f;
        try {
            if (cell.find_first_of(" \t,;") != std::string::npos)
                tool_fail("%s: one weight per line expected, found \"%s\"", where.c_str(), cell.c_str());
            weight = parse_weight(cell, where);
        } catch (const ToolError &e) {
            bad.add(line, e.what());
        }
        weights.push_back(weight);
        lines.push_back(line);
    }
    bad.throw_if_any();
    if ((int)weights.size() < n)
        tool_fail("%s: %zu weights for %d vertices: the weights of vertices %zu to %d are missing%s", path.c_str(),
                  weights.size(), n, weights.size(), n - 1, header ? " (the first line was taken as a header)" : "");
    info.weights = weights;
    info.weight_line = lines;
}
