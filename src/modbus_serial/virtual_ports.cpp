#include "modbus_serial/virtual_ports.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace kalvo {

std::string VirtualPortFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') {
        return std::string(runtime) + "/kalvo-serial";
    }
    return "/tmp/kalvo-serial-" + std::to_string(getuid());
}

std::vector<std::string> ListVirtualPorts() {
    std::vector<std::string> ports;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(VirtualPortFolder(), error)) {
        std::error_code statusError;
        if (entry.is_symlink(statusError) &&
            std::filesystem::is_character_file(entry.path(), statusError)) {
            ports.push_back(entry.path().string());
        }
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

} // namespace kalvo
