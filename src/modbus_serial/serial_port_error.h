#pragma once

#include <string>
#include <system_error>

namespace kalvo {

// An open serial port failed under us (unplugged, hung up, or a read or write refused): the
// port is of no further use until it is opened again.
class ESerialPortError : public std::system_error {
public:
    ESerialPortError(int error, const std::string& path)
        : std::system_error(error, std::generic_category(), "Serial port " + path) {}
};

} // namespace kalvo
