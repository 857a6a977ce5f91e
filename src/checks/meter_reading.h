#pragma once

#include "registers/modbus_registers.h"

namespace kalvo {

// Both blocks of one cycle: the image after block B was stored, and when each block's reply
// came (seconds since the epoch). The meter moves on between the two reads.
struct MeterReading {
    ModbusRegisters Image;
    double TimeA = 0;
    double TimeB = 0;
};

} // namespace kalvo
