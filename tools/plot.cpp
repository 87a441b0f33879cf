// plot.cpp - pmedian-plot: draws a solved instance whose vertices have
// coordinates as a map: every client a dot in the colour of its median, a
// thin line from each client to its median, the medians as larger squares,
// the medians' names beside them when the instance has names, and a title
// with n, p, the cost and the gap between the bounds.  Clusters that meet
// on the map differ in colour (map_colours.h).  gnuplot
// draws it as "map.svg" and, where it has the pngcairo terminal, "map.png".
//
// Longitude and latitude are drawn with one degree of latitude as long as
// cos(latitude) degrees of longitude at the middle of the map, so that
// distances look right for a region; plane coordinates with equal units.
//
// Exit status: 0 when the map is drawn, 1 for input that cannot be drawn or
// a gnuplot failure, 2 for a wrong command line.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "command_line.h"
#include "gnuplot.h"
#include "map_colours.h"
#include "solution.h"

// Medians are labelled with their names up to this many.
static const int MAX_LABELS = 60;

static std::string real(double v) {
    char buffer[40];
    snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

int main(int argc, char **argv) {
    FolderArguments args;
    CommandLine cli("pmedian-plot",
                    "Draws a solved instance whose vertices have coordinates as a map: map.svg and, where gnuplot "
                    "has its pngcairo terminal, map.png.",
                    "Exit status: 0 drawn; 1 input that cannot be drawn, or a gnuplot failure; 2 a wrong command "
                    "line.");
    add_folder_arguments(cli, args, "draw", "FILE.svg", "the map (default DIR/map.svg; the PNG goes beside it)");
    if (int status = cli.parse(argc, argv); status >= 0) return status;
    const std::string &dir = args.dir;
    std::string svg = args.out.empty() ? dir + "/map.svg" : args.out;
    if (svg.size() < 5 || svg.substr(svg.size() - 4) != ".svg") return cli.wrong("--out must name a .svg file");
    std::string png = svg.substr(0, svg.size() - 4) + ".png";

    try {
        SolvedFolder folder = read_solved_folder(dir, args.summary, args.solution);
        const VertexInfo &info = folder.info;
        if (!info.has_coordinates)
            tool_fail("%s has no coordinates to draw (a side file %s with x, y or lon, lat): convert a points or "
                      "tsplib file",
                      dir.c_str(), SIDE_FILE_NAME);
        int n = folder.costs.n, p = folder.costs.p;
        const Solution &s = folder.solution;
        std::vector<int> cluster_of(n, 0);
        for (int k = 0; k < p; ++k) cluster_of[s.medians[k]] = k;
        // Neighbouring clusters get different colours, judged by distances
        // on the map: a degree of longitude is cos(latitude) degrees wide.
        std::vector<double> map_x = info.x;
        if (info.geographic) {
            double middle = (*std::min_element(info.y.begin(), info.y.end()) +
                             *std::max_element(info.y.begin(), info.y.end())) / 2.0;
            for (double &x : map_x) x *= std::max(0.05, std::cos(middle * M_PI / 180.0));
        }
        std::vector<int> palette_index = cluster_colours(map_x, info.y, s.medians, s.median_of);
        bool labelled = !info.ids.empty() && p <= MAX_LABELS;

        std::string links = "$links << EOD\n", clients = "$clients << EOD\n", medians = "$medians << EOD\n";
        for (int v = 0; v < n; ++v) {
            int m = s.median_of[v];
            std::string colour = std::to_string(MAP_PALETTE[palette_index[cluster_of[m]]]);
            if (m == v) {
                medians += real(info.x[v]) + " " + real(info.y[v]) + " " + colour;
                if (labelled) {  // one quoted column, which gnuplot reads without escapes
                    std::string name = info.ids[v];
                    std::replace(name.begin(), name.end(), '"', '\'');
                    medians += " \"" + name + "\"";
                }
                medians += "\n";
                continue;
            }
            links += real(info.x[v]) + " " + real(info.y[v]) + " " + real(info.x[m] - info.x[v]) + " " +
                     real(info.y[m] - info.y[v]) + " " + colour + "\n";
            clients += real(info.x[v]) + " " + real(info.y[v]) + " " + colour + "\n";
        }
        links += "EOD\n";
        clients += "EOD\n";
        medians += "EOD\n";

        // The frame: the points with a margin of 4 % on every side.
        double x0 = *std::min_element(info.x.begin(), info.x.end()), x1 = *std::max_element(info.x.begin(), info.x.end());
        double y0 = *std::min_element(info.y.begin(), info.y.end()), y1 = *std::max_element(info.y.begin(), info.y.end());
        double span = std::max(x1 - x0, y1 - y0);
        if (!(span > 0)) span = 1.0;
        double mx = std::max(0.04 * (x1 - x0), 0.02 * span), my = std::max(0.04 * (y1 - y0), 0.02 * span);
        x0 -= mx, x1 += mx, y0 -= my, y1 += my;
        double ratio = (y1 - y0) / (x1 - x0);
        if (info.geographic) ratio /= std::max(0.05, std::cos((y0 + y1) / 2.0 * M_PI / 180.0));
        ratio = std::min(3.0, std::max(1.0 / 3.0, ratio));

        char title[256];
        double gap;
        if (folder.has_summary && gap_percent(folder.summary, gap))
            snprintf(title, sizeof title, "n = %d, p = %d, cost %.2f, LB %.2f, gap %.2f %%, status %d (%s)", n, p,
                     s.cost, folder.summary.LB, gap, folder.summary.status, status_meaning(folder.summary.status));
        else
            snprintf(title, sizeof title, "n = %d, p = %d, cost %.2f (no solver summary: gap unknown)", n, p, s.cost);

        std::string script = links + clients + medians;
        script += "set title " + gnuplot_quoted(title) + " noenhanced\n";
        script += info.geographic ? "set xlabel 'longitude'\nset ylabel 'latitude'\n" : "set xlabel 'x'\nset ylabel 'y'\n";
        script += "set xrange [" + real(x0) + ":" + real(x1) + "]\nset yrange [" + real(y0) + ":" + real(y1) + "]\n";
        script += "set size ratio " + real(ratio) + "\n";
        script += "set key outside top center horizontal noenhanced width 2\nset grid lc rgb '#dddddd'\n";
        script += "plot $links using 1:2:3:4:5 with vectors nohead lw 0.6 lc rgb variable title 'to its median', \\\n"
                  "     $clients using 1:2:3 with points pt 7 ps 0.45 lc rgb variable title 'clients', \\\n"
                  "     $medians using 1:2:3 with points pt 5 ps 1.6 lc rgb variable notitle, \\\n"
                  "     $medians using 1:2 with points pt 4 ps 1.6 lw 1.5 lc rgb 'black' title 'medians'";
        if (labelled)
            script += ", \\\n     $medians using 1:2:4 with labels offset char 0.8, char 0.8 left font ',9' noenhanced "
                      "notitle";
        script += "\n";

        int height = 800, width = (int)std::lround(std::min(1400.0, std::max(700.0, 760.0 / ratio + 160.0)));
        std::vector<std::string> written = draw_with_gnuplot(script, svg, png, width, height);
        printf("drew %s%s%s: n = %d, p = %d\n", written[0].c_str(), written.size() > 1 ? " and " : "",
               written.size() > 1 ? written[1].c_str() : " (no PNG: gnuplot lacks the pngcairo terminal)", n, p);
    } catch (const ToolError &e) {
        return report_failure("pmedian-plot", e);
    } catch (const std::bad_alloc &e) {
        return report_failure("pmedian-plot", e);
    }
    return 0;
}
