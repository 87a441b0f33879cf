// text_input.cpp - reading the text files that the tools take in.
//
// A byte-order mark is invisible in an editor, but to a number reader it is
// three bytes of text before the first number: skipped here, it cannot turn
// a good file into an unreadable one.
#include "text_input.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "tool_error.h"

bool skip_byte_order_mark(FILE *f) {
    static const unsigned char MARK[3] = {0xEF, 0xBB, 0xBF};
    unsigned char start[3];
    size_t got = fread(start, 1, sizeof start, f);
    if (got == sizeof start && start[0] == MARK[0] && start[1] == MARK[1] && start[2] == MARK[2]) return true;
    // Something else: read again from the start.  A pipe cannot seek, but
    // the few bytes read can be pushed back.
    if (fseek(f, 0, SEEK_SET) != 0)
        while (got > 0) ungetc(start[--got], f);
    return false;
}

bool path_exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string read_text_file(const std::string &path) {
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) tool_fail("cannot open %s: %s", path.c_str(), strerror(errno));
    skip_byte_order_mark(f);
    std::string text;
    char buffer[1 << 16];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
    bool failed = ferror(f);
    fclose(f);
    if (failed) tool_fail("cannot read %s", path.c_str());
    return text;
}

LineReader::LineReader(const std::string &path) : path(path) {
    file = fopen(path.c_str(), "rb");
    if (!file) tool_fail("cannot open %s: %s", path.c_str(), strerror(errno));
    struct stat st;
    if (fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode)) bytes = st.st_size;
    skip_byte_order_mark(file);
}

LineReader::~LineReader() {
    fclose(file);
    free(buffer);
}

bool LineReader::next(std::string &line) {
    ssize_t got = getline(&buffer, &capacity, file);
    if (got < 0) {
        if (ferror(file)) tool_fail("cannot read %s", path.c_str());
        return false;
    }
    if (got > 0 && buffer[got - 1] == '\n') --got;
    if (got > 0 && buffer[got - 1] == '\r') --got;
    line.assign(buffer, (size_t)got);
    return true;
}

bool parse_finite_double(const std::string &text, double &value) {
    if (text.empty()) return false;
    char *end = nullptr;
    errno = 0;
    value = strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(value);
}

bool parse_finite_float(const std::string &text, float &value) {
    if (text.empty()) return false;
    char *end = nullptr;
    errno = 0;
    value = strtof(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(value);
}

bool valid_utf8(const std::string &text) {
    size_t i = 0, n = text.size();
    while (i < n) {
        unsigned char c = (unsigned char)text[i];
        size_t extra;
        unsigned long code;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n) return false;  // cut short by the end
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char d = (unsigned char)text[i + k];
            if ((d & 0xC0) != 0x80) return false;
            code = (code << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are not text.
        static const unsigned long SMALLEST[4] = {0, 0x80, 0x800, 0x10000};
        if (code < SMALLEST[extra] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
        i += extra + 1;
    }
    return true;
}
