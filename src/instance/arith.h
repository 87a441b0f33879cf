// arith.h - the arithmetic rule of the solver in one place.
//
// Every real value is stored as a 32-bit float, but every expression is
// evaluated in double precision from its float operands and rounded to float
// only when it is stored.  The product of two floats is exact in double, so
// the multiplier test below compares the exact product with the float cost.
// Build with -ffp-contract=off: a fused multiply-add would skip a rounding.
#ifndef PMEDIAN_ARITH_H
#define PMEDIAN_ARITH_H

#include <cfloat>

// The rule needs float and double operations evaluated in their own types.
// An x87 build (32-bit x86 without -msse2 -mfpmath=sse) keeps values in
// 80-bit registers: a float that was never stored carries 64 significand
// bits, results differ from every other machine, and a comparison such as
// the interchange chain's v < ZP can stay true for ever.
static_assert(FLT_EVAL_METHOD == 0,
              "floating-point expressions are evaluated with excess precision: "
              "on 32-bit x86 build with -msse2 -mfpmath=sse");

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

// The same step when the term is itself a float.  Rounding the double sum
// of two floats to float gives the correctly rounded float sum, since a
// double carries more than twice a float's precision (double rounding of one
// addition is then innocuous), so one native float addition gives the same
// bits without the two conversions on a chain of dependent additions.
inline float float_sum(float acc, float term) { return acc + term; }

// The loops that gain from wide vectors are compiled twice on x86, once for
// AVX2 and once for the baseline, and the loader picks the one the CPU runs.
// Neither copy may fuse or reorder float operations, so both give the same
// bits.  Other architectures compile them once, for their own baseline
// vectors (NEON, VSX, z/Architecture vectors or plain scalar code).
#if (defined(__x86_64__) || defined(__i386__)) && defined(__has_attribute)
#if __has_attribute(target_clones)
#define VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#endif
#endif
#ifndef VECTOR_CLONES
#define VECTOR_CLONES
#endif

#endif
