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

} // namespace kalvo
