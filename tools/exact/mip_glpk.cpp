// mip_glpk.cpp - the model solved by GLPK's branch and bound (glp_intopt).
//
// GLPK takes a start solution only through its callback, as a heuristic
// solution offered at the first node; that needs the problem as built, so
// its MIP presolver stays off and the root's linear relaxation is solved
// first with the simplex method.  GLPK has no cutoff or increment either;
// the callback ends the search instead (see on_event).
#include <glpk.h>

#include <cmath>
#include <string>

#include "exact.h"

namespace {

struct Search {
    const std::vector<double> *start;  // offered once, at the first heuristic call
    double cutoff;                     // only solutions of at most this value matter (constant left out)
    double increment;                  // a new solution must be this much better
    bool offered = false;
    bool stopped = false;              // the search was ended here: no open node can matter
    long long nodes = 0;
    double incumbent = INFINITY;       // value of the best solution found
    double bound = -INFINITY;          // best bound of the open nodes, last seen
};

// Keeps the node count, the bound and the incumbent; offers the start; and
// ends the search once the best open node cannot hold a solution within the
// cutoff that beats the incumbent by the increment.  GLPK picks the node of
// best bound next, so this prunes all such nodes at once.  It ends the
// search only when GLPK asks for the next node, once any new solution is
// stored.
void on_event(glp_tree *tree, void *info) {
    Search &s = *(Search *)info;
    int active, current, total;
    glp_ios_tree_size(tree, &active, &current, &total);
    s.nodes = total;
    if (glp_ios_reason(tree) == GLP_IBINGO) s.incumbent = glp_mip_obj_val(glp_ios_get_prob(tree));
    int best_node = glp_ios_best_node(tree);
    if (best_node) {
        s.bound = glp_ios_node_bound(tree, best_node);
        double needed = std::fmin(s.cutoff, s.incumbent - s.increment);
        if (s.bound > needed && !s.stopped && glp_ios_reason(tree) == GLP_ISELECT) {
            s.stopped = true;
            glp_ios_terminate(tree);
        }
    }
    if (glp_ios_reason(tree) == GLP_IHEUR && s.start && !s.offered) {
        s.offered = true;
        std::vector<double> x(s.start->size() + 1);
        for (size_t c = 0; c < s.start->size(); ++c) x[c + 1] = (*s.start)[c];
        glp_ios_heur_sol(tree, x.data());
    }
}

int bound_type(double lo, double hi) {
    if (std::isinf(lo) && std::isinf(hi)) return GLP_FR;
    if (std::isinf(hi)) return GLP_LO;
    if (std::isinf(lo)) return GLP_UP;
    return lo == hi ? GLP_FX : GLP_DB;
}

}  // namespace

MipResult solve_with_glpk(const Model &m, const MipOptions &options) {
    const double start_time = wall_seconds();
    glp_term_out(GLP_OFF);
    glp_prob *lp = glp_create_prob();
    glp_set_obj_dir(lp, GLP_MIN);
    if (m.rows() > 0) glp_add_rows(lp, m.rows());
    if (m.columns > 0) glp_add_cols(lp, m.columns);
    for (int r = 0; r < m.rows(); ++r)
        glp_set_row_bnds(lp, r + 1, bound_type(m.row_lo[r], m.row_hi[r]), std::isinf(m.row_lo[r]) ? 0 : m.row_lo[r],
                         std::isinf(m.row_hi[r]) ? 0 : m.row_hi[r]);
    for (int c = 0; c < m.columns; ++c) {
        glp_set_col_bnds(lp, c + 1, bound_type(m.col_lo[c], m.col_hi[c]), std::isinf(m.col_lo[c]) ? 0 : m.col_lo[c],
                         std::isinf(m.col_hi[c]) ? 0 : m.col_hi[c]);
        glp_set_obj_coef(lp, c + 1, m.obj[c]);
        if (m.integer[c]) glp_set_col_kind(lp, c + 1, GLP_IV);
    }
    // GLPK numbers rows, columns and entries from 1.
    std::vector<int> ia(1), ja(1);
    std::vector<double> ar(1);
    ia.reserve(m.nonzeros() + 1);
    ja.reserve(m.nonzeros() + 1);
    ar.reserve(m.nonzeros() + 1);
    for (int r = 0; r < m.rows(); ++r)
        for (int e = m.row_start[r]; e < m.row_start[r + 1]; ++e) {
            ia.push_back(r + 1);
            ja.push_back(m.row_col[e] + 1);
            ar.push_back(m.row_val[e]);
        }
    glp_load_matrix(lp, (int)m.nonzeros(), ia.data(), ja.data(), ar.data());

    MipResult result;
    auto milliseconds_left = [&]() {
        double left = options.time_limit - (wall_seconds() - start_time);
        return (int)std::fmin(std::fmax(left * 1000.0, 1.0), 2e9);
    };
    glp_smcp lp_parm;
    glp_init_smcp(&lp_parm);
    lp_parm.msg_lev = GLP_MSG_OFF;
    if (options.time_limit > 0) lp_parm.tm_lim = milliseconds_left();
    int lp_code = glp_simplex(lp, &lp_parm);

    Search search{options.tuned && !m.start.empty() ? &m.start : nullptr,
                  options.tuned ? options.cutoff - m.constant : INFINITY, options.integral_objective ? 0.9999 : 1e-9};
    glp_iocp parm;
    glp_init_iocp(&parm);
    parm.msg_lev = GLP_MSG_OFF;
    parm.cb_func = on_event;
    parm.cb_info = &search;
    if (options.tuned) parm.sr_heur = GLP_OFF;
    int code = lp_code;
    if (lp_code == 0 && glp_get_status(lp) == GLP_OPT) {
        if (options.time_limit > 0) parm.tm_lim = milliseconds_left();
        code = glp_intopt(lp, &parm);
    }
    int status = glp_mip_status(lp);
    result.nodes = search.nodes;
    if (status == GLP_OPT || status == GLP_FEAS) {
        result.x.resize(m.columns);
        for (int c = 0; c < m.columns; ++c) result.x[c] = glp_mip_col_val(lp, c + 1);
        result.value = model_value(m, result.x);
    }
    result.bound = search.bound + m.constant;
    bool within = (status == GLP_OPT || status == GLP_FEAS) && result.value - m.constant <= search.cutoff;
    if ((status == GLP_OPT || search.stopped) && within) {
        result.status = MipResult::OPTIMAL;
        result.bound = result.value;
    } else if (search.stopped || status == GLP_NOFEAS || (lp_code == 0 && glp_get_status(lp) == GLP_NOFEAS) ||
               (status == GLP_OPT && !within)) {
        result.status = MipResult::INFEASIBLE;
    } else if (code == GLP_ETMLIM) {
        result.status = MipResult::TIME_LIMIT;
    } else {
        result.message = "GLPK stopped with code " + std::to_string(code) + ", status " + std::to_string(status);
    }
    glp_delete_prob(lp);
    return result;
}
