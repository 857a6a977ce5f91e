#include "registers/phasor_set.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kalvo {

PhasorSet PhasorSet::From(const ModbusRegisters& registers) {
    constexpr double kRadiansPerDegree = std::numbers::pi / 180;
    auto value = [&registers](Quantity quantity) {
        return registers.Value(quantity).value_or(0.0);
    };
    auto angle = [&value](Quantity quantity) { return value(quantity) * kRadiansPerDegree; };
    PhasorSet set;
    set.Phases[0] = {value(Quantity::VoltageL1), 0, value(Quantity::CurrentL1),
                     angle(Quantity::CurrentAngleL1)};
    set.Phases[1] = {value(Quantity::VoltageL2), angle(Quantity::VoltageAngleL2),
                     value(Quantity::CurrentL2), angle(Quantity::CurrentAngleL2)};
    set.Phases[2] = {value(Quantity::VoltageL3), angle(Quantity::VoltageAngleL3),
                     value(Quantity::CurrentL3), angle(Quantity::CurrentAngleL3)};
    set.Frequency = value(Quantity::Frequency);
    set.ActivePowerKw = value(Quantity::ActivePowerTotal);
    return set;
}

double PhasorSet::ScreenAngle(double angle, bool clockwise, bool zeroOnTop) {
    const double t = clockwise ? -angle : angle;
    return zeroOnTop ? t + std::numbers::pi / 2 : t;
}

double PhasorSet::FullScale(const std::array<double, 3>& magnitudes) {
    double largest = 0;
    for (const double magnitude : magnitudes) {
        if (std::isfinite(magnitude)) {
            largest = std::max(largest, magnitude);
        }
    }
    return largest;
}

} // namespace kalvo
