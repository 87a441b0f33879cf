// support.cpp - helpers shared by the tests.
#include "support.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "pmedian.h"

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

void write_file(const std::string &name, const std::string &text) {
    std::ofstream out(name, std::ios::binary);
    out << text;
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

std::string float_text(float v) {
    char text[64];
    snprintf(text, sizeof text, "%.9g", (double)v);
    return text;
}

void write_instance(int nv, int pv, const Matrix &costs, const Matrix &dists, float rad) {
    std::string data = std::to_string(nv) + " " + std::to_string(pv) + "\n";
    for (int i = 0; i < nv; ++i) {
        for (int j = 0; j < nv; ++j)
            if (j != i) data += float_text(costs[i][j]) + " ";
        data += "\n";
    }
    write_file("pmeddata.dat", data);
    std::string matrix = std::to_string(nv) + " " + std::to_string(pv) + " " + float_text(rad) + "\n";
    for (int i = 0; i < nv; ++i) {
        for (int j = i + 1; j < nv; ++j) matrix += float_text(dists[i][j]) + " ";
        matrix += "\n";
    }
    write_file("pmedmtrx.dat", matrix);
}

void load_instance(int nv, int pv, const Matrix &costs, const Matrix &dists, float rad) {
    write_instance(nv, pv, costs, dists, rad);
    read_instance();
}

Matrix zero_matrix(int nv) { return Matrix(nv, std::vector<float>(nv, 0.0f)); }

void SolverTest::TearDown() {
    if (cost) release_storage();
}

RunResult run_program(const std::string &dir, const std::string &program, int timeout_seconds,
                      const std::string &arguments) {
    std::string prog = program.empty() ? PMEDIAN_PROGRAM : program;
    std::string command = "cd '" + dir + "' && timeout -s KILL " + std::to_string(timeout_seconds) +
                          " '" + prog + "' " + arguments + " > .run_stdout 2> .run_stderr";
    int raw = system(command.c_str());
    RunResult r;
    r.exit_status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (r.exit_status == 137) r.exit_status = -1;  // killed by the time limit
    r.out = read_file(dir + "/.run_stdout");
    r.err = read_file(dir + "/.run_stderr");
    unlink((dir + "/.run_stdout").c_str());
    unlink((dir + "/.run_stderr").c_str());
    return r;
}
