// sweep_record.h - the record that pmedian-sweep keeps in the folder of each
// run: which instance files the run solves, and with which p.  A run folder
// holds no copy of the instance; the tools that read a solved folder find a
// run's instance through its record.
#ifndef PMEDIAN_TOOLS_SWEEP_RECORD_H
#define PMEDIAN_TOOLS_SWEEP_RECORD_H

#include <string>

// The record's name inside a run folder.
extern const char *const SWEEP_RECORD_NAME;

// What the runs of a sweep are made from: the instance folder (absolute,
// without a trailing slash) and the record's lines that fingerprint its
// files as they are now.
struct SweepSource {
    std::string dir;
    std::string files;
};
SweepSource sweep_source(const std::string &dir);

// The whole record of the run with that p.
std::string sweep_record(const SweepSource &source, int p);

// Where the instance of a folder is: the folder itself (p 0: the one its
// file gives), or, for a run folder without instance files of its own, the
// instance folder that its record names, with the run's p.  Throws
// ToolError when that instance changed after the run was made.
struct InstanceLocation {
    std::string dir;
    int p = 0;
};
InstanceLocation locate_instance(const std::string &dir);

#endif
