// fuzz_solver.cpp - the libFuzzer target: every input is solved in process,
// in a scratch folder that is the working directory for the whole session
// (so libFuzzer's own paths must be absolute), and a solution file that is
// not a p-median solution is a finding like a crash or a hang.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "harness.h"

static char scratch[] = "/tmp/pmedian-fuzz-XXXXXX";

static void remove_scratch() {
    for (const char *name : {"pmeddata.dat", "pmedmtrx.dat", "solucao.txt"}) unlink(name);
    rmdir(scratch);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (!mkdtemp(scratch) || chdir(scratch) != 0) abort();
    atexit(remove_scratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string problem = run_fuzz_input(data, size);
    if (!problem.empty()) {
        fprintf(stderr, "\nfuzz_solver: %s\n", problem.c_str());
        abort();
    }
    return 0;
}
