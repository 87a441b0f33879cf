// model.cpp - the mixed-integer models.
//
// The radius model (the distance-level formulation of Elloumi, and of
// Garcia, Labbe and Marin) describes a client by the distinct costs D1 < D2
// < ... < DK at which it can be served, not by one variable per median.  With
// y[i] = 1 for an open median and G_k the medians at cost D_k, the client
// costs D1 + sum over k < K of (D_{k+1} - D_k) z_k, where z_k >= 0 is 1 when
// no median of G_1 ... G_k is open.  The rows are written as a chain,
//     z_1 + y(G_1) >= 1,   z_k - z_{k-1} + y(G_k) >= 0,   -z_{K-1} + y(G_K) >= 0,
// which for every y gives the least z_k the value max(0, 1 - y(G_1 ... G_k)),
// as the usual rows z_k + y(G_1 ... G_k) >= 1 do, with the same linear
// relaxation; but each median enters one row per client instead of one row
// per level above its cost, so the model has about as many entries as there
// are kept client-median pairs (the classic model needs three per pair).
// The last row says that the client is served by one of its medians.  A
// client whose kept list ends at an open-fixed median needs no last row, and
// one served at a single level by an open-fixed median needs nothing at all.
//
// The classic model, one variable per client-median pair with x[i][j] <=
// y[i], is built for the whole instance only, as the plain comparison.
//
// Both builders look at the clock once per client and give up at the
// deadline: the classic model of a large instance takes long to build.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <set>
#include <utility>

#include "exact.h"

static const double UNBOUNDED = std::numeric_limits<double>::infinity();

static int add_column(Model &m, double obj, double lo, double hi, bool integer) {
    m.obj.push_back(obj);
    m.col_lo.push_back(lo);
    m.col_hi.push_back(hi);
    m.integer.push_back(integer);
    return m.columns++;
}

static void begin_row(Model &m, double lo, double hi) {
    if (m.row_start.empty()) m.row_start.push_back(0);
    m.row_lo.push_back(lo);
    m.row_hi.push_back(hi);
    m.row_start.push_back(m.row_start.back());
}

static void add_entry(Model &m, int col, double value) {
    m.row_col.push_back(col);
    m.row_val.push_back(value);
    ++m.row_start.back();
}

static void cardinality_row(Model &m, int open) {
    begin_row(m, open, open);
    for (int i = 0; i < (int)m.median_col.size(); ++i)
        if (m.median_col[i] >= 0) add_entry(m, m.median_col[i], 1.0);
}

// Entries of the kept list of client j where each level begins, and its end.
static void client_levels(const Candidates &r, int j, std::vector<int> &level) {
    level.clear();
    for (int e = r.start[j]; e < r.start[j + 1]; ++e)
        if (e == r.start[j] || r.cost[e] != r.cost[e - 1]) level.push_back(e);
    level.push_back(r.start[j + 1]);
}

Model radius_model(const Candidates &r, const std::vector<int> &start_medians, double deadline) {
    const int n = r.n, p = r.p;
    Model m;
    m.median_col.assign(n, -1);
    std::vector<char> is_start(n, 0);
    for (int i : start_medians) is_start[i] = 1;
    for (int i = 0; i < n; ++i) {
        if (r.fix[i] == 0) {
            m.median_col[i] = add_column(m, 0.0, 0.0, 1.0, true);
            m.start.push_back(is_start[i]);
        } else if (r.fix[i] > 0) {
            m.fixed_open.push_back(i);
        }
    }
    cardinality_row(m, p - r.count(1));

    std::map<std::vector<int>, int> sets;
    std::set<std::pair<int, int>> moves;
    std::vector<int> level, so_far, group;
    for (int j = 0; j < n; ++j) {
        if (past(deadline)) {
            m.interrupted = true;
            return m;
        }
        client_levels(r, j, level);
        int levels = (int)level.size() - 1;
        if (levels == 0) {
            begin_row(m, 1.0, UNBOUNDED);
            continue;
        }
        m.constant += r.cost[level[0]];
        int rows = r.capped[j] ? levels - 1 : levels;
        int parent = -1;
        so_far.clear();
        for (int k = 0; k < rows; ++k) {
            group.clear();
            bool served = false;
            for (int e = level[k]; e < level[k + 1]; ++e) { group.push_back(m.median_col[r.vertex[e]]); served |= is_start[r.vertex[e]]; }
            so_far.insert(so_far.end(), group.begin(), group.end());
            std::sort(so_far.begin(), so_far.end());
            auto found = sets.find(so_far);
            int z;
            if (found != sets.end()) z = found->second;
            else {
                double parent_start = parent < 0 ? 1.0 : m.start.empty() ? 0.0 : m.start[parent];
                z = add_column(m, 0.0, 0.0, UNBOUNDED, false);
                m.start.push_back(served ? 0.0 : parent_start);
                sets.emplace(so_far, z);
            }
            if (moves.insert({parent, z}).second) {
                begin_row(m, parent < 0 ? 1.0 : 0.0, UNBOUNDED);
                add_entry(m, z, 1.0);
                if (parent >= 0) add_entry(m, parent, -1.0);
                for (int col : group) add_entry(m, col, 1.0);
            }
            if (k + 1 < levels) m.obj[z] += (double)r.cost[level[k + 1]] - (double)r.cost[level[k]];
            else m.col_hi[z] = 0.0;
            parent = z;
        }
    }
    if (start_medians.empty()) m.start.clear();
    return m;
}

