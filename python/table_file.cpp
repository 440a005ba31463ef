#include "python/table_file.h"

#include <set>

namespace kav::py {

namespace {

// The fields of the line that starts at `at`; `at` is moved past its line break. False
// when a quoted field is not closed before the text ends.
bool readLine(const std::string& text, std::size_t& at, std::vector<std::string>& fields) {
    fields.assign(1, std::string());
    bool quoted = false;
    while (at < text.size()) {
        const char c = text[at++];
        if (quoted) {
            if (c != '"') fields.back() += c;
            else if (at < text.size() && text[at] == '"') fields.back() += '"', ++at;
            else quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == '\n') {
            break;
        } else if (c != '\r' || (at < text.size() && text[at] != '\n')) {
            fields.back() += c;
        }
    }
    return !quoted;
}

}  // namespace

std::optional<TextTable> parseTextTable(const std::string& text, std::string& why) {
    TextTable table;
    std::vector<std::string> fields;
    std::size_t at = 0;
    int line = 0;
    bool header = false;
    while (at < text.size()) {
        ++line;
        const std::size_t start = at;
        if (!readLine(text, at, fields)) {
            why = "line " + std::to_string(line) + ": a quoted field is not closed";
            return std::nullopt;
        }
        if ((fields.size() == 1 && fields[0].empty()) || text[start] == '#') continue;
        if (!header) {
            std::set<std::string> seen;
            for (const std::string& name : fields)
                if (!seen.insert(name).second) {
                    why = "line " + std::to_string(line) + ": the column " + name + " repeats";
                    return std::nullopt;
                }
            table.columns = fields;
            table.cells.resize(fields.size());
            header = true;
            continue;
        }
        if (fields.size() != table.columns.size()) {
            why = "line " + std::to_string(line) + " has " + std::to_string(fields.size()) +
                  " fields, the header " + std::to_string(table.columns.size());
            return std::nullopt;
        }
        for (std::size_t c = 0; c < fields.size(); ++c) table.cells[c].push_back(fields[c]);
    }
    if (!header) {
        why = "no header line (an empty file)";
        return std::nullopt;
    }
    return table;
}

}  // namespace kav::py
