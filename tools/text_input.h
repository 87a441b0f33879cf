// text_input.h - reading the text files that the tools take in.
#ifndef PMEDIAN_TOOLS_TEXT_INPUT_H
#define PMEDIAN_TOOLS_TEXT_INPUT_H

#include <cstdio>
#include <string>

// Skips the UTF-8 byte-order mark that spreadsheet programs and some editors
// put at the start of a text file; leaves any other start unread.  Call it
// right after opening the file.  Returns whether there was a mark.
bool skip_byte_order_mark(FILE *f);

// The whole file, without a leading byte-order mark.  Throws ToolError
// ("cannot open PATH: reason") when it cannot be read.
std::string read_text_file(const std::string &path);

// A whole cell as a finite number: strtod for coordinates, strtof (what the
// solver's "%f" read uses) for values that become the solver's floats.  Text
// around the number, NaN, infinity and values beyond the range are refused.
bool parse_finite_double(const std::string &text, double &value);
bool parse_finite_float(const std::string &text, float &value);

// Whether text is valid UTF-8 (JSON and GeoJSON files must be).
bool valid_utf8(const std::string &text);

#endif
