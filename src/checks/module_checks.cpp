#include "checks/module_checks.h"

#include "checks/reading_checks.h"

#include <algorithm>

namespace kalvo {

ModuleChecks::ModuleChecks(CheckSettings settings) : fSettings(settings), fRun(fSettings) {}

void ModuleChecks::Add(const MeterReading& reading) {
    fNewest = reading;
    fRun.Add(reading);
}

std::vector<CheckResult> ModuleChecks::Results() const {
    std::vector<CheckResult> results;
    if (fNewest) {
        const ReadingChecks reading(*fNewest, fSettings);
        results = {
            reading.Clock(),         reading.Frequency(),          reading.Voltages(),
            reading.PhaseSequence(), reading.CurrentDirection(),   reading.PowerTriangle(),
            reading.Harmonics(),     reading.TotaliserEncodings(), reading.ReactiveIdentities(),
            reading.LoadProfiles()};
    } else {
        // Before the first reading every check waits; the titles come from an empty one.
        const MeterReading none;
        const ReadingChecks reading(none, fSettings);
        results = {
            reading.Clock(),         reading.Frequency(),          reading.Voltages(),
            reading.PhaseSequence(), reading.CurrentDirection(),   reading.PowerTriangle(),
            reading.Harmonics(),     reading.TotaliserEncodings(), reading.ReactiveIdentities(),
            reading.LoadProfiles()};
        for (CheckResult& result : results) {
            result = {result.Id, result.Title,      Verdict::Waiting, "", "", "",
                      "",        "needs a reading", result.Meaning};
        }
    }
    for (CheckResult result : {fRun.TotalisersNeverDecrease(), fRun.EnergyFollowsPower(),
                               fRun.ClockRuns(), fRun.DataAlive()}) {
        results.push_back(std::move(result));
    }
    return results;
}

std::string ModuleChecks::Summary(const std::vector<CheckResult>& results) {
    std::string text = std::to_string(results.size()) + " checks";
    const char* separator = ": ";
    for (const Verdict verdict : {Verdict::Passed, Verdict::Warning, Verdict::Failed,
                                  Verdict::Waiting, Verdict::NotApplicable}) {
        const auto count =
            std::count_if(results.begin(), results.end(),
                          [verdict](const CheckResult& r) { return r.Outcome == verdict; });
        if (count == 0) {
            continue;
        }
        std::string word(VerdictText(verdict));
        if (verdict == Verdict::Warning && count > 1) {
            word = "warnings";
        }
        text += separator + std::to_string(count) + " " + word;
        separator = ", ";
    }
    return text;
}

bool ModuleChecks::AnyFailed(const std::vector<CheckResult>& results) {
    return std::any_of(results.begin(), results.end(),
                       [](const CheckResult& r) { return r.Outcome == Verdict::Failed; });
}

} // namespace kalvo
