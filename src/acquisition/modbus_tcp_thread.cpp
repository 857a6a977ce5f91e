#include "acquisition/modbus_tcp_thread.h"

#include <exception>
#include <span>

namespace kalvo {

namespace {

// Error texts may span lines; a log line may not.
std::string Flattened(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.replace(at, 2, "  -  ");
    }
    return text;
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
        fLife.Statistics().CountInvalid();
        fLife.Statistics().RecordCommError();
    };
    fModBusTCP.OnResponseMismatch = [this](std::uint8_t, std::uint8_t,
                                           const TModBusResponseBuffer&) {
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
    const Block blocks[] = {{1, 121, 0}, {122, 124, 121}};
    std::uint32_t cycle = 0;
    bool blockB = false;
    while (fLife.Continues(cycle)) {
        RunCycle(blocks[blockB ? 1 : 0], cycle);
        blockB = !blockB;
        fLife.Pause(cycle);
    }
    fModBusTCP.Disconnect();
}

void TModbusTCPThread::RunCycle(const Block& block, std::uint32_t& cycle) {
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
            fLife.Log(Flattened(error.what()));
            fLife.Host().ReadFailed(fLife.Run(), block.First);
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

void TModbusTCPThread::ReadBlock(const Block& block) {
    const std::string count = std::to_string(block.Count);
    const std::string pause = " registers - pause " + std::to_string(fLife.PollDelay()) + " msec";
    fLife.Log("Modbus/TCP reading " + count + " registers ...");
    const std::span<std::uint16_t> staging =
        std::span(fStagingRegisters).subspan(static_cast<std::size_t>(block.First), block.Count);
    const bool succeeded = fModBusTCP.ReadHoldingRegisters(block.RegNo, block.Count, staging);
    if (succeeded) {
        fLife.Statistics().CountResponse();
        fLife.Log("Successfully read " + count + pause);
    } else {
        fLife.Statistics().CountNoResponse();
        fLife.Log("Failed to read " + count + pause);
        fLife.Host().ReadFailed(fLife.Run(), block.First);
    }
    fLife.UpdateDebugWindow();
    if (succeeded) {
        fLife.Host().RefreshDisplay(fLife.Run(), block.First, staging);
    }
}

} // namespace kalvo
