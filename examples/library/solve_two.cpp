// solve_two.cpp - uses the installed pmedian library: solves the instances of
// two folders at once, in two threads, and writes each one's solution file
// and classic summary beside it (solucao.txt, summary.txt).
//
//     solve_two DIR1 DIR2
#include <pmedian/pmedian.hpp>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

static void solve_folder(const std::string &dir, int &status) {
    try {
        pmedian::Instance instance = pmedian::read_instance(dir);
        pmedian::Options options;
        options.solution_file = dir + "/solucao.txt";
        pmedian::Result result = pmedian::solve(instance, options);
        std::ofstream(dir + "/summary.txt") << result.summary;
        printf("%s: UB %.2f, LB %.2f, %s\n", dir.c_str(), result.upper_bound, result.lower_bound,
               pmedian::describe(result.stop_reason));
        status = 0;
    } catch (const pmedian::Error &e) {
        fprintf(stderr, "%s: %s\n", dir.c_str(), e.what());
        status = 1;
    }
}

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: solve_two DIR1 DIR2 (pmedian %s)\n", pmedian::version());
        return 2;
    }
    int first = 1, second = 1;
    std::thread a(solve_folder, std::string(argv[1]), std::ref(first));
    std::thread b(solve_folder, std::string(argv[2]), std::ref(second));
    a.join();
    b.join();
    return first || second;
}
