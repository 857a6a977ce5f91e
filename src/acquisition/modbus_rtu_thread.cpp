#include "acquisition/modbus_rtu_thread.h"

#include "acquisition/module_line.h"
#include "registers/hex_text.h"

#include <algorithm>

namespace kalvo {

TModbusRTUThread::TModbusRTUThread(PollingHost& host, CommStatistics& statistics, RunId run,
                                   MessageQueue& queue, Parameters parameters)
    : fModbusConn(queue),
      fLife(host, statistics, run,
            {parameters.Cycles, parameters.PollDelay, parameters.ResetStatistics}) {
    ConfigureConnection(parameters);
    fModBusRTU.SetServerAddress(static_cast<std::uint8_t>(parameters.ServerAddr & 0xFF));
    fModBusRTU.OnHoldingRegistersRead =
        [this](TModbusClient&, const TTransactionInfo& info, std::uint16_t start, std::uint16_t,
               const TRegValues& values) { ModbusRTUHoldingRegistersRead(info, start, values); };
    fModBusRTU.SetConnection(&fModbusConn);
    fLife.Start(
        "ModbusRTUThread", [this] { Execute(); }, [this] { fReadDone.Abort(); });
}

void TModbusRTUThread::ConfigureConnection(const Parameters& parameters) {
    SetModuleLine(fModbusConn, parameters.COMPort, parameters.Speed);
    fModbusConn.OnFrameSend = [this](TModbusConnection&, const TFrameData& data) {
        FrameLogged("Send: ", data);
    };
    fModbusConn.OnFrameReceive = [this](TModbusConnection&, const TFrameData& data) {
        FrameLogged("Recv: ", data);
    };
    fModbusConn.OnThreadError = [this](TModbusConnection&, const std::string& message) {
        PortFailed(message);
    };
}

TModbusRTUThread::~TModbusRTUThread() {
    fLife.Abort();
    fLife.Join();
    fModBusRTU.SetConnection(nullptr);
    fModbusConn.Close();
}

void TModbusRTUThread::Execute() {
    if (!OpenPort()) {
        return;
    }
    fLife.Host().FillRegisters(fLife.Run());
    std::uint32_t cycle = 0;
    while (fLife.Continues(cycle)) {
        fLife.Statistics().CountRequest();
        const RegisterBlock block = cycle % 2 == 0 ? RegisterBlock::A : RegisterBlock::B;
        ++cycle;
        if (ReadBlock(block)) {
            fLife.Pause(cycle);
        }
    }
}

bool TModbusRTUThread::OpenPort() {
    try {
        fModbusConn.SetActive(true);
        return true;
    } catch (const std::exception& error) {
        FailRun(error.what());
        return false;
    }
}

// True when the read completed; false after 5000 ms without its completion or an abort.
bool TModbusRTUThread::ReadBlock(RegisterBlock block) {
    const BlockSpan& span = SpanOf(block);
    try {
        fReadDone.Expect([&] {
            return fModBusRTU.ReadHoldingRegisters(static_cast<std::uint16_t>(span.First),
                                                   static_cast<std::uint16_t>(span.Count));
        });
    } catch (const std::exception& error) {
        FailRun(error.what());
        return false;
    }
    return fReadDone.Wait(std::chrono::milliseconds(kReadDoneWaitMs));
}

void TModbusRTUThread::FailRun(const std::string& message) {
    CommStatistics& statistics = fLife.Statistics();
    statistics.CountNoResponse();
    statistics.RecordCommError();
    fLife.UpdateDebugWindow();
    fLife.Log(message);
    fLife.Stop();
    fLife.Host().StopRun(fLife.Run());
}

// On the connection's creating thread. The worker reports a failed port before it completes
// the transaction that met the failure, so that completion is not counted a second time.
void TModbusRTUThread::PortFailed(const std::string& message) {
    if (fLife.Aborted() || fPortFailed) {
        return;
    }
    fPortFailed = true;
    FailRun(message);
}

// On the connection's creating thread.
void TModbusRTUThread::ModbusRTUHoldingRegistersRead(const TTransactionInfo& info,
                                                     std::uint16_t startReg,
                                                     const TRegValues& values) {
    if (!fReadDone.Accepts(info.ID)) {
        return;
    }
    if (fPortFailed) {
        fReadDone.Complete(info.ID);
        return;
    }
    const RegisterBlock block = BlockOf(startReg);
    if (info.Reply == srNormalReply) {
        fLife.Statistics().CountResponse();
        const auto count = static_cast<std::size_t>(SpanOf(block).Count);
        fLife.Host().RefreshDisplay(fLife.Run(), block,
                                    std::span(values).first(std::min(values.size(), count)));
    } else {
        CountFailure(info);
        fLife.Host().ReadFailed(fLife.Run(), block);
    }
    fLife.UpdateDebugWindow();
    fReadDone.Complete(info.ID);
}

void TModbusRTUThread::CountFailure(const TTransactionInfo& info) {
    CommStatistics& statistics = fLife.Statistics();
    switch (info.Reply) {
    case srUnmatchedReply:
        fLife.Log("Received answer does not macht the request!");
        statistics.CountUnmatched();
        break;
    case srExceptionReply:
        fLife.Log("Error answer received!");
        statistics.CountException();
        break;
    case srNone:
        fLife.Log("No answer from KALVO module!");
        statistics.CountNoResponse();
        break;
    default:
        fLife.Log("Invalid answer!");
        statistics.CountInvalid();
        break;
    }
    statistics.RecordCommError();
}

void TModbusRTUThread::FrameLogged(const char* prefix, const TFrameData& data) {
    fLife.Log(prefix + BytesToHex(data));
}

} // namespace kalvo
