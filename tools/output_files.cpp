// output_files.cpp - see output_files.h.
//
// rename() replaces a file at once, so a reader sees either the old file or
// the complete new one; temporaries are made with mkstemp beside their final
// names, on the same file system, so that the rename cannot fail for that.
#include "output_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tool_error.h"

void make_folder(const std::string &dir) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (!std::filesystem::is_directory(dir))
        tool_fail("cannot create folder %s%s%s", dir.c_str(), error ? ": " : "", error ? error.message().c_str() : "");
}

// Writes text to a fresh temporary file beside final_name and returns its
// name, or "" with errno set (nothing left behind).
static std::string write_temporary(const std::string &final_name, const std::string &text) {
    std::string name = final_name + ".XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    int fd = mkstemp(buffer.data());
    if (fd < 0) return "";
    name = buffer.data();
    fchmod(fd, 0644);
    FILE *f = fdopen(fd, "w");
    if (!f) {
        int cause = errno;
        close(fd);
        unlink(name.c_str());
        errno = cause;
        return "";
    }
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    int cause = errno;
    ok = fclose(f) == 0 && ok;
    if (!ok) {
        if (cause == 0) cause = errno;
        unlink(name.c_str());
        errno = cause ? cause : EIO;
        return "";
    }
    return name;
}

void write_files(const std::vector<OutputFile> &files) {
    std::vector<std::string> temporaries;
    for (const OutputFile &file : files) {
        std::string name = write_temporary(file.path, file.text);
        if (name.empty()) {
            int cause = errno;
            for (const std::string &t : temporaries) unlink(t.c_str());
            tool_fail("cannot write %s: %s", file.path.c_str(), strerror(cause));
        }
        temporaries.push_back(name);
    }
    for (size_t k = 0; k < files.size(); ++k)
        if (rename(temporaries[k].c_str(), files[k].path.c_str()) != 0) {
            int cause = errno;
            for (size_t rest = k; rest < files.size(); ++rest) unlink(temporaries[rest].c_str());
            std::string replaced;
            for (size_t done = 0; done < k; ++done) replaced += (replaced.empty() ? "" : ", ") + files[done].path;
            tool_fail("cannot rename %s to %s: %s%s%s%s", temporaries[k].c_str(), files[k].path.c_str(),
                      strerror(cause), replaced.empty() ? "" : " (", replaced.c_str(),
                      replaced.empty() ? "" : " already replaced)");
        }
}

void remove_stale(const std::string &path) {
    if (unlink(path.c_str()) != 0 && errno != ENOENT)
        tool_fail("cannot remove %s, left from an earlier run: %s", path.c_str(), strerror(errno));
}
