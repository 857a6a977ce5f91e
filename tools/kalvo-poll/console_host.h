#pragma once

#include "acquisition/polling_host.h"
#include "modbus_serial/message_queue.h"
#include "session/module_session.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>

namespace kalvo::poll {

// A PollingHost for a terminal: what the run does goes to the module's session, its log lines
// to a stream with their time stamps.
class ConsoleHost : public PollingHost {
public:
    // With a queue, the end of the run is posted there too, so that its owner, pumping it,
    // wakes for it.
    ConsoleHost(std::ostream& log, ModuleSession& session, ManualMessageQueue* queue = nullptr)
        : fLog(log), fSession(session), fQueue(queue) {}

    void AppendLog(RunId run, const std::string& message) override;
    void FillRegisters(RunId run) override;
    void RefreshDisplay(RunId run, RegisterBlock block,
                        std::span<const std::uint16_t> registers) override;
    void ReadFailed(RunId run, RegisterBlock block) override;
    // Once after every read, before the pause: the read's log lines go out together.
    void UpdateDebugWindow(RunId run) override;
    void RestoreIdleControls(RunId) override {}
    // A console run ends by itself; there are no controls to restore.
    void StopRun(RunId) override {}
    void ThreadDone(RunId run, bool singleStep) override;

    // Blocks until the run's thread has said it is done; with a queue, runs its messages
    // meanwhile (the serial engine delivers there).
    void WaitDone();
    // Whether a recording was asked for and had to stop.
    bool RecordingFailed() const;
    // Log lines may wait `hold` after a read to be written together (a failed read, the end
    // of the run and the end of a recording write them at once).
    void HoldLog(std::chrono::milliseconds hold);
    // Writes the rows held and ends the recording (a failed write stops it as during the run).
    void FinishRecording();

private:
    void RecordingStopped(const std::string& failure);
    // Holds a time-stamped line until FlushLog.
    void Log(const std::string& message);
    void FlushLog();

    std::ostream& fLog;
    ModuleSession& fSession;
    std::string fHeldLog;
    std::chrono::steady_clock::time_point fHeldSince;
    std::chrono::milliseconds fLogHold{0};
    ManualMessageQueue* fQueue;
    mutable std::mutex fMutex;
    std::condition_variable fDoneSignal;
    bool fRecordingFailed = false;
    std::atomic<bool> fDone = false;
};

} // namespace kalvo::poll
