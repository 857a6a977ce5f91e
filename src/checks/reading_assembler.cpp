#include "checks/reading_assembler.h"

namespace kalvo {

std::optional<MeterReading> ReadingAssembler::BlockRead(RegisterBlock block, double time,
                                                        const ModbusRegisters& image) {
    if (block == RegisterBlock::A) {
        fTimeA = time;
        return std::nullopt;
    }
    if (!fTimeA) {
        return std::nullopt;
    }
    MeterReading reading{image, *fTimeA, time};
    fTimeA.reset();
    return reading;
}

} // namespace kalvo
