// support.cpp - helpers shared by the tests.
#include "support.h"

#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "solver.h"

using namespace pmedian;

ScratchDir::ScratchDir() {
    char templ[] = "/tmp/pmedian-test-XXXXXX";
    char *made = mkdtemp(templ);
    if (!made) abort();
    path_ = made;
    char here[4096];
    if (!getcwd(here, sizeof here)) abort();
    previous_ = here;
    if (chdir(path_.c_str()) != 0) abort();
}

ScratchDir::~ScratchDir() {
    if (chdir(previous_.c_str()) != 0) abort();
    std::string command = "chmod -R u+w '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'";
    if (system(command.c_str()) != 0) {
    }
}

std::string read_file(const std::string &name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool file_exists(const std::string &name) {
    struct stat st;
    return stat(name.c_str(), &st) == 0;
}

void SolverTest::load_instance(int nv, int pv, const Matrix &costs, const Matrix &dists, float rad) {
    write_instance(nv, pv, costs, dists, rad);
    read_instance();
}

void SolverTest::TearDown() {
    if (cost) release_storage();
}

// Reads both pipes until the child closes them or the deadline passes;
// returns false on the deadline.
static bool collect_output(int out_fd, int err_fd, time_t deadline, RunResult &r) {
    struct pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string *texts[2] = {&r.out, &r.err};
    int open_pipes = 2;
    while (open_pipes > 0) {
        int left_ms = (int)(deadline - time(nullptr)) * 1000;
        if (left_ms <= 0) return false;
        int ready = poll(fds, 2, left_ms);
        if (ready == 0) return false;
        if (ready < 0) continue;  // interrupted by a signal
        for (int k = 0; k < 2; ++k) {
            if (fds[k].fd < 0 || !fds[k].revents) continue;
            char buffer[4096];
            ssize_t got = read(fds[k].fd, buffer, sizeof buffer);
            if (got > 0) {
                texts[k]->append(buffer, (size_t)got);
            } else if (got == 0 || errno != EINTR) {
                close(fds[k].fd);
                fds[k].fd = -1;
                --open_pipes;
            }
        }
    }
    return true;
}

RunResult run_program(const std::string &dir, const std::string &program, int timeout_seconds,
                      const std::string &arguments, void (*prepare)()) {
    std::string command =
        "exec '" + (program.empty() ? std::string(PMEDIAN_PROGRAM) : program) + "' " + arguments;
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) abort();
    fflush(nullptr);
    pid_t child = fork();
    if (child < 0) abort();
    if (child == 0) {
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]);
        close(out_pipe[1]);
        close(err_pipe[0]);
        close(err_pipe[1]);
        if (chdir(dir.c_str()) != 0) _exit(126);
        if (prepare) prepare();
        execl("/bin/sh", "sh", "-c", command.c_str(), (char *)nullptr);
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    RunResult r;
    bool finished = collect_output(out_pipe[0], err_pipe[0], time(nullptr) + timeout_seconds, r);
    if (!finished) {
        kill(child, SIGKILL);
        close(out_pipe[0]);
        close(err_pipe[0]);
    }
    int raw = 0;
    waitpid(child, &raw, 0);
    r.exit_status = finished && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}
