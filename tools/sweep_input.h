// sweep_input.h - what pmedian-sweep reads: the list of p values and the
// headers of an instance's two files, which the folders of a sweep rewrite.
#ifndef PMEDIAN_TOOLS_SWEEP_INPUT_H
#define PMEDIAN_TOOLS_SWEEP_INPUT_H

#include <cstddef>
#include <string>
#include <vector>

// The most p values one sweep takes: each gets a copy of the instance.
const int MAX_SWEEP_VALUES = 1000;

// "5,10,20" or "5:100:5" (first:last:step, both ends included; "5:10" steps
// by 1), or a mixture separated by commas.  The values, ascending and each
// once; every one must lie in 1..n.  Throws ToolError saying what is wrong.
std::vector<int> parse_p_list(const std::string &text, int n);

// Where the two leading integers of an instance file end: the file is
// those integers, then the rest from rest_offset on.  For "pmeddata.dat"
// they are n and p, for "pmedmtrx.dat" the two integers the solver skips
// (by convention n and p).  Throws ToolError when the file does not start
// with two integers (after an optional byte-order mark and blanks).
struct FileHead {
    long long first = 0, second = 0;
    size_t rest_offset = 0;
};
FileHead parse_file_head(const std::string &start, const std::string &name);

#endif
