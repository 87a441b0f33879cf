// sweep_record.cpp - see sweep_record.h.
//
// A record reads:
//   source /abs/instance
//   pmeddata.dat 89ab...ef 123456        (64-bit FNV-1a of the bytes, size)
//   pmedmtrx.dat ...
//   pmedvertices.csv ...                 (or "none")
//   p 12
#include "sweep_record.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "side_file.h"
#include "text_input.h"
#include "tool_error.h"

const char *const SWEEP_RECORD_NAME = "sweep-source.txt";

// 64-bit FNV-1a of a file's bytes with its size.
static std::string fingerprint(const std::string &path) {
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) tool_fail("cannot open %s: %s", path.c_str(), strerror(errno));
    unsigned long long hash = 1469598103934665603ULL, size = 0;
    unsigned char buffer[1 << 16];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) {
        for (size_t k = 0; k < got; ++k) hash = (hash ^ buffer[k]) * 1099511628211ULL;
        size += got;
    }
    bool failed = ferror(f);
    fclose(f);
    if (failed) tool_fail("cannot read %s", path.c_str());
    char text[64];
    snprintf(text, sizeof text, "%016llx %llu", hash, size);
    return text;
}

SweepSource sweep_source(const std::string &dir_argument) {
    std::string dir = std::filesystem::absolute(dir_argument).lexically_normal().string();
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    SweepSource source;
    source.dir = dir;
    std::string side = dir + "/" + SIDE_FILE_NAME;
    source.files = "pmeddata.dat " + fingerprint(dir + "/pmeddata.dat") + "\npmedmtrx.dat " +
                   fingerprint(dir + "/pmedmtrx.dat") + "\n" + SIDE_FILE_NAME + " " +
                   (path_exists(side) ? fingerprint(side) : std::string("none")) + "\n";
    return source;
}

std::string sweep_record(const SweepSource &source, int p) {
    return "source " + source.dir + "\n" + source.files + "p " + std::to_string(p) + "\n";
}

InstanceLocation locate_instance(const std::string &dir) {
    std::string record_path = dir + "/" + SWEEP_RECORD_NAME;
    if (path_exists(dir + "/pmeddata.dat") || !path_exists(record_path)) return {dir, 0};
    std::string record = read_text_file(record_path);
    size_t source_end = record.find('\n'), p_line = record.rfind("\np ");
    int p = 0;
    if (record.rfind("source ", 0) != 0 || source_end == std::string::npos || p_line == std::string::npos ||
        sscanf(record.c_str() + p_line, "\np %d", &p) != 1 || p < 1)
        tool_fail("%s: not a record of pmedian-sweep", record_path.c_str());
    std::string source = record.substr(7, source_end - 7);
    if (!path_exists(source + "/pmeddata.dat"))
        tool_fail("%s is a run of a sweep of %s, which holds no instance any more", dir.c_str(), source.c_str());
    if (sweep_record(sweep_source(source), p) != record)
        tool_fail("%s is a run of a sweep of %s, whose instance files changed since: sweep it again", dir.c_str(),
                  source.c_str());
    return {source, p};
}
