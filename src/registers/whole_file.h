#pragma once

#include <string>
#include <string_view>

namespace kalvo {

// Writes `contents` to `path` whole or not at all: into a new file beside it, renamed over
// `path` only once every byte is written, so a full disk leaves neither a cut file nor an
// empty one, and an older file of that name stays as it was. Raises std::system_error with
// "cannot write <path>" and the reason.
void WriteFileWhole(const std::string& path, std::string_view contents);

} // namespace kalvo
