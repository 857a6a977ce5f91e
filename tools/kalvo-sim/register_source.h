#pragma once

#include "registers/modbus_registers.h"

#include <chrono>

namespace kalvo::sim {

// Where the simulated module's holding registers come from at the moment of a request.
class RegisterSource {
public:
    using Time = std::chrono::system_clock::time_point;

    virtual ~RegisterSource() = default;
    virtual ModbusRegisters Image(Time now) = 0;
};

} // namespace kalvo::sim
