// points.h - the converter's point tables and demand weights.
#ifndef PMEDIAN_TOOLS_POINTS_H
#define PMEDIAN_TOOLS_POINTS_H

#include <memory>
#include <string>
#include <vector>

#include "matrix_rows.h"
#include "side_file.h"

struct PointOptions {
    std::string weight_column;  // "": no weights from the table
    std::string id_column;      // "": no names
    std::string metric;         // "euclid", "haversine" or "" (by the columns)
    // The coordinates' columns as named on the command line: x and y, or
    // longitude and latitude; "": found by their names.
    std::string x_column, y_column, lon_column, lat_column;
};

// Reads a table of points with a header row (see table.h for the layout):
// the coordinates from the columns the options name, else from the columns
// x and y, or lon and lat (also longitude, long or lng, and latitude), and
// the named weight and id columns.  Sets metric to the one that applies
// when it was "".  Throws ToolError naming every bad row
// (BadRows: up to 20, in line order), each with its line and the column of
// its first cell that is wrong.
VertexInfo read_points(const std::string &path, PointOptions &options);

// The n x n distances of the points under the metric, row by row: (i, j)
// and (j, i) are both the distance from the first point to the second one.
// Throws ToolError naming the first pair whose distance is beyond the float
// range.
std::shared_ptr<const MatrixRows> point_rows(const VertexInfo &points, const std::string &metric);

// A weights file: one weight per vertex, one per line, in vertex order; an
// optional first line that is not a number (a column name) and lines
// starting with "#" are skipped.  Throws ToolError naming the line of every
// weight that is missing, negative, not a number or beyond the float range
// (as BadRows does), and when the count is not n.
void read_weights_file(const std::string &path, int n, VertexInfo &info);

// One weight from its text, or a ToolError naming where it stands.
float parse_weight(const std::string &cell, const std::string &where);

#endif
