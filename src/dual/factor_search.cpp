// factor_search.cpp - a short line search on the scalar TFator.
//
// The relaxation is evaluated at up to 11 trial factors.  The best one is
// kept (saved into sv_node and sv_beta), and the next trial follows the sign
// of the slope of ZD along lambda at the latest improving trial: down by half
// a step after a positive slope, up by a step otherwise, an interpolation
// between the latest rise and fall points once both exist, and a halved step
// back after a failed trial.  A "turn" (interpolation or failure) lets at most
// one more evaluation follow.
#include "arith.h"
#include "solver.h"

namespace pmedian {

// Rate of change of ZD with TFator while the open medians stay the same:
// lambda weighted by the subgradient, accumulated in float in a fixed order:
// for each vertex, lambda[i] is subtracted once per open median that takes
// it, then every lambda[i] is added.  The fast build counts the takers by
// walks (count_takers) and makes the same subtractions in the same order.
float Solver::factor_slope() {
    float slope = 0.0f;
#ifdef PMEDIAN_REFERENCE
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < p; ++j)
            if (takes_vertex(TFator, lambda[i], cost[node[j]][i])) slope = float_add(slope, -(double)lambda[i]);
#else
    count_takers();
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < taken_count[i]; ++k) slope = float_add(slope, -(double)lambda[i]);
#endif
    for (int i = 0; i < n; ++i) slope = float_add(slope, lambda[i]);
    return slope;
}

// Next trial between a rise point and a fall point, weighted by their ZD.
// Two ZD values that cancel give no weights; the midpoint is tried instead.
static float interpolate(float rise_factor, float rise_zd, float fall_factor, float fall_zd) {
    double weight = (double)rise_zd + (double)fall_zd;
    if (weight == 0.0) return (float)(((double)rise_factor + (double)fall_factor) / 2.0);
    return (float)((exact_product(rise_zd, rise_factor) + exact_product(fall_zd, fall_factor)) / weight);
}

float Solver::search_factor(float &factor, float &factor_step) {
    TFator = factor;
    float step = factor_step;
    int evals = 0, turned = 0;
    float best_zd = -INFINITE_COST, best_factor = 0.0f;
    float rise_factor = 0.0f, rise_zd = 0.0f, fall_factor = 0.0f, fall_zd = 0.0f;
    bool saved = false;

    while (evals < 10) {
        ++evals;
        solve_relaxation();
        bool turn = false;
        if (ZD > best_zd) {
            for (int i = 0; i < n; ++i) {
                sv_node[i] = node[i];
                sv_beta[i] = beta[i];
            }
            saved = true;
            best_zd = ZD;
            best_factor = TFator;
            factor = TFator;
            float slope = factor_slope();
            if (slope > 0.0f) {
                rise_factor = TFator;
                rise_zd = ZD;
                if (fall_factor > 0.0f) {
                    TFator = interpolate(rise_factor, rise_zd, fall_factor, fall_zd);
                    turn = true;
                } else {
                    TFator = (float)((double)TFator - (double)step / 2.0);
                    if (TFator <= 0.0f) evals = 10;
                }
            } else if (slope <= 0.0f) {  // a NaN slope is neither: the trial stays put
                fall_factor = TFator;
                fall_zd = ZD;
                if (rise_factor > 0.0f) {
                    TFator = interpolate(rise_factor, rise_zd, fall_factor, fall_zd);
                    turn = true;
                } else {
                    TFator = (float)((double)TFator + (double)step);
                }
            }
        } else {
            step = (float)((double)step / 2.0);
            TFator = (float)((double)TFator - (double)step);
            turn = true;
        }
        if (turn) {
            turned = 1 - turned;
            evals = 10 - turned;
        }
    }

    // Without any improving evaluation there is nothing saved to restore:
    // ZD, node and beta stay as the last evaluation left them.
    if (!saved) return 0.0f;
    ZD = best_zd;
    for (int i = 0; i < n; ++i) {
        node[i] = sv_node[i];
        beta[i] = sv_beta[i];
    }
    return best_factor;
}

}  // namespace pmedian
