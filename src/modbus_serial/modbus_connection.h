#pragma once

#include "modbus_serial/cancel_signal.h"
#include "modbus_serial/frame_codec.h"
#include "modbus_serial/message_queue.h"
#include "modbus_serial/modbus_transaction.h"
#include "modbus_serial/serial_port.h"
#include "modbus_serial/transaction_client.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

namespace kalvo {

class TTransactionThread;

// One serial port for Modbus: line and timing settings, the open port, the worker thread
// with its queue of transactions, the attached clients and servers. Results reach the thread
// that created the connection through its MessageQueue, in posting order.
class TModbusConnection {
public:
    using Event = std::function<void(TModbusConnection&)>;
    using FrameEvent = std::function<void(TModbusConnection&, const TFrameData&)>;
    using CapturedFrameEvent = std::function<void(TModbusConnection&, std::uint8_t serverAddress,
                                                  std::uint8_t commandCode, const TFrameData&)>;
    using HookEvent = std::function<void(TModbusConnection&, int& handle)>;
    using PreprocessEvent =
        std::function<void(TModbusConnection&, std::uint8_t* buffer, int capacity, int& dataSize)>;
    using ErrorEvent = std::function<void(TModbusConnection&, const std::string& message)>;

    // `queue` belongs to the creating thread and must outlive the connection.
    explicit TModbusConnection(MessageQueue& queue);
    ~TModbusConnection();
    TModbusConnection(const TModbusConnection&) = delete;
    TModbusConnection& operator=(const TModbusConnection&) = delete;

    bool Active() const { return fActive; }
    void SetActive(bool value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }

    const std::string& Port() const { return fPort; }
    void SetPort(const std::string& value);
    TBaudRate BaudRate() const { return fLine.BaudRate; }
    void SetBaudRate(TBaudRate value);
    std::uint32_t CustomBaudRate() const { return fLine.CustomBaudRate; }
    void SetCustomBaudRate(std::uint32_t value);
    TDataBits DataBits() const { return fLine.DataBits; }
    void SetDataBits(TDataBits value);
    TParityScheme Parity() const { return fLine.Parity; }
    void SetParity(TParityScheme value);
    TStopBits StopBits() const { return fLine.StopBits; }
    void SetStopBits(TStopBits value);
    TFlowControl FlowControl() const { return fFlowControl; }
    void SetFlowControl(TFlowControl value);
    bool DTREnabled() const { return fDTREnabled; }
    void SetDTREnabled(bool value);
    bool RTSEnabled() const { return fRTSEnabled; }
    void SetRTSEnabled(bool value);
    TTransmissionMode TransmissionMode() const { return fTransmissionMode; }
    void SetTransmissionMode(TTransmissionMode value);
    TConnectionMode ConnectionMode() const { return fConnectionMode; }
    void SetConnectionMode(TConnectionMode value);
    bool HookExistingPort() const { return fHookExistingPort; }
    void SetHookExistingPort(bool value);
    std::int32_t InputBufferSize() const { return fInputBufferSize; }
    void SetInputBufferSize(std::int32_t value);
    std::int32_t OutputBufferSize() const { return fOutputBufferSize; }
    void SetOutputBufferSize(std::int32_t value);
    std::uint32_t SilentInterval() const { return fSilentInterval; }
    void SetSilentInterval(std::uint32_t value);
    std::uint32_t ReceiveTimeout() const;
    void SetReceiveTimeout(std::uint32_t value);
    std::uint32_t SendTimeout() const;
    void SetSendTimeout(std::uint32_t value);
    std::uint32_t TurnaroundDelay() const;
    void SetTurnaroundDelay(std::uint32_t value);
    std::uint32_t RefetchDelay() const;
    void SetRefetchDelay(std::uint32_t value);
    std::uint32_t RTSHoldDelay() const;
    void SetRTSHoldDelay(std::uint32_t value);
    std::uint32_t MaxRetries() const;
    void SetMaxRetries(std::uint32_t value);
    // The longest silence inside an RTU frame whose length is known before it ends as
    // incomplete (never longer than ReceiveTimeout). USB-serial adapters hand bytes over in
    // chunks, so a silence of a few silent intervals inside a reply is normal on them.
    std::uint32_t InterCharTimeout() const;
    void SetInterCharTimeout(std::uint32_t value);
    bool EchoQueryBeforeReply() const { return fEchoQueryBeforeReply; }
    void SetEchoQueryBeforeReply(bool value);
    TThreadPriority ThreadPriority() const { return fThreadPriority; }
    void SetThreadPriority(TThreadPriority value);
    std::uint32_t RealSilentInterval() const;
    int ClientCount() const;
    int ServerCount() const;
    // Whether an attached server answers requests to `address`.
    bool ServesAddress(std::uint8_t address) const;

    Event OnBeforeOpen, OnAfterOpen, OnBeforeClose, OnAfterClose;
    HookEvent OnGetHookedPortHandle;
    FrameEvent OnFrameSend, OnFrameReceive;
    CapturedFrameEvent OnInspectCapturedFrame;
    Event OnBeforeFrameSendAsync, OnAfterFrameSendAsync;
    PreprocessEvent OnPreprocessIncomingFrame;
    Event OnInvalidFrameDiscard;
    // Errors of the worker thread, delivered on the creating thread; the worker goes on.
    ErrorEvent OnThreadError;

