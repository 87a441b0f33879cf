// export.cpp - pmedian-export: turns a solved instance folder into tables
// that other programs read: "solution.json" (the sizes, the solver's summary
// when its output was kept, the medians and every vertex with its median
// and cost), "assignment.csv" (one row per vertex) and, when the converter
// kept coordinates, "solution.geojson" (every vertex as a point, for a GIS
// or a web map).  The three describe a vertex with the same fields, in the
// same order; docs/tools-and-planner-path.md lists them.
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

#include <nlohmann/json.hpp>

#include "command_line.h"
#include "output_files.h"
#include "solution.h"
#include "table.h"

using Json = nlohmann::ordered_json;

namespace {

// A float of the instance as the JSON number that is written in the float's
// shortest text, so that it reads back as the same float.  JSON has no
// infinity: an infinite cost (a client that no median can serve) is null
// there, and "inf" in the CSV.
Json float_number(float v) { return std::isfinite(v) ? Json(strtod(number_text(v).c_str(), nullptr)) : Json(nullptr); }

Json real_number(double v) { return std::isfinite(v) ? Json(v) : Json(nullptr); }

// A field of a vertex as a CSV cell.
std::string csv_text(const Json &value) {
    if (value.is_string()) return csv_cell(value.get<std::string>());
    if (value.is_null()) return "inf";
    if (value.is_number_integer()) return std::to_string(value.get<long long>());
    return number_text(value.get<double>());
}

// The document with each top-level field on a line of its own, and each
// element of an array field (a vertex, a feature) on one line: short enough
// to read and to compare line by line.  Every value is nlohmann-json's text.
std::string one_line_each(const Json &document) {
    std::string text = "{";
    for (auto field = document.begin(); field != document.end(); ++field) {
        text += (field == document.begin() ? "\n  " : ",\n  ") + Json(field.key()).dump() + ": ";
        if (!field->is_array() || field->empty()) {
            text += field->dump();
            continue;
        }
        for (size_t k = 0; k < field->size(); ++k) text += (k == 0 ? "[\n    " : ",\n    ") + (*field)[k].dump();
        text += "\n  ]";
    }
    return text + "\n}\n";
}

// The solution with what the side file knows about its vertices.
struct Exported {
    const SolvedFolder &folder;
    std::vector<float> distances;  // only with weights
    std::vector<int> cluster_of, clients_of;
    std::vector<double> cluster_cost;
    const char *cx, *cy;

    explicit Exported(const SolvedFolder &folder) : folder(folder) {
        const VertexInfo &info = folder.info;
        int n = folder.costs.n, p = folder.costs.p;
        const Solution &s = folder.solution;
        if (!info.weights.empty()) distances = read_distance_file(folder.instance_dir + "/pmedmtrx.dat", n);
        cluster_of.assign(n, -1);
        clients_of.assign(p, 0);
        cluster_cost.assign(p, 0.0);
        for (int k = 0; k < p; ++k) cluster_of[s.medians[k]] = k;
        for (int v = 0; v < n; ++v) {
            int m = s.median_of[v];
            cluster_of[v] = cluster_of[m];
            if (m == v) continue;
            clients_of[cluster_of[m]] += 1;
            cluster_cost[cluster_of[m]] += (double)cost(v);
        }
        cx = info.geographic ? "lon" : "x";
        cy = info.geographic ? "lat" : "y";
    }

    float cost(int v) const {
        int m = folder.solution.median_of[v], n = folder.costs.n;
        return m == v ? 0.0f : folder.costs.cost[(size_t)m * n + v];
    }

    // The fields of vertex v, in their documented order; the coordinates
    // unless for GeoJSON, which has them as the geometry.
    Json vertex(int v, bool with_coordinates = true) const {
        const VertexInfo &info = folder.info;
        int m = folder.solution.median_of[v], n = folder.costs.n;
        Json record;
        record["vertex"] = v;
        record["role"] = m == v ? "median" : "client";
        record["median"] = m;
        record["cluster"] = cluster_of[v];
        record["cost"] = float_number(cost(v));
        if (!info.ids.empty()) {
            record["id"] = info.ids[v];
            record["median_id"] = info.ids[m];
        }
        if (info.has_coordinates && with_coordinates) {
            record[cx] = real_number(info.x[v]);
            record[cy] = real_number(info.y[v]);
        }
        if (!info.weights.empty()) {
            record["weight"] = float_number(info.weights[v]);
            record["distance"] = float_number(m == v ? 0.0f : distances[(size_t)m * n + v]);
        }
        return record;
    }

