#pragma once

#include "checks/check_result.h"
#include "registers/comm_statistics_record.h"
#include "registers/modbus_registers.h"
#include "trend/trend_series.h"

#include <string>
#include <utility>
#include <vector>

namespace kalvo {

// Everything a commissioning report shows of one run, gathered by the window or kalvo-poll.
struct ReportData {
    struct Trend {
        std::string Name; // "32.7.0 L1 voltage"
        std::string Unit;
        TrendSeries Series; // a NaN value marks a read that failed
    };
    struct Event {
        double Time = 0; // seconds since the epoch
        std::string Text;
    };

    std::string ModuleClock;   // the module's clock at the first read
    std::string ComputerClock; // the computer's clock at the first read
    std::string Connection;    // "Modbus/TCP 192.168.1.20:502"
    std::string Version;
    std::string Host;
    std::string User;
    double Started = 0;
    double Ended = 0;
    // Name and value of each setting in force, in the order shown.
    std::vector<std::pair<std::string, std::string>> Settings;
    std::vector<CheckResult> Checks;
    std::vector<Trend> Trends;
    CommStatisticsRecord Statistics;
    std::vector<Event> Failures;
    // The newest image, and whether any block of it was read.
    ModbusRegisters Image;
    bool AnyBlockRead = false;
    std::string DecimalSeparator = ".";
};

} // namespace kalvo
