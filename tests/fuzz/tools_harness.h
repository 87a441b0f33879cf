// tools_harness.h - one fuzz input run through one parser of the tools, in
// process: the converter's formats and options, weights files, side files,
// solution files, console summaries, sweep p lists and instance headers.
//
// The libFuzzer target fuzz_tools and the replay of the committed inputs in
// the unit tests share it.
#ifndef PMEDIAN_FUZZ_TOOLS_HARNESS_H
#define PMEDIAN_FUZZ_TOOLS_HARNESS_H

#include <cstddef>
#include <cstdint>
#include <string>

// The first byte chooses the parser (and for the converter the format and
// options); the rest is split at its first '|' into the files "a" and "b"
// in the working directory.  Bad input must be refused with a ToolError or
// status 1; returns what is wrong otherwise (a converted instance that does
// not read back, a side file that does not survive its own writer), or "".
std::string run_tools_fuzz_input(const uint8_t *data, size_t size);

#endif
