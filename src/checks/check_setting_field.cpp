#include "checks/check_setting_field.h"

#include <array>

namespace kalvo {

namespace {

using S = CheckSettings;

constexpr std::array<CheckSettingField, 13> kFields = {{
    {"nominal-voltage", "Nominal voltage", "V", 1, &S::NominalVoltage},
    {"nominal-frequency", "Nominal frequency", "Hz", 2, &S::NominalFrequency},
    {"clock", "Module clock against the computer's", "s", 0, &S::ClockToleranceS},
    {"frequency", "Frequency off nominal (warning)", "%", 1, &S::FrequencyWarnPercent},
    {"voltage", "Voltage off nominal (warning)", "%", 1, &S::VoltageWarnPercent},
    {"angle", "Voltage angles", "°", 1, &S::AngleToleranceDeg},
    {"loaded-current", "Current from which a phase is judged", "A", 2, &S::LoadedCurrentA},
    {"power", "Power totals, share of S", "%", 1, &S::PowerTolerancePercent},
    {"power-floor", "Power totals, floor", "kW", 3, &S::PowerFloorKw},
    {"power-factor", "Mean power factor", "", 3, &S::PowerFactorTolerance},
    {"energy", "Energy against power", "%", 1, &S::EnergyTolerancePercent},
    {"drift", "Clock drift", "s/day", 1, &S::ClockDriftToleranceSPerDay},
    {"frozen", "Unchanged data fails after", "s", 0, &S::FrozenAfterS},
}};

} // namespace

std::span<const CheckSettingField> CheckSettingField::All() {
    return kFields;
}

const CheckSettingField* CheckSettingField::Find(std::string_view key) {
    for (const CheckSettingField& field : kFields) {
        if (key == field.Key) {
            return &field;
        }
    }
    return nullptr;
}

} // namespace kalvo
