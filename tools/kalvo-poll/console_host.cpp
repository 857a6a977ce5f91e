#include "console_host.h"

#include "log_time.h"
#include "registers/quantity_info.h"

#include <chrono>

namespace kalvo::poll {

void ConsoleHost::AppendLog(RunId, const std::string& message) {
    std::lock_guard lock(fMutex);
    fJournal.LogLine(message);
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
    std::lock_guard lock(fMutex);
    fRegisters.Fill();
    // Trends are kept only for a report: a long headless run need not hold them.
    fJournal.Start(NowSeconds(), fReportTrends
                                     ? std::vector<Quantity>(kDefaultTrendQuantities.begin(),
                                                             kDefaultTrendQuantities.end())
                                     : std::vector<Quantity>());
}

void ConsoleHost::RefreshDisplay(RunId, RegisterBlock block,
                                 std::span<const std::uint16_t> registers) {
    std::lock_guard lock(fMutex);
    fRegisters.Store(SpanOf(block).First, registers);
    fAnyBlockRead = true;
    RecordBlock(block);
    const double now = NowSeconds();
    fJournal.BlockRead(block, now, fRegisters);
    if (fChecks != nullptr) {
        if (const std::optional<MeterReading> reading =
                fAssembler.BlockRead(block, now, fRegisters)) {
            fChecks->Add(*reading);
        }
    }
}

void ConsoleHost::ReadFailed(RunId, RegisterBlock block) {
    std::lock_guard lock(fMutex);
    fJournal.ReadFailed(block, NowSeconds());
    fAssembler.BlockFailed();
    FlushLog();
}

void ConsoleHost::Check(ModuleChecks& checks) {
    std::lock_guard lock(fMutex);
    fChecks = &checks;
}

std::vector<CheckResult> ConsoleHost::CheckResults() const {
    std::lock_guard lock(fMutex);
    return fChecks != nullptr ? fChecks->Results() : std::vector<CheckResult>();
}

void ConsoleHost::Record(const std::string& path, RecordFile::Split split,
                         const std::string& decimalSeparator, std::chrono::milliseconds hold) {
    std::lock_guard lock(fMutex);
    fRecorder.Start(path, split, decimalSeparator, hold);
}

void ConsoleHost::FinishRecording() {
    std::lock_guard lock(fMutex);
    if (const std::string failure = fRecorder.Stop(); !failure.empty()) {
        fRecordingFailed = true;
        Log("Recording stopped: " + failure);
    }
    FlushLog();
}

// A recording that cannot be written stops; the run goes on.
void ConsoleHost::RecordBlock(RegisterBlock block) {
    const std::string failure =
        fRecorder.Write(std::chrono::system_clock::now(), block, fRegisters);
    if (!failure.empty()) {
        fRecordingFailed = true;
        Log("Recording stopped: " + failure);
    }
}

void ConsoleHost::ThreadDone(RunId, bool) {
    {
        std::lock_guard lock(fMutex);
        fJournal.End(NowSeconds());
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

void ConsoleHost::KeepReportTrends() {
    std::lock_guard lock(fMutex);
    fReportTrends = true;
}

void ConsoleHost::FillReport(ReportData& data) const {
    std::lock_guard lock(fMutex);
    fJournal.Fill(data);
    data.Image = fRegisters;
    if (fChecks != nullptr) {
        data.Checks = fChecks->Results();
    }
}

bool ConsoleHost::AnyBlockRead() const {
    std::lock_guard lock(fMutex);
    return fAnyBlockRead;
}

bool ConsoleHost::RecordingFailed() const {
    std::lock_guard lock(fMutex);
    return fRecordingFailed;
}

ModbusRegisters ConsoleHost::Registers() const {
    std::lock_guard lock(fMutex);
    return fRegisters;
}

} // namespace kalvo::poll
