// output_files.h - writing the tools' output files so that a failure leaves
// no partial file behind.
#ifndef PMEDIAN_TOOLS_OUTPUT_FILES_H
#define PMEDIAN_TOOLS_OUTPUT_FILES_H

#include <string>
#include <vector>

struct OutputFile {
    std::string path;
    std::string text;
};

// Creates the folder and its parents when missing; throws ToolError when
// that is not possible.
void make_folder(const std::string &dir);

// Writes every file under a temporary name beside it, and only when all are
// complete renames them over their final names, in order.  A failed write
// removes the temporary files and leaves every final file as it was.
// Throws ToolError naming the file.
void write_files(const std::vector<OutputFile> &files);

// Removes an output file of an earlier run that this run does not write,
// so that it cannot be taken for one of this run's results.
void remove_stale(const std::string &path);

#endif
