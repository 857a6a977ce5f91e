#pragma once

#include "acquisition/polling_host.h"
#include "checks/module_checks.h"
#include "checks/reading_assembler.h"
#include "modbus_serial/message_queue.h"
#include "registers/modbus_registers.h"
#include "registers/run_recorder.h"
#include "report/run_journal.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <ostream>

namespace kalvo::poll {

// A PollingHost for a terminal: log lines go to a stream with their time stamps, blocks land
// in a register image of its own.
class ConsoleHost : public PollingHost {
public:
    // With a queue, the end of the run is posted there too, so that its owner, pumping it,
    // wakes for it.
    explicit ConsoleHost(std::ostream& log, ManualMessageQueue* queue = nullptr)
        : fLog(log), fQueue(queue) {}

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
    ModbusRegisters Registers() const;
    // Whether any block was read (and shown) during the run.
    bool AnyBlockRead() const;
    // Whether a recording was asked for and had to stop.
    bool RecordingFailed() const;
    // From now on every reading (block A, then B) goes to `checks` too.
    void Check(ModuleChecks& checks);
    // The checks' results so far.
    std::vector<CheckResult> CheckResults() const;
    // From the next run on, the report's trend quantities are followed.
    void KeepReportTrends();
    // The run so far, for its report.
    void FillReport(ReportData& data) const;
    // From now on every block read is recorded; rows may wait `hold` to be written together.
    void Record(const std::string& path, RecordFile::Split split,
                const std::string& decimalSeparator, std::chrono::milliseconds hold);
    // Log lines may wait `hold` after a read to be written together (a failed read, the end
    // of the run and the end of a recording write them at once).
    void HoldLog(std::chrono::milliseconds hold);
    // Writes the rows held and ends the recording (a failed write stops it as during the run).
    void FinishRecording();

private:
    void RecordBlock(RegisterBlock block);
    // Holds a time-stamped line until FlushLog.
    void Log(const std::string& message);
    void FlushLog();

    std::ostream& fLog;
    std::string fHeldLog;
    std::chrono::steady_clock::time_point fHeldSince;
    std::chrono::milliseconds fLogHold{0};
    ManualMessageQueue* fQueue;
    mutable std::mutex fMutex;
    std::condition_variable fDoneSignal;
    ModbusRegisters fRegisters;
    bool fAnyBlockRead = false;
    bool fRecordingFailed = false;
    RunRecorder fRecorder;
    ModuleChecks* fChecks = nullptr;
    ReadingAssembler fAssembler;
    RunJournal fJournal;
    bool fReportTrends = false;
    std::atomic<bool> fDone = false;
};

} // namespace kalvo::poll
