// sweep_input.cpp - see sweep_input.h.
#include "sweep_input.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "tool_error.h"

// A whole decimal integer within int range, or false.
static bool whole_number(const std::string &text, long long &value) {
    if (text.empty() || text.size() > 12) return false;
    for (size_t k = 0; k < text.size(); ++k)
        if (!isdigit((unsigned char)text[k]) && !(k == 0 && (text[k] == '-' || text[k] == '+'))) return false;
    char *end = nullptr;
    errno = 0;
    value = strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && end != text.c_str();
}

std::vector<int> parse_p_list(const std::string &text, int n) {
    std::vector<int> values;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        std::vector<std::string> parts;
        size_t part_start = 0;
        for (;;) {
            size_t colon = item.find(':', part_start);
            parts.push_back(item.substr(part_start, colon == std::string::npos ? std::string::npos : colon - part_start));
            if (colon == std::string::npos) break;
            part_start = colon + 1;
        }
        long long v[3] = {0, 0, 1};
        if (parts.size() > 3) tool_fail("--p: \"%s\" is not P or FIRST:LAST:STEP", item.c_str());
        for (size_t k = 0; k < parts.size(); ++k)
            if (!whole_number(parts[k], v[k]))
                tool_fail("--p: \"%s\" in \"%s\" is not a whole number", parts[k].c_str(), item.c_str());
        if (parts.size() == 1) v[1] = v[0];
        if (v[2] < 1) tool_fail("--p: the step of \"%s\" must be at least 1", item.c_str());
        if (v[1] < v[0]) tool_fail("--p: \"%s\" runs downwards (write FIRST:LAST with FIRST <= LAST)", item.c_str());
        for (long long k = 0; k < 2; ++k)
            if (v[k] < 1 || v[k] > n) tool_fail("--p: %lld lies outside 1..%d (n)", v[k], n);
        for (long long p = v[0]; p <= v[1]; p += v[2]) {
            values.push_back((int)p);
            if ((int)values.size() > MAX_SWEEP_VALUES)
                tool_fail("--p: more than %d values of p; sweep them in parts", MAX_SWEEP_VALUES);
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

FileHead parse_file_head(const std::string &start, const std::string &name) {
    FileHead head;
    size_t i = start.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    long long *targets[2] = {&head.first, &head.second};
    for (long long *target : targets) {
        while (i < start.size() && isspace((unsigned char)start[i])) ++i;
        size_t begin = i;
        if (i < start.size() && (start[i] == '-' || start[i] == '+')) ++i;
        while (i < start.size() && isdigit((unsigned char)start[i])) ++i;
        bool ends = i == start.size() || isspace((unsigned char)start[i]);
        if (!ends || !whole_number(start.substr(begin, i - begin), *target))
            tool_fail("%s: does not start with two whole numbers (the header)", name.c_str());
    }
    head.rest_offset = i;
    return head;
}
