// harness.h - one fuzz input run through the whole solver, in process.
//
// The libFuzzer target and the replay of the committed inputs in the unit
// tests share it, so a finding is reproduced by the same code in every build.
#ifndef PMEDIAN_FUZZ_HARNESS_H
#define PMEDIAN_FUZZ_HARNESS_H

#include <cstddef>
#include <cstdint>
#include <string>

// Largest instance an input may declare, so that one input runs in
// milliseconds even when every exchange is tried.
const int FUZZ_MAX_VERTICES = 20;

// Writes the bytes before the first '|' as "pmeddata.dat" and the rest as
// "pmedmtrx.dat" into the working directory and, when the header is one the
// reader accepts and at most FUZZ_MAX_VERTICES, runs read_instance and solve.
// Returns what is wrong with the run's solution file, or "" when nothing is
// or the input was skipped.
std::string run_fuzz_input(const uint8_t *data, size_t size);

// What is wrong with the text of a solution file for nv vertices and pv
// medians, or "".  When found is false no primal solution was found and only
// the layout is checked; otherwise the file must describe a p-median
// solution: p distinct medians, every other vertex once as a client of one.
std::string solution_problem(const std::string &text, int nv, int pv, bool found);

#endif
