#pragma once

#include <string>
#include <vector>

namespace kalvo {

// The per-user folder where virtual serial ports are published as symbolic links to
// pseudo-terminals: $XDG_RUNTIME_DIR/kalvo-serial, or /tmp/kalvo-serial-<uid> without it.
std::string VirtualPortFolder();
// The published ports whose links still lead to a character device, sorted by name, as
// absolute paths that a connection opens as they are.
std::vector<std::string> ListVirtualPorts();

} // namespace kalvo
