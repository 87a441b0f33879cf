// number_reader.cpp - the "%f" reads of the instance files, fast.
//
// The instance files hold millions of numbers, and a formatted read per
// number costs most of the reading time.  Nearly every number is a plain
// decimal (digits, optionally a point and more digits) followed by white
// space, and for those this reader computes the same float as "%f" itself:
// the digits as an integer divided by a power of ten in double is the
// correctly rounded double, and rounding that to float is the correctly
// rounded float unless the double lies exactly halfway between two floats,
// where the reader asks strtof (which "%f" uses) instead.
//
// Anything else (a sign, an exponent, hexadecimal, inf, nan, text, a number
// glued to other characters) hands the file back to fscanf from the start of
// that token, and every later read is fscanf's, so the quirks of the
// formatted read hold exactly.  Files that cannot be repositioned (pipes)
// are read by fscanf throughout, as is everything in the reference build.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pmedian.h"

static FILE *source;            // file being read
static bool formatted;          // true once fscanf reads everything that is left
static char buffer[1 << 16];    // bytes read ahead from source
static size_t buffered, cursor; // bytes in buffer; next byte to look at
static long long buffer_offset; // file offset of buffer[0]
static bool at_end;             // source has no more bytes beyond buffer

void begin_numbers(FILE *f) {
    source = f;
    buffered = cursor = 0;
    at_end = false;
#ifdef PMEDIAN_REFERENCE
    formatted = true;
#else
    struct stat st;
    buffer_offset = ftell(f);
    formatted = buffer_offset < 0 || fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode);
#endif
}

// Keeps the bytes from cursor on and appends more from the file.  Returns
// false when nothing could be added.
static bool refill() {
    if (at_end) return false;
    memmove(buffer, buffer + cursor, buffered - cursor);
    buffer_offset += (long long)cursor;
    buffered -= cursor;
    cursor = 0;
    size_t got = fread(buffer + buffered, 1, sizeof buffer - buffered, source);
    buffered += got;
    if (got == 0) at_end = true;
    return got > 0;
}

static bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
static bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Hands the rest of the file to fscanf, starting at the current token.
static int formatted_from_here(float *target) {
    formatted = true;
    if (fseek(source, buffer_offset + (long long)cursor, SEEK_SET) != 0) return 0;
    return fscanf(source, "%f", target);
}

// The float nearest to a plain decimal token of `length` bytes at text.
static float plain_value(const char *text, size_t length) {
    static const double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    uint64_t digits = 0;
    int fraction = -1, significant = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '.') {
            fraction = 0;
            continue;
        }
        if (fraction >= 0) ++fraction;
        if (digits != 0 || text[i] != '0') ++significant;
        digits = digits * 10 + (uint64_t)(text[i] - '0');
        if (significant > 15) break;
    }
    if (fraction < 0) fraction = 0;
    if (significant <= 15 && fraction <= 22) {
        double value = (double)digits / powers[fraction];  // one rounding: both operands are exact
        uint64_t bits;
        memcpy(&bits, &value, sizeof bits);
        bool halfway = (bits & ((1ULL << 29) - 1)) == (1ULL << 28);
        if (!halfway) return (float)value;
    }
    char copy[128];
    memcpy(copy, text, length);
    copy[length] = '\0';
    return strtof(copy, nullptr);
}

int next_number(float *target) {
    if (formatted) return fscanf(source, "%f", target);
    for (;;) {
        while (cursor < buffered && is_space(buffer[cursor])) ++cursor;
        if (cursor < buffered) break;
        if (!refill()) return fscanf(source, "%f", target);  // at the end: EOF, as fscanf says
    }
    // The token must lie whole in the buffer, with the byte after it.
    size_t end = cursor;
    for (;;) {
        while (end < buffered && (is_digit(buffer[end]) || buffer[end] == '.')) ++end;
        if (end < buffered || at_end || end - cursor >= 100) break;
        end -= cursor;
        if (!refill()) break;
        end += cursor;
    }
    size_t length = end - cursor;
    bool followed_by_space = end < buffered ? is_space(buffer[end]) : at_end;
    const char *text = buffer + cursor;
    const char *point = (const char *)memchr(text, '.', length);
    bool plain = length > 0 && length < 100 && followed_by_space &&
                 (!point || memchr(point + 1, '.', length - (size_t)(point + 1 - text)) == nullptr) &&
                 !(length == 1 && text[0] == '.');
    if (!plain) return formatted_from_here(target);
    *target = plain_value(text, length);
    cursor = end;
    return 1;
}
