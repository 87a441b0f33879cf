// command_line.h - the command line of every tool, on CLI11: one layout of
// --help, --version with the project's version, and one way of reporting a
// wrong command line.
//
//   usage: pmedian-sweep DIR --p LIST [options]
//     DIR             a converted instance folder (...)
//     --p LIST        values of p: ...
//     -h, --help      print this help and exit
//     --version       print the version and exit
//
//   What the program does, then its exit statuses.
//
// A wrong command line is one line on standard error that starts with the
// program's name and says what is wrong, and one that points at --help;
// the exit status is then 2.  A value is checked when it is read and
// refused as "--jobs must be 1..1024, not 0".
#ifndef PMEDIAN_TOOLS_COMMAND_LINE_H
#define PMEDIAN_TOOLS_COMMAND_LINE_H

#include <initializer_list>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

class CommandLine {
public:
    // about: what the program does; exit_statuses: what each status means.
    // Both are printed under the options by --help.
    CommandLine(const std::string &program, const std::string &about, const std::string &exit_statuses);

    // A positional argument (name without dashes) or an option that takes
    // one text; an option's text may not be empty.
    CLI::Option *text(const std::string &name, std::string &value, const std::string &type, const std::string &help);
    // An option without a value.
    CLI::Option *flag(const std::string &names, bool &value, const std::string &help);
    // A number within low..high (both included), refused otherwise as
    // "NAME must be WHAT, not TEXT".  A float is read with strtof, as the
    // solver reads its values, so that it is the float that the text means.
    CLI::Option *number(const std::string &name, int &value, const std::string &type, long long low, long long high,
                        const std::string &what, const std::string &help);
    CLI::Option *number(const std::string &name, double &value, const std::string &type, double low, double high,
                        const std::string &what, const std::string &help);
    CLI::Option *number(const std::string &name, float &value, const std::string &type, double low, double high,
                        const std::string &what, const std::string &help);
    // One of a list of words.
    CLI::Option *choice(const std::string &name, std::string &value, const std::vector<std::string> &words,
                        const std::string &type, const std::string &help);

    // Reads the command line.  Returns -1 when the program goes on, else the
    // status to exit with: 0 after --help or --version, 2 after a wrong
    // command line (reported).
    int parse(int argc, char **argv);

    // Reports a wrong command line that the program found itself; returns 2.
    int wrong(const std::string &message) const;

    // The usage and the table of options, as --help prints them.
    std::string help() const;

    const std::string &program() const { return name; }
    CLI::App app;

private:
    std::string name, about, exit_statuses;
};

// The command line of the tools that read a solved folder: [DIR]
// [--summary FILE] [--solution FILE] [--out PATH].  verb says what the tool
// does with the solution ("export"), out_help what --out names.
struct FolderArguments {
    std::string dir = ".", summary, out, solution = "solucao.txt";
};
void add_folder_arguments(CommandLine &cli, FolderArguments &args, const std::string &verb, const std::string &out_type,
                          const std::string &out_help);

// "a, b or c", for messages.
std::string word_list(const std::vector<std::string> &words);

#endif
