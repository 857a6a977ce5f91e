#include "session/module_session.h"

#include "registers/quantity.h"

namespace kalvo {

ModuleSession::ModuleSession(ModuleIdentity identity) : fIdentity(std::move(identity)) {}

double ModuleSession::Seconds(Clock::time_point time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

void ModuleSession::Begin(Clock::time_point now, SessionPlan plan) {
    std::lock_guard lock(fMutex);
    fPlan = std::move(plan);
    fStale = {};
    fRead = {};
    fAnyBlockRead = false;
    fAssembler = ReadingAssembler();
    fChecks = fPlan.Checks ? std::make_unique<ModuleChecks>(*fPlan.Checks) : nullptr;
    fVerdicts.reset();
    fJournal.Start(Seconds(now), fPlan.Trends);
}

void ModuleSession::Fill() {
    std::lock_guard lock(fMutex);
    fImage.Fill();
}

void ModuleSession::LogLine(const std::string& text) {
    std::lock_guard lock(fMutex);
    fJournal.LogLine(text);
}

// The recording and the report's trends take the same time for a reading, so a recording
// loaded back shows the points the report drew.
ModuleSession::Outcome ModuleSession::BlockRead(RegisterBlock block,
                                                std::span<const std::uint16_t> registers,
                                                Clock::time_point time) {
    std::lock_guard lock(fMutex);
    Outcome outcome;
    fImage.Store(SpanOf(block).First, registers);
    fStale[static_cast<std::size_t>(block)] = false;
    fRead[static_cast<std::size_t>(block)] = true;
    fAnyBlockRead = true;
    outcome.RecordingStopped = fRecorder.Write(time, block, fImage);
    const double seconds = Seconds(time);
    fJournal.BlockRead(block, seconds, fImage);
    if (const std::optional<MeterReading> reading = fAssembler.BlockRead(block, seconds, fImage);
        reading && fChecks) {
        fChecks->Add(*reading);
        fVerdicts.reset();
        outcome.Reading = true;
    }
    return outcome;
}

// Only values that were read can go stale.
void ModuleSession::ReadFailed(RegisterBlock block, Clock::time_point time) {
    std::lock_guard lock(fMutex);
    fStale[static_cast<std::size_t>(block)] = fRead[static_cast<std::size_t>(block)];
    fJournal.ReadFailed(block, Seconds(time));
    fAssembler.BlockFailed();
}

void ModuleSession::End(Clock::time_point now) {
    std::lock_guard lock(fMutex);
    fJournal.End(Seconds(now));
}

void ModuleSession::StartRecording(std::string path, RecordFile::Split split,
                                   std::string decimalSeparator, std::chrono::milliseconds hold) {
    std::lock_guard lock(fMutex);
    fRecorder.Start(std::move(path), split, std::move(decimalSeparator), hold);
}

std::string ModuleSession::StopRecording() {
    std::lock_guard lock(fMutex);
    return fRecorder.Stop();
}

bool ModuleSession::Recording() const {
    std::lock_guard lock(fMutex);
    return fRecorder.Recording();
}

ModbusRegisters ModuleSession::ImageCopy() const {
    std::lock_guard lock(fMutex);
    return fImage;
}

bool ModuleSession::Stale(RegisterBlock block) const {
    std::lock_guard lock(fMutex);
    return fStale[static_cast<std::size_t>(block)];
}

bool ModuleSession::AnyBlockRead() const {
    std::lock_guard lock(fMutex);
    return fAnyBlockRead;
}

std::string ModuleSession::SerialNumber() const {
    std::lock_guard lock(fMutex);
    const std::optional<double> serial =
        fAnyBlockRead ? fImage.Value(Quantity::SerialNumber) : std::nullopt;
    return serial ? std::to_string(static_cast<std::uint32_t>(*serial)) : std::string();
}

std::vector<CheckResult> ModuleSession::Checks() const {
    std::lock_guard lock(fMutex);
    return ChecksLocked();
}

// Judged when first asked after a reading, not at every reading: a fleet's modules are
// judged only as often as someone looks.
std::vector<CheckResult> ModuleSession::ChecksLocked() const {
    if (!fChecks) {
        return {};
    }
    if (!fVerdicts) {
        fVerdicts = fChecks->Results();
    }
    return *fVerdicts;
}

void ModuleSession::FillReport(ReportData& data) const {
    std::lock_guard lock(fMutex);
    fJournal.Fill(data);
    data.Image = fImage;
    data.Checks = ChecksLocked();
    data.Connection = fPlan.Connection;
    data.Settings = fPlan.Settings;
}

} // namespace kalvo
