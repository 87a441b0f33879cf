// command_line.cpp - see command_line.h.
//
// CLI11 reads the words; the checks of the values, the help text and the
// messages are this file's, so that every tool says the same things the
// same way.  A value that fails its check throws WrongValue from inside the
// parse, which CLI11 lets through.
#include "command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "version.h"

namespace {

struct WrongValue : std::runtime_error {
    using std::runtime_error::runtime_error;
};

const size_t WIDTH = 80;       // of the help text
const size_t MAX_LABEL = 22;   // a longer label puts its help on the next line

// text broken into lines of at most width characters at blanks, each line
// after the first starting with indent blanks.
std::string wrapped(const std::string &text, size_t indent, size_t first_column, size_t width = WIDTH) {
    std::string out;
    size_t column = first_column, start = 0;
    bool line_start = true;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        std::string word = text.substr(start, end - start);
        start = end + 1;
        if (word.empty()) continue;
        if (!line_start && column + 1 + word.size() > width) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
            line_start = true;
        }
        if (!line_start) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        line_start = false;
    }
    return out;
}

std::string label_of(const CLI::Option *option) {
    if (!option->nonpositional()) return option->get_name(true);
    std::string label;
    for (const std::string &s : option->get_snames()) label += (label.empty() ? "-" : ", -") + s;
    for (const std::string &l : option->get_lnames()) label += (label.empty() ? "--" : ", --") + l;
    if (option->get_type_size_max() > 0) label += " " + option->get_type_name();
    return label;
}

std::string shown(const std::string &value) { return value.empty() ? "\"\"" : value; }

// Whole text as a number of type T (strtoll, strtod or strtof).
template <typename T> bool read_number(const std::string &text, T &value) {
    if (text.empty() || isspace((unsigned char)text[0])) return false;
    char *end = nullptr;
    errno = 0;
    if constexpr (std::is_integral_v<T>) {
        long long v = strtoll(text.c_str(), &end, 10);
        if (errno != 0 || v < INT32_MIN || v > INT32_MAX) return false;
        value = (T)v;
    } else if constexpr (std::is_same_v<T, float>) {
        value = strtof(text.c_str(), &end);
    } else {
        value = strtod(text.c_str(), &end);
    }
    return *end == '\0' && errno == 0 && std::isfinite((double)value);
}

template <typename T>
CLI::Option *add_number(CLI::App &app, const std::string &name, T &value, const std::string &type, double low,
                        double high, const std::string &what, const std::string &help) {
    auto store = [&value, name, low, high, what](const std::string &text) {
        T v;
        if (!read_number(text, v) || (double)v < low || (double)v > high)
            throw WrongValue(name + " must be " + what + ", not " + shown(text));
        value = v;
    };
    return app.add_option_function<std::string>(name, store, help)->type_name(type);
}

}  // namespace

std::string word_list(const std::vector<std::string> &words) {
    std::string list;
    for (size_t k = 0; k < words.size(); ++k)
        list += (k == 0 ? "" : k + 1 == words.size() ? " or " : ", ") + words[k];
    return list;
}

CommandLine::CommandLine(const std::string &program, const std::string &about, const std::string &exit_statuses)
    : app(about, program), name(program), about(about), exit_statuses(exit_statuses) {
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.set_help_flag("-h,--help", "print this help and exit");
    app.set_version_flag("--version", program + " " + PMEDIAN_VERSION, "print the version and exit");
    app.formatter_fn([this](const CLI::App *, std::string, CLI::AppFormatMode) { return help(); });
    app.allow_extras();  // reported by parse, in this file's words
}

CLI::Option *CommandLine::text(const std::string &option, std::string &value, const std::string &type,
                               const std::string &help) {
    if (option.rfind("-", 0) != 0) return app.add_option(option, value, help)->type_name(type);
    auto store = [&value, option](const std::string &text) {
        if (text.empty()) throw WrongValue("missing value for " + option);
        value = text;
    };
    return app.add_option_function<std::string>(option, store, help)->type_name(type);
}

CLI::Option *CommandLine::flag(const std::string &names, bool &value, const std::string &help) {
    return app.add_flag(names, value, help);
}

CLI::Option *CommandLine::number(const std::string &option, int &value, const std::string &type, long long low,
                                 long long high, const std::string &what, const std::string &help) {
    return add_number(app, option, value, type, (double)low, (double)high, what, help);
}

