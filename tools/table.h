// table.h - tables of text with a header row: the point files that the
// converter reads and the side file that it writes next to the instance.
#ifndef PMEDIAN_TOOLS_TABLE_H
#define PMEDIAN_TOOLS_TABLE_H

#include <map>
#include <string>
#include <vector>

struct Table {
    std::vector<std::string> columns;            // header cells, as written
    std::vector<std::vector<std::string>> rows;  // cells of each data row
    std::vector<int> row_line;                   // line number of each row, from 1
};

// The bad rows of an input file, gathered so that one run reports them all,
// in file order, rather than one per run.  Each row is added once, with the
// first fault found in it; the rows may come in any order.
class BadRows {
public:
    static const size_t MAX_LISTED = 20;

    explicit BadRows(const std::string &file) : file(file) {}
    // message: what is wrong with the row at line, as "FILE: line N...".
    void add(int line, const std::string &message);
    bool empty() const { return count == 0; }
    // Throws ToolError when there are bad rows: the one message of a single
    // bad row; else "FILE: K bad rows:" with the first MAX_LISTED, one per
    // line in line order, and how many more there are.
    void throw_if_any() const;

private:
    std::string file;
    size_t count = 0;
    std::map<int, std::string> first;  // the MAX_LISTED earliest lines
};

// Reads a table: the first line that is neither blank nor a comment ("#" at
// its start) is the header; blank lines are skipped.  Cells are separated by
// the first of ',', ';' and tab that the header holds, else by runs of
// blanks.  A cell may be quoted as in CSV ("a, b", "say ""hi"""), within its
// line.  Every row must have as many cells as the header.  name names the
// file in messages; throws ToolError for a file without a header.  A row
// that breaks these rules goes to bad, and is left out of the table; without
// bad, every such row is reported (BadRows::throw_if_any).
Table parse_table(const std::string &text, const std::string &name, BadRows *bad = nullptr);

// The column whose header is name, compared without regard to case, or -1.
// Throws ToolError when two columns have that name.
int find_column(const Table &table, const std::string &name, const std::string &file);

// The header cells joined by ", ", for messages.
std::string column_list(const Table &table);

// A cell of text for a CSV file: quoted when it holds a separator, a quote,
// a line break or blanks at either end.
std::string csv_cell(const std::string &text);

// A number in the shortest text that reads back as the same value.
std::string number_text(double v);
std::string number_text(float v);

#endif
