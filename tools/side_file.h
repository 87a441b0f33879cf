// side_file.h - what the converter knows about the vertices beyond the
// matrices (names, coordinates, demand weights), and the side file
// "pmedvertices.csv" in which it keeps them next to "pmeddata.dat".  The
// solver never reads it; pmedian-export, pmedian-plot and pmedian-sweep do.
#ifndef PMEDIAN_TOOLS_SIDE_FILE_H
#define PMEDIAN_TOOLS_SIDE_FILE_H

#include <string>
#include <vector>

// The side file's name inside an instance folder.
extern const char *const SIDE_FILE_NAME;

struct VertexInfo {
    std::vector<std::string> ids;  // a name per vertex; empty: none kept
    bool has_coordinates = false;
    bool geographic = false;       // coordinates are longitude and latitude in degrees
    std::vector<double> x, y;      // x or longitude, y or latitude, per vertex
    std::vector<float> weights;    // demand per vertex; empty: none kept
    std::vector<int> weight_line;  // the input line of each weight, for messages

    bool empty() const { return ids.empty() && !has_coordinates && weights.empty(); }
};

// The side file: a header "vertex[,id][,x,y | ,lon,lat][,weight]", then one
// row per vertex in vertex order.  Numbers are written in the shortest text
// that reads back as the same value.
std::string side_file_text(const VertexInfo &info, int n);

// Reads a side file for an instance of n vertices (n < 1: as many rows as it
// holds); throws ToolError naming the line of a row that is wrong.
VertexInfo parse_side_file(const std::string &text, const std::string &name, int n);

// The side file of a folder, or an empty VertexInfo when there is none.
VertexInfo read_side_file(const std::string &dir, int n);

// A name read from an input for a vertex: refused (ToolError) when it is
// not valid UTF-8 text, since it goes into JSON files.
void check_id_text(const std::string &id, const std::string &where);

#endif
