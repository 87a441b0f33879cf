// summary.cpp - the console summary that ends the subgradient loop: ten
// labelled values, one per line, after two line breaks.  It goes to standard
// output; a front end may send it elsewhere or nowhere.
#include <cstdio>

#include "solver.h"

namespace pmedian {

void Solver::print_summary(float ZP, float Pi) {
    FILE *out = summary_stream;
    if (!out) return;
    fprintf(out, "\n");
    fprintf(out, "\nIteracoes .................... %6d", iterations);
    fprintf(out, "\nUB ........................... %9.2f", UB);
    fprintf(out, "\nLB ........................... %9.2f", LB);
    fprintf(out, "\nZD ........................... %9.2f", ZD);
    fprintf(out, "\nZP ........................... %9.2f", ZP);
    fprintf(out, "\nPi ........................... %11.4f", Pi);
    fprintf(out, "\nTFator ....................... %11.4f", TFator);
    fprintf(out, "\nSolucoes viaveis ............. %6d", feasible_count);
    fprintf(out, "\nTotal CPU Time ............... %9.2f", cpu_time);
    fprintf(out, "\nStatus da solucao ............ %6d\n", (int)status);
}

}  // namespace pmedian
