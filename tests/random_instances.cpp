// random_instances.cpp - instance files and random instances for the tests.
#include "random_instances.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "solver.h"

using namespace pmedian;

void write_file(const std::string &name, const std::string &text) {
    std::ofstream out(name, std::ios::binary);
    out << text;
}

std::string float_text(float v) {
    char text[64];
    snprintf(text, sizeof text, "%.9g", (double)v);
    return text;
}

void write_instance(int nv, int pv, const Matrix &costs, const Matrix &dists, float rad) {
    std::string data = std::to_string(nv) + " " + std::to_string(pv) + "\n";
    for (int i = 0; i < nv; ++i) {
        for (int j = 0; j < nv; ++j)
            if (j != i) data += float_text(costs[i][j]) + " ";
        data += "\n";
    }
    write_file("pmeddata.dat", data);
    std::string matrix = std::to_string(nv) + " " + std::to_string(pv) + " " + float_text(rad) + "\n";
    for (int i = 0; i < nv; ++i) {
        for (int j = i + 1; j < nv; ++j) matrix += float_text(dists[i][j]) + " ";
        matrix += "\n";
    }
    write_file("pmedmtrx.dat", matrix);
}

Matrix zero_matrix(int nv) { return Matrix(nv, std::vector<float>(nv, 0.0f)); }

float draw_cost(CostKind kind, std::mt19937 &rng) {
    std::uniform_int_distribution<int> pick(0, 999);
    switch (kind) {
    case TIES: return (float)(pick(rng) % 3);
    case WHOLE: return (float)(pick(rng) % 100);
    case NEGATIVE_WHOLE: return (float)(pick(rng) % 60 - 20);
    case FRACTIONAL: return (float)(pick(rng)) * 0.37f + 0.01f;
    case WIDE_RANGE: return std::ldexp((float)(pick(rng) + 1), pick(rng) % 40 - 20);
    case HUGE_VALUES: {
        int r = pick(rng);
        if (r < 150) return 1e11f;
        if (r < 250) return INFINITE_COST;
        if (r < 300) return 3e10f;
        return (float)(r % 50) + 0.5f;
    }
    case ROUNDING: {
        // Sums past 2^24 round away the small costs, so a trial's float sum
        // and its exact value can fall on different sides of the best.
        int r = pick(rng);
        if (r < 300) return 16777216.0f;
        if (r < 400) return 8388608.0f;
        return (float)(r % 4) * 0.5f;
    }
    default: return 0.0f;
    }
}

Generated generate(int nv, CostKind kind, bool symmetric, std::mt19937 &rng) {
    Generated g{zero_matrix(nv), zero_matrix(nv), 0.0f};
    std::uniform_real_distribution<float> where(0.0f, 100.0f);
    std::vector<float> x(nv), y(nv);
    for (int i = 0; i < nv; ++i) {
        x[i] = where(rng);
        y[i] = where(rng);
    }
    float largest = 0.0f;
    for (int i = 0; i < nv; ++i)
        for (int j = 0; j < nv; ++j) {
            if (i == j) continue;
            g.costs[i][j] = symmetric && j < i ? g.costs[j][i] : draw_cost(kind, rng);
            g.dists[i][j] = std::round(std::hypot(x[i] - x[j], y[i] - y[j]));
            if (j < i) g.dists[i][j] = g.dists[j][i];
            largest = std::max(largest, g.dists[i][j]);
        }
    int r = (int)(rng() % 4);
    g.rad = r == 0 ? 0.0f : r == 1 ? largest : r == 2 ? largest * 0.4f : std::round(largest * 0.7f);
    return g;
}
