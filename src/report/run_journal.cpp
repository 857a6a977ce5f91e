#include "report/run_journal.h"

#include "checks/check_text.h"
#include "checks/reading_checks.h"
#include "registers/quantity_info.h"
#include "registers/register_map.h"

#include <algorithm>
#include <limits>

namespace kalvo {

void RunJournal::Start(double now, const std::vector<Quantity>& quantities) {
    *this = RunJournal();
    fStarted = now;
    fEnded = now;
    // In map order, however they were picked.
    fQuantities = quantities;
    std::sort(fQuantities.begin(), fQuantities.end());
    fSeries.resize(fQuantities.size());
}

void RunJournal::LogLine(const std::string& text) {
    fLastLogLine = text;
}

void RunJournal::BlockRead(RegisterBlock block, double time, const ModbusRegisters& image) {
    fAnyBlockRead = true;
    if (!fClockRead && RegisterOf(Quantity::ClockHour).Block == block) {
        fClockRead = true;
        const std::optional<double> clock = ReadingChecks::LocalTime(image, Quantity::ClockHour);
        fModuleClock = clock ? CheckText::LocalTime(*clock) : "no valid date and time";
        fComputerClock = CheckText::LocalTime(time);
    }
    for (std::size_t i = 0; i < fQuantities.size(); ++i) {
        if (RegisterOf(fQuantities[i]).Block == block) {
            fSeries[i].Append(time, image.ScaledValue(fQuantities[i])
                                        .value_or(std::numeric_limits<double>::quiet_NaN()));
        }
    }
    fEnded = time;
}

void RunJournal::ReadFailed(RegisterBlock block, double time) {
    for (std::size_t i = 0; i < fQuantities.size(); ++i) {
        if (RegisterOf(fQuantities[i]).Block == block) {
            fSeries[i].Append(time, std::numeric_limits<double>::quiet_NaN());
        }
    }
    if (fFailures.size() < kMostFailures) {
        fFailures.push_back(
            {time, std::string("Block ") + SpanOf(block).Letter + ": " + fLastLogLine});
    } else {
        ++fFailuresLeftOut;
    }
    fEnded = time;
}

void RunJournal::End(double now) {
    fEnded = now;
}

void RunJournal::Fill(ReportData& data) const {
    data.Started = fStarted;
    data.Ended = fEnded;
    data.ModuleClock = fClockRead ? fModuleClock : "not read";
    data.ComputerClock = fClockRead ? fComputerClock : "not read";
    data.AnyBlockRead = fAnyBlockRead;
    data.Failures = fFailures;
    if (fFailuresLeftOut > 0) {
        data.Failures.push_back(
            {fEnded, std::to_string(fFailuresLeftOut) + " later failures are not listed"});
    }
    data.Trends.clear();
    for (std::size_t i = 0; i < fQuantities.size(); ++i) {
        const RegisterDef& def = RegisterOf(fQuantities[i]);
        const QuantityInfo& info = InfoOf(fQuantities[i]);
        data.Trends.push_back({std::string(def.OBIS) + " " + std::string(info.Name),
                               std::string(info.Unit), fSeries[i]});
    }
}

} // namespace kalvo
