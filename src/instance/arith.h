// arith.h - the arithmetic rule of the solver in one place.
//
// Every real value is stored as a 32-bit float, but every expression is
// evaluated in double precision from its float operands and rounded to float
// only when it is stored.  The product of two floats is exact in double, so
// the multiplier test below compares the exact product with the float cost.
// Build with -ffp-contract=off: a fused multiply-add would skip a rounding.
#ifndef PMEDIAN_ARITH_H
#define PMEDIAN_ARITH_H

// Exact product of two floats.
inline double exact_product(float a, float b) { return (double)a * (double)b; }

// A median with cost c takes a vertex whose multiplier is factor x mult
// when the exact product exceeds the cost, strictly.
inline bool takes_vertex(float factor, float mult, float c) {
    return exact_product(factor, mult) > (double)c;
}

// acc + term evaluated in double, rounded once to float: one step of a float
// accumulator.
inline float float_add(float acc, double term) { return (float)((double)acc + term); }

#endif
