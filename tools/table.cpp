// table.cpp - see table.h.
//
// Spreadsheet programs write CSV with commas, or with semicolons where the
// comma is the decimal mark; GIS tools and scripts often write blanks or
// tabs.  The header decides which, so that a name or an address with blanks
// in it stays one cell in a comma-separated file.  Cells are never allowed
// to run across lines: a quote left open is reported where it opens.
#include "table.h"

#include <cctype>
#include <iterator>
#include <charconv>

#include "tool_error.h"

static std::string trim(const std::string &s) {
    size_t a = s.find_first_not_of(" \t\r\v\f");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\r\v\f");
    return s.substr(a, b - a + 1);
}

static bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// The separator of a header line: ',' ';' or '\t' outside quotes, in that
// order of preference, else ' ' for runs of blanks.
static char separator_of(const std::string &header) {
    bool quoted = false, comma = false, semicolon = false, tab = false;
    for (char c : header) {
        if (c == '"') quoted = !quoted;
        else if (!quoted && c == ',') comma = true;
        else if (!quoted && c == ';') semicolon = true;
        else if (!quoted && c == '\t') tab = true;
    }
    return comma ? ',' : semicolon ? ';' : tab ? '\t' : ' ';
}

// The cells of one line.  With a separator, a cell's blanks at either end
// are dropped and an empty cell counts; with blanks, runs of them separate.
static std::vector<std::string> split_line(const std::string &line, char separator, const std::string &name,
                                           int line_number) {
    bool by_blanks = separator == ' ';
    auto skippable = [&](char c) { return blank(c) && (by_blanks || c != separator); };
    std::vector<std::string> cells;
    size_t i = 0, n = line.size();
    for (;;) {
        while (i < n && skippable(line[i])) ++i;
        if (by_blanks && i == n) break;
        std::string cell;
        if (i < n && line[i] == '"') {
            size_t open = i++;
            for (;;) {
                if (i == n)
                    tool_fail("%s: line %d, character %zu: quote not closed on its line", name.c_str(), line_number,
                              open + 1);
                if (line[i] == '"') {
                    if (i + 1 < n && line[i + 1] == '"') {
                        cell += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                cell += line[i++];
            }
            size_t after_quote = i;
            while (i < n && skippable(line[i])) ++i;
            if (i < n && (by_blanks ? i == after_quote : line[i] != separator))
                tool_fail("%s: line %d, character %zu: text after a quoted cell", name.c_str(), line_number, i + 1);
        } else {
            size_t begin = i;
            while (i < n && (by_blanks ? !blank(line[i]) : line[i] != separator)) ++i;
            cell = trim(line.substr(begin, i - begin));
        }
        cells.push_back(cell);
        if (by_blanks) continue;
        if (i == n) break;
        ++i;  // the separator
        if (i == n) {
            cells.push_back("");  // a separator at the end leaves an empty cell
            break;
        }
    }
    return cells;
}

void BadRows::add(int line, const std::string &message) {
    ++count;
    first.emplace(line, message);
    if (first.size() > MAX_LISTED) first.erase(std::prev(first.end()));
}

void BadRows::throw_if_any() const {
    if (count == 0) return;
    if (count == 1) throw ToolError(first.begin()->second);
    std::string text = file + ": " + std::to_string(count) + " bad rows:", prefix = file + ": ";
    for (const auto &[line, message] : first)
        text += "\n  " + (message.rfind(prefix, 0) == 0 ? message.substr(prefix.size()) : message);
    if (count > first.size()) text += "\n  and " + std::to_string(count - first.size()) + " more bad rows";
    throw ToolError(text);
}

Table parse_table(const std::string &text, const std::string &name, BadRows *bad) {
    BadRows own(name);
    if (!bad) bad = &own;
    Table table;
    char separator = 0;
    size_t start = 0;
    int line_number = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (trim(line).empty()) continue;
        if (!separator) {
            if (line[0] == '#') continue;  // a comment before the header
            separator = separator_of(line);
            table.columns = split_line(line, separator, name, line_number);
            continue;
        }
        try {
            std::vector<std::string> cells = split_line(line, separator, name, line_number);
            if (cells.size() != table.columns.size())
                tool_fail("%s: line %d: %zu cells, but the header has %zu (%s)", name.c_str(), line_number,
                          cells.size(), table.columns.size(), column_list(table).c_str());
            table.rows.push_back(cells);
            table.row_line.push_back(line_number);
        } catch (const ToolError &e) {
            bad->add(line_number, e.what());
        }
    }
    if (!separator) tool_fail("%s: no header row", name.c_str());
    own.throw_if_any();
    return table;
}

static std::string lower_case(std::string s) {
    for (char &c : s) c = (char)tolower((unsigned char)c);
    return s;
}

int find_column(const Table &table, const std::string &name, const std::string &file) {
    int found = -1;
    for (size_t c = 0; c < table.columns.size(); ++c)
        if (lower_case(table.columns[c]) == lower_case(name)) {
            if (found >= 0)
                tool_fail("%s: two columns are named \"%s\" (columns %d and %zu)", file.c_str(), name.c_str(),
                          found + 1, c + 1);
            found = (int)c;
        }
    return found;
}

std::string column_list(const Table &table) {
    std::string list;
    for (const std::string &column : table.columns) list += (list.empty() ? "" : ", ") + column;
    return list;
}

std::string csv_cell(const std::string &text) {
    bool quote = text.find_first_of(",;\"\n\r\t") != std::string::npos ||
                 (!text.empty() && (blank(text.front()) || blank(text.back())));
    if (!quote) return text;
    std::string cell = "\"";
    for (char c : text) cell += c == '"' ? std::string("\"\"") : std::string(1, c);
    return cell + "\"";
}

std::string number_text(double v) {
    char buffer[40];
    std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

std::string number_text(float v) {
    char buffer[40];
    std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}
