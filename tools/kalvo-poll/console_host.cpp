#include "console_host.h"

#include "log_time.h"

#include <chrono>

namespace kalvo::poll {

namespace {

ModuleSession::Clock::time_point Now() {
    return ModuleSession::Clock::now();
}

} // namespace

void ConsoleHost::AppendLog(RunId, const std::string& message) {
    fSession.LogLine(message);
    std::lock_guard lock(fMutex);
    Log(message);
}

void ConsoleHost::Log(const std::string& message) {
    if (fHeldLog.empty()) {
        fHeldSince = std::chrono::steady_clock::now();
    }
    fHeldLog += TimeStamp() + ' ' + message + '\n';
}

// One write for what is held: the stream is unbuffered standard error.
void ConsoleHost::FlushLog() {
    if (!fHeldLog.empty()) {
        fLog << fHeldLog << std::flush;
        fHeldLog.clear();
    }
}

void ConsoleHost::HoldLog(std::chrono::milliseconds hold) {
    std::lock_guard lock(fMutex);
    fLogHold = hold;
}

// After each read: the lines go out unless they may wait to go out together.
void ConsoleHost::UpdateDebugWindow(RunId) {
    std::lock_guard lock(fMutex);
    constexpr std::size_t kHeldBytes = 64 * 1024;
    if (fHeldLog.size() >= kHeldBytes ||
        std::chrono::steady_clock::now() - fHeldSince >= fLogHold) {
        FlushLog();
    }
}

void ConsoleHost::FillRegisters(RunId) {
    fSession.Fill();
}

void ConsoleHost::RefreshDisplay(RunId, RegisterBlock block,
                                 std::span<const std::uint16_t> registers) {
    const ModuleSession::Outcome outcome = fSession.BlockRead(block, registers, Now());
    if (!outcome.RecordingStopped.empty()) {
        std::lock_guard lock(fMutex);
        RecordingStopped(outcome.RecordingStopped);
    }
}

void ConsoleHost::ReadFailed(RunId, RegisterBlock block) {
    fSession.ReadFailed(block, Now());
    std::lock_guard lock(fMutex);
    FlushLog();
}

// A recording that cannot be written stops; the run goes on.
void ConsoleHost::RecordingStopped(const std::string& failure) {
    fRecordingFailed = true;
    Log("Recording stopped: " + failure);
}

void ConsoleHost::FinishRecording() {
    const std::string failure = fSession.StopRecording();
    std::lock_guard lock(fMutex);
    if (!failure.empty()) {
        RecordingStopped(failure);
    }
    FlushLog();
}

void ConsoleHost::ThreadDone(RunId, bool) {
    fSession.End(Now());
    {
        std::lock_guard lock(fMutex);
        FlushLog();
        fDone = true;
    }
    fDoneSignal.notify_all();
    if (fQueue != nullptr) {
        fQueue->Post([] {});
    }
}

void ConsoleHost::WaitDone() {
    if (fQueue != nullptr) {
        while (!fDone) {
            fQueue->WaitAndPump();
        }
        fQueue->Pump();
        return;
    }
    std::unique_lock lock(fMutex);
    fDoneSignal.wait(lock, [this] { return fDone.load(); });
}

bool ConsoleHost::RecordingFailed() const {
    std::lock_guard lock(fMutex);
    return fRecordingFailed;
}

} // namespace kalvo::poll
