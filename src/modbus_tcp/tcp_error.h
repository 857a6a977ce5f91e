#pragma once

#include <stdexcept>
#include <string>

namespace kalvo {

// A failure of the TCP connection layer or of the Modbus/TCP framing; the text is shown to the
// user as it stands (socket errors read "Socket Error # N" CR LF "Description.").
class ETcpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;

    // The text for a socket error number.
    static ETcpError FromErrno(int error);
};

} // namespace kalvo
