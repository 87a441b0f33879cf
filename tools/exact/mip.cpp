// mip.cpp - the MIP solvers this build has, behind one interface.  Each
// solves a Model with the same options and reports in the same terms, so
// the proof does not care which one runs.
//
// A time limit binds a solver only where it looks at its clock: CBC does so
// between nodes, but not while it solves the linear relaxation of the root,
// which on a large model takes minutes.  So a solve with a time limit runs
// in a child process that sends its result back through a pipe, and is
// killed when it overruns its limit by more than a grace period; the proof
// then goes on with what it had before the MIP.  The solver's own limit is
// set a little earlier than that, so that it usually stops by itself with
// its bound and best solution.  Without a limit the solver runs in this
// process.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "exact.h"

MipResult solve_with_cbc(const Model &model, const MipOptions &options);
MipResult solve_with_glpk(const Model &model, const MipOptions &options);

const std::vector<MipSolver> &mip_solvers() {
    static const std::vector<MipSolver> solvers = {
#ifdef PMEDIAN_HAVE_CBC
        {"cbc", solve_with_cbc},
#endif
#ifdef PMEDIAN_HAVE_GLPK
        {"glpk", solve_with_glpk},
#endif
    };
    return solvers;
}

bool have_benders() {
#ifdef PMEDIAN_HAVE_CBC
    return true;
#else
    return false;
#endif
}

#ifndef PMEDIAN_HAVE_CBC
MipResult solve_benders(const Candidates &, const std::vector<int> &, const std::vector<double> &, const MipOptions &,
                        const std::function<std::vector<int>(const std::vector<int> &)> &) {
    MipResult r;
    r.message = "this build has no CBC for the decomposition";
    return r;
}
#endif

namespace {

// Seconds a solver may run past its limit before it is killed.
const double GRACE_SECONDS = 1.0;
// The solver's own limit comes this share of its time earlier, at most
// MOST_EARLY_SECONDS: a node of a large model takes seconds.
const double EARLY_SHARE = 0.1, MOST_EARLY_SECONDS = 10.0;

// The fixed part of a result on the pipe; x and the message follow.
struct Header {
    int status, restarts;
    double value, bound;
    long long nodes, columns, message_length;
};

void append(std::string &out, const void *data, size_t size) { out.append((const char *)data, size); }

std::string encode(const MipResult &r) {
    Header h{(int)r.status, r.restarts, r.value, r.bound, r.nodes, (long long)r.x.size(), (long long)r.message.size()};
    std::string out;
    append(out, &h, sizeof h);
    append(out, r.x.data(), r.x.size() * sizeof(double));
    out += r.message;
    return out;
}

bool decode(const std::string &in, MipResult &r) {
    Header h;
    if (in.size() < sizeof h) return false;
    memcpy(&h, in.data(), sizeof h);
    if (h.columns < 0 || h.message_length < 0 ||
        in.size() != sizeof h + (size_t)h.columns * sizeof(double) + (size_t)h.message_length)
        return false;
    r.status = (MipResult::Status)h.status;
    r.value = h.value;
    r.bound = h.bound;
    r.nodes = h.nodes;
    r.restarts = h.restarts;
    r.x.resize(h.columns);
    memcpy(r.x.data(), in.data() + sizeof h, h.columns * sizeof(double));
    r.message = in.substr(sizeof h + h.columns * sizeof(double));
    return true;
}

void write_all(int fd, const std::string &data) {
    for (size_t done = 0; done < data.size();) {
        ssize_t k = write(fd, data.data() + done, data.size() - done);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return;
        done += (size_t)k;
    }
}

MipResult failed(const std::string &message) {
    MipResult r;
    r.message = message;
    return r;
}

}  // namespace

MipResult solve_within_limit(const MipSolver &solver, const Model &model, const MipOptions &given) {
    return run_within_limit([&](const MipOptions &options) { return solver.solve(model, options); }, given);
}

MipResult run_within_limit(const std::function<MipResult(const MipOptions &)> &solve, const MipOptions &given) {
    if (!(given.time_limit > 0)) return solve(given);
    const double killed_at = wall_seconds() + given.time_limit + GRACE_SECONDS;
    // The solver is told to stop somewhat earlier, so that it usually ends
    // by itself, between two nodes, with its bound and best solution.
    MipOptions options = given;
    options.time_limit -= std::fmin(std::fmax(EARLY_SHARE * given.time_limit, GRACE_SECONDS), MOST_EARLY_SECONDS);
    options.time_limit = std::fmax(options.time_limit, 0.5 * given.time_limit);
    int fds[2];
    if (pipe(fds) != 0) return failed(std::string("no pipe for the MIP solver: ") + strerror(errno));
    fflush(nullptr);  // nothing buffered here may be written twice
    pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return failed(std::string("cannot start the MIP solver's process: ") + strerror(errno));
    }
    if (child == 0) {
        close(fds[0]);
        write_all(fds[1], encode(solve(options)));
        _exit(0);
    }
    close(fds[1]);
    std::string received;
    char buffer[1 << 16];
    bool overran = false;
    for (;;) {
        double left = killed_at - wall_seconds();
        if (left <= 0) {
            overran = true;
            break;
        }
        pollfd watch{fds[0], POLLIN, 0};
        int ready = poll(&watch, 1, (int)std::ceil(std::fmin(left, 3600.0) * 1000.0));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;  // the clock decides at the top
        ssize_t k = read(fds[0], buffer, sizeof buffer);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) break;  // the child is done
        received.append(buffer, (size_t)k);
    }
    close(fds[0]);
    if (overran) kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    MipResult result;
    if (overran) {
        result.status = MipResult::TIME_LIMIT;
        result.bound = -INFINITY;
        result.overran = true;
    } else if (WIFSIGNALED(status)) {
        result = failed(std::string("the MIP solver died: ") + strsignal(WTERMSIG(status)));
    } else if (!decode(received, result)) {
        result = failed("the MIP solver's process sent no readable result");
    }
    return result;
}
