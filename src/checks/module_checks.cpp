#include "checks/module_checks.h"

#include "checks/reading_checks.h"

namespace kalvo {

ModuleChecks::ModuleChecks(CheckSettings settings) : fSettings(settings), fRun(fSettings) {}

void ModuleChecks::Add(const MeterReading& reading) {
    fNewest = reading;
    fRun.Add(reading);
}

// Before the first reading every check waits; the titles come from an empty one.
std::vector<CheckResult> ModuleChecks::Results() const {
    const MeterReading none;
    const ReadingChecks reading(fNewest ? *fNewest : none, fSettings);
    std::vector<CheckResult> results = {
        reading.Clock(),         reading.Frequency(),          reading.Voltages(),
        reading.PhaseSequence(), reading.CurrentDirection(),   reading.PowerTriangle(),
        reading.Harmonics(),     reading.TotaliserEncodings(), reading.ReactiveIdentities(),
        reading.LoadProfiles()};
    if (!fNewest) {
        for (CheckResult& result : results) {
            result = CheckResult::Of(result.Check).Conclude(Verdict::Waiting, "needs a reading");
        }
    }
    for (CheckResult result : {fRun.TotalisersNeverDecrease(), fRun.EnergyFollowsPower(),
                               fRun.ClockRuns(), fRun.DataAlive()}) {
        results.push_back(std::move(result));
    }
    return results;
}

} // namespace kalvo
