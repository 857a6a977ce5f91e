#pragma once

#include <string>

namespace kalvo {

// Error texts may span lines; a log line may not.
inline std::string LogLine(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.replace(at, 2, "  -  ");
    }
    return text;
}

} // namespace kalvo
