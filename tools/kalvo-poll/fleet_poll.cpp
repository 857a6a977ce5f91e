#include "fleet_poll.h"

#include "log_time.h"
#include "open_file_limit.h"
#include "poll_report.h"
#include "registers/quantity.h"

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

std::string SerialOf(const ModbusRegisters& image) {
    const std::optional<double> serial = image.Value(Quantity::SerialNumber);
    return serial ? std::to_string(static_cast<std::uint32_t>(*serial)) : std::string();
}

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

} // namespace

// The stop signals are blocked before any thread starts, so that only Run's waiter takes them.
FleetPoll::FleetPoll(const PollOptions& options, std::ostream& log,
                     const std::string& decimalSeparator)
    : fOptions(options), fLog(log) {
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    tools::RaiseOpenFileLimit();
    // The clock checks convert the modules' local times with mktime, which looks at
    // /etc/localtime again at every call while TZ is unset: a thousand modules make that a
    // thousand times a second. Named once, the zone is read once (a change of the system's
    // zone is taken at the next start).
    setenv("TZ", ":/etc/localtime", 0);
    std::vector<TcpFleet::Target> targets;
    std::vector<ModuleSnapshot> snapshots;
    for (const PollTarget& target : options.Targets) {
        targets.push_back({target.Host, static_cast<std::uint16_t>(target.Port)});
        ModuleSnapshot snapshot;
        snapshot.Target = target.Host + ":" + std::to_string(target.Port);
        snapshot.Name = target.Name;
        snapshots.push_back(std::move(snapshot));
        fModules.push_back(std::make_unique<Module>(options.Tolerances));
    }
    fBoard = std::make_unique<MetricsBoard>(std::move(snapshots),
                                            [this](std::size_t m) { return ChecksOf(m); });
    fFleet = std::make_unique<TcpFleet>(
        std::move(targets),
        TcpFleet::Settings{std::chrono::milliseconds(options.IntervalMs),
                           std::chrono::milliseconds(options.TimeoutMs), 1},
        Events());
    StartRecordings(decimalSeparator);
#ifdef KALVO_METRICS_SERVER
    if (options.MetricsPort >= 0) {
        fServer =
            std::make_unique<MetricsServer>(options.MetricsAddress, options.MetricsPort, *fBoard);
        fLog << "kalvo-poll: metrics on http://" << options.MetricsAddress << ':' << fServer->Port()
             << "/metrics" << std::endl;
    }
#endif
}

TcpFleet::Events FleetPoll::Events() {
    return {[this](std::size_t m, RegisterBlock block, const ModbusRegisters& image) {
                BlockRead(m, block, image);
            },
            [this](std::size_t m, RegisterBlock, const std::string& reason) {
                fModules[m]->Assembler.BlockFailed();
                fLog << TimeStamp() << ' ' << TargetText(m) << ' ' << reason << '\n';
            },
            [this](std::size_t m, bool ok, double seconds) { CycleDone(m, ok, seconds); }};
}

std::string FleetPoll::TargetText(std::size_t module) const {
    const TcpFleet::Target& target = fFleet->TargetOf(module);
    return target.Host + ':' + std::to_string(target.Port);
}

// A file per module in the folder --record names: the module's name, or its address.
void FleetPoll::StartRecordings(const std::string& decimalSeparator) {
    if (fOptions.RecordPath.empty()) {
        return;
    }
    for (std::size_t m = 0; m < fModules.size(); ++m) {
        const PollTarget& target = fOptions.Targets[m];
        std::string name = target.Name.empty() ? TargetText(m) : target.Name;
        std::replace_if(
            name.begin(), name.end(), [](char c) { return c == '/' || c == ':'; }, '_');
        fModules[m]->Recorder.Start(
            (std::filesystem::path(fOptions.RecordPath) / (name + ".csv")).string(),
            fOptions.Split(), decimalSeparator, fOptions.Hold());
    }
}

void FleetPoll::RecordingStopped(std::size_t module, const std::string& failure) {
    fRecordingFailed = true;
    fLog << TimeStamp() << ' ' << TargetText(module) << " Recording stopped: " << failure << '\n';
}

void FleetPoll::BlockRead(std::size_t module, RegisterBlock block, const ModbusRegisters& image) {
    Module& state = *fModules[module];
    state.Image = image;
    if (const std::string failure =
            state.Recorder.Write(std::chrono::system_clock::now(), block, image);
        !failure.empty()) {
        RecordingStopped(module, failure);
    }
    if (const std::optional<MeterReading> reading =
            state.Assembler.BlockRead(block, NowSeconds(), state.Image)) {
        std::lock_guard lock(state.ChecksMutex);
        state.Checks.Add(*reading);
    }
}

std::vector<CheckResult> FleetPoll::ChecksOf(std::size_t module) const {
    Module& state = *fModules[module];
    std::lock_guard lock(state.ChecksMutex);
    return state.Checks.Results();
}

// A cycle that failed leaves the module down: its values go from the board with it.
void FleetPoll::CycleDone(std::size_t module, bool ok, double seconds) {
    Module& state = *fModules[module];
    const CommStatisticsRecord statistics = fFleet->Statistics(module);
    fBoard->Update(module, [&](ModuleSnapshot& snapshot) {
        snapshot.Up = ok;
        snapshot.ReadDurationSeconds = seconds;
        snapshot.Statistics = statistics;
        if (ok) {
            snapshot.LastGoodReadSeconds = NowSeconds();
            snapshot.Registers = state.Image;
            snapshot.SerialNumber = SerialOf(state.Image);
        }
    });
    // --run counts reads, as for one module: a cycle is two.
    state.Reads += 2;
    if (fOptions.CyclesGiven && state.Reads >= fOptions.Cycles && !state.Done) {
        state.Done = true;
        if (++fModulesDone == fModules.size()) {
            fFleet->Stop();
        }
    }
}

int FleetPoll::Run() {
    const sigset_t signals = StopSignals();
    std::thread waiter([this, signals] {
        int signal = 0;
        sigwait(&signals, &signal);
        fFleet->Stop();
    });
    fFleet->Run();
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
#ifdef KALVO_METRICS_SERVER
    fServer.reset();
#endif
    for (std::size_t m = 0; m < fModules.size(); ++m) {
        if (const std::string failure = fModules[m]->Recorder.Stop(); !failure.empty()) {
            RecordingStopped(m, failure);
        }
        fLog << TargetText(m) << ' ';
        PollReport::WriteStatistics(fLog, fFleet->Statistics(m));
    }
    return fRecordingFailed ? 1 : 0;
}

} // namespace kalvo::poll
