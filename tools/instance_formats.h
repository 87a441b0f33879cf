// instance_formats.h - the instance formats that pmedian-convert and the
// Python package share: OR-Library graphs and TSPLIB coordinate files turned
// into matrices, the radius of the distance file, and the solver's two
// instance files (with the side file) written from an Instance or from its
// matrices row by row.  Bad input and failed writes are thrown as ToolError.
#ifndef PMEDIAN_TOOLS_INSTANCE_FORMATS_H
#define PMEDIAN_TOOLS_INSTANCE_FORMATS_H

#include <memory>
#include <string>
#include <vector>

#include "matrix_rows.h"
#include "side_file.h"

// Sizes beyond this would need tens of gigabytes in the solver anyway.
const int MAX_VERTICES = 100000;

// The converted instance: dist[i * n + j] = matrix[i * n + j], zero
// diagonal, and the costs the same unless weights gave their own.
struct Instance {
    int n = 0;
    long long p = -1;  // -1: the file gives none
    std::vector<float> matrix;
    std::vector<float> cost;  // weighted costs; empty: the matrix
    VertexInfo info;          // for the side file
    // The matrix computed a row at a time, when it is not held in matrix.
    std::shared_ptr<const MatrixRows> rows;
};

// OR-Library p-median graph: all-pairs shortest paths, and the file's p.
Instance read_orlib(const std::string &path);
// TSPLIB coordinate file (EUC_2D rounded by round: "none", "nint" or
// "floor"; GEO and ATT by TSPLIB's rules); p stays -1, info has the
// coordinates.  read_tsplib_rows gives the matrix as rows computed from the
// coordinates, read_tsplib as a whole.
Instance read_tsplib_rows(const std::string &path, const std::string &round);
Instance read_tsplib(const std::string &path, const std::string &round);

// The matrix of an instance row by row: inst.rows, or else inst.matrix
// through stored, a StoredRows of inst.matrix.
const MatrixRows &matrix_rows(const Instance &inst, StoredRows &stored);

// The radius with which the solver tries every exchange, and the
// Q-quantile of the distances (the strict upper triangle).
float full_radius(const MatrixRows &dist);
float quantile_radius(const MatrixRows &dist, double q);
float full_radius(const Instance &inst);
float quantile_radius(const Instance &inst, double q);

// "pmeddata.dat" and "pmedmtrx.dat" (and the side file when info has
// anything) in the folder out, created when missing, each complete or not
// at all.  A side file of an earlier conversion that this one has nothing
// for is removed, so that no tool attaches its names to this instance.
// cost and dist may be the same object.
void write_instance_files(const MatrixRows &cost, const MatrixRows &dist, long long p, float radius,
                          const VertexInfo &info, const std::string &out);
void write_instance_files(const Instance &inst, float radius, const std::string &out);

// Parsing helpers that pmedian-convert uses for its other formats too.
bool parse_int(const std::string &text, long long &value);
bool parse_double(const std::string &text, double &value);
std::string read_whole_file(const std::string &path);
std::vector<std::string> split_lines(const std::string &text);
std::vector<std::string> split_fields(const std::string &line);
void check_size(long long n, const std::string &path);

#endif
