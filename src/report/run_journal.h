#pragma once

#include "registers/modbus_registers.h"
#include "registers/quantity.h"
#include "registers/register_block.h"
#include "report/report_data.h"

#include <string>
#include <vector>

namespace kalvo {

// What a run leaves for its report beyond the register image: when it ran, the clocks at
// its first read, the history of the followed quantities, and the failed reads with their
// reasons. Fed from the host's thread; times are seconds since the epoch.
class RunJournal {
public:
    // Failures kept in full; later ones are counted.
    static constexpr std::size_t kMostFailures = 200;

    // A new run following `quantities`: forgets the previous one.
    void Start(double now, const std::vector<Quantity>& quantities);
    void LogLine(const std::string& text);
    // `image` holds `block`, just read.
    void BlockRead(RegisterBlock block, double time, const ModbusRegisters& image);
    // A read of `block` failed; the newest log line says why.
    void ReadFailed(RegisterBlock block, double time);
    void End(double now);
    // Fills the run's part of `data`: times, clocks, whether anything was read, trends and
    // failures.
    void Fill(ReportData& data) const;

private:
    double fStarted = 0;
    double fEnded = 0;
    bool fAnyBlockRead = false;
    bool fClockRead = false;
    std::string fModuleClock;
    std::string fComputerClock;
    std::vector<Quantity> fQuantities;
    std::vector<TrendSeries> fSeries;
    std::string fLastLogLine;
    std::vector<ReportData::Event> fFailures;
    std::size_t fFailuresLeftOut = 0;
};

} // namespace kalvo
