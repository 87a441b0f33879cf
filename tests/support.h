// support.h - shared helpers of the tests: scratch folders, instance files
// written from matrices, loading them through the real reader, and running
// the real programs.
#ifndef PMEDIAN_TEST_SUPPORT_H
#define PMEDIAN_TEST_SUPPORT_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "random_instances.h"
#include "solver.h"

// A fresh temporary folder that is the working directory while it lives.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::string &path() const { return path_; }

private:
    std::string path_, previous_;
};

std::string read_file(const std::string &name);
bool file_exists(const std::string &name);

// Fixture: every test runs in its own scratch folder with a solver of its
// own, whose storage is released afterwards.
class SolverTest : public ::testing::Test, public pmedian::Solver {
protected:
    ScratchDir scratch;
    void TearDown() override;
    // Writes the instance and loads it through read_instance.
    void load_instance(int nv, int pv, const Matrix &costs, const Matrix &dists, float rad);
};

// Result of running a program of the project in a folder.
struct RunResult {
    int exit_status;   // -1 when it did not exit normally (signal, timeout)
    std::string out;   // standard output
    std::string err;   // standard error
};

// Runs the pmedian program (or another given program) in dir with the given
// arguments (words separated by blanks, each passed through the shell as it
// stands) and kills it after timeout_seconds.  prepare, when given, runs in
// the child just before the program starts, to lower a limit or drop
// privileges.  The output comes back through pipes, so it is caught even when
// the folder is read-only or the child may write only small files.
RunResult run_program(const std::string &dir, const std::string &program = "", int timeout_seconds = 120,
                      const std::string &arguments = "", void (*prepare)() = nullptr);

#endif
