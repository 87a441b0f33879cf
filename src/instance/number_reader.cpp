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

#include "number_reader.h"

namespace pmedian {

NumberReader::NumberReader(FILE *f) : source(f), buffer(1 << 16) {
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
bool NumberReader::refill() {
    if (at_end) return false;
    memmove(buffer.data(), buffer.data() + cursor, buffered - cursor);
    buffer_offset += (long long)cursor;
    buffered -= cursor;
    cursor = 0;
    size_t got = fread(buffer.data() + buffered, 1, buffer.size() - buffered, source);
    buffered += got;
    if (got == 0) at_end = true;
    return got > 0;
}

static bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
static bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Hands the rest of the file to fscanf, starting at the current token.
int NumberReader::formatted_from_here(float *target) {
    formatted = true;
    if (fseek(source, buffer_offset + (long long)cursor, SEEK_SET) != 0) return 0;
    return fscanf(source, "%f", target);
}

// A plain decimal token as one pass over its bytes reads it: its length,
// the number of points, and while at most 15 significant digits have come,
// those digits as an integer and how many of them follow the point.
struct Token {
    size_t length;
    int points, significant, fraction;
    uint64_t digits;
};

static Token scan_token(const char *text, size_t room) {
    Token t = {0, 0, 0, 0, 0};
    for (; t.length < room; ++t.length) {
        char c = text[t.length];
        if (c == '.') {
            ++t.points;
        } else if (is_digit(c)) {
            if (t.significant > 15) continue;  // too many digits: strtof decides
            if (t.digits != 0 || c != '0') ++t.significant;
            t.digits = t.digits * 10 + (uint64_t)(c - '0');
            if (t.points) ++t.fraction;
        } else {
            break;
        }
    }
    return t;
}

// The float nearest to the plain token t at text: the digits as an integer
// divided by a power of ten in double, which is the correctly rounded double,
// then rounded to float; a double exactly halfway between two floats, or a
// token with more digits than that takes, goes to strtof.
static float plain_value(const char *text, const Token &t) {
    static const double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (t.significant <= 15 && t.fraction <= 22) {
        double value = (double)t.digits / powers[t.fraction];  // one rounding: both operands are exact
        uint64_t bits;
        memcpy(&bits, &value, sizeof bits);
        bool halfway = (bits & ((1ULL << 29) - 1)) == (1ULL << 28);
        if (!halfway) return (float)value;
    }
    char copy[128];
    memcpy(copy, text, t.length);
    copy[t.length] = '\0';
    return strtof(copy, nullptr);
}

int NumberReader::next(float *target) {
    if (formatted) return fscanf(source, "%f", target);
    for (;;) {
        while (cursor < buffered && is_space(buffer[cursor])) ++cursor;
        if (cursor < buffered) break;
        if (!refill()) return fscanf(source, "%f", target);  // at the end: EOF, as fscanf says
    }
    // The token must lie whole in the buffer, with the byte after it.
    Token t;
    for (;;) {
        t = scan_token(buffer.data() + cursor, buffered - cursor);
        if (cursor + t.length < buffered || at_end || t.length >= 100) break;
        if (!refill()) break;
    }
    size_t end = cursor + t.length;
    bool followed_by_space = end < buffered ? is_space(buffer[end]) : at_end;
    bool plain = t.length > 0 && t.length < 100 && followed_by_space && t.points <= 1 && !(t.length == 1 && t.points);
    if (!plain) return formatted_from_here(target);
    *target = plain_value(buffer.data() + cursor, t);
    cursor = end;
    return 1;
}

}  // namespace pmedian
