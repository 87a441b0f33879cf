// tools_harness.cpp - see tools_harness.h.
#include "tools_harness.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "side_file.h"
#include "solution.h"
#include "sweep_input.h"
#include "table.h"
#include "text_input.h"

int convert_main(int argc, char **argv);  // tools/convert.cpp built without its main

static void write_bytes(const char *name, const uint8_t *data, size_t size) {
    FILE *f = fopen(name, "wb");
    if (!f || (size && fwrite(data, 1, size, f) != size) || fclose(f) != 0) abort();
}

// The converter's command lines that the first byte chooses among.
static const char *const CONVERSIONS[] = {
    "orlib a",
    "orlib a --weights b",
    "tsplib a --p 1",
    "tsplib a --p 2 --round nint --radius-quantile 0.5",
    "matrix a --p 1 --weights b",
    "points a --p 1",
    "points a --p 2 --weight w --id id",
    "points a --p 1 --metric haversine --weights b",
};
static const int CONVERSION_COUNT = sizeof CONVERSIONS / sizeof CONVERSIONS[0];
static const int MODE_COUNT = CONVERSION_COUNT + 5;

// Every number of a file as the solver reads it.
static std::vector<float> numbers_of(const char *path) {
    std::vector<float> values;
    FILE *f = fopen(path, "r");
    if (!f) return values;
    float v;
    while (fscanf(f, "%f", &v) == 1) values.push_back(v);
    fclose(f);
    return values;
}

// What is wrong with the instance that a successful conversion wrote.
static std::string converted_problem() {
    std::vector<float> data = numbers_of("out/pmeddata.dat"), matrix = numbers_of("out/pmedmtrx.dat");
    if (data.size() < 2 || matrix.size() < 3) return "instance files without their headers";
    long long n = (long long)data[0], p = (long long)data[1];
    if (n < 1 || p < 1 || p > n) return "sizes outside 1 <= p <= n";
    if ((long long)data.size() != 2 + n * (n - 1)) return "not n(n - 1) costs";
    if ((long long)matrix.size() != 3 + n * (n - 1) / 2) return "not n(n - 1)/2 distances";
    for (size_t k = 2; k < data.size(); ++k)
        if (std::isnan(data[k]) || data[k] < 0) return "a cost that is NaN or negative";
    for (size_t k = 2; k < matrix.size(); ++k)
        if (std::isnan(matrix[k]) || matrix[k] < 0) return "a radius or distance that is NaN or negative";
    try {
        read_side_file("out", (int)n);
    } catch (const ToolError &e) {
        return std::string("the side file does not read back: ") + e.what();
    }
    return "";
}

static std::string run_conversion(int mode) {
    std::vector<std::string> words = {"pmedian-convert"};
    for (const char *at = CONVERSIONS[mode];;) {
        const char *blank = strchr(at, ' ');
        words.push_back(blank ? std::string(at, blank - at) : std::string(at));
        if (!blank) break;
        at = blank + 1;
    }
    words.push_back("--out");
    words.push_back("out");
    std::vector<char *> argv;
    for (std::string &word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    for (const char *name : {"out/pmeddata.dat", "out/pmedmtrx.dat", "out/pmedvertices.csv"}) unlink(name);
    int status = convert_main((int)argv.size() - 1, argv.data());
    if (status == 0) return converted_problem();
    if (status != 1) return "status " + std::to_string(status) + " for a valid command line";
    return "";
}

// A table written back with csv_cell must read as the same table, where
// the writer's own tables can arise: two columns or more, a header that is
// no comment.
static std::string table_problem(const std::string &text) {
    Table table = parse_table(text, "a");
    if (table.columns.size() < 2 || table.columns[0].rfind("#", 0) == 0) return "";
    auto line = [](const std::vector<std::string> &cells) {
        std::string out;
        for (size_t c = 0; c < cells.size(); ++c) out += (c ? "," : "") + csv_cell(cells[c]);
        return out + "\n";
    };
    std::string written = line(table.columns);
    for (const std::vector<std::string> &row : table.rows) written += line(row);
    Table again = parse_table(written, "written");
    if (again.columns != table.columns || again.rows != table.rows) return "a table changes when written back";
    return "";
}

std::string run_tools_fuzz_input(const uint8_t *data, size_t size) {
    if (size == 0) return "";
    int mode = data[0] % MODE_COUNT;
    const uint8_t *rest = data + 1, *bar = (const uint8_t *)memchr(rest, '|', size - 1);
    size_t a_size = bar ? (size_t)(bar - rest) : size - 1;
    write_bytes("a", rest, a_size);
    write_bytes("b", bar ? bar + 1 : rest, bar ? size - 1 - a_size - 1 : 0);
    if (mode < CONVERSION_COUNT) return run_conversion(mode);

    try {
        std::string a = read_text_file("a"), b = read_text_file("b");
        switch (mode - CONVERSION_COUNT) {
        case 0: {  // a side file, and the same vertices written and read again
            VertexInfo info = parse_side_file(a, "a", 0);
            int n = info.has_coordinates ? (int)info.x.size() : !info.ids.empty() ? (int)info.ids.size()
                                                                                  : (int)info.weights.size();
            if (n == 0) return "";
            VertexInfo again = parse_side_file(side_file_text(info, n), "written", n);
            if (again.ids != info.ids || again.x != info.x || again.y != info.y || again.weights != info.weights)
                return "a side file changes when written back";
            return "";
        }
        case 1: {  // an instance and a solution file
            write_bytes("pmeddata.dat", rest, a_size);
            CostMatrix costs = read_cost_file("pmeddata.dat");
            Solution s = read_solution("b", costs);
            for (int v = 0; v < costs.n; ++v)
                if (s.median_of[v] < 0 || s.median_of[s.median_of[v]] != s.median_of[v])
                    return "an accepted solution with a vertex that no median serves";
            return "";
        }
        case 2: {  // a console summary
            Summary summary;
            double gap;
            if (parse_summary(a, summary)) gap_percent(summary, gap);
            return "";
        }
        case 3: {  // a sweep's p list and an instance file's head
            try {
                parse_p_list(a, 50);
            } catch (const ToolError &) {
            }
            FileHead head = parse_file_head(b, "b");
            if (head.rest_offset > b.size()) return "a file head beyond the end of the file";
            return "";
        }
        case 4:
            return table_problem(a);
        }
    } catch (const ToolError &) {
        return "";  // refused with a message: what bad input should get
    }
    return "";
}
