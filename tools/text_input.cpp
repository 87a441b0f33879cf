// text_input.cpp - reading the text files that the tools take in.
//
// A byte-order mark is invisible in an editor, but to a number reader it is
// three bytes of text before the first number: skipped here, it cannot turn
// a good file into an unreadable one.
#include "text_input.h"

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
