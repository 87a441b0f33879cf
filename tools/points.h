// points.h - the converter's point tables and demand weights.
#ifndef PMEDIAN_TOOLS_POINTS_H
#define PMEDIAN_TOOLS_POINTS_H

#include <string>
#include <vector>

#include "side_file.h"

struct PointOptions {
    std::string weight_column;  // "": no weights from the table
    std::string id_column;      // "": no names
    std::string metric;         // "euclid", "haversine" or "" (by the columns)
};

// Reads a table of points with a header row (see table.h for the layout):
// the coordinates from the columns x and y, or lon and lat (longitude and
// latitude also), and the named weight and id columns.  Sets metric to the
// one that applies when it was "".  Throws ToolError naming the line and
// column of the first cell that is wrong.
VertexInfo read_points(const std::string &path, PointOptions &options);

// The n x n distances of the points (row by row, zero diagonal) under the
// metric, each stored as a float.
std::vector<float> point_distances(const VertexInfo &points, const std::string &metric);

// A weights file: one weight per vertex, one per line, in vertex order; an
// optional first line that is not a number (a column name) and lines
// starting with "#" are skipped.  Throws ToolError naming the line of a
// weight that is missing, negative, not a number or beyond the float range,
// and when the count is not n.
void read_weights_file(const std::string &path, int n, VertexInfo &info);

// One weight from its text, or a ToolError naming where it stands.
float parse_weight(const std::string &cell, const std::string &where);

// cost[i][j] = w[j] x d[i][j]: serving client j costs its demand times the
// distance, the product taken in double and stored as a float.  An infinite
// distance stays infinite (no service).  Throws ToolError when a product of
// finite values is beyond the float range.
std::vector<float> weighted_costs(const std::vector<float> &distances, int n, const VertexInfo &info,
                                  const std::string &weights_source);

#endif
