// text_input.h - reading the text files that the tools take in.
#ifndef PMEDIAN_TOOLS_TEXT_INPUT_H
#define PMEDIAN_TOOLS_TEXT_INPUT_H

#include <cstdio>

// Skips the UTF-8 byte-order mark that spreadsheet programs and some editors
// put at the start of a text file; leaves any other start unread.  Call it
// right after opening the file.  Returns whether there was a mark.
bool skip_byte_order_mark(FILE *f);

#endif
