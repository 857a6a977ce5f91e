// kalvo-poll: the client's acquisition and decoding without a display.
#include "acquisition/modbus_rtu_thread.h"
#include "acquisition/modbus_tcp_thread.h"
#include "checks/check_report.h"
#include "checks/verdict_counts.h"
#include "console_host.h"
#include "fleet_poll.h"
#include "module_outputs.h"
#include "poll_options.h"
#include "poll_report.h"

#include <chrono>
#include <clocale>
#include <iostream>
#include <kalvo_version.h>

using namespace kalvo;
using namespace kalvo::poll;

namespace {

constexpr int kExitFailedRead = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCheckFailed = 3;

// The numbers in tables and CSV files use the user's decimal separator, as the client does.
std::string LocaleDecimalSeparator() {
    std::setlocale(LC_NUMERIC, "");
    std::string separator = std::localeconv()->decimal_point;
    std::setlocale(LC_NUMERIC, "C");
    return separator;
}

void Poll(const PollOptions& options, ConsoleHost& host, ManualMessageQueue& queue,
          CommStatistics& statistics) {
    if (!options.SerialDevice.empty()) {
        TModbusRTUThread thread(host, statistics, 1, queue,
                                {options.Address, options.SerialDevice, options.Baud,
                                 options.Cycles, options.IntervalMs, options.ResetStatistics});
        host.WaitDone();
        return;
    }
    TModbusTCPThread thread(host, statistics, 1,
                            {options.Host, options.Port, options.Cycles, options.IntervalMs,
                             options.ResetStatistics, options.TimeoutMs});
    host.WaitDone();
}

// The checks follow the tables in their format; alone, they print as a table.
void Report(const PollOptions& options, const ModuleSession& session,
            const CommStatisticsRecord& statistics) {
    const PollReport report(session.Image(), session.AnyBlockRead(), LocaleDecimalSeparator());
    const std::vector<CheckResult> checks = session.Checks();
    switch (options.Format) {
    case OutputFormat::Table:
        report.WriteTable(std::cout);
        std::cout << (options.Check ? "\n" + CheckReport::Table(checks) : std::string());
        break;
    case OutputFormat::Csv:
        report.WriteCsv(std::cout);
        std::cout << (options.Check ? "\r\n" + CheckReport::Csv(checks) : std::string());
        break;
    case OutputFormat::Json: {
        std::string json = options.Check ? CheckReport::Json(checks) : std::string();
        while (!json.empty() && json.back() == '\n') {
            json.pop_back();
        }
        report.WriteJson(std::cout, statistics, json);
        break;
    }
    case OutputFormat::None:
        std::cout << (options.Check ? CheckReport::Table(checks) : std::string());
        break;
    }
    if (!options.CsvDir.empty()) {
        for (const std::string& path : report.WriteCsvFiles(options.CsvDir)) {
            std::cerr << "Saved " << path << '\n';
        }
    }
    PollReport::WriteStatistics(std::cerr, statistics);
}

int PollOneModule(const PollOptions& options) {
    ModuleSession session({options.Targets.front().Where(), options.Targets.front().Name});
    // The serial engine delivers to this thread through the queue.
    ManualMessageQueue queue;
    // The run begins before its port or connection is tried: a run that reads nothing is
    // reported and judged as such.
    session.Begin(ModuleSession::Clock::now(),
                  ModuleOutputs::Plan(options, options.Targets.front()));
    ConsoleHost host(std::cerr, session, options.SerialDevice.empty() ? nullptr : &queue);
    host.HoldLog(options.Hold());
    if (!options.RecordPath.empty()) {
        session.StartRecording(options.RecordPath, options.Split(), LocaleDecimalSeparator(),
                               options.Hold());
    }
    const auto started = std::chrono::steady_clock::now();
    Poll(options, host, queue, session.Statistics());
    host.FinishRecording();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const CommStatisticsRecord counts = session.Statistics().Snapshot();
    Report(options, session, counts);
    if (!options.JUnitPath.empty()) {
        ModuleOutputs::WriteJUnit(session, options.JUnitPath, seconds);
        std::cerr << "Saved " << options.JUnitPath << '\n';
    }
    if (!options.ReportPath.empty()) {
        ModuleOutputs::WriteReport(session, options.ReportPath, LocaleDecimalSeparator());
        std::cerr << "Saved " << options.ReportPath << '\n';
    }
    const std::vector<CheckResult> results = session.Checks();
    if (options.Check) {
        std::cerr << VerdictCounts(results).Summary() << '\n';
    }
    if (VerdictCounts(results).AnyFailed()) {
        return kExitCheckFailed;
    }
    const bool allRead = counts.Requests > 0 && counts.Responses == counts.Requests;
    return allRead && !host.RecordingFailed() ? 0 : kExitFailedRead;
}

} // namespace

int main(int argc, char* argv[]) {
    PollOptions options;
    try {
        options = PollOptions::Parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        std::cerr << "kalvo-poll: " << error.what() << "\n\n" << PollOptions::Usage();
        return kExitUsage;
    }
    if (options.Version) {
        std::cout << "kalvo-poll " KALVO_VERSION "\n";
        return 0;
    }
    if (options.Help) {
        std::cout << PollOptions::Usage();
        return 0;
    }
    try {
        if (options.Fleet()) {
            FleetPoll fleet(options, std::cerr, LocaleDecimalSeparator());
            return fleet.Run();
        }
        return PollOneModule(options);
    } catch (const std::exception& error) {
        std::cerr << "kalvo-poll: " << error.what() << '\n';
        return kExitFailedRead;
    }
}
