// gnuplot.h - drawing with gnuplot (Debian's gnuplot-nox): the map of a
// solution and the plot of a sweep over p.
#ifndef PMEDIAN_TOOLS_GNUPLOT_H
#define PMEDIAN_TOOLS_GNUPLOT_H

#include <string>
#include <vector>

// The path of the executable file of that name on PATH, or "".
std::string find_on_path(const std::string &name);

// Text inside gnuplot's single quotes, where a quote is doubled.
std::string gnuplot_quoted(const std::string &text);

// Draws script_body (everything after the terminal and output lines) into
// each of the files, SVG first: "name.svg" with the svg terminal, "name.png"
// with pngcairo.  Each picture is drawn under a temporary name and renamed
// when gnuplot has succeeded.  A PNG is only drawn when gnuplot has the
// pngcairo terminal; returns the files written.  Throws ToolError when
// gnuplot is missing or fails.
std::vector<std::string> draw_with_gnuplot(const std::string &script_body, const std::string &svg_path,
                                           const std::string &png_path, int width, int height);

#endif
