// gnuplot.cpp - see gnuplot.h.
//
// gnuplot runs as a child process on a script file, without a shell, so no
// path or name needs quoting beyond gnuplot's own single quotes.  Its error
// output is kept and its last line reported, which names the line of the
// script that failed.
#include "gnuplot.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "output_files.h"
#include "text_input.h"
#include "tool_error.h"

std::string find_on_path(const std::string &name) {
    const char *path = getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    for (;;) {
        size_t end = dirs.find(':', start);
        std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos) return "";
        start = end + 1;
    }
}

std::string gnuplot_quoted(const std::string &text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

// A scratch file with the text, in TMPDIR or /tmp; its name.
static std::string scratch_file(const std::string &text) {
    const char *tmp = getenv("TMPDIR");
    std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/pmedian-gnuplot-XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    int fd = mkstemp(buffer.data());
    if (fd < 0) tool_fail("cannot create a scratch file in %s: %s", tmp && *tmp ? tmp : "/tmp", strerror(errno));
    bool ok = write(fd, text.data(), text.size()) == (ssize_t)text.size();
    ok = close(fd) == 0 && ok;
    if (!ok) {
        unlink(buffer.data());
        tool_fail("cannot write a scratch file in %s", tmp && *tmp ? tmp : "/tmp");
    }
    return buffer.data();
}

// Runs gnuplot on the script; "" on success, else the last line it printed.
static std::string run_gnuplot(const std::string &script) {
    std::string script_file = scratch_file(script), errors_file = scratch_file("");
    pid_t child = fork();
    if (child < 0) {
        unlink(script_file.c_str());
        unlink(errors_file.c_str());
        tool_fail("cannot start gnuplot: %s", strerror(errno));
    }
    if (child == 0) {
        FILE *errors = freopen(errors_file.c_str(), "w", stderr);
        if (!errors || !freopen("/dev/null", "w", stdout)) _exit(126);
        execlp("gnuplot", "gnuplot", script_file.c_str(), (char *)nullptr);
        fprintf(stderr, "cannot run gnuplot: %s\n", strerror(errno));
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    std::string errors;
    try {
        errors = read_text_file(errors_file);
    } catch (const ToolError &) {
    }
    unlink(script_file.c_str());
    unlink(errors_file.c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
    while (!errors.empty() && (errors.back() == '\n' || errors.back() == ' ')) errors.pop_back();
    size_t last = errors.rfind('\n');
    std::string line = last == std::string::npos ? errors : errors.substr(last + 1);
    if (line.empty()) line = WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status)) : "failed";
    return line;
}

static bool has_pngcairo() {
    static int known = -1;
    if (known < 0) known = run_gnuplot("set terminal pngcairo\n").empty() ? 1 : 0;
    return known == 1;
}

std::vector<std::string> draw_with_gnuplot(const std::string &script_body, const std::string &svg_path,
                                           const std::string &png_path, int width, int height) {
    if (find_on_path("gnuplot").empty())
        tool_fail("gnuplot is not installed (Debian: apt-get install gnuplot-nox)");
    struct Picture {
        std::string path, terminal;
    };
    std::vector<Picture> pictures = {
        {svg_path, "svg size " + std::to_string(width) + "," + std::to_string(height) + " font 'sans,11' background rgb 'white'"}};
    if (!png_path.empty() && has_pngcairo())
        pictures.push_back({png_path, "pngcairo size " + std::to_string(width) + "," + std::to_string(height) +
                                          " font 'sans,10' background rgb 'white'"});
    std::vector<std::string> temporaries, written;
    for (const Picture &picture : pictures) {
        std::vector<char> name(picture.path.begin(), picture.path.end());
        const char suffix[] = ".XXXXXX";
        name.insert(name.end(), suffix, suffix + sizeof suffix);
        int fd = mkstemp(name.data());
        if (fd < 0) {
            int cause = errno;
            for (const std::string &t : temporaries) unlink(t.c_str());
            tool_fail("cannot write %s: %s", picture.path.c_str(), strerror(cause));
        }
        fchmod(fd, 0644);
        close(fd);
        std::string temporary = name.data();
        temporaries.push_back(temporary);
        std::string problem = run_gnuplot("set terminal " + picture.terminal + "\nset output " +
                                          gnuplot_quoted(temporary) + "\n" + script_body + "unset output\n");
        if (!problem.empty()) {
            for (const std::string &t : temporaries) unlink(t.c_str());
            tool_fail("gnuplot could not draw %s: %s", picture.path.c_str(), problem.c_str());
        }
    }
    for (size_t k = 0; k < pictures.size(); ++k) {
        if (rename(temporaries[k].c_str(), pictures[k].path.c_str()) != 0) {
            int cause = errno;
            for (size_t rest = k; rest < pictures.size(); ++rest) unlink(temporaries[rest].c_str());
            tool_fail("cannot rename %s to %s: %s", temporaries[k].c_str(), pictures[k].path.c_str(), strerror(cause));
        }
        written.push_back(pictures[k].path);
    }
    if (!png_path.empty() && pictures.size() == 1) remove_stale(png_path);  // not redrawn: not left as if it were
    return written;
}
