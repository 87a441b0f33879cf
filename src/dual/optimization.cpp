// optimization.cpp - the subgradient optimisation loop, the solver's main loop.
//
// Each outer iteration makes one dual step (a factor search until five
// searches in a row have returned the same factor, then a single relaxation
// at the unchanged TFator), builds and improves a primal solution whenever
// the dual bound LB rises, halves the step parameter Pi after 15 iterations
// without a rise of LB's integer part, and moves lambda along the subgradient.
// It stops when the relaxed solution is feasible, the gap UB - LB is 1 or
// less, or Pi has fallen below 0.005.
//
// Why every run ends, NaN and infinite input included.  The procedures called
// here are bounded loops over n and p (the sort keeps its scans inside its
// range even for NaN, a factor search makes at most 11 evaluations); the two
// open loops are this one and the interchange chain.
//  - Pi is halved whenever stall reaches 15, and the ninth halving ends the
//    loop, so at most 135 iterations pass without a reset of stall.  A reset
//    needs ZD > LB, which a NaN ZD never passes: LB is never NaN.  A lambda
//    that turns infinite or NaN (a step that overflowed, or 0 x inf) makes
//    every later ZD NaN or -inf, so Pi then runs out.
//  - UB starts at INFINITE_COST and takes only smaller ZP values, so it is
//    never NaN or +inf.  A ZD of +inf makes LB = +inf, and then UB - LB > 1
//    is false and the loop ends in that iteration.
//  - While the loop goes on, LB is a finite float below UB - 1 and rises
//    strictly at every reset, so the resets are finite in number; weak
//    duality (ZD never exceeds the optimum) is what keeps them few.
//  - The chain repeats interchange passes while each returns v < ZP.  v is
//    the cost of the arrangement the pass left, by the fixed allocation rule,
//    so a chain of strictly falling costs never returns to an arrangement and
//    ends; a NaN v fails the test, and a -inf v cannot be beaten.  This needs
//    v to be a float, the same float for the same arrangement: a pass that
//    finds no better exchange returns exactly the ZP of its arrangement.  A
//    v that kept excess precision (an x87 register) can lie just below its
//    own float rounding, so v < ZP would hold for ever on one arrangement;
//    arith.h refuses to compile such arithmetic.

#include <cmath>
#include <cstdint>

#include "arith.h"
#include "solver.h"

namespace pmedian {

// Integer part of a float: truncation toward zero to a 64-bit integer whose
// low 32 bits are read as a signed 32-bit integer.  A NaN or a value outside
// the 64-bit range gives 0, as the hardware conversion's low bits do.
int integer_part(float x) {
    if (!(std::fabs((double)x) < 9223372036854775808.0)) return 0;
    int64_t whole = (int64_t)x;
    return (int32_t)(uint32_t)(uint64_t)whole;
}

void Solver::subgradient_optimization() {
    Pi = 2.0f;
    int stall = 0, repeats = 0;
    float last_factor = 0.0f, factor = 0.25f, factor_step = 0.25f;
    ZP = 0.0f;  // printed as 0.00 if no primal solution is ever built
    bool stopped = false;
    feasible_count = 0;
    cpu_time = 0.0f;

    do {
        t_start = clock_ms();
        ++stall;

        if (repeats < 5) {
            TFator = search_factor(factor, factor_step);
            if (TFator == last_factor) {
                ++repeats;
            } else {
                last_factor = TFator;
                repeats = 1;
            }
        } else {
            solve_relaxation();
        }

        if (ZD > LB) {
            if (integer_part(ZD) > integer_part(LB)) stall = 0;
            LB = ZD;
            if (best_multiplier)
                for (int j = 0; j < n; ++j) best_multiplier[j] = exact_product(TFator, lambda[j]);
            ++feasible_count;
            for (int i = 0; i < n; ++i) sv_node[i] = node[i];
            ZP = allocate_clients();
            for (;;) {
                float v = interchange();
                if (!(v < ZP)) break;
                ZP = v;
            }
            if (ZP < UB) {
                UB = ZP;
                for (int i = 0; i < n; ++i) best[i] = sv_node[i];
            }
        }

        if (stall >= 15) {
            Pi = (float)((double)Pi / 2.0);
            stall = 0;
        }

        compute_subgradient();
        if (!feasible) {
            float norm = 0.0f;
            for (int i = 0; i < n; ++i) norm = float_add(norm, (double)subg[i] * (double)subg[i]);
            float step_size = (float)(((double)UB - (double)ZD) * (double)Pi / (double)norm);
            for (int i = 0; i < n; ++i) {
                lambda[i] = float_add(lambda[i], (double)subg[i] * (double)step_size);
                if (lambda[i] < 0.0f) lambda[i] = 0.0f;
            }
        }

        t_end = clock_ms();
        cpu_time = float_add(cpu_time, elapsed_seconds((float)t_start, (float)t_end));
        // A front end may end the run here, unless it is over anyway.
        if (iteration_hook && iteration_hook())
            stopped = !feasible && (double)UB - (double)LB > 1.0 && (double)Pi >= 0.005;
    } while (!stopped && !feasible && (double)UB - (double)LB > 1.0 && (double)Pi >= 0.005);

    if ((double)UB - (double)LB <= 1.0)
        status = STATUS_GAP_CLOSED;
    else if (feasible)
        status = STATUS_RELAXATION_FEASIBLE;
    else if (stopped)
        status = STATUS_STOPPED;
    else
        status = STATUS_STEP_EXHAUSTED;
    print_summary(ZP, Pi);
}

}  // namespace pmedian
