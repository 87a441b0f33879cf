// fuzz_tools.cpp - the libFuzzer target over the tools' parsers: every input
// runs in process in a scratch folder that is the working directory for the
// whole session; a crash, a sanitizer report, a hang or a problem that the
// harness names is a finding.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools_harness.h"

static char scratch[] = "/tmp/pmedian-fuzz-tools-XXXXXX";

static void remove_scratch() {
    std::string command = std::string("rm -rf '") + scratch + "'";
    if (system(command.c_str()) != 0) {
    }
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (!mkdtemp(scratch) || chdir(scratch) != 0) abort();
    atexit(remove_scratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string problem = run_tools_fuzz_input(data, size);
    if (!problem.empty()) {
        fprintf(stderr, "\nfuzz_tools: %s\n", problem.c_str());
        abort();
    }
    return 0;
}
