#include "registers/csv_text.h"

#include <algorithm>

namespace kalvo {

namespace {

bool NeedsQuotes(std::string_view cell) {
    return std::any_of(cell.begin(), cell.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 32 || c == ' ' || c == '"' || c == ',';
    });
}

} // namespace

std::string CsvCell(std::string_view cell) {
    if (!NeedsQuotes(cell)) {
        return std::string(cell);
    }
    std::string quoted = "\"";
    for (char c : cell) {
        if (c == '"') {
            quoted.push_back('"');
        }
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

std::string CsvLine(const std::vector<std::string>& cells) {
    std::string line;
    std::size_t size = 2;
    for (const std::string& cell : cells) {
        size += cell.size() + 1;
    }
    line.reserve(size);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) {
            line.push_back(',');
        }
        // Most cells need no quotes and are appended as they are, without a copy.
        if (NeedsQuotes(cells[i])) {
            line += CsvCell(cells[i]);
        } else {
            line += cells[i];
        }
    }
    line += "\r\n";
    return line;
}

std::vector<std::string> CsvCells(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            cells.back().push_back('"');
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            cells.emplace_back();
        } else {
            cells.back().push_back(c);
        }
    }
    return cells;
}

} // namespace kalvo
