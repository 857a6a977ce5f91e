#include "acquisition/modbus_tcp_thread.h"

#include <exception>
#include <pthread.h>
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
    : fHost(host), fStatistics(statistics), fRun(run), fPollDelay(parameters.PollDelay),
      fCycles(parameters.Cycles), fResetStatistics(parameters.ResetStatistics) {
    fModBusTCP.SetPort(static_cast<std::uint16_t>(parameters.TCPPort));
    fModBusTCP.SetTimeOut(parameters.ReplyTimeoutMs);
    fModBusTCP.SetHost(parameters.TCPAddress);
    fModBusTCP.SetAutoConnect(false);
    fModBusTCP.OnResponseError = [this](std::uint8_t code, std::uint8_t error,
                                        const TModBusResponseBuffer&) {
        OnResponseError(code, error);
    };
    fModBusTCP.OnResponseMismatch = [this](std::uint8_t request, std::uint8_t response,
                                           const TModBusResponseBuffer&) {
        OnResponseMismatch(request, response);
    };
    fThread = std::thread([this] { Execute(); });
}

TModbusTCPThread::~TModbusTCPThread() {
    Abort();
    Join();
}

void TModbusTCPThread::Stop() {
    fTerminationRequest = true;
    fTerminateEvent.Set();
}

void TModbusTCPThread::Abort() {
    Stop();
    fModBusTCP.Interrupt();
}

void TModbusTCPThread::Join() {
    if (fThread.joinable()) {
        fThread.join();
    }
}

void TModbusTCPThread::Execute() {
    pthread_setname_np(pthread_self(), "ModbusTCPThread");
    if (fResetStatistics) {
        fStatistics.Reset();
        fHost.UpdateDebugWindow(fRun);
    }
    fHost.FillRegisters(fRun);
    const Block blocks[] = {{1, 121, 0}, {122, 124, 121}};
    std::uint32_t cycle = 0;
    bool blockB = false;
    while (!fTerminationRequest && cycle < fCycles) {
        RunCycle(blocks[blockB ? 1 : 0], cycle);
        blockB = !blockB;
        fTerminateEvent.WaitFor(std::chrono::milliseconds(fPollDelay));
    }
    fModBusTCP.Disconnect();
    fFinished = true;
    fHost.ThreadDone(fRun, SingleStep());
}

void TModbusTCPThread::RunCycle(const Block& block, std::uint32_t& cycle) {
    ++cycle;
    fStatistics.CountRequest();
    try {
        if (!fModBusTCP.Connected()) {
            fModBusTCP.Connect();
        }
        ReadBlock(block);
    } catch (const std::exception& error) {
        fStatistics.CountNoResponse();
        fStatistics.RecordCommError();
        fHost.UpdateDebugWindow(fRun);
        Log(Flattened(error.what()));
        fModBusTCP.Disconnect();
        if (fCycles == kStepCycles) {
            ++cycle;
        }
    }
}

void TModbusTCPThread::ReadBlock(const Block& block) {
    const std::string count = std::to_string(block.Count);
    const std::string pause = " registers - pause " + std::to_string(fPollDelay) + " msec";
    Log("Modbus/TCP reading " + count + " registers ...");
    const std::span<std::uint16_t> staging =
        std::span(fStagingRegisters).subspan(static_cast<std::size_t>(block.First), block.Count);
    const bool succeeded = fModBusTCP.ReadHoldingRegisters(block.RegNo, block.Count, staging);
    if (succeeded) {
        fStatistics.CountResponse();
        Log("Successfully read " + count + pause);
    } else {
        fStatistics.CountNoResponse();
        Log("Failed to read " + count + pause);
    }
    fHost.UpdateDebugWindow(fRun);
    if (succeeded) {
        fHost.RefreshDisplay(fRun, block.First, staging);
    }
}

void TModbusTCPThread::OnResponseError(std::uint8_t, std::uint8_t) {
    fStatistics.CountInvalid();
    fStatistics.RecordCommError();
}

void TModbusTCPThread::OnResponseMismatch(std::uint8_t, std::uint8_t) {
    fStatistics.CountUnmatched();
    fStatistics.RecordCommError();
}

} // namespace kalvo
