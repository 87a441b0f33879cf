// output_files.h - writing the tools' output files so that a failure leaves
// no partial file behind.
#ifndef PMEDIAN_TOOLS_OUTPUT_FILES_H
#define PMEDIAN_TOOLS_OUTPUT_FILES_H

#include <cstdio>
#include <string>
#include <vector>

struct OutputFile {
    std::string path;
    std::string text;
};

// Creates the folder and its parents when missing; throws ToolError when
// that is not possible.
void make_folder(const std::string &dir);

// Files written piece by piece, each under a temporary name beside its final
// name.  commit() renames them over their final names, in order, once every
// one is complete.  A failed write, or an object that goes without a commit,
// removes the temporary files and leaves every final file as it was.  Each
// failure throws ToolError naming the file.
class StagedFiles {
public:
    // Creates the temporaries, in the order of paths.
    explicit StagedFiles(const std::vector<std::string> &paths);
    ~StagedFiles();
    StagedFiles(const StagedFiles &) = delete;
    StagedFiles &operator=(const StagedFiles &) = delete;

    // Appends size bytes to file k.
    void write(size_t k, const char *data, size_t size);
    void write(size_t k, const std::string &text) { write(k, text.data(), text.size()); }
    void commit();

private:
    struct Staged {
        std::string path, temporary;
        FILE *file;
    };
    std::vector<Staged> files;
    [[noreturn]] void fail_write(size_t k, int cause);
    void discard();
};

// Writes whole texts as StagedFiles do.
void write_files(const std::vector<OutputFile> &files);

// Removes an output file of an earlier run that this run does not write,
// so that it cannot be taken for one of this run's results.
void remove_stale(const std::string &path);

#endif
