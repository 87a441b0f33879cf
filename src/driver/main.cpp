// main.cpp - entry of the pmedian program.  It takes no arguments: the
// instance is read from the working directory, and the exit status is 1
// after a normal run as after every fatal error, whose message goes to
// standard output as the run's last words.
#include <cstdio>

#include "solver.h"

int main(int, char **) {
    try {
        pmedian::Solver solver;
        solver.read_instance();
        solver.solve();
    } catch (const pmedian::Error &e) {
        fputs(e.printed().c_str(), stdout);
        fflush(stdout);
    }
    return 1;
}