    void ChangeDTR(bool value);
    void ChangeRTS(bool value);
    void RegisterClient(TransactionClient* client);
    void UnregisterClient(TransactionClient* client);
    void RegisterServer(TransactionServer* server);
    void UnregisterServer(TransactionServer* server);
    std::uint32_t GetNextUniqueID() { return fNextUniqueID++; }
    void EnqueueTransaction(std::unique_ptr<TModbusTransaction> transaction,
                            TransactionClient* originator);
    void DiscardPendingTransactions(TransactionClient* client);
    std::int32_t CountPendingTransactions(TransactionClient* client) const;
    void EmitHeader(const TransactionClient* client, TModbusBuffer& buffer) const;
    void EmitHeader(const TransactionServer& server, TModbusBuffer& buffer) const;
    void EmitErrorCheck(TModbusBuffer& buffer) const { Codec().EmitErrorCheck(buffer); }
    FrameCodec Codec() const { return FrameCodec(fTransmissionMode, fConnectionMode); }
    // Broadcasts (address 0): sent once, never answered, no event; they return the ID.
    std::uint32_t WriteSingleCoil(std::uint16_t bitAddr, bool bitValue);
    std::uint32_t WriteSingleRegister(std::uint16_t regAddr, std::uint16_t regValue);
    std::uint32_t WriteMultipleCoils(std::uint16_t startBit, const std::vector<bool>& values);
    std::uint32_t WriteMultipleRegisters(std::uint16_t startReg,
                                         const std::vector<std::uint16_t>& values);
    // Server mode: hands a request to the attached server(s) with its address.
    void ProcessRemoteTransaction(TModbusTransaction& transaction);

    // For the worker thread.
    SerialPort& Line() { return fLine.Port; }
    void PostFrame(bool sent, const std::uint8_t* bytes, int count);
    void PostCompletion(std::unique_ptr<TModbusTransaction> transaction);
    void PostCapturedFrame(std::uint8_t address, std::uint8_t code, TFrameData data);
    void PostInvalidFrameDiscard();
    void ReportThreadError(const std::string& message);
    // Runs `action` on the creating thread and waits for it, unless `abandon` is cancelled
    // first (then the action does not run).
    void RunOnCreatingThread(const std::function<void()>& action,
                             const std::shared_ptr<CancelSignal>& abandon);

private:
    struct LineState {
        SerialPort Port;
        TBaudRate BaudRate = br19200;
        std::uint32_t CustomBaudRate = 19200;
        TDataBits DataBits = db8;
        TParityScheme Parity = psEven;
        TStopBits StopBits = sb1;
    };
    // Lets posted messages find out whether the connection still exists.
    struct Life {};

    void CheckInactive(bool changed) const;
    void CheckActive() const;
    void OpenPort();
    void ClosePort();
    void ApplyLineSettings();
    void UpdateRealSilentInterval();
    void LineSettingChanged();
    LineSettings CurrentLineSettings() const;
    std::uint32_t BaudValue() const;
    void Deliver(TModbusTransaction& transaction);
    std::uint32_t Broadcast(std::uint8_t functionCode,
                            const std::function<void(TModbusBuffer&)>& fill);
    void Fire(const Event& event) {
        if (event) {
            event(*this);
        }
    }

    MessageQueue& fQueue;
    std::shared_ptr<Life> fLife = std::make_shared<Life>();
    std::atomic<bool> fActive = false;
    std::string fPort = "ttyS0";
    LineState fLine;
    TFlowControl fFlowControl = fcNone;
    bool fDTREnabled = true;
    bool fRTSEnabled = true;
    TTransmissionMode fTransmissionMode = tmRTU;
    TConnectionMode fConnectionMode = cmClient;
    bool fHookExistingPort = false;
    std::int32_t fInputBufferSize = 1024;
    std::int32_t fOutputBufferSize = 1024;
    std::uint32_t fSilentInterval = 4;
    std::atomic<bool> fEchoQueryBeforeReply = false;
    TThreadPriority fThreadPriority = tpNormal;

    mutable std::shared_mutex fTimingLock;
    std::uint32_t fReceiveTimeout = 1000;
    std::uint32_t fSendTimeout = 1000;
    std::uint32_t fTurnaroundDelay = 100;
    std::uint32_t fRefetchDelay = 0;
    std::uint32_t fRTSHoldDelay = 0;
    std::uint32_t fMaxRetries = 1;
    std::uint32_t fInterCharTimeout = 500;
    std::uint32_t fRealSilentInterval = 0;

    mutable std::mutex fListLock;
    std::vector<TransactionClient*> fClients;
    std::vector<TransactionServer*> fServers;
    std::uint32_t fNextUniqueID = 0;
    std::unique_ptr<TTransactionThread> fThread;
};

} // namespace kalvo
