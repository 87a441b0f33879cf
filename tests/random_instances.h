// random_instances.h - instance files written from matrices, and the random
// instances of the differential tests.  Free of the test framework, so that
// the case writer for the cross-architecture check shares the generator.
#ifndef PMEDIAN_TEST_RANDOM_INSTANCES_H
#define PMEDIAN_TEST_RANDOM_INSTANCES_H

#include <random>
#include <string>
#include <vector>

using Matrix = std::vector<std::vector<float>>;

void write_file(const std::string &name, const std::string &text);

// A float written so that the "%f" read gives back exactly the same value.
std::string float_text(float v);

// Writes "pmeddata.dat" and "pmedmtrx.dat" for the given matrices into the
// working directory (only off-diagonal costs and the upper distance triangle).
void write_instance(int nv, int pv, const Matrix &costs, const Matrix &dists, float rad);

// An n x n matrix of zeros.
Matrix zero_matrix(int nv);

// The kinds of cost matrix that the fast routines must get right: ties,
// zero and negative costs, costs at or above INFINITE_COST, whole and
// fractional values of very different sizes, float sums past 2^24.
enum CostKind { TIES, WHOLE, NEGATIVE_WHOLE, FRACTIONAL, WIDE_RANGE, HUGE_VALUES, ROUNDING, KIND_COUNT };

struct Generated {
    Matrix costs, dists;
    float rad;
};

float draw_cost(CostKind kind, std::mt19937 &rng);

// Costs of the given kind (symmetric or not), rounded Euclidean distances of
// random points, and a radius of 0, the largest distance, or in between.
Generated generate(int nv, CostKind kind, bool symmetric, std::mt19937 &rng);

#endif
