#pragma once

#include "checks/check_result.h"
#include "checks/check_settings.h"
#include "checks/meter_reading.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace kalvo {

// The checks over a Run: what only the succession of readings shows. Each waits until enough
// time has passed for its numbers to mean something.
class RunChecks {
public:
    explicit RunChecks(const CheckSettings& settings) : fSettings(settings) {}

    void Add(const MeterReading& reading);
    CheckResult TotalisersNeverDecrease() const;
    CheckResult EnergyFollowsPower() const;
    CheckResult ClockRuns() const;
    CheckResult DataAlive() const;

private:
    static constexpr std::size_t kTotalisers = 10;

    void FollowTotalisers(const ModbusRegisters& image);
    void FollowEnergy(const MeterReading& reading);
    void FollowClock(const MeterReading& reading);
    void FollowChanges(const MeterReading& reading);

    const CheckSettings& fSettings;
    std::size_t fReadings = 0;
    // The doubles, then their 32-bit copies.
    std::array<std::optional<double>, 2 * kTotalisers> fLastTotals;
    std::string fDecreased;
    std::string fRolledOver;
    std::optional<double> fFirstImport;
    double fLastImport = 0;
    double fImportCount = 0.001;
    double fIntegratedKwh = 0;
    std::optional<std::pair<double, double>> fLastPower;  // time, kW
    std::optional<std::pair<double, double>> fFirstClock; // computer, module
    std::optional<std::pair<double, double>> fLastClock;
    std::vector<double> fLastValues;
    std::optional<double> fLastModuleClock;
    double fFirstTime = 0;
    double fLastTime = 0;
    double fValuesChangedAt = 0;
    double fClockChangedAt = 0;
    bool fValuesChanged = false;
    bool fClockChanged = false;
};

} // namespace kalvo
