// summary.cpp - the console summary that ends the subgradient loop: ten
// labelled values, one per line, after two line breaks.
#include <cstdio>

#include "pmedian.h"

void print_summary(float ZP, float Pi) {
    printf("\n");
    printf("\nIteracoes .................... %6d", iterations);
    printf("\nUB ........................... %9.2f", UB);
    printf("\nLB ........................... %9.2f", LB);
    printf("\nZD ........................... %9.2f", ZD);
    printf("\nZP ........................... %9.2f", ZP);
    printf("\nPi ........................... %11.4f", Pi);
    printf("\nTFator ....................... %11.4f", TFator);
    printf("\nSolucoes viaveis ............. %6d", feasible_count);
    printf("\nTotal CPU Time ............... %9.2f", cpu_time);
    printf("\nStatus da solucao ............ %6d\n", status);
}
