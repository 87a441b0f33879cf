// number_reader.h - the "%f" reads of an instance file, fast (number_reader.cpp).
#ifndef PMEDIAN_NUMBER_READER_H
#define PMEDIAN_NUMBER_READER_H

#include <cstdio>
#include <vector>

namespace pmedian {

// Reads the numbers of one open file, from its current position on, each as
// fscanf(f, "%f") would.
class NumberReader {
public:
    explicit NumberReader(FILE *f);
    int next(float *target);  // fscanf's return value: 1, 0 or EOF

private:
    bool refill();
    int formatted_from_here(float *target);

    FILE *source;                // file being read
    bool formatted;              // true once fscanf reads everything that is left
    std::vector<char> buffer;    // bytes read ahead from source
    size_t buffered = 0, cursor = 0; // bytes in buffer; next byte to look at
    long long buffer_offset = 0; // file offset of buffer[0]
    bool at_end = false;         // source has no more bytes beyond buffer
};

}  // namespace pmedian

#endif
