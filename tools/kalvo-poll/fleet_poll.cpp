#include "fleet_poll.h"

#include "checks/verdict_counts.h"
#include "log_time.h"
#include "module_outputs.h"
#include "open_file_limit.h"
#include "poll_report.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <pthread.h>
#include <thread>

namespace kalvo::poll {

namespace {

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

ModuleSession::Clock::time_point Now() {
    return ModuleSession::Clock::now();
}

} // namespace

// The stop signals are blocked before any thread starts, so that only Run's waiter takes them.
FleetPoll::FleetPoll(const PollOptions& options, std::ostream& log, std::string decimalSeparator)
    : fOptions(options), fLog(log), fDecimalSeparator(std::move(decimalSeparator)) {
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    tools::RaiseOpenFileLimit();
    // The clock checks convert the modules' local times with mktime, which looks at
    // /etc/localtime again at every call while TZ is unset: a thousand modules make that a
    // thousand times a second. Named once, the zone is read once (a change of the system's
    // zone is taken at the next start).
    setenv("TZ", ":/etc/localtime", 0);
    std::vector<TcpFleet::Target> targets;
    std::vector<std::size_t> networked;
    std::vector<ModuleSnapshot> snapshots;
    // The fleet judges every module, for the metrics, whether --check was given or not.
    PollOptions judged = options;
    judged.Check = true;
    for (const PollTarget& target : options.Targets) {
        auto& module = fModules.emplace_back(
            std::make_unique<Module>(ModuleIdentity{target.Where(), target.Name}));
        module->Session.Begin(Now(), ModuleOutputs::Plan(judged, target));
        if (!target.Serial()) {
            networked.push_back(fModules.size() - 1);
            targets.push_back({target.Host, static_cast<std::uint16_t>(target.Port),
                               &module->Session.Statistics()});
        }
        ModuleSnapshot snapshot;
        snapshot.Target = target.Where();
        snapshot.Name = target.Name;
        snapshots.push_back(std::move(snapshot));
    }
    fBoard = std::make_unique<MetricsBoard>(
        std::move(snapshots), [this](std::size_t m) { return fModules[m]->Session.Checks(); });
    fFleet =
        std::make_unique<TcpFleet>(std::move(targets),
                                   TcpFleet::Settings{std::chrono::milliseconds(options.IntervalMs),
                                                      std::chrono::milliseconds(options.TimeoutMs)},
                                   Events(networked));
    AddLines();
    StartRecordings();
    if (options.MetricsPort >= 0) {
        fServer =
            std::make_unique<MetricsServer>(options.MetricsAddress, options.MetricsPort, *fBoard);
        fLog << "kalvo-poll: metrics on http://" << options.MetricsAddress << ':' << fServer->Port()
             << "/metrics" << std::endl;
    }
}
// A line per serial port, its modules in the order they were given.
void FleetPoll::AddLines() {
    std::vector<std::string> ports;
    std::vector<std::vector<std::size_t>> modules;
    for (std::size_t m = 0; m < fOptions.Targets.size(); ++m) {
        if (const PollTarget& target = fOptions.Targets[m]; target.Serial()) {
            const std::string line = target.Line();
            const auto port = static_cast<std::size_t>(std::find(ports.begin(), ports.end(), line) -
                                                       ports.begin());
            if (port == ports.size()) {
                ports.push_back(line);
                modules.emplace_back();
            }
            modules[port].push_back(m);
        }
    }
    for (const std::vector<std::size_t>& line : modules) {
        RtuLine::Settings settings{fOptions.Targets[line.front()].Device,
                                   fOptions.Targets[line.front()].Baud,
                                   {},
                                   std::chrono::milliseconds(fOptions.IntervalMs),
                                   {}};
        for (const std::size_t m : line) {
            settings.Addresses.push_back(static_cast<std::uint8_t>(fOptions.Targets[m].Address));
            settings.Statistics.push_back(&fModules[m]->Session.Statistics());
        }
        fLines.push_back(std::make_unique<RtuLine>(std::move(settings), Events(line)));
    }
}

FleetEvents FleetPoll::Events(std::vector<std::size_t> modules) {
    return {[this, modules](std::size_t m, RegisterBlock block,
                            std::span<const std::uint16_t> registers) {
                BlockRead(modules[m], block, registers);
            },
            [this, modules](std::size_t m, RegisterBlock block, const std::string& reason) {
                ReadFailed(modules[m], block, reason);
            },
            [this, modules](std::size_t m, bool ok, double seconds) {
                return CycleDone(modules[m], ok, seconds);
            }};
}

void FleetPoll::Log(std::size_t module, const std::string& text) {
    std::lock_guard lock(fLogMutex);
    fLog << TimeStamp() << ' ' << fOptions.Targets[module].Where() << ' ' << text << '\n';
}

void FleetPoll::StopAll() {
    fFleet->Stop();
    for (const auto& line : fLines) {
        line->Stop();
    }
}

// A file per module in the folder --record names: the module's name, or its address.
void FleetPoll::StartRecordings() {
    if (fOptions.RecordPath.empty()) {
        return;
    }
    for (std::size_t m = 0; m < fModules.size(); ++m) {
        fModules[m]->Session.StartRecording(
            (std::filesystem::path(fOptions.RecordPath) / (fOptions.Targets[m].FileName() + ".csv"))
                .string(),
            fOptions.Split(), fDecimalSeparator, fOptions.Hold());
    }
}

void FleetPoll::RecordingStopped(std::size_t module, const std::string& failure) {
    fRecordingFailed = true;
    Log(module, "Recording stopped: " + failure);
}

void FleetPoll::BlockRead(std::size_t module, RegisterBlock block,
                          std::span<const std::uint16_t> registers) {
    const ModuleSession::Outcome outcome =
        fModules[module]->Session.BlockRead(block, registers, Now());
    if (!outcome.RecordingStopped.empty()) {
        RecordingStopped(module, outcome.RecordingStopped);
    }
}

void FleetPoll::ReadFailed(std::size_t module, RegisterBlock block, const std::string& reason) {
    ModuleSession& session = fModules[module]->Session;
    session.LogLine(reason);
    session.ReadFailed(block, Now());
    Log(module, reason);
}

// A cycle that failed leaves the module down: its values go from the board with it.
bool FleetPoll::CycleDone(std::size_t module, bool ok, double seconds) {
    Module& state = *fModules[module];
    const CommStatisticsRecord statistics = state.Session.Statistics().Snapshot();
    const std::string serial = ok ? state.Session.SerialNumber() : std::string();
    fBoard->Update(module, [&](ModuleSnapshot& snapshot) {
        snapshot.Up = ok;
        snapshot.ReadDurationSeconds = seconds;
        snapshot.Statistics = statistics;
        if (ok) {
            snapshot.LastGoodReadSeconds = NowSeconds();
            snapshot.Registers = state.Session.Image();
            snapshot.SerialNumber = serial;
        }
    });
    // --run counts reads, as for one module: a cycle is two.
    state.Reads += 2;
    if (fOptions.CyclesGiven && state.Reads >= fOptions.Cycles && !state.Done) {
        state.Done = true;
        if (++fModulesDone == fModules.size()) {
            StopAll();
        }
    }
    return !state.Done;
}

int FleetPoll::Run() {
    const sigset_t signals = StopSignals();
    std::thread waiter([this, signals] {
        int signal = 0;
        sigwait(&signals, &signal);
        StopAll();
    });
    const auto started = std::chrono::steady_clock::now();
    for (const auto& line : fLines) {
        line->Start();
    }
    fFleet->Run();
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    for (const auto& line : fLines) {
        line->Stop();
        line->Join();
    }
    fServer.reset();
    WriteOutputs(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    const bool failedCheck = fOptions.CyclesGiven && fOptions.Check &&
                             std::any_of(fModules.begin(), fModules.end(), [](const auto& module) {
                                 return VerdictCounts(module->Session.Checks()).AnyFailed();
                             });
    return failedCheck ? 3 : fRecordingFailed ? 1 : 0;
}

// Named as the recordings are: the module's name, or its address.
void FleetPoll::WriteOutputs(double seconds) {
    for (std::size_t m = 0; m < fModules.size(); ++m) {
        ModuleSession& session = fModules[m]->Session;
        session.End(Now());
        if (const std::string failure = session.StopRecording(); !failure.empty()) {
            RecordingStopped(m, failure);
        }
        const std::string name = fOptions.Targets[m].FileName();
        if (!fOptions.ReportPath.empty()) {
            const std::string path =
                (std::filesystem::path(fOptions.ReportPath) / (name + ".html")).string();
            ModuleOutputs::WriteReport(session, path, fDecimalSeparator);
            fLog << "Saved " << path << '\n';
        }
        if (!fOptions.JUnitPath.empty()) {
            const std::string path =
                (std::filesystem::path(fOptions.JUnitPath) / (name + ".xml")).string();
            ModuleOutputs::WriteJUnit(session, path, seconds);
            fLog << "Saved " << path << '\n';
        }
        fLog << fOptions.Targets[m].Where() << ' ';
        PollReport::WriteStatistics(fLog, session.Statistics().Snapshot());
    }
}

} // namespace kalvo::poll