Model classic_model(const pmedian::Solver &s, const std::vector<int> &start_medians, double deadline) {
    const int n = s.n, p = s.p;
    float *const *cost = s.cost;
    Model m;
    m.median_col.assign(n, -1);
    std::vector<char> is_start(n, 0);
    for (int i : start_medians) is_start[i] = 1;
    for (int i = 0; i < n; ++i) {
        m.median_col[i] = add_column(m, 0.0, 0.0, 1.0, true);
        m.start.push_back(is_start[i]);
    }
    cardinality_row(m, p);
    for (int j = 0; j < n; ++j) {
        if (past(deadline)) {
            m.interrupted = true;
            return m;
        }
        int server = -1;  // the start solution's cheapest median for j
        for (int i = 0; i < n; ++i)
            if (is_start[i] && (server < 0 || cost[i][j] < cost[server][j])) server = i;
        int first = m.columns;
        for (int i = 0; i < n; ++i) {
            add_column(m, cost[i][j], 0.0, 1.0, false);
            m.start.push_back(i == server);
        }
        begin_row(m, 1.0, 1.0);
        for (int i = 0; i < n; ++i) add_entry(m, first + i, 1.0);
        for (int i = 0; i < n; ++i) {
            begin_row(m, -UNBOUNDED, 0.0);
            add_entry(m, first + i, 1.0);
            add_entry(m, m.median_col[i], -1.0);
        }
    }
    if (start_medians.empty()) m.start.clear();
    return m;
}

// The size of the radius model whose client j has pairs[j] pairs at
// levels[j] distinct costs (at least one).
static ModelSize size_from_levels(const std::vector<long long> &pairs, const std::vector<long long> &levels) {
    const int n = (int)pairs.size();
    ModelSize s;
    s.columns = n;
    s.rows = 1;
    s.nonzeros = n;
    for (int j = 0; j < n; ++j) {
        s.columns += levels[j] - 1;
        s.rows += levels[j];
        s.nonzeros += pairs[j] + 2 * (levels[j] - 1);
    }
    return s;
}

ModelSize radius_model_size(const Candidates &c) {
    const int n = c.n;
    std::vector<long long> pairs(n), levels(n);
    std::vector<int> level;
    for (int j = 0; j < n; ++j) {
        client_levels(c, j, level);
        pairs[j] = c.start[j + 1] - c.start[j];
        levels[j] = (long long)level.size() - 1;
    }
    return size_from_levels(pairs, levels);
}

// Each column's levels are counted on a sorted copy of it.
ModelSize radius_model_size(const AllPairs &all) {
    const int n = all.n;
    std::vector<long long> pairs(n), levels(n);
#pragma omp parallel if (n >= 256)
    {
        std::vector<float> column;
        column.reserve(n);
#pragma omp for schedule(dynamic, 16)
        for (int j = 0; j < n; ++j) {
            column.clear();
            all.below(j, INFINITY, [&column](int, float c) { column.push_back(c); });
            std::sort(column.begin(), column.end());
            pairs[j] = (long long)column.size();
            levels[j] = 1;
            for (size_t k = 1; k < column.size(); ++k) levels[j] += column[k] != column[k - 1];
        }
    }
    return size_from_levels(pairs, levels);
}

std::vector<int> model_medians(const Model &m, const std::vector<double> &x) {
    std::vector<int> medians = m.fixed_open;
    for (int i = 0; i < (int)m.median_col.size(); ++i)
        if (m.median_col[i] >= 0 && x[m.median_col[i]] > 0.5) medians.push_back(i);
    return medians;
}

bool model_feasible(const Model &m, const std::vector<double> &x, double tolerance) {
    if ((int)x.size() != m.columns) return false;
    for (int c = 0; c < m.columns; ++c)
        if (x[c] < m.col_lo[c] - tolerance || x[c] > m.col_hi[c] + tolerance) return false;
    for (int r = 0; r < m.rows(); ++r) {
        double activity = 0.0;
        for (int e = m.row_start[r]; e < m.row_start[r + 1]; ++e) activity += m.row_val[e] * x[m.row_col[e]];
        if (activity < m.row_lo[r] - tolerance || activity > m.row_hi[r] + tolerance) return false;
    }
    return true;
}

double model_value(const Model &m, const std::vector<double> &x) {
    double value = m.constant;
    for (int c = 0; c < m.columns; ++c) value += m.obj[c] * x[c];
    return value;
}

double solution_cost(const pmedian::Solver &s, const std::vector<int> &medians) {
    const int n = s.n;
    float *const *cost = s.cost;
    double total = 0.0;
    std::vector<char> is_median(n, 0);
    for (int i : medians) is_median[i] = 1;
    for (int j = 0; j < n; ++j) {
        if (is_median[j]) continue;
        float nearest = INFINITY;
        for (int i : medians) nearest = std::fmin(nearest, cost[i][j]);
        total += nearest;
    }
    return total;
}
