#pragma once

#include "acquisition/rtu_line.h"
#include "acquisition/tcp_fleet.h"
#include "metrics/metrics_board.h"
#include "metrics_server.h"
#include "poll_options.h"
#include "session/module_session.h"

#include <atomic>
#include <chrono>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <vector>

namespace kalvo::poll {

// Many modules at once: the fleet polls those on the network, a thread per serial line those
// on the lines; each module's session keeps its run, and the board carries their latest state
// to the metrics server. Runs until SIGINT or SIGTERM, or until every module has done the
// cycles --run asks for; then each module's report and JUnit file are written.
class FleetPoll {
public:
    // `decimalSeparator`: the recordings' and reports' (the user's locale's).
    FleetPoll(const PollOptions& options, std::ostream& log, std::string decimalSeparator);
    // The exit status: 3 when a --run judged and a check failed on any module, 1 when a
    // recording stopped, else 0 (stopped by a signal or done).
    int Run();

private:
    struct Module {
        explicit Module(ModuleIdentity identity) : Session(std::move(identity)) {}
        ModuleSession Session;
        std::uint32_t Reads = 0;
        bool Done = false;
    };

    void AddLines();
    // The events of a poller whose modules are `modules`, in its order.
    FleetEvents Events(std::vector<std::size_t> modules);
    void Log(std::size_t module, const std::string& text);
    void StopAll();
    void BlockRead(std::size_t module, RegisterBlock block,
                   std::span<const std::uint16_t> registers);
    void ReadFailed(std::size_t module, RegisterBlock block, const std::string& reason);
    // Whether the module is read again: not once it has done the reads --run asks for.
    bool CycleDone(std::size_t module, bool ok, double seconds);
    void StartRecordings();
    void RecordingStopped(std::size_t module, const std::string& failure);
    // Each module's statistics, report and JUnit file.
    void WriteOutputs(double seconds);

    const PollOptions& fOptions;
    std::ostream& fLog;
    const std::string fDecimalSeparator;
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
