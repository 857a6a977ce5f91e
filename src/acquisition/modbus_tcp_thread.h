#pragma once

#include "acquisition/poller.h"
#include "acquisition/run_lifecycle.h"
#include "modbus_tcp/id_modbus_client.h"
#include "registers/modbus_registers.h"

#include <array>
#include <cstdint>
#include <string>

namespace kalvo {

// One polling run over Modbus/TCP on its own thread: reads the two register blocks
// alternately, counts every outcome, and hands log lines, blocks and the end of the run to
// its host. Two cycles make a single step.
class TModbusTCPThread : public Poller {
public:
    static constexpr std::uint32_t kStepCycles = RunLifecycle::kStepCycles;
    static constexpr std::uint32_t kRunCycles = RunLifecycle::kRunCycles;

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
    ~TModbusTCPThread() override;
    TModbusTCPThread(const TModbusTCPThread&) = delete;
    TModbusTCPThread& operator=(const TModbusTCPThread&) = delete;

    RunId Run() const override { return fLife.Run(); }
    bool SingleStep() const override { return fLife.SingleStep(); }
    void Stop() override { fLife.Stop(); }
    // Stop, and also ends a connect or a read in flight.
    void Abort() override { fLife.Abort(); }
    bool Finished() const override { return fLife.Finished(); }
    void Join() override { fLife.Join(); }

private:
    void Execute();
    void RunCycle(RegisterBlock block, std::uint32_t& cycle);
    void ReadBlock(RegisterBlock block);
    void CountError();

    TIdModBusClient fModBusTCP;
    // Whether the read in flight met an answer (an exception or a mismatch), not a silence.
    bool fAnswered = false;
    std::array<std::uint16_t, ModbusRegisters::kCount> fStagingRegisters{};
    RunLifecycle fLife;
};

} // namespace kalvo
