#include "modbus_tcp/tcp_error.h"

#include <cstring>

namespace kalvo {

ETcpError ETcpError::FromErrno(int error) {
    std::string description = std::strerror(error);
    return ETcpError("Socket Error # " + std::to_string(error) + "\r\n" + description + ".");
}

} // namespace kalvo
