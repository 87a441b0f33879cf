// matrix_rows.h - the converter's n x n matrices, handed out a row at a time.
//
// A matrix computed from coordinates is never held whole: each pass over it
// (the range checks, the radius, the writing) computes the rows again, so
// that converting n points takes memory in proportion to n.  A matrix that
// is read or computed whole (a matrix file, shortest paths) is handed out
// from where it is stored.
#ifndef PMEDIAN_TOOLS_MATRIX_ROWS_H
#define PMEDIAN_TOOLS_MATRIX_ROWS_H

#include <cmath>
#include <string>
#include <vector>

#include "side_file.h"

class MatrixRows {
public:
    explicit MatrixRows(int size) : n(size) {}
    virtual ~MatrixRows() = default;

    // Sets out[j] to the entry (i, j) for every j in from..n-1.
    virtual void row(int i, int from, float *out) const = 0;
    // No finite entry lies above this; infinity when nothing cheaper than
    // the entries themselves tells.
    virtual double bound() const { return INFINITY; }

    const int n;
};

// Row-major n x n floats kept elsewhere.
class StoredRows : public MatrixRows {
public:
    StoredRows(const float *values, int size) : MatrixRows(size), values(values) {}
    void row(int i, int from, float *out) const override;

private:
    const float *values;
};

// Distances between points, each computed in double and stored as a float;
// the diagonal is 0.
enum class Metric {
    EUCLID,       // in the plane
    HAVERSINE,    // great-circle kilometres between longitude/latitude points
    TSPLIB_GEO,   // TSPLIB's rules (geometry.h), on its raw coordinates
    TSPLIB_ATT,
};
enum class Rounding { NONE, NINT, FLOOR };  // of each distance, in double

class CoordinateRows : public MatrixRows {
public:
    // mirrored: an entry below the diagonal is the distance from the column's
    // point to the row's, (j, i) rather than (i, j).
    CoordinateRows(std::vector<double> x, std::vector<double> y, Metric metric, Rounding rounding, bool mirrored);
    void row(int i, int from, float *out) const override;
    double bound() const override;

    // The distance (i, j) in double, before it is stored as a float.
    double distance(int i, int j) const;
    // Finds the first entry, row by row (of the strict upper triangle when
    // mirrored), that is beyond the float range, which would read as "no
    // service"; returns false when there is none.
    bool beyond_float_range(int &i, int &j, double &d) const;

private:
    std::vector<double> x, y;
    std::vector<double> cos_y;  // haversine: the cosine of each latitude
    Metric metric;
    Rounding rounding;
    bool mirrored;

    template <class Use>
    auto with_metric(Use use) const;
    template <class Distance>
    double entry(const Distance &distance, int i, int j) const;
};

// Costs that weigh each client's distance by its demand: the entry (i, j) is
// w[j] d(i, j), the product taken in double and stored as a float; the
// diagonal is 0 and an infinite distance stays infinite (no service).
class WeightedRows : public MatrixRows {
public:
    // Throws ToolError, naming the weight's line in weights_source, when a
    // product of finite values is beyond the float range.
    WeightedRows(const MatrixRows &distances, const VertexInfo &info, const std::string &weights_source);
    void row(int i, int from, float *out) const override;

    const MatrixRows &distances;
    // out[j] for j in from..n-1 from the distances of row i.
    void weigh(int i, int from, const float *distance_row, float *out) const;

private:
    const std::vector<float> &weights;
};

#endif
