// export.cpp - pmedian-export: turns a solved instance folder into tables
// that other programs read: "solution.json" (the sizes, the solver's summary
// when its output was kept, the medians and every client with its median
// and cost), "assignment.csv" (one row per client) and, when the converter
// kept coordinates, "solution.geojson" (medians and clients as points with
// their cluster, for a GIS or a web map).
//
// The solution is checked first, as pmedian-check does, and the summary must
// belong to it, so the tables never describe a broken or a different
// solution.  All files are written under temporary names and renamed only
// when all are complete.
//
// Exit status: 0 when the files are written, 1 for a solution or input that
// cannot be exported, 2 for a wrong command line.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "command_line.h"
#include "output_files.h"
#include "solution.h"
#include "table.h"

// JSON has no infinity: a cost that is (a client no median could serve)
// becomes null there and "inf" in the CSV.
template <typename Real> static std::string json_number(Real v) { return std::isfinite(v) ? number_text(v) : "null"; }

static std::string json_string(const std::string &text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += (char)c;
        } else if (c < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

// One client of the solution with what the side file knows about it.
struct Row {
    int client, median;
    float cost;
    float distance;  // only with weights
};

int main(int argc, char **argv) {
    FolderArguments args;
    CommandLine cli("pmedian-export",
                    "Checks the solution of a solved folder and writes solution.json, assignment.csv and, for an "
                    "instance with coordinates, solution.geojson.",
                    "Exit status: 0 written; 1 a solution or file that cannot be exported; 2 a wrong command line.");
    add_folder_arguments(cli, args, "export", "DIR",
                         "folder for solution.json, assignment.csv and solution.geojson (default DIR)");
    if (int status = cli.parse(argc, argv); status >= 0) return status;
    const std::string &dir = args.dir;
    std::string out = args.out.empty() ? dir : args.out;

    try {
        SolvedFolder folder = read_solved_folder(dir, args.summary, args.solution);
        const VertexInfo &info = folder.info;
        int n = folder.costs.n, p = folder.costs.p;
        const Solution &s = folder.solution;
        bool ids = !info.ids.empty(), coordinates = info.has_coordinates, weights = !info.weights.empty();
        std::vector<float> distances;
        if (weights) distances = read_distance_file(dir + "/pmedmtrx.dat", n);

        std::vector<int> cluster_of(n, -1), clients_of(p, 0);
        std::vector<double> total_of(p, 0.0);
        for (int k = 0; k < p; ++k) cluster_of[s.medians[k]] = k;
        std::vector<Row> rows;
        for (int v = 0; v < n; ++v) {
            int m = s.median_of[v];
            if (m == v) continue;
            Row r{v, m, folder.costs.cost[(size_t)m * n + v], weights ? distances[(size_t)m * n + v] : 0.0f};
            rows.push_back(r);
            clients_of[cluster_of[m]] += 1;
            total_of[cluster_of[m]] += (double)r.cost;
        }
        const char *cx = info.geographic ? "lon" : "x", *cy = info.geographic ? "lat" : "y";

        // assignment.csv
        std::string csv = "client,median,cost";
        if (ids) csv += ",client_id,median_id";
        if (coordinates) csv += std::string(",") + cx + "," + cy;
        if (weights) csv += ",weight,distance";
        csv += "\n";
        for (const Row &r : rows) {
            csv += std::to_string(r.client) + "," + std::to_string(r.median) + "," + number_text(r.cost);
            if (ids) csv += "," + csv_cell(info.ids[r.client]) + "," + csv_cell(info.ids[r.median]);
            if (coordinates) csv += "," + number_text(info.x[r.client]) + "," + number_text(info.y[r.client]);
            if (weights) csv += "," + number_text(info.weights[r.client]) + "," + number_text(r.distance);
            csv += "\n";
        }

        // solution.json
        std::string json = "{\n  \"n\": " + std::to_string(n) + ",\n  \"p\": " + std::to_string(p) +
                           ",\n  \"status\": " + std::to_string(s.status) + ",\n  \"cost\": " + json_number(s.cost) +
                           ",\n";
        if (folder.has_summary) {
            const Summary &m = folder.summary;
            double gap;
            json += "  \"summary\": {\"iterations\": " + std::to_string(m.iterations) + ", \"UB\": " + json_number(m.UB) +
                    ", \"LB\": " + json_number(m.LB) + ", \"ZD\": " + json_number(m.ZD) + ", \"ZP\": " +
                    json_number(m.ZP) + ", \"Pi\": " + json_number(m.Pi) + ", \"TFator\": " + json_number(m.TFator) +
                    ", \"feasible_solutions\": " + std::to_string(m.feasible_count) +
                    ", \"cpu_seconds\": " + json_number(m.cpu_time) + ", \"status\": " + std::to_string(m.status) +
                    ", \"gap_percent\": " + (gap_percent(m, gap) ? json_number(gap) : "null") + "},\n";
        }
        auto place = [&](int v) {
            std::string text;
            if (ids) text += ", \"id\": " + json_string(info.ids[v]);
            if (coordinates)
                text += std::string(", \"") + cx + "\": " + json_number(info.x[v]) + ", \"" + cy +
                        "\": " + json_number(info.y[v]);
            return text;
        };
        json += "  \"medians\": [\n";
        for (int k = 0; k < p; ++k) {
            int v = s.medians[k];
            json += "    {\"vertex\": " + std::to_string(v) + place(v) + ", \"clients\": " +
                    std::to_string(clients_of[k]) + ", \"cost\": " + json_number(total_of[k]) + "}" +
                    (k + 1 < p ? ",\n" : "\n");
        }
        json += "  ],\n  \"clients\": [\n";
        for (size_t k = 0; k < rows.size(); ++k) {
            const Row &r = rows[k];
            json += "    {\"client\": " + std::to_string(r.client) + ", \"median\": " + std::to_string(r.median) +
                    ", \"cost\": " + json_number(r.cost) + place(r.client);
            if (ids) json += ", \"median_id\": " + json_string(info.ids[r.median]);
            if (weights)
                json += ", \"weight\": " + json_number(info.weights[r.client]) + ", \"distance\": " +
                        json_number(r.distance);
            json += std::string("}") + (k + 1 < rows.size() ? ",\n" : "\n");
        }
        json += "  ]\n}\n";

        // solution.geojson: the medians first, then the clients.
        std::string geojson;
        if (coordinates) {
            geojson = "{\"type\": \"FeatureCollection\", \"features\": [\n";
            std::vector<std::string> features;
            auto feature = [&](int v, const std::string &properties) {
                features.push_back("{\"type\": \"Feature\", \"geometry\": {\"type\": \"Point\", \"coordinates\": [" +
                                   json_number(info.x[v]) + ", " + json_number(info.y[v]) +
                                   "]}, \"properties\": {" + properties + "}}");
            };
            auto named = [&](const char *key, int v) {
                return ids ? std::string(", \"") + key + "\": " + json_string(info.ids[v]) : std::string();
            };
            for (int k = 0; k < p; ++k) {
                int v = s.medians[k];
                feature(v, "\"role\": \"median\", \"vertex\": " + std::to_string(v) + named("id", v) +
                               ", \"cluster\": " + std::to_string(k) + ", \"median\": " + std::to_string(v) +
                               ", \"clients\": " + std::to_string(clients_of[k]) + ", \"cost\": " +
                               json_number(total_of[k]));
            }
            for (const Row &r : rows)
                feature(r.client, "\"role\": \"client\", \"vertex\": " + std::to_string(r.client) +
                                      named("id", r.client) + ", \"cluster\": " +
                                      std::to_string(cluster_of[r.median]) + ", \"median\": " +
                                      std::to_string(r.median) + named("median_id", r.median) + ", \"cost\": " +
                                      json_number(r.cost) +
                                      (weights ? ", \"weight\": " + json_number(info.weights[r.client]) : ""));
            for (size_t k = 0; k < features.size(); ++k)
                geojson += features[k] + (k + 1 < features.size() ? ",\n" : "\n");
            geojson += "]}\n";
        }

        make_folder(out);
        std::vector<OutputFile> files = {{out + "/solution.json", json}, {out + "/assignment.csv", csv}};
        if (coordinates) files.push_back({out + "/solution.geojson", geojson});
        write_files(files);
        if (!coordinates) remove_stale(out + "/solution.geojson");

        std::string written;
        for (size_t k = 0; k < files.size(); ++k)
            written += (k == 0 ? "" : k + 1 == files.size() ? " and " : ", ") + files[k].path;
        printf("wrote %s: n = %d, p = %d, cost %.2f%s\n", written.c_str(), n, p, s.cost,
               folder.has_summary ? "" : " (no solver summary: save the solver's output in summary.txt to add it)");
    } catch (const ToolError &e) {
        return report_failure("pmedian-export", e);
    } catch (const std::bad_alloc &e) {
        return report_failure("pmedian-export", e);
    }
    return 0;
}