CLI::Option *CommandLine::number(const std::string &option, double &value, const std::string &type, double low,
                                 double high, const std::string &what, const std::string &help) {
    return add_number(app, option, value, type, low, high, what, help);
}

CLI::Option *CommandLine::number(const std::string &option, float &value, const std::string &type, double low,
                                 double high, const std::string &what, const std::string &help) {
    return add_number(app, option, value, type, low, high, what, help);
}

CLI::Option *CommandLine::choice(const std::string &option, std::string &value, const std::vector<std::string> &words,
                                 const std::string &type, const std::string &help) {
    auto store = [&value, option, words](const std::string &text) {
        for (const std::string &word : words)
            if (text == word) {
                value = text;
                return;
            }
        throw WrongValue(option + " must be " + word_list(words) + ", not " + shown(text));
    };
    return app.add_option_function<std::string>(option, store, help)->type_name(type);
}

void add_folder_arguments(CommandLine &cli, FolderArguments &args, const std::string &verb, const std::string &out_type,
                          const std::string &out_help) {
    cli.text("DIR", args.dir, "DIR", "solved instance folder (pmeddata.dat, solucao.txt; default .)");
    cli.text("--summary", args.summary, "FILE",
             "the solver's standard output (default: DIR/summary.txt when present and the solution is solucao.txt)");
    cli.text("--solution", args.solution, "FILE",
             verb + " DIR/FILE instead of DIR/solucao.txt (such as solucao_exata.txt)");
    cli.text("--out", args.out, out_type, out_help);
}

int CommandLine::parse(int argc, char **argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &) {
        fputs(help().c_str(), stdout);
        return 0;
    } catch (const CLI::CallForVersion &e) {
        printf("%s\n", e.what());
        return 0;
    } catch (const CLI::ArgumentMismatch &e) {
        // "--p: 1 required LIST missing": the option came last, or before
        // another option.
        std::string message = e.what();
        size_t colon = message.find(':');
        if (colon != std::string::npos && message.find(" required ") != std::string::npos &&
            message.size() > 8 && message.compare(message.size() - 8, 8, " missing") == 0)
            return wrong("missing value for " + message.substr(0, colon));
        return wrong(message);
    } catch (const CLI::ParseError &e) {
        return wrong(e.what());
    } catch (const WrongValue &e) {
        return wrong(e.what());
    }
    std::vector<std::string> extra = app.remaining();
    if (!extra.empty())
        return wrong((extra[0].size() > 1 && extra[0][0] == '-' ? "unknown option " : "unexpected argument ") +
                     extra[0]);
    return -1;
}

int CommandLine::wrong(const std::string &message) const {
    fprintf(stderr, "%s: %s\nRun %s --help for the options.\n", name.c_str(), message.c_str(), name.c_str());
    return 2;
}

std::string CommandLine::help() const {
    std::vector<const CLI::Option *> listed;
    const CLI::Option *help_flag = app.get_help_ptr(), *version_flag = app.get_version_ptr();
    for (bool positional : {true, false})
        for (const CLI::Option *option : app.get_options())
            if (option != help_flag && option != version_flag && !option->nonpositional() == positional)
                listed.push_back(option);
    listed.push_back(help_flag);
    listed.push_back(version_flag);

    std::string usage = "usage: " + name;
    bool optional_options = false;
    for (const CLI::Option *option : listed) {
        if (!option->nonpositional())
            usage += option->get_required() ? " " + label_of(option) : " [" + label_of(option) + "]";
        else if (option->get_required())
            usage += " " + label_of(option);
        else if (option != help_flag && option != version_flag)
            optional_options = true;
    }
    if (optional_options) usage += " [options]";

    size_t column = 0;
    for (const CLI::Option *option : listed)
        if (label_of(option).size() <= MAX_LABEL) column = std::max(column, label_of(option).size());
    column += 4;  // two blanks before the label, two after it
    std::string text = usage + "\n";
    for (const CLI::Option *option : listed) {
        std::string label = "  " + label_of(option);
        if (label.size() + 2 > column) label += "\n" + std::string(column, ' ');
        else label += std::string(column - label.size(), ' ');
        text += label + wrapped(option->get_description(), column, column) + "\n";
    }
    if (!about.empty()) text += "\n" + wrapped(about, 0, 0) + "\n";
    if (!exit_statuses.empty()) text += "\n" + wrapped(exit_statuses, 0, 0) + "\n";
    return text;
}
