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

StagedFiles::StagedFiles(const std::vector<std::string> &paths) {
    for (const std::string &path : paths) {
        std::string name = path + ".XXXXXX";
        std::vector<char> buffer(name.begin(), name.end());
        buffer.push_back('\0');
        int fd = mkstemp(buffer.data());
        FILE *f = fd < 0 ? nullptr : fdopen(fd, "w");
        if (!f) {
            int cause = errno;
            if (fd >= 0) {
                close(fd);
                unlink(buffer.data());
            }
            discard();
            tool_fail("cannot write %s: %s", path.c_str(), strerror(cause));
        }
        fchmod(fd, 0644);
        files.push_back({path, buffer.data(), f});
    }
}

StagedFiles::~StagedFiles() { discard(); }

void StagedFiles::discard() {
    for (Staged &file : files) {
        if (file.file) fclose(file.file);
        unlink(file.temporary.c_str());
    }
    files.clear();
}

void StagedFiles::fail_write(size_t k, int cause) {
    std::string path = files[k].path;
    discard();
    tool_fail("cannot write %s: %s", path.c_str(), strerror(cause ? cause : EIO));
}

void StagedFiles::write(size_t k, const char *data, size_t size) {
    errno = 0;
    if (size > 0 && fwrite(data, 1, size, files[k].file) != size) fail_write(k, errno);
}

void StagedFiles::commit() {
    for (size_t k = 0; k < files.size(); ++k) {
        errno = 0;
        bool ok = !ferror(files[k].file);
        int cause = errno;
        ok = fclose(files[k].file) == 0 && ok;
        files[k].file = nullptr;
        if (!ok) fail_write(k, cause ? cause : errno);
    }
    for (size_t k = 0; k < files.size(); ++k)
        if (rename(files[k].temporary.c_str(), files[k].path.c_str()) != 0) {
            int cause = errno;
            std::string temporary = files[k].temporary, path = files[k].path, replaced;
            for (size_t done = 0; done < k; ++done) replaced += (replaced.empty() ? "" : ", ") + files[done].path;
            files.erase(files.begin(), files.begin() + (long)k);
            discard();
            tool_fail("cannot rename %s to %s: %s%s%s%s", temporary.c_str(), path.c_str(), strerror(cause),
                      replaced.empty() ? "" : " (", replaced.c_str(), replaced.empty() ? "" : " already replaced)");
        }
    files.clear();
}

void write_files(const std::vector<OutputFile> &files) {
    std::vector<std::string> paths;
    for (const OutputFile &file : files) paths.push_back(file.path);
    StagedFiles staged(paths);
    for (size_t k = 0; k < files.size(); ++k) staged.write(k, files[k].text);
    staged.commit();
}

void remove_stale(const std::string &path) {
    if (unlink(path.c_str()) != 0 && errno != ENOENT)
        tool_fail("cannot remove %s, left from an earlier run: %s", path.c_str(), strerror(errno));
}
