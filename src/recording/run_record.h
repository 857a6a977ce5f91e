#pragma once

#include "registers/modbus_registers.h"
#include "registers/register_block.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace kalvo {

// The rows of a recorded Run: a header, then one row per successful read with its time, the
// block read (A or B) and one cell for every quantity of the register map, in map order. The
// quantities of the block not read in that cycle stay empty, so no value stands beside a
// time at which it was not read. Values are the tables' texts, Unavailable included.
class RunRecord {
public:
    explicit RunRecord(std::string decimalSeparator) : fSeparator(std::move(decimalSeparator)) {}

    // "Time", "Block", then "<OBIS> <description> [<unit>]" of every quantity (no brackets
    // for a plain number).
    static std::vector<std::string> Header();
    // The row for `block`, read at `time`.
    std::vector<std::string> Row(std::chrono::system_clock::time_point time, RegisterBlock block,
                                 const ModbusRegisters& registers) const;
    // ISO 8601 local time with milliseconds and the UTC offset: 2026-12-10T14:05:03.120+01:00.
    static std::string TimeText(std::chrono::system_clock::time_point time);

private:
    std::string fSeparator;
};

} // namespace kalvo
