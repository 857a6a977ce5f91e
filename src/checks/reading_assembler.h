#pragma once

#include "checks/meter_reading.h"
#include "registers/register_block.h"

#include <optional>

namespace kalvo {

// Pairs the block reads of a run into readings: block A, then block B, both good, make one.
class ReadingAssembler {
public:
    // `block` was read at `time` (seconds since the epoch) and `image` now holds it; the
    // reading when this completes one.
    std::optional<MeterReading> BlockRead(RegisterBlock block, double time,
                                          const ModbusRegisters& image);
    // A failed read breaks the pair it belongs to.
    void BlockFailed() { fTimeA.reset(); }

private:
    std::optional<double> fTimeA;
};

} // namespace kalvo
