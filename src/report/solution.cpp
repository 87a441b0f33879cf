// solution.cpp - writes the best solution to "solucao.txt" (or, for a front
// end, to a file of its own name in the same format).
//
// The file lists every client of the best arrangement with its median and
// cost, cluster by cluster, then the end marker 9999999, the status and the
// medians.  Fixed-width columns keep the classic layout; a value too wide for
// its column gets one blank before it, so that neighbouring fields never run
// together (indices from 10000 on the medians line, huge costs).
//
// A regular "solucao.txt" is replaced only once the new one is complete: the
// file is written under a temporary name beside it, checked, and renamed over
// it, so a full disk or an I/O error never destroys the previous solution.  A
// name that is a symbolic link or a device is written through directly.
// Every write and the close are checked; a failure ends the run with status 1
// and removes the temporary file.  A file-size limit would otherwise kill the
// process with SIGXFSZ in the middle of a write, silently and with the
// temporary file left behind: the signal is ignored, so that the write fails
// with EFBIG and is reported like a full disk.  The summary is flushed before
// the file is opened, so whatever happens to the file, the summary is out.
// When no primal solution was ever found the file is still written, but a
// warning on standard error says that it holds no solution.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "solver.h"

namespace pmedian {

// Writes value in a field of width characters, or after one blank when it
// needs the whole field or more and a field stands before it.
static void put_int(FILE *f, int value, int width, bool first) {
    char text[16];
    int len = snprintf(text, sizeof text, "%d", value);
    if (!first && len >= width)
        fprintf(f, " %s", text);
    else
        fprintf(f, "%*s", width, text);
}

static void put_cost(FILE *f, float value) {
    char text[64];
    int len = snprintf(text, sizeof text, "%.2f", value);
    fprintf(f, len >= 11 ? " %s" : "%11s", text);
}

void Solver::write_body(FILE *f) {
    for (int i = 0; i < p; ++i) {
        for (int k = 0; k < vc[i].size; ++k) {
            int median = vc[i].median, client = vc[i].members[k];
            put_int(f, median, 7, true);
            put_int(f, client, 7, false);
            put_cost(f, cost[median][client]);
            fputc('\n', f);
        }
    }
    fprintf(f, "%d\n", 9999999);
    fprintf(f, "%d\n", (int)status);
    for (int i = 0; i < p; ++i) put_int(f, best[i], 5, i == 0);
    fputc('\n', f);
}

// Opens the file that will receive the solution: a temporary file beside a
// regular (or absent) file of that name, or the name itself otherwise or when
// no temporary file can be created.  Returns null when neither can be opened.
static FILE *open_target(const char *name, std::string &temp_name) {
    struct stat st;
    bool replace = lstat(name, &st) != 0 || S_ISREG(st.st_mode);
    temp_name.clear();
    if (!replace) return fopen(name, "w");
    temp_name = std::string(name) + ".XXXXXX";
    int fd = mkstemp(&temp_name[0]);
    if (fd < 0) {
        // No file can be made beside it (a read-only folder): the name itself
        // may still be writable, as the solution file of an earlier run.
        temp_name.clear();
        return fopen(name, "w");
    }
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);  // the permissions fopen would have given
    FILE *f = fdopen(fd, "w");
    if (!f) {
        close(fd);
        unlink(temp_name.c_str());
        temp_name.clear();
    }
    return f;
}

// Rebuilds the clusters of the best solution in vc: its medians in the
// order of best, each with its clients in the order of their positions.
void Solver::allocate_best() {
    for (int i = 0; i < n; ++i) sv_node[i] = best[i];
    allocate_clients();
}

void Solver::write_solution() { write_solution_file("solucao.txt"); }

void Solver::write_solution_file(const char *name) {
    signal(SIGXFSZ, SIG_IGN);
    // A reader of standard output that has gone away costs the summary, not
    // the solution file.
    signal(SIGPIPE, SIG_IGN);
    fflush(stdout);

    std::string temp_name;
    FILE *f = open_target(name, temp_name);
    if (!f) fatal("\nArquivo %s nao pode ser aberto\n", name);

    allocate_best();
    write_body(f);

    int error = 0;
    errno = 0;
    if (fflush(f) != 0 || ferror(f)) error = errno ? errno : EIO;
    if (fclose(f) != 0 && !error) error = errno ? errno : EIO;
    if (!error && !temp_name.empty() && rename(temp_name.c_str(), name) != 0) error = errno;
    if (error) {
        if (!temp_name.empty()) unlink(temp_name.c_str());
        fatal("\nArquivo %s nao pode ser gravado (%s)\n", name, strerror(error));
    }
    // Without any primal solution below INFINITE_COST, best was never set:
    // the file then lists the all-zero arrangement, which is no solution.
    if (!(UB < INFINITE_COST))
        warn("\nAviso: nenhuma solucao de custo abaixo de %.2f foi encontrada;"
             " %s nao descreve uma solucao\n",
             (double)INFINITE_COST, name);
}

}  // namespace pmedian
