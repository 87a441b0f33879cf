// matrix_rows.cpp - see matrix_rows.h.
//
// Every entry is computed exactly as it would be for the whole matrix at
// once, in the same order of operands, so that rows computed again give the
// same bits every time.  The range checks look at every entry only when a
// cheap bound on the entries cannot rule out a value beyond the float range:
// the bounding box of the points, or the circumference of the sphere.
#include "matrix_rows.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "geometry.h"
#include "tool_error.h"

// Below the largest float by far more than any rounding of the bounds.
static const double SAFELY_FINITE = 3.0e38;

void StoredRows::row(int i, int from, float *out) const {
    if (from < n) memcpy(out + from, values + (size_t)i * n + from, (size_t)(n - from) * sizeof(float));
}

CoordinateRows::CoordinateRows(std::vector<double> x_values, std::vector<double> y_values, Metric metric,
                               Rounding rounding, bool mirrored)
    : MatrixRows((int)x_values.size()), x(std::move(x_values)), y(std::move(y_values)), metric(metric),
      rounding(rounding), mirrored(mirrored) {
    if (metric == Metric::HAVERSINE)
        for (double latitude : y) cos_y.push_back(haversine_cosine(latitude));
}

// Calls use with the metric's distance from point a to point b, so that the
// loops over a row are compiled for each metric.
template <class Use>
auto CoordinateRows::with_metric(Use use) const {
    switch (metric) {
    case Metric::EUCLID:
        return use([this](int a, int b) { return euclid_distance(x[a], y[a], x[b], y[b]); });
    case Metric::HAVERSINE:
        return use([this](int a, int b) { return haversine_km(x[a], y[a], cos_y[a], x[b], y[b], cos_y[b]); });
    case Metric::TSPLIB_GEO:
        return use([this](int a, int b) { return tsplib_geo_distance(x[a], y[a], x[b], y[b]); });
    default:
        return use([this](int a, int b) { return tsplib_att_distance(x[a], y[a], x[b], y[b]); });
    }
}

template <class Distance>
double CoordinateRows::entry(const Distance &distance, int i, int j) const {
    if (mirrored && j < i) std::swap(i, j);
    double d = i == j ? 0.0 : distance(i, j);
    if (rounding == Rounding::NINT) return std::trunc(d + 0.5);  // d >= 0, and no integer type to overflow
    if (rounding == Rounding::FLOOR) return std::floor(d);
    return d;
}

double CoordinateRows::distance(int i, int j) const {
    return with_metric([&](const auto &distance) { return entry(distance, i, j); });
}

void CoordinateRows::row(int i, int from, float *out) const {
    with_metric([&](const auto &distance) {
        for (int j = from; j < n; ++j) out[j] = (float)entry(distance, i, j);
    });
}

double CoordinateRows::bound() const {
    // No two points of a sphere of the Earth's size are 40,000 km apart.
    if (metric == Metric::HAVERSINE || metric == Metric::TSPLIB_GEO) return 4.0e4;
    if (n == 0) return 0.0;
    auto [x_low, x_high] = std::minmax_element(x.begin(), x.end());
    auto [y_low, y_high] = std::minmax_element(y.begin(), y.end());
    double width = *x_high - *x_low, height = *y_high - *y_low;
    // Rounding up (ATT, nint) adds at most 1.
    return std::sqrt(width * width + height * height) * 1.001 + 2.0;
}

bool CoordinateRows::beyond_float_range(int &i, int &j, double &d) const {
    if (bound() < SAFELY_FINITE) return false;
    for (i = 0; i < n; ++i)
        for (j = mirrored ? i + 1 : 0; j < n; ++j) {
            d = distance(i, j);
            if (std::isinf((float)d)) return true;
        }
    return false;
}

WeightedRows::WeightedRows(const MatrixRows &distances, const VertexInfo &info, const std::string &weights_source)
    : MatrixRows(distances.n), distances(distances), weights(info.weights) {
    float heaviest = weights.empty() ? 0.0f : *std::max_element(weights.begin(), weights.end());
    if ((double)heaviest * distances.bound() * 1.001 < SAFELY_FINITE) return;
    std::vector<float> row_values(n);
    for (int i = 0; i < n; ++i) {
        distances.row(i, 0, row_values.data());
        for (int j = 0; j < n; ++j) {
            float d = row_values[j], w = weights[j];
            if (i == j || std::isinf(d)) continue;
            if (std::isinf((float)((double)w * (double)d)))
                tool_fail("%s: line %d: weight %g of vertex %d times its distance %g from vertex %d is beyond the "
                          "float range",
                          weights_source.c_str(), info.weight_line[j], (double)w, j, (double)d, i);
        }
    }
}

void WeightedRows::weigh(int i, int from, const float *distance_row, float *out) const {
    for (int j = from; j < n; ++j) {
        float d = distance_row[j];
        out[j] = i == j ? 0.0f : std::isinf(d) ? d : (float)((double)weights[j] * (double)d);
    }
}

void WeightedRows::row(int i, int from, float *out) const {
    distances.row(i, from, out);
    weigh(i, from, out, out);
}
