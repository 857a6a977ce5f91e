#pragma once

#include "acquisition/rtu_line.h"
#include "acquisition/tcp_fleet.h"
#include "checks/module_checks.h"
#include "checks/reading_assembler.h"
#include "metrics/metrics_board.h"
#include "metrics_server.h"
#include "poll_options.h"
#include "registers/run_recorder.h"

#include <atomic>
#include <functional>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <vector>

namespace kalvo::poll {

// Many modules at once: the fleet polls those on the network, a thread per serial line those
// on the lines; each module keeps its checks, and the board carries their latest state to
// the metrics server. Runs until SIGINT or SIGTERM, or until every module has done the
// cycles --run asks for.
class FleetPoll {
public:
    // `decimalSeparator`: the recordings' (the user's locale's).
    FleetPoll(const PollOptions& options, std::ostream& log, const std::string& decimalSeparator);
    // The exit status: 0 when stopped by a signal or after the cycles asked for, 1 when a
    // recording stopped.
    int Run();

private:
    struct Module {
        explicit Module(const CheckSettings& settings) : Checks(settings) {}
        // The checks are fed here and worded on the metrics server's threads.
        std::mutex ChecksMutex;
        ModuleChecks Checks;
        ReadingAssembler Assembler;
        ModbusRegisters Image;
        RunRecorder Recorder;
        std::uint32_t Reads = 0;
        bool Done = false;
        std::function<CommStatisticsRecord()> Statistics;
    };

    void AddLines();
    // The events of a poller whose modules are `modules`, in its order.
    FleetEvents Events(std::vector<std::size_t> modules);
    void Log(std::size_t module, const std::string& text);
    void StopAll();
    void BlockRead(std::size_t module, RegisterBlock block, const ModbusRegisters& image);
    // Whether the module is read again: not once it has done the reads --run asks for.
    bool CycleDone(std::size_t module, bool ok, double seconds);
    std::vector<CheckResult> ChecksOf(std::size_t module) const;
    void StartRecordings(const std::string& decimalSeparator);
    void RecordingStopped(std::size_t module, const std::string& failure);

    const PollOptions& fOptions;
    std::ostream& fLog;
    std::vector<std::unique_ptr<Module>> fModules;
    std::unique_ptr<MetricsBoard> fBoard;
    std::unique_ptr<TcpFleet> fFleet;
    std::vector<std::unique_ptr<RtuLine>> fLines;
    // The pollers' threads write here and count here.
    std::mutex fLogMutex;
    std::unique_ptr<MetricsServer> fServer;
    std::atomic<std::size_t> fModulesDone = 0;
    std::atomic<bool> fRecordingFailed = false;
};

} // namespace kalvo::poll
