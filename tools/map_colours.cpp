// map_colours.cpp - see map_colours.h.
#include "map_colours.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

const std::vector<unsigned> MAP_PALETTE = {0x1f77b4, 0xff7f0e, 0x2ca02c, 0xd62728, 0x9467bd, 0x8c564b, 0xe377c2,
                                           0x7f7f7f, 0xbcbd22, 0x17becf, 0x393b79, 0xad494a, 0x637939, 0x8c6d31,
                                           0x7b4173, 0x3182bd, 0xe6550d, 0x31a354, 0x756bb1, 0x636363};

std::vector<int> cluster_colours(const std::vector<double> &x, const std::vector<double> &y,
                                 const std::vector<int> &medians, const std::vector<int> &median_of) {
    int p = (int)medians.size(), colours = (int)MAP_PALETTE.size();
    std::vector<int> colour(p);
    if (p <= colours) {
        for (int k = 0; k < p; ++k) colour[k] = k;
        return colour;
    }
    std::vector<int> cluster_of(median_of.size(), -1);
    for (int k = 0; k < p; ++k) cluster_of[medians[k]] = k;
    auto squared = [&](int a, int b) { return (x[a] - x[b]) * (x[a] - x[b]) + (y[a] - y[b]) * (y[a] - y[b]); };

    std::vector<std::set<int>> neighbours(p);
    auto meet = [&](int a, int b) {
        if (a == b) return;
        neighbours[a].insert(b);
        neighbours[b].insert(a);
    };
    for (size_t v = 0; v < median_of.size(); ++v) {
        int own = cluster_of[median_of[v]], nearest = -1;
        double best = std::numeric_limits<double>::infinity();
        for (int k = 0; k < p; ++k)
            if (k != own && squared((int)v, medians[k]) < best) best = squared((int)v, medians[k]), nearest = k;
        if (nearest >= 0) meet(own, nearest);
    }
    const int NEAREST = 6;
    for (int k = 0; k < p; ++k) {
        std::vector<std::pair<double, int>> by_distance;
        for (int j = 0; j < p; ++j)
            if (j != k) by_distance.push_back({squared(medians[k], medians[j]), j});
        size_t count = std::min<size_t>(NEAREST, by_distance.size());
        std::partial_sort(by_distance.begin(), by_distance.begin() + count, by_distance.end());
        for (size_t j = 0; j < count; ++j) meet(k, by_distance[j].second);
    }

    std::vector<int> order(p);
    for (int k = 0; k < p; ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return neighbours[a].size() > neighbours[b].size(); });
    std::fill(colour.begin(), colour.end(), -1);
    std::vector<int> taken(colours, 0);  // clusters of each colour so far
    for (int k : order) {
        std::vector<int> used(colours, 0);
        for (int j : neighbours[k])
            if (colour[j] >= 0) ++used[colour[j]];
        int best = 0;
        for (int c = 1; c < colours; ++c)
            if (used[c] < used[best] || (used[c] == used[best] && taken[c] < taken[best])) best = c;
        colour[k] = best;
        ++taken[best];
    }
    return colour;
}
