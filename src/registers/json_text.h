#pragma once

#include <string>
#include <string_view>

namespace kalvo {

// A JSON string literal of `text` (UTF-8 kept; quotes, backslashes and control characters
// escaped).
std::string JsonString(std::string_view text);

} // namespace kalvo
