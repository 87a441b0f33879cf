// side_file.cpp - see side_file.h.
//
// The side file is a plain CSV so that a person can open it next to the
// solution tables.  Reading it back is as strict as reading any input: a
// side file that does not match the instance (another n, a vertex out of
// order) would attach names and places to the wrong vertices.
#include "side_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "table.h"
#include "text_input.h"
#include "tool_error.h"

const char *const SIDE_FILE_NAME = "pmedvertices.csv";

std::string side_file_text(const VertexInfo &info, int n) {
    std::string text = "vertex";
    if (!info.ids.empty()) text += ",id";
    if (info.has_coordinates) text += info.geographic ? ",lon,lat" : ",x,y";
    if (!info.weights.empty()) text += ",weight";
    text += '\n';
    for (int v = 0; v < n; ++v) {
        text += std::to_string(v);
        if (!info.ids.empty()) text += "," + csv_cell(info.ids[v]);
        if (info.has_coordinates) text += "," + number_text(info.x[v]) + "," + number_text(info.y[v]);
        if (!info.weights.empty()) text += "," + number_text(info.weights[v]);
        text += '\n';
    }
    return text;
}

void check_id_text(const std::string &id, const std::string &where) {
    if (!valid_utf8(id))
        tool_fail("%s: the name is not UTF-8 text (save the file as UTF-8)", where.c_str());
}

VertexInfo parse_side_file(const std::string &text, const std::string &name, int n) {
    Table table = parse_table(text, name);
    int vertex = find_column(table, "vertex", name), id = find_column(table, "id", name);
    int x = find_column(table, "x", name), y = find_column(table, "y", name);
    int lon = find_column(table, "lon", name), lat = find_column(table, "lat", name);
    int weight = find_column(table, "weight", name);
    if (vertex != 0) tool_fail("%s: the first column must be \"vertex\"", name.c_str());
    if ((x >= 0) != (y >= 0) || (lon >= 0) != (lat >= 0) || (x >= 0 && lon >= 0))
        tool_fail("%s: coordinates must be the columns x and y, or lon and lat", name.c_str());
    if (n >= 1 && (int)table.rows.size() != n)
        tool_fail("%s: %zu rows for an instance of %d vertices (convert the instance again)", name.c_str(),
                  table.rows.size(), n);

    VertexInfo info;
    info.has_coordinates = x >= 0 || lon >= 0;
    info.geographic = lon >= 0;
    int cx = x >= 0 ? x : lon, cy = y >= 0 ? y : lat;
    for (size_t r = 0; r < table.rows.size(); ++r) {
        const std::vector<std::string> &row = table.rows[r];
        std::string where = name + ": line " + std::to_string(table.row_line[r]);
        if (row[vertex] != std::to_string(r))
            tool_fail("%s: vertex %zu expected, found \"%s\"", where.c_str(), r, row[vertex].c_str());
        if (id >= 0) {
            check_id_text(row[id], where);
            info.ids.push_back(row[id]);
        }
        if (info.has_coordinates) {
            double vx, vy;
            if (!parse_finite_double(row[cx], vx) || !parse_finite_double(row[cy], vy))
                tool_fail("%s: coordinates \"%s\", \"%s\" are not numbers", where.c_str(), row[cx].c_str(),
                          row[cy].c_str());
            info.x.push_back(vx);
            info.y.push_back(vy);
        }
        if (weight >= 0) {
            float w;
            if (!parse_finite_float(row[weight], w) || w < 0)
                tool_fail("%s: weight \"%s\" is not a number of at least 0", where.c_str(), row[weight].c_str());
            info.weights.push_back(w);
            info.weight_line.push_back(table.row_line[r]);
        }
    }
    return info;
}

VertexInfo read_side_file(const std::string &dir, int n) {
    std::string path = dir + "/" + SIDE_FILE_NAME;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return VertexInfo();
        tool_fail("cannot open %s: %s", path.c_str(), strerror(errno));
    }
    return parse_side_file(read_text_file(path), path, n);
}
