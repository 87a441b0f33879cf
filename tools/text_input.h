// text_input.h - reading the text files that the tools take in.
#ifndef PMEDIAN_TOOLS_TEXT_INPUT_H
#define PMEDIAN_TOOLS_TEXT_INPUT_H

#include <cstdio>
#include <string>

// Skips the UTF-8 byte-order mark that spreadsheet programs and some editors
// put at the start of a text file; leaves any other start unread.  Call it
// right after opening the file.  Returns whether there was a mark.
bool skip_byte_order_mark(FILE *f);

// Whether something (a file, a folder) is at path.
bool path_exists(const std::string &path);

// The whole file, without a leading byte-order mark.  Throws ToolError
// ("cannot open PATH: reason") when it cannot be read.
std::string read_text_file(const std::string &path);

// A text file read a line at a time, so that a large one need not be held
// whole: the lines that read_text_file's text split at each "\n" would
// give, each without its "\n" and one "\r" before it.  Throws ToolError as
// read_text_file does.
class LineReader {
public:
    explicit LineReader(const std::string &path);
    ~LineReader();
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;

    // The next line into line; false after the last one.
    bool next(std::string &line);
    // The size of the file in bytes (0 when it is not a regular file).
    long long size() const { return bytes; }

private:
    std::string path;
    FILE *file;
    char *buffer = nullptr;
    size_t capacity = 0;
    long long bytes = 0;
};

// A whole cell as a finite number: strtod for coordinates, strtof (what the
// solver's "%f" read uses) for values that become the solver's floats.  Text
// around the number, NaN, infinity and values beyond the range are refused.
bool parse_finite_double(const std::string &text, double &value);
bool parse_finite_float(const std::string &text, float &value);

// Whether text is valid UTF-8 (JSON and GeoJSON files must be).
bool valid_utf8(const std::string &text);

#endif
