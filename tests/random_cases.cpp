// random_cases.cpp - writes random instances of the differential tests as
// case folders, for comparing whole runs of two builds of the solver (the
// cross-architecture check: the same folders solved here and under qemu).
//
// Usage: random_cases DIR COUNT
// Writes DIR/case-NNNN/pmeddata.dat and pmedmtrx.dat for NNNN = 0 ... COUNT-1.
// Seven in ten cases are small (1 to 12 vertices, where ties and the order of
// equal values decide most), the others have 13 to 90 vertices, enough for
// the vector loops and their tails; every cost kind, symmetric and not,
// p = 1 and p = n among them.  One in thirteen has 65 to 124 vertices and one
// or two medians, beyond the rows the cost order keeps.  The same DIR and COUNT always give the same files.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "random_instances.h"

int main(int argc, char **argv) {
    if (argc != 3 || atoi(argv[2]) < 1) {
        fprintf(stderr, "usage: random_cases DIR COUNT\n");
        return 2;
    }
    int count = atoi(argv[2]);
    char dir[PATH_MAX];
    if ((mkdir(argv[1], 0755) != 0 && errno != EEXIST) || !realpath(argv[1], dir)) {
        perror(argv[1]);
        return 1;
    }
    std::mt19937 rng(1208);
    for (int k = 0; k < count; ++k) {
        int nv = k % 10 < 7 ? 1 + (int)(rng() % 12) : 13 + (int)(rng() % 78);
        int pv = 1 + (int)(rng() % nv);
        if (k % 7 == 3) pv = 1;
        if (k % 11 == 5) pv = nv;
        if (k % 13 == 6) {
            // Beyond the 64 rows the cost order keeps, with one or two
            // medians: the relaxation's dense sweeps and the interchange's
            // row sweeps.
            nv = 65 + (int)(rng() % 60);
            pv = 1 + (int)(rng() % 2);
        }
        bool symmetric = (k / KIND_COUNT) % 2 == 0;
        Generated g = generate(nv, (CostKind)(k % KIND_COUNT), symmetric, rng);
        char name[32];
        snprintf(name, sizeof name, "/case-%04d", k);
        std::string folder = std::string(dir) + name;
        if ((mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) || chdir(folder.c_str()) != 0) {
            perror(folder.c_str());
            return 1;
        }
        write_instance(nv, pv, g.costs, g.dists, g.rad);
    }
    return 0;
}
