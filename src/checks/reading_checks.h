#pragma once

#include "checks/check_result.h"
#include "checks/check_settings.h"
#include "checks/meter_reading.h"

#include <optional>

namespace kalvo {

// The checks of one reading: do the numbers of both blocks of one cycle agree with each other
// and with the computer's clock? Each takes the reading and the settings and gives its result.
class ReadingChecks {
public:
    ReadingChecks(const MeterReading& reading, const CheckSettings& settings)
        : fReading(reading), fImage(reading.Image), fSettings(settings) {}

    CheckResult Clock() const;
    CheckResult Frequency() const;
    CheckResult Voltages() const;
    CheckResult PhaseSequence() const;
    CheckResult CurrentDirection() const;
    CheckResult PowerTriangle() const;
    CheckResult Harmonics() const;
    CheckResult TotaliserEncodings() const;
    CheckResult ReactiveIdentities() const;
    CheckResult LoadProfiles() const;

    // The local date and time of six fields from `hour` on (hour, minute, second, year, month,
    // day) as seconds since the epoch; nothing when they are unavailable or no valid time.
    static std::optional<double> LocalTime(const ModbusRegisters& image, Quantity hour);
    // The size of one count of the totalisers' last digit (0.001 for three decimals).
    std::optional<double> TotaliserCount() const;

private:
    // The most any totaliser can have moved between the two block reads.
    double AdvanceBetweenBlocks() const;

    const MeterReading& fReading;
    const ModbusRegisters& fImage;
    const CheckSettings& fSettings;
};

} // namespace kalvo
