#pragma once

#include "acquisition/polling_host.h"
#include "acquisition/terminate_event.h"
#include "modbus_serial/modbus_client.h"
#include "modbus_serial/modbus_connection.h"
#include "registers/comm_statistics.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace kalvo {

// One polling run over Modbus RTU: queues the two block reads alternately on a serial client
// and waits for each completion, which arrives on the thread that owns `queue` (where the
// connection was created). Frames and outcomes are logged through the host.
class TModbusRTUThread {
public:
    static constexpr std::uint32_t kStepCycles = 2;
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
    ~TModbusRTUThread();
    TModbusRTUThread(const TModbusRTUThread&) = delete;
    TModbusRTUThread& operator=(const TModbusRTUThread&) = delete;

    RunId Run() const { return fRun; }
    bool SingleStep() const { return fCycles == kStepCycles; }
    void Stop();
    // Stop, and also stop waiting for a read in flight.
    void Abort();
    bool Finished() const { return fFinished; }
    void Join();
    TModbusConnection& Connection() { return fModbusConn; }

private:
    void Execute();
    void OpenPort();
    bool QueueRead(std::uint16_t startReg, std::uint16_t regCount);
    void FailRun(const std::string& message);
    bool WaitReadDone();
    void ModbusRTUHoldingRegistersRead(const TTransactionInfo& info, std::uint16_t startReg,
                                       const TRegValues& values);
    void CountFailure(const TTransactionInfo& info);
    void FrameLogged(const char* prefix, const TFrameData& data);

    PollingHost& fHost;
    CommStatistics& fStatistics;
    const RunId fRun;
    TModbusConnection fModbusConn;
    TModbusClient fModBusRTU;
    TerminateEvent fTerminateEvent;
    std::mutex fReadDoneLock;
    std::condition_variable fReadDoneEvent;
    bool fReadDone = false;
    const std::int32_t fPollDelay;
    const std::uint32_t fCycles;
    const bool fResetStatistics;
    std::atomic<bool> fTerminationRequest = false;
    std::atomic<bool> fAborted = false;
    std::atomic<bool> fFinished = false;
    std::thread fThread;
};

} // namespace kalvo
