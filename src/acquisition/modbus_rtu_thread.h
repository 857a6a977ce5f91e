#pragma once

#include "acquisition/completion_wait.h"
#include "acquisition/poller.h"
#include "acquisition/run_lifecycle.h"
#include "modbus_serial/modbus_client.h"
#include "modbus_serial/modbus_connection.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace kalvo {

// One polling run over Modbus RTU: queues the two block reads alternately on a serial client
// and waits for the completion of each, which arrives on the thread that owns `queue` (where
// the connection was created). Frames, outcomes and port failures are logged through the
// host; a port that fails ends the run.
class TModbusRTUThread : public Poller {
public:
    static constexpr std::uint32_t kStepCycles = RunLifecycle::kStepCycles;
    static constexpr int kReadDoneWaitMs = 5000;

    struct Parameters {
        std::int32_t ServerAddr = 1;
        std::string COMPort;
        std::int32_t Speed = 9600;
        std::uint32_t Cycles = kStepCycles;
        std::int32_t PollDelay = 1000;
        bool ResetStatistics = false;
    };

    // Call on the thread that runs `queue`; the polling thread starts at once.
    TModbusRTUThread(PollingHost& host, CommStatistics& statistics, RunId run, MessageQueue& queue,
                     Parameters parameters);
    // Aborts the run, joins the thread, then closes the port. On the queue's thread.
    ~TModbusRTUThread() override;
    TModbusRTUThread(const TModbusRTUThread&) = delete;
    TModbusRTUThread& operator=(const TModbusRTUThread&) = delete;

    RunId Run() const override { return fLife.Run(); }
    bool SingleStep() const override { return fLife.SingleStep(); }
    void Stop() override { fLife.Stop(); }
    void Abort() override { fLife.Abort(); }
    bool Finished() const override { return fLife.Finished(); }
    void Join() override { fLife.Join(); }
    TModbusConnection& Connection() { return fModbusConn; }

private:
    void ConfigureConnection(const Parameters& parameters);
    void Execute();
    bool OpenPort();
    bool ReadBlock(RegisterBlock block);
    void FailRun(const std::string& message);
    void ModbusRTUHoldingRegistersRead(const TTransactionInfo& info, std::uint16_t startReg,
                                       const TRegValues& values);
    void CountFailure(const TTransactionInfo& info);
    void PortFailed(const std::string& message);
    void FrameLogged(const char* prefix, const TFrameData& data);

    TModbusConnection fModbusConn;
    TModbusClient fModBusRTU;
    CompletionWait fReadDone;
    // Set on the queue's thread once the port has failed; the run is then over.
    std::atomic<bool> fPortFailed = false;
    RunLifecycle fLife;
};

} // namespace kalvo
