// kalvo-poll: the client's acquisition and decoding without a display.
#include "acquisition/modbus_rtu_thread.h"
#include "acquisition/modbus_tcp_thread.h"
#include "console_host.h"
#include "poll_options.h"
#include "poll_report.h"

#include <clocale>
#include <iostream>
#include <kalvo_version.h>

using namespace kalvo;
using namespace kalvo::poll;

namespace {

constexpr int kExitFailedRead = 1;
constexpr int kExitUsage = 2;

// The numbers in tables and CSV files use the user's decimal separator, as the client does.
std::string LocaleDecimalSeparator() {
    std::setlocale(LC_NUMERIC, "");
    std::string separator = std::localeconv()->decimal_point;
    std::setlocale(LC_NUMERIC, "C");
    return separator;
}

CommStatisticsRecord Poll(const PollOptions& options, ConsoleHost& host, ManualMessageQueue& queue,
                          CommStatistics& statistics) {
    if (!options.SerialDevice.empty()) {
        TModbusRTUThread thread(host, statistics, 1, queue,
                                {options.Address, options.SerialDevice, options.Baud,
                                 options.Cycles, options.IntervalMs, options.ResetStatistics});
        host.WaitDone();
        return statistics.Snapshot();
    }
    TModbusTCPThread thread(host, statistics, 1,
                            {options.Host, options.Port, options.Cycles, options.IntervalMs,
                             options.ResetStatistics, options.TimeoutMs});
    host.WaitDone();
    return statistics.Snapshot();
}

void Report(const PollOptions& options, const ConsoleHost& host,
            const CommStatisticsRecord& statistics) {
    const PollReport report(host.Registers(), host.AnyBlockRead(), LocaleDecimalSeparator());
    switch (options.Format) {
    case OutputFormat::Table:
        report.WriteTable(std::cout);
        break;
    case OutputFormat::Csv:
        report.WriteCsv(std::cout);
        break;
    case OutputFormat::Json:
        report.WriteJson(std::cout, statistics);
        break;
    case OutputFormat::None:
        break;
    }
    if (!options.CsvDir.empty()) {
        for (const std::string& path : report.WriteCsvFiles(options.CsvDir)) {
            std::cerr << "Saved " << path << '\n';
        }
    }
    PollReport::WriteStatistics(std::cerr, statistics);
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
        // The serial engine delivers to this thread through the queue.
        ManualMessageQueue queue;
        ConsoleHost host(std::cerr, options.SerialDevice.empty() ? nullptr : &queue);
        if (!options.RecordPath.empty()) {
            const RecordFile::Split split = options.RecordSplit == "hour" ? RecordFile::Split::Hour
                                            : options.RecordSplit == "day"
                                                ? RecordFile::Split::Day
                                                : RecordFile::Split::None;
            host.Record(options.RecordPath, split, LocaleDecimalSeparator());
        }
        CommStatistics statistics;
        const CommStatisticsRecord counts = Poll(options, host, queue, statistics);
        Report(options, host, counts);
        const bool allRead = counts.Requests > 0 && counts.Responses == counts.Requests;
        return allRead && !host.RecordingFailed() ? 0 : kExitFailedRead;
    } catch (const std::exception& error) {
        std::cerr << "kalvo-poll: " << error.what() << '\n';
        return kExitFailedRead;
    }
}
