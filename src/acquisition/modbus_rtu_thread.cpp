#include "acquisition/modbus_rtu_thread.h"

#include "registers/hex_text.h"
#include "registers/modbus_registers.h"

#include <algorithm>
#include <pthread.h>

namespace kalvo {

namespace {

TBaudRate BaudRateFor(std::int32_t speed, TBaudRate fallback) {
    switch (speed) {
    case 2400:
        return br2400;
    case 4800:
        return br4800;
    case 9600:
        return br9600;
    case 19200:
        return br19200;
    default:
        return fallback;
    }
}

struct Block {
    std::uint16_t StartReg;
    std::uint16_t RegCount;
};

constexpr Block kBlocks[] = {{0, 121}, {121, 124}};

} // namespace

TModbusRTUThread::TModbusRTUThread(PollingHost& host, CommStatistics& statistics, RunId run,
                                   MessageQueue& queue, Parameters parameters)
    : fHost(host), fStatistics(statistics), fRun(run), fModbusConn(queue),
      fPollDelay(parameters.PollDelay), fCycles(parameters.Cycles),
      fResetStatistics(parameters.ResetStatistics) {
    fModbusConn.SetPort(parameters.COMPort);
    fModbusConn.SetBaudRate(BaudRateFor(parameters.Speed, fModbusConn.BaudRate()));
    fModbusConn.SetDataBits(db8);
    fModbusConn.SetParity(psNone);
    fModbusConn.SetStopBits(sb1);
    fModbusConn.SetFlowControl(fcNone);
    fModbusConn.SetTransmissionMode(tmRTU);
    fModbusConn.SetConnectionMode(cmClient);
    fModbusConn.OnFrameSend = [this](TModbusConnection&, const TFrameData& data) {
        FrameLogged("Send: ", data);
    };
    fModbusConn.OnFrameReceive = [this](TModbusConnection&, const TFrameData& data) {
        FrameLogged("Recv: ", data);
    };
    fModBusRTU.SetServerAddress(static_cast<std::uint8_t>(parameters.ServerAddr & 0xFF));
    fModBusRTU.OnHoldingRegistersRead =
        [this](TModbusClient&, const TTransactionInfo& info, std::uint16_t start, std::uint16_t,
               const TRegValues& values) { ModbusRTUHoldingRegistersRead(info, start, values); };
    fModBusRTU.SetConnection(&fModbusConn);
    fThread = std::thread([this] { Execute(); });
}

TModbusRTUThread::~TModbusRTUThread() {
    Abort();
    Join();
    fModBusRTU.SetConnection(nullptr);
    fModbusConn.Close();
}

void TModbusRTUThread::Stop() {
    fTerminationRequest = true;
    fTerminateEvent.Set();
}

void TModbusRTUThread::Abort() {
    fAborted = true;
    Stop();
    fReadDoneEvent.notify_all();
}

void TModbusRTUThread::Join() {
    if (fThread.joinable()) {
        fThread.join();
    }
}

void TModbusRTUThread::Execute() {
    pthread_setname_np(pthread_self(), "ModbusRTUThread");
    if (fResetStatistics) {
        fStatistics.Reset();
        fHost.UpdateDebugWindow(fRun);
    }
    OpenPort();
    fHost.FillRegisters(fRun);
    std::uint32_t cycle = 0;
    bool blockB = false;
    while (!fTerminationRequest && cycle < fCycles) {
        fStatistics.CountRequest();
        ++cycle;
        const Block& block = kBlocks[blockB ? 1 : 0];
        blockB = !blockB;
        if (!QueueRead(block.StartReg, block.RegCount)) {
            break;
        }
        if (WaitReadDone()) {
            fTerminateEvent.WaitFor(std::chrono::milliseconds(fPollDelay));
        }
    }
    fFinished = true;
    fHost.ThreadDone(fRun, SingleStep());
}

void TModbusRTUThread::OpenPort() {
    try {
        fModbusConn.SetActive(true);
    } catch (const std::exception& error) {
        FailRun(error.what());
    }
}

// The port went away under a running poll (a USB adapter pulled out, say): the run ends the
// way a failed open ends it, instead of taking the process down.
bool TModbusRTUThread::QueueRead(std::uint16_t startReg, std::uint16_t regCount) {
    try {
        fModBusRTU.ReadHoldingRegisters(startReg, regCount);
        return true;
    } catch (const std::exception& error) {
        FailRun(error.what());
        return false;
    }
}

void TModbusRTUThread::FailRun(const std::string& message) {
    fStatistics.CountNoResponse();
    fStatistics.RecordCommError();
    fHost.UpdateDebugWindow(fRun);
    fHost.AppendLog(fRun, message);
    Stop();
    fHost.StopRun(fRun);
}

// True when the read completed; false after 5000 ms or an abort.
bool TModbusRTUThread::WaitReadDone() {
    std::unique_lock lock(fReadDoneLock);
    const bool done = fReadDoneEvent.wait_for(lock, std::chrono::milliseconds(kReadDoneWaitMs),
                                              [this] { return fReadDone || fAborted; });
    const bool completed = done && fReadDone;
    fReadDone = false;
    return completed;
}

// On the connection's creating thread.
void TModbusRTUThread::ModbusRTUHoldingRegistersRead(const TTransactionInfo& info,
                                                     std::uint16_t startReg,
                                                     const TRegValues& values) {
    if (info.Reply == srNormalReply) {
        fStatistics.CountResponse();
        const std::size_t room = static_cast<std::size_t>(ModbusRegisters::kCount) -
                                 std::min<std::size_t>(startReg, ModbusRegisters::kCount);
        fHost.RefreshDisplay(fRun, startReg,
                             std::span(values).first(std::min(values.size(), room)));
    } else {
        CountFailure(info);
    }
    fHost.UpdateDebugWindow(fRun);
    {
        std::lock_guard lock(fReadDoneLock);
        fReadDone = true;
    }
    fReadDoneEvent.notify_all();
}

void TModbusRTUThread::CountFailure(const TTransactionInfo& info) {
    switch (info.Reply) {
    case srUnmatchedReply:
        fHost.AppendLog(fRun, "Received answer does not macht the request!");
        fStatistics.CountUnmatched();
        break;
    case srExceptionReply:
        fHost.AppendLog(fRun, "Error answer received!");
        fStatistics.CountException();
        break;
    case srNone:
        fHost.AppendLog(fRun, "No answer from KALVO module!");
        fStatistics.CountNoResponse();
        break;
    default:
        fHost.AppendLog(fRun, "Invalid answer!");
        fStatistics.CountInvalid();
        break;
    }
    fStatistics.RecordCommError();
}

void TModbusRTUThread::FrameLogged(const char* prefix, const TFrameData& data) {
    fHost.AppendLog(fRun, prefix + BytesToHex(data));
}

} // namespace kalvo
