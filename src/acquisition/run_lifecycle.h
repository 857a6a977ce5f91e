#pragma once

#include "acquisition/polling_host.h"
#include "acquisition/terminate_event.h"
#include "registers/comm_statistics.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace kalvo {

// What every polling run shares, whatever its transport: its identity and cycle count, the
// stop and abort requests, the pause between cycles, the statistics reset at its start, its
// thread and the host's ThreadDone at its end.
class RunLifecycle {
public:
    static constexpr std::uint32_t kStepCycles = 2;
    static constexpr std::uint32_t kRunCycles = 4294967295u;

    struct Settings {
        std::uint32_t Cycles = kStepCycles;
        std::int32_t PollDelay = 1000;
        bool ResetStatistics = false;
    };

    RunLifecycle(PollingHost& host, CommStatistics& statistics, RunId run, Settings settings);
    // Aborts and joins.
    ~RunLifecycle();
    RunLifecycle(const RunLifecycle&) = delete;
    RunLifecycle& operator=(const RunLifecycle&) = delete;

    // Starts the thread, named `name`: the statistics reset when asked, then `body`, then the
    // host's ThreadDone. `onAbort` cuts short whatever the body waits for.
    void Start(const std::string& name, std::function<void()> body, std::function<void()> onAbort);

    RunId Run() const { return fRun; }
    bool SingleStep() const { return fSettings.Cycles == kStepCycles; }
    std::uint32_t Cycles() const { return fSettings.Cycles; }
    std::int32_t PollDelay() const { return fSettings.PollDelay; }
    // True while neither a stop was asked nor `cycle` cycles are done.
    bool Continues(std::uint32_t cycle) const {
        return !fTerminationRequest && cycle < fSettings.Cycles;
    }
    bool StopRequested() const { return fTerminationRequest; }
    void Stop();
    void Abort();
    bool Aborted() const { return fAborted; }
    bool Finished() const { return fFinished; }
    void Join();
    // The pause after `cycle` cycles; a stop ends it at once. After the last cycle there is
    // nothing to wait for: a step ends with its second read.
    void Pause(std::uint32_t cycle);

    PollingHost& Host() const { return fHost; }
    CommStatistics& Statistics() const { return fStatistics; }
    void Log(const std::string& message) const { fHost.AppendLog(fRun, message); }
    void UpdateDebugWindow() const { fHost.UpdateDebugWindow(fRun); }

private:
    void Execute(const std::string& name, const std::function<void()>& body);

    PollingHost& fHost;
    CommStatistics& fStatistics;
    const RunId fRun;
    const Settings fSettings;
    TerminateEvent fTerminateEvent;
    std::function<void()> fOnAbort;
    std::atomic<bool> fTerminationRequest = false;
    std::atomic<bool> fAborted = false;
    std::atomic<bool> fFinished = false;
    std::thread fThread;
};

} // namespace kalvo
