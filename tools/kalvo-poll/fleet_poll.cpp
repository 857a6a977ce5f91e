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
    std::vector<std::size_t> networked;
    std::vector<ModuleSnapshot> snapshots;
    for (const PollTarget& target : options.Targets) {
        if (!target.Serial()) {
            networked.push_back(fModules.size());
            targets.push_back({target.Host, static_cast<std::uint16_t>(target.Port)});
        }
        ModuleSnapshot snapshot;
        snapshot.Target = target.Where();
        snapshot.Name = target.Name;
        snapshots.push_back(std::move(snapshot));
        fModules.push_back(std::make_unique<Module>(options.Tolerances));
    }
    fBoard = std::make_unique<MetricsBoard>(std::move(snapshots),
                                            [this](std::size_t m) { return ChecksOf(m); });
    fFleet =
        std::make_unique<TcpFleet>(std::move(targets),
                                   TcpFleet::Settings{std::chrono::milliseconds(options.IntervalMs),
                                                      std::chrono::milliseconds(options.TimeoutMs)},
                                   Events(networked));
    for (std::size_t i = 0; i < networked.size(); ++i) {
        fModules[networked[i]]->Statistics = [this, i] { return fFleet->Statistics(i); };
    }
    AddLines();
    StartRecordings(decimalSeparator);
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
                                   std::chrono::milliseconds(fOptions.IntervalMs)};
        for (const std::size_t m : line) {
            settings.Addresses.push_back(static_cast<std::uint8_t>(fOptions.Targets[m].Address));
        }
        fLines.push_back(std::make_unique<RtuLine>(std::move(settings), Events(line)));
        for (std::size_t i = 0; i < line.size(); ++i) {
            fModules[line[i]]->Statistics = [lineOf = fLines.back().get(), i] {
                return lineOf->Statistics(i);
            };
        }
    }
}

FleetEvents FleetPoll::Events(std::vector<std::size_t> modules) {
    return {[this, modules](std::size_t m, RegisterBlock block, const ModbusRegisters& image) {
                BlockRead(modules[m], block, image);
            },
            [this, modules](std::size_t m, RegisterBlock, const std::string& reason) {
                fModules[modules[m]]->Assembler.BlockFailed();
                Log(modules[m], reason);
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
void FleetPoll::StartRecordings(const std::string& decimalSeparator) {
    if (fOptions.RecordPath.empty()) {
        return;
    }
    for (std::size_t m = 0; m < fModules.size(); ++m) {
        const PollTarget& target = fOptions.Targets[m];
        std::string name = target.Name.empty() ? target.Where() : target.Name;
        std::replace_if(
            name.begin(), name.end(), [](char c) { return c == '/' || c == ':'; }, '_');
        fModules[m]->Recorder.Start(
            (std::filesystem::path(fOptions.RecordPath) / (name + ".csv")).string(),
            fOptions.Split(), decimalSeparator, fOptions.Hold());
    }
}

void FleetPoll::RecordingStopped(std::size_t module, const std::string& failure) {
    fRecordingFailed = true;
    Log(module, "Recording stopped: " + failure);
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
bool FleetPoll::CycleDone(std::size_t module, bool ok, double seconds) {
    Module& state = *fModules[module];
    const CommStatisticsRecord statistics = state.Statistics();
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
    for (std::size_t m = 0; m < fModules.size(); ++m) {
        if (const std::string failure = fModules[m]->Recorder.Stop(); !failure.empty()) {
            RecordingStopped(m, failure);
        }
        fLog << fOptions.Targets[m].Where() << ' ';
        PollReport::WriteStatistics(fLog, fModules[m]->Statistics());
    }
    return fRecordingFailed ? 1 : 0;
}

} // namespace kalvo::poll
