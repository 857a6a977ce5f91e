#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kalvo {

// A cell as it is written to a CSV line: quoted (with inner quotes doubled) when it holds a
// space, a double quote, a comma or a control character; unchanged otherwise.
std::string CsvCell(std::string_view cell);

// The cells joined by commas, ended by CR LF.
std::string CsvLine(const std::vector<std::string>& cells);

// The cells of one CSV line as CsvLine writes them (quotes removed, doubled quotes undone);
// the line's end, CR LF or LF, is not part of the last cell.
std::vector<std::string> CsvCells(std::string_view line);

} // namespace kalvo
