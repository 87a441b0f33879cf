// version.h - the version every tool prints for --version, from one place:
// the build passes PMEDIAN_VERSION as a compile definition when it knows it.
#ifndef PMEDIAN_TOOLS_VERSION_H
#define PMEDIAN_TOOLS_VERSION_H

#include <cstdio>

#ifndef PMEDIAN_VERSION
#define PMEDIAN_VERSION "unknown"
#endif

inline void print_version(const char *program) { printf("%s %s\n", program, PMEDIAN_VERSION); }

#endif
