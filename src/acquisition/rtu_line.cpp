#include "acquisition/rtu_line.h"

#include "acquisition/module_line.h"
#include "registers/register_map.h"

#include <algorithm>

namespace kalvo {

namespace {

// The serial engine's messages put their detail on a line of their own; a log line keeps one.
std::string OneLine(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.replace(at, 2, ": ");
    }
    return text;
}

} // namespace

struct RtuLine::Module {
    std::size_t Index = 0;
    TModbusClient Client;
    std::unique_ptr<CommStatistics> OwnStats;
    CommStatistics* Stats = nullptr;
    Clock::time_point TurnStart;
    bool Resting = false; // read no more
};

RtuLine::RtuLine(Settings settings, FleetEvents events)
    : fSettings(std::move(settings)), fEvents(std::move(events)), fConnection(fQueue) {
    SetModuleLine(fConnection, fSettings.Device, fSettings.Baud);
    fConnection.OnThreadError = [this](TModbusConnection&, const std::string& message) {
        fPortFailure = OneLine(message);
    };
    for (const std::uint8_t address : fSettings.Addresses) {
        auto module = std::make_unique<Module>();
        module->Index = fModules.size();
        if (module->Index < fSettings.Statistics.size()) {
            module->Stats = fSettings.Statistics[module->Index];
        } else {
            module->OwnStats = std::make_unique<CommStatistics>();
            module->Stats = module->OwnStats.get();
        }
        module->Client.SetServerAddress(address);
        module->Client.OnHoldingRegistersRead =
            [this](TModbusClient&, const TTransactionInfo& info, std::uint16_t, std::uint16_t,
                   const TRegValues& values) { Completed(info, values); };
        module->Client.SetConnection(&fConnection);
        fModules.push_back(std::move(module));
    }
}

RtuLine::~RtuLine() {
    Stop();
    Join();
    for (const auto& module : fModules) {
        module->Client.SetConnection(nullptr);
    }
    fConnection.Close();
}

void RtuLine::Start() {
    fThread = std::thread([this] { Execute(); });
}

void RtuLine::Stop() {
    fStopped = true;
    fQueue.Post([] {});
}

void RtuLine::Join() {
    if (fThread.joinable()) {
        fThread.join();
    }
}

CommStatisticsRecord RtuLine::Statistics(std::size_t module) const {
    return fModules.at(module)->Stats->Snapshot();
}

// A round that takes longer than the interval is followed by the next at once.
void RtuLine::Execute() {
    while (!fStopped) {
        const Clock::time_point start = Clock::now();
        for (const auto& module : fModules) {
            if (fStopped) {
                return;
            }
            if (!module->Resting) {
                Turn(*module);
            }
        }
        Pump(start + fSettings.Interval, [] { return false; });
    }
}

void RtuLine::Turn(Module& module) {
    module.TurnStart = Clock::now();
    if (!Open(module)) {
        return;
    }
    if (ReadBlock(module, RegisterBlock::A) && ReadBlock(module, RegisterBlock::B)) {
        EndTurn(module, true);
    }
}

void RtuLine::EndTurn(Module& module, bool ok) {
    module.Resting =
        fEvents.CycleDone &&
        !fEvents.CycleDone(module.Index, ok,
                           std::chrono::duration<double>(Clock::now() - module.TurnStart).count());
}

// A port that failed is closed first; one that will not open fails this module's turn.
bool RtuLine::Open(Module& module) {
    if (!fPortFailure.empty()) {
        fConnection.Close();
        fPortFailure.clear();
    }
    if (fConnection.Active()) {
        return true;
    }
    try {
        fConnection.Open();
        return true;
    } catch (const std::exception& error) {
        module.Stats->CountRequest();
        module.Stats->CountNoResponse();
        Fail(module, RegisterBlock::A, OneLine(error.what()));
        return false;
    }
}

// True when the block was read. After a stop nothing more is asked or counted.
bool RtuLine::ReadBlock(Module& module, RegisterBlock block) {
    if (fStopped) {
        return false;
    }
    const BlockSpan& span = SpanOf(block);
    module.Stats->CountRequest();
    fOutcome.reset();
    try {
        fAwaited = module.Client.ReadHoldingRegisters(static_cast<std::uint16_t>(span.First),
                                                      static_cast<std::uint16_t>(span.Count));
    } catch (const std::exception& error) {
        module.Stats->CountNoResponse();
        Fail(module, block, OneLine(error.what()));
        return false;
    }
    Pump(Clock::now() + fSettings.StuckAfter,
         [this] { return fOutcome.has_value() || !fPortFailure.empty(); });
    fAwaited = 0;
    if (fStopped) {
        return false;
    }
    if (!fPortFailure.empty()) {
        const std::string reason = fPortFailure;
        fConnection.Close();
        fPortFailure.clear();
        module.Stats->CountNoResponse();
        Fail(module, block, reason);
        return false;
    }
    return TakeOutcome(module, block);
}

bool RtuLine::TakeOutcome(Module& module, RegisterBlock block) {
    const TServerReply reply = fOutcome ? fOutcome->Reply : srNone;
    switch (reply) {
    case srNormalReply: {
        const BlockSpan& span = SpanOf(block);
        const auto count = std::min(fValues.size(), static_cast<std::size_t>(span.Count));
        module.Stats->CountResponse();
        if (fEvents.BlockRead) {
            fEvents.BlockRead(module.Index, block, std::span(fValues).first(count));
        }
        return true;
    }
    case srNone:
        module.Stats->CountNoResponse();
        Fail(module, block, "No reply");
        return false;
    case srExceptionReply:
        module.Stats->CountException();
        Fail(module, block, "Modbus exception " + std::to_string(fOutcome->ExceptionCode));
        return false;
    case srUnmatchedReply:
        module.Stats->CountUnmatched();
        Fail(module, block, "Reply does not match the request");
        return false;
    default:
        module.Stats->CountInvalid();
        Fail(module, block, "Invalid reply");
        return false;
    }
}

void RtuLine::Fail(Module& module, RegisterBlock block, const std::string& reason) {
    module.Stats->RecordCommError();
    if (fEvents.ReadFailed) {
        fEvents.ReadFailed(module.Index, block, reason);
    }
    EndTurn(module, false);
}

void RtuLine::Completed(const TTransactionInfo& info, const TRegValues& values) {
    if (info.ID == fAwaited && !fOutcome) {
        fOutcome = info;
        fValues = values;
    }
}

// Runs the line's messages until `done`, a stop or `until`.
void RtuLine::Pump(Clock::time_point until, const std::function<bool()>& done) {
    while (!fStopped && !done()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0) {
            return;
        }
        fQueue.WaitAndPump(left);
    }
}

} // namespace kalvo
