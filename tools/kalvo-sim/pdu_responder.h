#pragma once

#include "fault_plan.h"
#include "registers/modbus_registers.h"

#include <cstdint>
#include <vector>

namespace kalvo::sim {

// Answers one request PDU from a register image: function 3 reads registers 0 to 250, any
// other function gets exception 1, addresses beyond the map exception 2, a count outside
// 1..125 exception 3. The plan's exception, wrong-function and short-reply faults apply here.
class PduResponder {
public:
    using Bytes = std::vector<std::uint8_t>;

    explicit PduResponder(const FaultPlan& plan) : fPlan(plan) {}

    Bytes Respond(const Bytes& request, const ModbusRegisters& image) const;

private:
    bool ExceptionApplies(std::uint16_t start) const;

    const FaultPlan& fPlan;
};

} // namespace kalvo::sim
