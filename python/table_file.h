#pragma once
// CSV tables with a header line, as the sweep writes them (runs.csv, final.csv) and as the
// tournament and the log write theirs: cells as text, by column, for the module to type.
#include <optional>
#include <string>
#include <vector>

namespace kav::py {

struct TextTable {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> cells;  // cells[column][row]
};

// Splits `text` into its header and rows. Fields may be quoted ("a,b", "" for a quote);
// lines end in \n or \r\n; a last line without its line break is a row like any other.
// Lines that are empty and lines beginning with '#' (a tournament share's heading) are
// left out. Empty with the line in `why` when there is no header, a column name repeats,
// a row has another number of fields than the header, or a quote is left open.
std::optional<TextTable> parseTextTable(const std::string& text, std::string& why);

}  // namespace kav::py
