#include "acquisition/modbus_tcp_thread.h"

#include "acquisition/log_line.h"

#include <exception>
#include <span>

namespace kalvo {

namespace {

std::string WaitText(std::uint32_t ms) {
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

} // namespace

TModbusTCPThread::TModbusTCPThread(PollingHost& host, CommStatistics& statistics, RunId run,
                                   Parameters parameters)
    : fLife(host, statistics, run,
            {parameters.Cycles, parameters.PollDelay, parameters.ResetStatistics}) {
    fModBusTCP.SetPort(static_cast<std::uint16_t>(parameters.TCPPort));
    fModBusTCP.SetTimeOut(parameters.ReplyTimeoutMs);
    fModBusTCP.SetHost(parameters.TCPAddress);
    fModBusTCP.SetAutoConnect(false);
    // Over TCP an exception reply counts as invalid, not as an exception.
    fModBusTCP.OnResponseError = [this](std::uint8_t, std::uint8_t, const TModBusResponseBuffer&) {
        fAnswered = true;
        fLife.Statistics().CountInvalid();
        fLife.Statistics().RecordCommError();
    };
    fModBusTCP.OnResponseMismatch = [this](std::uint8_t, std::uint8_t,
                                           const TModBusResponseBuffer&) {
        fAnswered = true;
        fLife.Statistics().CountUnmatched();
        fLife.Statistics().RecordCommError();
    };
    fLife.Start(
        "ModbusTCPThread", [this] { Execute(); }, [this] { fModBusTCP.Interrupt(); });
}

TModbusTCPThread::~TModbusTCPThread() {
    fLife.Abort();
    fLife.Join();
}

void TModbusTCPThread::Execute() {
    fLife.Host().FillRegisters(fLife.Run());
    std::uint32_t cycle = 0;
    RegisterBlock block = RegisterBlock::A;
    while (fLife.Continues(cycle)) {
        RunCycle(block, cycle);
        block = block == RegisterBlock::A ? RegisterBlock::B : RegisterBlock::A;
        fLife.Pause(cycle);
    }
    fModBusTCP.Disconnect();
}

void TModbusTCPThread::RunCycle(RegisterBlock block, std::uint32_t& cycle) {
    ++cycle;
    fLife.Statistics().CountRequest();
    try {
        if (!fModBusTCP.Connected()) {
            fModBusTCP.Connect();
        }
        ReadBlock(block);
    } catch (const std::exception& error) {
        // An abort cuts the read short on purpose: that is no communication error.
        if (!fLife.Aborted()) {
            CountError();
            fLife.Log(LogLine(error.what()));
            fLife.Host().ReadFailed(fLife.Run(), block);
        }
        fModBusTCP.Disconnect();
        if (fLife.SingleStep()) {
            ++cycle;
        }
    }
}

void TModbusTCPThread::CountError() {
    fLife.Statistics().CountNoResponse();
    fLife.Statistics().RecordCommError();
    fLife.UpdateDebugWindow();
}

// The client numbers registers from 1, as the protocol's reference numbers do.
void TModbusTCPThread::ReadBlock(RegisterBlock block) {
    const BlockSpan& span = SpanOf(block);
    const std::string count = std::to_string(span.Count);
    const std::string pause = " registers - pause " + std::to_string(fLife.PollDelay()) + " msec";
    fLife.Log("Modbus/TCP reading " + count + " registers ...");
    const std::span<std::uint16_t> staging =
        std::span(fStagingRegisters)
            .subspan(static_cast<std::size_t>(span.First), static_cast<std::size_t>(span.Count));
    fAnswered = false;
    const bool succeeded =
        fModBusTCP.ReadHoldingRegisters(static_cast<std::uint16_t>(span.First + 1),
                                        static_cast<std::uint16_t>(span.Count), staging);
    if (succeeded) {
        fLife.Statistics().CountResponse();
        fLife.Log("Successfully read " + count + pause);
    } else {
        fLife.Statistics().CountNoResponse();
        fLife.Log("Failed to read " + count + pause);
        if (!fAnswered) {
            fLife.Log("No reply within " + WaitText(fModBusTCP.TimeOut()));
        }
        fLife.Host().ReadFailed(fLife.Run(), block);
    }
    fLife.UpdateDebugWindow();
    if (succeeded) {
        fLife.Host().RefreshDisplay(fLife.Run(), block, staging);
    }
}

} // namespace kalvo
