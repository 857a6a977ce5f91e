#pragma once

#include "register_source.h"

#include <string>

namespace kalvo::sim {

// A register image read from a file: the 245 mapped registers as hexadecimal words, as they
// travel on the wire, separated by white space. Registers 245 to 250 read 0.
class FixedImage : public RegisterSource {
public:
    static constexpr int kMappedRegisters = 245;

    // Raises std::runtime_error naming the file and the fault.
    explicit FixedImage(const std::string& path);

    ModbusRegisters Image(Time) override { return fImage; }

private:
    ModbusRegisters fImage;
};

} // namespace kalvo::sim
