// progress_log.h - the progress of a solve on standard error, as
// pmedian-solve and pmedian-exact show it: on a terminal one line, redrawn at
// most four times a second; elsewhere one plain line every few seconds and
// at each new best upper bound.
#ifndef PMEDIAN_PROGRESS_LOG_H
#define PMEDIAN_PROGRESS_LOG_H

#include <unistd.h>

#include <cmath>
#include <cstdio>

#include <pmedian/pmedian.hpp>

// One line of progress into text: head (what the run is doing), UB, LB,
// the relative gap and the seconds, with " of LIMIT s" when limit > 0.
// Returns the line's length.
inline int progress_text(char *text, size_t size, const char *head, double upper, double lower, double seconds,
                         double limit) {
    char ub[48] = "none yet", gap[48] = "-", of[48] = "";
    if (upper < (double)pmedian::INFINITE_COST) {
        snprintf(ub, sizeof ub, "%.2f", upper);
        snprintf(gap, sizeof gap, "%.2f %%", 100.0 * (upper - lower) / std::fabs(upper));
    }
    if (limit > 0) snprintf(of, sizeof of, " of %g s", limit);
    return snprintf(text, size, "%s  UB %s  LB %.2f  gap %s  %.1f s%s", head, ub, lower, gap, seconds, of);
}

class ProgressLog {
public:
    // quiet: show nothing; time_limit: shown beside the time (0 for none);
    // read_seconds: time spent before the solve began, added to its own.
    ProgressLog(bool quiet, double time_limit, double read_seconds)
        : quiet_(quiet), live_(isatty(2)), limit_(time_limit), read_seconds_(read_seconds) {}

    // Called once per outer iteration.
    void update(const pmedian::Progress &now) {
        last_ = now;
        have_last_ = true;
        if (quiet_) return;
        double t = read_seconds_ + now.elapsed_seconds;
        bool due;
        if (live_)
            due = shown_at_ < 0 || t - shown_at_ >= 0.25;
        else
            due = shown_at_ < 0 || t - shown_at_ >= 5.0 || now.upper_bound < shown_upper_bound_;
        if (due) show(now, t);
    }

    // The last state stays on the terminal, on a line of its own.
    void finish() {
        if (quiet_ || !live_ || !have_last_) return;
        show(last_, read_seconds_ + last_.elapsed_seconds);
        fputc('\n', stderr);
        fflush(stderr);
    }

private:
    void show(const pmedian::Progress &now, double t) {
        char head[32], text[256];
        snprintf(head, sizeof head, "iteration %d", now.iteration);
        int length = progress_text(text, sizeof text, head, now.upper_bound, now.lower_bound, t, limit_);
        if (live_) {
            // Blanks over the rest of a longer previous line.
            fprintf(stderr, "\r%s%*s", text, width_ > length ? width_ - length : 0, "");
            width_ = length;
        } else {
            fprintf(stderr, "%s\n", text);
        }
        fflush(stderr);
        shown_at_ = t;
        shown_upper_bound_ = now.upper_bound;
    }

    bool quiet_, live_;
    double limit_, read_seconds_;
    double shown_at_ = -1;
    double shown_upper_bound_ = INFINITY;
    int width_ = 0;
    pmedian::Progress last_;
    bool have_last_ = false;
};

#endif