    // A median's fields: a vertex's, and its cluster's size and cost.
    Json median(int k, bool with_coordinates = true) const {
        Json record = vertex(folder.solution.medians[k], with_coordinates);
        record["clients"] = clients_of[k];
        record["cluster_cost"] = real_number(cluster_cost[k]);
        return record;
    }

    std::string csv() const {
        std::string text;
        Json first = vertex(0);
        for (auto field = first.begin(); field != first.end(); ++field)
            text += (field == first.begin() ? "" : ",") + field.key();
        text += "\n";
        for (int v = 0; v < folder.costs.n; ++v) {
            Json record = vertex(v);
            for (auto field = record.begin(); field != record.end(); ++field)
                text += (field == record.begin() ? "" : ",") + csv_text(field.value());
            text += "\n";
        }
        return text;
    }

    std::string json() const {
        const Solution &s = folder.solution;
        Json j;
        j["n"] = folder.costs.n;
        j["p"] = folder.costs.p;
        j["status"] = s.status;
        j["total_cost"] = real_number(s.cost);
        if (folder.has_summary) {
            const Summary &m = folder.summary;
            double gap;
            j["summary"] = {{"iterations", m.iterations},
                            {"UB", real_number(m.UB)},
                            {"LB", real_number(m.LB)},
                            {"ZD", real_number(m.ZD)},
                            {"ZP", real_number(m.ZP)},
                            {"Pi", real_number(m.Pi)},
                            {"TFator", real_number(m.TFator)},
                            {"feasible_solutions", m.feasible_count},
                            {"cpu_seconds", real_number(m.cpu_time)},
                            {"status", m.status},
                            {"gap_percent", gap_percent(m, gap) ? real_number(gap) : Json(nullptr)}};
        }
        j["medians"] = Json::array();
        for (int k = 0; k < folder.costs.p; ++k) j["medians"].push_back(median(k));
        j["vertices"] = Json::array();
        for (int v = 0; v < folder.costs.n; ++v) j["vertices"].push_back(vertex(v));
        return one_line_each(j);
    }

    // Point features: the medians first, in the order of the medians line,
    // then the clients in vertex order.
    std::string geojson() const {
        const VertexInfo &info = folder.info;
        const Solution &s = folder.solution;
        Json features = Json::array();
        auto feature = [&](int v, Json properties) {
            features.push_back({{"type", "Feature"},
                                {"geometry", {{"type", "Point"}, {"coordinates", {info.x[v], info.y[v]}}}},
                                {"properties", std::move(properties)}});
        };
        for (int k = 0; k < folder.costs.p; ++k) feature(s.medians[k], median(k, false));
        for (int v = 0; v < folder.costs.n; ++v)
            if (s.median_of[v] != v) feature(v, vertex(v, false));
        return one_line_each(Json{{"type", "FeatureCollection"}, {"features", std::move(features)}});
    }
};

}  // namespace

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
        Exported exported(folder);
        bool coordinates = folder.info.has_coordinates;
        make_folder(out);
        std::vector<OutputFile> files = {{out + "/solution.json", exported.json()},
                                         {out + "/assignment.csv", exported.csv()}};
        if (coordinates) files.push_back({out + "/solution.geojson", exported.geojson()});
        write_files(files);
        if (!coordinates) remove_stale(out + "/solution.geojson");

        std::string written;
        for (size_t k = 0; k < files.size(); ++k)
            written += (k == 0 ? "" : k + 1 == files.size() ? " and " : ", ") + files[k].path;
        printf("wrote %s: n = %d, p = %d, cost %.2f%s\n", written.c_str(), folder.costs.n, folder.costs.p,
               folder.solution.cost,
               folder.has_summary ? "" : " (no solver summary: save the solver's output in summary.txt to add it)");
    } catch (const ToolError &e) {
        return report_failure("pmedian-export", e);
    } catch (const std::bad_alloc &e) {
        return report_failure("pmedian-export", e);
    }
    return 0;
}
