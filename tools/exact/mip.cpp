// mip.cpp - the MIP solvers this build has, behind one interface.  Each
// solves a Model with the same options and reports in the same terms, so
// the proof does not care which one runs.
#include "exact.h"

MipResult solve_with_cbc(const Model &model, const MipOptions &options);
MipResult solve_with_glpk(const Model &model, const MipOptions &options);

const std::vector<MipSolver> &mip_solvers() {
    static const std::vector<MipSolver> solvers = {
#ifdef PMEDIAN_HAVE_CBC
        {"cbc", solve_with_cbc},
#endif
#ifdef PMEDIAN_HAVE_GLPK
        {"glpk", solve_with_glpk},
#endif
    };
    return solvers;
}
