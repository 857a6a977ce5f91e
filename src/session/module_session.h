#pragma once

#include "checks/check_result.h"
#include "checks/module_checks.h"
#include "checks/reading_assembler.h"
#include "recording/run_recorder.h"
#include "registers/comm_statistics.h"
#include "registers/modbus_registers.h"
#include "registers/register_block.h"
#include "report/report_data.h"
#include "report/run_journal.h"
#include "session/module_identity.h"
#include "session/session_plan.h"

#include <array>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kalvo {

// One module's run, whichever way it is polled: its identity, register image, statistics,
// the staleness of each block, its readings and their checks, its recording and its
// journal. Every acquisition feeds it the same events (a run begins, a block is read, a read
// fails, the run ends) and every view reads it: the window, kalvo-poll's console and fleet,
// the metrics. The events come from one thread at a time; the views may read from others.
class ModuleSession {
public:
    using Clock = std::chrono::system_clock;

    // What a block read led to, for the views that follow it.
    struct Outcome {
        // Both blocks of a cycle are in: the checks judged a new reading.
        bool Reading = false;
        // The recording could not write the row and has stopped: "path: reason".
        std::string RecordingStopped;
    };

    explicit ModuleSession(ModuleIdentity identity = {});
    ModuleSession(const ModuleSession&) = delete;
    ModuleSession& operator=(const ModuleSession&) = delete;

    // A new run: the checks, readings, staleness and journal afresh. The image, the statistics
    // and a recording go on.
    void Begin(Clock::time_point now, SessionPlan plan);
    // The image filled with the fill value, as a run does before its first read.
    void Fill();
    // The newest log line says why the next read failed.
    void LogLine(const std::string& text);
    Outcome BlockRead(RegisterBlock block, std::span<const std::uint16_t> registers,
                      Clock::time_point time);
    void ReadFailed(RegisterBlock block, Clock::time_point time);
    void End(Clock::time_point now);

    // Rows may wait `hold` to be written together.
    void StartRecording(std::string path, RecordFile::Split split, std::string decimalSeparator,
                        std::chrono::milliseconds hold = {});
    // Writes the rows held and ends the recording; "path: reason" when a write failed.
    std::string StopRecording();
    bool Recording() const;

    const ModuleIdentity& Identity() const { return fIdentity; }
    // On the thread that feeds the session: the image it keeps (the window's tables show it).
    ModbusRegisters& Image() { return fImage; }
    const ModbusRegisters& Image() const { return fImage; }
    // Any thread: counted by the acquisition.
    CommStatistics& Statistics() { return fStatistics; }
    const CommStatistics& Statistics() const { return fStatistics; }

    // Any thread, from here on.
    ModbusRegisters ImageCopy() const;
    // Whether the newest read of `block` failed after one of this run had succeeded.
    bool Stale(RegisterBlock block) const;
    bool AnyBlockRead() const;
    // The module's serial number as read, empty before.
    std::string SerialNumber() const;
    // The verdicts of the newest reading and of the run so far, judged once per reading;
    // empty when the run is not judged.
    std::vector<CheckResult> Checks() const;
    // The run's part of its report: times, clocks, trends, failures, image, checks,
    // connection and settings.
    void FillReport(ReportData& data) const;

private:
    static double Seconds(Clock::time_point time);
    std::vector<CheckResult> ChecksLocked() const;

    const ModuleIdentity fIdentity;
    CommStatistics fStatistics;
    mutable std::mutex fMutex;
    ModbusRegisters fImage;
    SessionPlan fPlan;
    std::array<bool, 2> fStale{};
    std::array<bool, 2> fRead{};
    bool fAnyBlockRead = false;
    ReadingAssembler fAssembler;
    std::unique_ptr<ModuleChecks> fChecks;
    mutable std::optional<std::vector<CheckResult>> fVerdicts;
    RunRecorder fRecorder;
    RunJournal fJournal;
};

} // namespace kalvo
