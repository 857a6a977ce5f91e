#pragma once

#include "checks/check_result.h"
#include "registers/comm_statistics_record.h"
#include "registers/modbus_registers.h"

#include <string>
#include <vector>

namespace kalvo {

// What the metrics show of one module: who it is, whether its last read cycle succeeded, and
// then its register image and the checks' verdicts.
struct ModuleSnapshot {
    std::string Target;       // "10.0.0.7:502", "/dev/ttyUSB0@3"
    std::string Name;         // given in the targets, may be empty
    std::string SerialNumber; // the module's own, once read
    bool Up = false;
    double LastGoodReadSeconds = 0; // since the epoch; 0 before the first
    double ReadDurationSeconds = 0; // of the last read cycle
    CommStatisticsRecord Statistics;
    ModbusRegisters Registers;       // meaningful only while Up
    std::vector<CheckResult> Checks; // as they stand when the board is read
};

} // namespace kalvo
