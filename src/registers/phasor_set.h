#pragma once

#include "registers/modbus_registers.h"

#include <array>
#include <cstdint>

namespace kalvo {

// The three phases' voltage and current phasors as the meter reports them, with the frequency
// and the total active power, and the layout rules every drawing of them shares (the window's
// diagram and the report's picture). Angles are radians in the meter's convention: 0 is the L1
// voltage, a current's Shift is its angle to its own phase's voltage.
struct PhasorSet {
    struct Phase {
        double Voltage = 0;
        double VoltageAngle = 0;
        double Current = 0;
        double Shift = 0;
    };

    // The current circle's radius as a share of the voltage circle's.
    static constexpr double kCurrentRadiusShare = 0.8;
    // L1, L2 and L3 as 0xRRGGBB.
    static constexpr std::array<std::uint32_t, 3> kPhaseColours = {0xFF0000, 0x008000, 0x0000FF};
    // The border around the circles, as a divisor of the picture's shorter side.
    static constexpr int kBorderDivisor = 12;

    std::array<Phase, 3> Phases;
    double Frequency = 0;
    double ActivePowerKw = 0;

    // An unavailable value is zero, as the diagram draws it.
    static PhasorSet From(const ModbusRegisters& registers);
    // The mathematical angle on the screen (counter-clockwise from the x axis, y up) of a
    // phasor at `angle`: 0 points up, angles grow clockwise.
    static double ScreenAngle(double angle, bool clockwise = true, bool zeroOnTop = true);
    // The largest finite magnitude: the full scale of a circle.
    static double FullScale(const std::array<double, 3>& magnitudes);
};

} // namespace kalvo
