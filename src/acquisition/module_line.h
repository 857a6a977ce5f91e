#pragma once

#include "modbus_serial/modbus_connection.h"

#include <cstdint>
#include <string>

namespace kalvo {

// The serial line settings of a KALVO module, as a client connection takes them: the port,
// the speed (2400 to 19200 baud; another keeps the connection's), 8 data bits, no parity,
// one stop bit, no flow control, RTU framing.
void SetModuleLine(TModbusConnection& connection, const std::string& port, std::int32_t speed);

} // namespace kalvo
