#pragma once

#include "acquisition/polling_host.h"
#include "acquisition/terminate_event.h"
#include "modbus_tcp/id_modbus_client.h"
#include "registers/comm_statistics.h"
#include "registers/modbus_registers.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace kalvo {

// One polling run over Modbus/TCP on its own thread: reads the two register blocks
// alternately, counts every outcome, and hands log lines, blocks and the end of the run to
// its host. Two cycles make a single step.
class TModbusTCPThread {
public:
    static constexpr std::uint32_t kStepCycles = 2;
    static constexpr std::uint32_t kRunCycles = 4294967295u;

    struct Parameters {
        std::string TCPAddress;
        std::int32_t TCPPort = 502;
        std::uint32_t Cycles = kStepCycles;
        std::int32_t PollDelay = 1000;
        bool ResetStatistics = false;
        std::uint32_t ReplyTimeoutMs = 15000;
    };

    // The thread starts at once.
    TModbusTCPThread(PollingHost& host, CommStatistics& statistics, RunId run,
                     Parameters parameters);
    // Aborts the run and joins the thread.
    ~TModbusTCPThread();
    TModbusTCPThread(const TModbusTCPThread&) = delete;
    TModbusTCPThread& operator=(const TModbusTCPThread&) = delete;

    RunId Run() const { return fRun; }
    bool SingleStep() const { return fCycles == kStepCycles; }
    // Ends the run after the read in flight; wakes the pause at once.
    void Stop();
    // Stop, and also ends a connect or a read in flight.
    void Abort();
    bool Finished() const { return fFinished; }
    void Join();

private:
    struct Block {
        std::uint16_t RegNo;
        std::uint16_t Count;
        int First;
    };

    void Execute();
    void RunCycle(const Block& block, std::uint32_t& cycle);
    void ReadBlock(const Block& block);
    void OnResponseError(std::uint8_t functionCode, std::uint8_t errorCode);
    void OnResponseMismatch(std::uint8_t requestCode, std::uint8_t responseCode);
    void Log(const std::string& message) { fHost.AppendLog(fRun, message); }

    PollingHost& fHost;
    CommStatistics& fStatistics;
    const RunId fRun;
    TIdModBusClient fModBusTCP;
    TerminateEvent fTerminateEvent;
    const std::int32_t fPollDelay;
    const std::uint32_t fCycles;
    const bool fResetStatistics;
    std::atomic<bool> fTerminationRequest = false;
    std::atomic<bool> fFinished = false;
    std::array<std::uint16_t, ModbusRegisters::kCount> fStagingRegisters{};
    std::thread fThread;
};

} // namespace kalvo
