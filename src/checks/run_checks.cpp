#include "checks/run_checks.h"

#include "checks/check_text.h"
#include "checks/reading_checks.h"
#include "registers/register_map.h"

#include <cmath>

namespace kalvo {

namespace {

using Q = Quantity;
constexpr double kSecondsPerDay = 86400;
// Whole seconds of the module's clock at both ends, and the computer's reply times.
constexpr double kClockUncertaintyS = 2;
// A 32-bit copy that falls from the upper half of its range to the lower one rolled over.
constexpr double kHalfRange = 2147483648.0;
// Readings of the totaliser, a count each, and of the power between samples: the rest of the
// allowance beside the percentage.
constexpr double kEnergyCounts = 2;

// The instantaneous values a live module never holds still for a minute.
constexpr Quantity kLiveValues[] = {Q::Frequency, Q::ActivePowerTotal, Q::VoltageL1, Q::VoltageL2,
                                    Q::VoltageL3, Q::CurrentL1,        Q::CurrentL2, Q::CurrentL3};

} // namespace

void RunChecks::Add(const MeterReading& reading) {
    ++fReadings;
    FollowTotalisers(reading.Image);
    FollowEnergy(reading);
    FollowClock(reading);
    FollowChanges(reading);
}

void RunChecks::FollowTotalisers(const ModbusRegisters& image) {
    for (std::size_t k = 0; k < 2 * kTotalisers; ++k) {
        const bool copy = k >= kTotalisers;
        const Quantity quantity =
            copy ? QuantityAfter(Q::ActiveEnergyImportInt32, static_cast<int>(k - kTotalisers))
                 : QuantityAfter(Q::ActiveEnergyImport, static_cast<int>(k));
        const std::optional<double> value = image.Value(quantity);
        std::optional<double>& last = fLastTotals[k];
        if (value && last && *value < *last) {
            const std::string name(RegisterOf(quantity).OBIS);
            const bool wrapped = copy && *last >= kHalfRange && *value < kHalfRange;
            std::string& list = wrapped ? fRolledOver : fDecreased;
            if (list.find(name) == std::string::npos) {
                list += (list.empty() ? "" : ", ") + name + (copy ? " (32-bit)" : "") + " from " +
                        CheckText::Fixed(*last, 3) + " to " + CheckText::Fixed(*value, 3);
            }
        }
        last = value ? value : last;
    }
}

void RunChecks::FollowEnergy(const MeterReading& reading) {
    const std::optional<double> import = reading.Image.Value(Q::ActiveEnergyImport);
    const std::optional<double> power = reading.Image.Value(Q::ActivePowerTotal);
    if (!import || !power) {
        return;
    }
    if (const auto decimals = reading.Image.Value(Q::TotaliserDecimals);
        decimals && *decimals <= ModbusRegisters::kMaximumDecimals) {
        fImportCount = std::pow(10.0, -*decimals);
    }
    const double kw = std::max(*power, 0.0);
    if (!fFirstImport) {
        fFirstImport = *import;
    } else if (fLastPower) {
        fIntegratedKwh +=
            (fLastPower->second + kw) / 2 * (reading.TimeA - fLastPower->first) / 3600;
    }
    fLastImport = *import;
    fLastPower = {reading.TimeA, kw};
}

void RunChecks::FollowClock(const MeterReading& reading) {
    const std::optional<double> module = ReadingChecks::LocalTime(reading.Image, Q::ClockHour);
    if (!module) {
        return;
    }
    if (!fFirstClock) {
        fFirstClock = {reading.TimeA, *module};
    }
    fLastClock = {reading.TimeA, *module};
}

void RunChecks::FollowChanges(const MeterReading& reading) {
    std::vector<double> values;
    for (const Quantity quantity : kLiveValues) {
        values.push_back(reading.Image.Value(quantity).value_or(std::nan("")));
    }
    const std::optional<double> clock = ReadingChecks::LocalTime(reading.Image, Q::ClockHour);
    const double now = reading.TimeA;
    if (fReadings == 1) {
        fFirstTime = fValuesChangedAt = fClockChangedAt = now;
    } else {
        // NaN never equals itself: compare the bits a reading gave.
        const bool same =
            std::equal(values.begin(), values.end(), fLastValues.begin(), [](double a, double b) {
                return a == b || (std::isnan(a) && std::isnan(b));
            });
        if (!same) {
            fValuesChangedAt = now;
            fValuesChanged = true;
        }
        if (clock != fLastModuleClock) {
            fClockChangedAt = now;
            fClockChanged = true;
        }
    }
    fLastValues = std::move(values);
    fLastModuleClock = clock;
    fLastTime = now;
}

CheckResult RunChecks::TotalisersNeverDecrease() const {
    CheckResult r = CheckResult::Of(CheckId::TotalisersNeverDecrease);
    r.Expected = "each reading at least the one before";
    r.Measured = std::to_string(fReadings) + " readings";
    if (!fDecreased.empty()) {
        r.Deviation = fDecreased;
        return r.Conclude(Verdict::Failed, "a totaliser decreased");
    }
    if (fReadings < 2) {
        return r.Conclude(Verdict::Waiting, "needs two readings");
    }
    return r.Conclude(Verdict::Passed,
                      fRolledOver.empty() ? std::string() : "rolled over: " + fRolledOver);
}

CheckResult RunChecks::EnergyFollowsPower() const {
    CheckResult r = CheckResult::Of(CheckId::EnergyFollowsPower);
    if (!fFirstImport) {
        return r.Conclude(Verdict::NotApplicable, "1.8.0 or 15.7.0 unavailable");
    }
    const double measured = fLastImport - *fFirstImport;
    const double tolerance =
        fSettings.EnergyTolerancePercent / 100 * fIntegratedKwh + kEnergyCounts * fImportCount;
    r.Measured = "1.8.0 +" + CheckText::Fixed(measured, 4) + " kWh";
    r.Expected = "+" + CheckText::Fixed(fIntegratedKwh, 4) + " kWh (∫P dt over " +
                 CheckText::Fixed(fLastTime - fFirstTime, 0) + " s)";
    r.Deviation = CheckText::Signed(measured - fIntegratedKwh, 4) + " kWh";
    r.Tolerance = "±" + CheckText::Fixed(tolerance, 4) + " kWh (" +
                  CheckText::Fixed(fSettings.EnergyTolerancePercent, 1) + " % + 2 counts)";
    if (fIntegratedKwh < fSettings.EnergyMinimumCounts * fImportCount &&
        measured < fSettings.EnergyMinimumCounts * fImportCount) {
        return r.Conclude(Verdict::Waiting, "waits for " +
                                                std::to_string(fSettings.EnergyMinimumCounts) +
                                                " counts of its last digit");
    }
    return std::fabs(measured - fIntegratedKwh) <= tolerance
               ? r.Conclude(Verdict::Passed, "")
               : r.Conclude(Verdict::Failed, "the totaliser does not follow the power");
}

CheckResult RunChecks::ClockRuns() const {
    CheckResult r = CheckResult::Of(CheckId::ClockRuns);
    r.Tolerance = "±" + CheckText::Fixed(fSettings.ClockDriftToleranceSPerDay, 1) + " s/day";
    r.Expected = "0 s/day";
    if (!fFirstClock) {
        return r.Conclude(Verdict::NotApplicable, "clock unavailable");
    }
    const double elapsed = fLastClock->first - fFirstClock->first;
    if (elapsed < 1) {
        return r.Conclude(Verdict::Waiting, "needs a longer run");
    }
    const double drift = (fLastClock->second - fFirstClock->second) - elapsed;
    const double rate = drift / elapsed * kSecondsPerDay;
    const double uncertainty = kClockUncertaintyS / elapsed * kSecondsPerDay;
    r.Measured = CheckText::Signed(rate, 1) + " s/day (±" + CheckText::Fixed(uncertainty, 0) +
                 " s/day over " + CheckText::Fixed(elapsed, 0) + " s)";
    r.Deviation = CheckText::Signed(drift, 0) + " s";
    if (std::fabs(rate) - uncertainty > fSettings.ClockDriftToleranceSPerDay) {
        return r.Conclude(Verdict::Warning, "the clock drifts");
    }
    return std::fabs(rate) + uncertainty <= fSettings.ClockDriftToleranceSPerDay
               ? r.Conclude(Verdict::Passed, "")
               : r.Conclude(Verdict::Waiting, "a longer run can tell the drift closer");
}

CheckResult RunChecks::DataAlive() const {
    CheckResult r = CheckResult::Of(CheckId::DataAlive);
    r.Expected =
        "values and clock change within " + CheckText::Fixed(fSettings.FrozenAfterS, 0) + " s";
    if (fReadings == 0) {
        return r.Conclude(Verdict::Waiting, "needs readings");
    }
    const double still = fLastTime - std::min(fValuesChangedAt, fClockChangedAt);
    r.Measured = "unchanged for " + CheckText::Fixed(still, 0) + " s";
    if (fLastTime - fValuesChangedAt >= fSettings.FrozenAfterS ||
        fLastTime - fClockChangedAt >= fSettings.FrozenAfterS) {
        return r.Conclude(Verdict::Failed, "data frozen");
    }
    return fValuesChanged && fClockChanged ? r.Conclude(Verdict::Passed, "")
                                           : r.Conclude(Verdict::Waiting, "watching");
}

} // namespace kalvo
