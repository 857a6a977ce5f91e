#pragma once

#include <string>
#include <string_view>

namespace kalvo {

// `text` as HTML or XML character data or an attribute value: &, <, >, " and ' escaped.
std::string MarkupText(std::string_view text);

} // namespace kalvo
