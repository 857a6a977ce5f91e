#include "modbus_serial/modbus_connection.h"

#include "modbus_serial/brindel_error.h"
#include "modbus_serial/modbus_requests.h"
#include "modbus_serial/transaction_thread.h"

#include <algorithm>
#include <cmath>

namespace kalvo {

namespace {

constexpr std::uint32_t kBaudValues[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                         19200, 38400, 56000, 57600, 115200, 128000, 256000};
constexpr std::uint32_t kMinimumSilentMs = 16;

template <typename T> bool Contains(const std::vector<T*>& list, T* item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

} // namespace

TModbusConnection::TModbusConnection(MessageQueue& queue) : fQueue(queue) {}

TModbusConnection::~TModbusConnection() {
    Close();
    fLife.reset();
    std::vector<TransactionClient*> clients;
    {
        std::lock_guard lock(fListLock);
        clients.swap(fClients);
    }
    for (TransactionClient* client : clients) {
        client->ConnectionDestroyed(this);
    }
}

void TModbusConnection::CheckInactive(bool changed) const {
    if (changed && fActive) {
        throw EBrindelError(
            "Connection must NOT be active for the requested action to be performed");
    }
}

void TModbusConnection::CheckActive() const {
    if (!fActive) {
        throw EBrindelError("Connection MUST be active for the requested action to be performed");
    }
}

void TModbusConnection::SetActive(bool value) {
    if (value == fActive) {
        return;
    }
    if (value) {
        Fire(OnBeforeOpen);
        OpenPort();
        fActive = true;
        Fire(OnAfterOpen);
    } else {
        Fire(OnBeforeClose);
        ClosePort();
        Fire(OnAfterClose);
    }
}

void TModbusConnection::OpenPort() {
    if (fHookExistingPort) {
        int handle = -1;
        if (OnGetHookedPortHandle) {
            OnGetHookedPortHandle(*this, handle);
        }
        fLine.Port.Hook(handle);
    } else {
        fLine.Port.Open(fPort);
    }
    try {
        if (fInputBufferSize < 0 || fOutputBufferSize < 0) {
            throw EBrindelError("Failed to initialize serial I/O buffers");
        }
        ApplyLineSettings();
        UpdateRealSilentInterval();
        fThread = std::make_unique<TTransactionThread>(*this);
    } catch (...) {
        fThread.reset();
        fLine.Port.Close();
        throw;
    }
}

void TModbusConnection::ClosePort() {
    fThread.reset();
    fLine.Port.Close();
    fActive = false;
}

LineSettings TModbusConnection::CurrentLineSettings() const {
    return {BaudValue(),  fLine.DataBits, fLine.Parity, fLine.StopBits,
            fFlowControl, fDTREnabled,    fRTSEnabled};
}

std::uint32_t TModbusConnection::BaudValue() const {
    return fLine.BaudRate == brCustom ? fLine.CustomBaudRate
                                      : kBaudValues[static_cast<std::size_t>(fLine.BaudRate)];
}

void TModbusConnection::ApplyLineSettings() {
    fLine.Port.Apply(CurrentLineSettings());
}

void TModbusConnection::UpdateRealSilentInterval() {
    std::uint32_t interval = fSilentInterval;
    if (fTransmissionMode == tmRTU) {
        const std::uint64_t bits = (fLine.Parity != psNone ? 1 : 0) +
                                   (fLine.DataBits == db7 ? 7 : 8) +
                                   (fLine.StopBits == sb2 ? 2 : 1);
        const std::uint64_t product = bits * fSilentInterval * 1000;
        if (product > 0xFFFFFFFFull) {
            throw std::overflow_error("Arithmetic overflow");
        }
        interval = static_cast<std::uint32_t>(
            std::ceil(static_cast<double>(product) / static_cast<double>(BaudValue())));
    }
    std::unique_lock lock(fTimingLock);
    fRealSilentInterval = std::max(interval, kMinimumSilentMs);
}

void TModbusConnection::LineSettingChanged() {
    if (fActive) {
        ApplyLineSettings();
        UpdateRealSilentInterval();
    }
}

void TModbusConnection::SetPort(const std::string& value) {
    CheckInactive(value != fPort);
    fPort = value;
}

void TModbusConnection::SetBaudRate(TBaudRate value) {
    fLine.BaudRate = value;
    LineSettingChanged();
}

void TModbusConnection::SetCustomBaudRate(std::uint32_t value) {
    if (value == 0) {
        throw EBrindelError::Format("Value must be between %d and %d", 1, 4294967295LL);
    }
    if (value != fLine.CustomBaudRate) {
        fLine.CustomBaudRate = value;
        fLine.BaudRate = brCustom;
    }
    LineSettingChanged();
}

void TModbusConnection::SetDataBits(TDataBits value) {
    fLine.DataBits = value;
    LineSettingChanged();
}

void TModbusConnection::SetParity(TParityScheme value) {
    fLine.Parity = value;
    LineSettingChanged();
}

void TModbusConnection::SetStopBits(TStopBits value) {
    fLine.StopBits = value;
    LineSettingChanged();
}

void TModbusConnection::SetFlowControl(TFlowControl value) {
    CheckInactive(value != fFlowControl);
    fFlowControl = value;
}

void TModbusConnection::SetDTREnabled(bool value) {
    CheckInactive(value != fDTREnabled);
    fDTREnabled = value;
}

void TModbusConnection::SetRTSEnabled(bool value) {
    CheckInactive(value != fRTSEnabled);
    fRTSEnabled = value;
}

void TModbusConnection::SetTransmissionMode(TTransmissionMode value) {
    CheckInactive(value != fTransmissionMode);
    fTransmissionMode = value;
}

void TModbusConnection::SetConnectionMode(TConnectionMode value) {
    CheckInactive(value != fConnectionMode);
    fConnectionMode = value;
}

void TModbusConnection::SetHookExistingPort(bool value) {
    CheckInactive(value != fHookExistingPort);
    fHookExistingPort = value;
}

void TModbusConnection::SetInputBufferSize(std::int32_t value) {
    CheckInactive(value != fInputBufferSize);
    fInputBufferSize = value;
}

void TModbusConnection::SetOutputBufferSize(std::int32_t value) {
    CheckInactive(value != fOutputBufferSize);
    fOutputBufferSize = value;
}

void TModbusConnection::SetSilentInterval(std::uint32_t value) {
    fSilentInterval = value;
    if (fActive) {
        UpdateRealSilentInterval();
    }
}

#define KALVO_LOCKED_PROPERTY(Name, field)                                                         \
    std::uint32_t TModbusConnection::Name() const {                                                \
        std::shared_lock lock(fTimingLock);                                                        \
        return field;                                                                              \
    }                                                                                              \
    void TModbusConnection::Set##Name(std::uint32_t value) {                                       \
        std::unique_lock lock(fTimingLock);                                                        \
        field = value;                                                                             \
    }

KALVO_LOCKED_PROPERTY(ReceiveTimeout, fReceiveTimeout)
KALVO_LOCKED_PROPERTY(SendTimeout, fSendTimeout)
KALVO_LOCKED_PROPERTY(TurnaroundDelay, fTurnaroundDelay)
KALVO_LOCKED_PROPERTY(RefetchDelay, fRefetchDelay)
KALVO_LOCKED_PROPERTY(RTSHoldDelay, fRTSHoldDelay)
KALVO_LOCKED_PROPERTY(InterCharTimeout, fInterCharTimeout)
#undef KALVO_LOCKED_PROPERTY

std::uint32_t TModbusConnection::MaxRetries() const {
    std::shared_lock lock(fTimingLock);
    return fMaxRetries;
}

void TModbusConnection::SetMaxRetries(std::uint32_t value) {
    if (value == 0) {
        throw EBrindelError::Format("Value must be between %d and %d", 1, 4294967295LL);
    }
    std::unique_lock lock(fTimingLock);
    fMaxRetries = value;
}

std::uint32_t TModbusConnection::RealSilentInterval() const {
    std::shared_lock lock(fTimingLock);
    return fRealSilentInterval;
}

void TModbusConnection::SetEchoQueryBeforeReply(bool value) {
    std::unique_lock lock(fTimingLock);
    fEchoQueryBeforeReply = value;
}

void TModbusConnection::SetThreadPriority(TThreadPriority value) {
    fThreadPriority = value;
    if (fThread) {
        fThread->ApplyPriority(value);
    }
}

int TModbusConnection::ClientCount() const {
    std::lock_guard lock(fListLock);
    return static_cast<int>(fClients.size());
}

bool TModbusConnection::ServesAddress(std::uint8_t address) const {
    std::lock_guard lock(fListLock);
    return std::any_of(
        fServers.begin(), fServers.end(),
        [address](const TransactionServer* server) { return server->Address() == address; });
}

int TModbusConnection::ServerCount() const {
    std::lock_guard lock(fListLock);
    return static_cast<int>(fServers.size());
}

void TModbusConnection::ChangeDTR(bool value) {
    CheckActive();
    if (fFlowControl == fcDtrDsr) {
        throw EBrindelError("Flow control is not valid for the requested action to be performed");
    }
    fLine.Port.SetDTR(value);
}

void TModbusConnection::ChangeRTS(bool value) {
    CheckActive();
    if (fFlowControl != fcNone && fFlowControl != fcDtrDsr) {
        throw EBrindelError("Flow control is not valid for the requested action to be performed");
    }
    fLine.Port.SetRTS(value);
}

void TModbusConnection::RegisterClient(TransactionClient* client) {
    std::lock_guard lock(fListLock);
    if (!Contains(fClients, client)) {
        fClients.push_back(client);
    }
}

void TModbusConnection::UnregisterClient(TransactionClient* client) {
    std::lock_guard lock(fListLock);
    std::erase(fClients, client);
}

void TModbusConnection::RegisterServer(TransactionServer* server) {
    std::lock_guard lock(fListLock);
    if (!Contains(fServers, server)) {
        fServers.push_back(server);
    }
}

void TModbusConnection::UnregisterServer(TransactionServer* server) {
    std::lock_guard lock(fListLock);
    std::erase(fServers, server);
}

void TModbusConnection::EnqueueTransaction(std::unique_ptr<TModbusTransaction> transaction,
                                           TransactionClient* originator) {
    CheckActive();
    transaction->Originator = originator;
    fThread->Enqueue(std::move(transaction));
}

void TModbusConnection::DiscardPendingTransactions(TransactionClient* client) {
    if (fActive && fConnectionMode == cmClient) {
        fThread->DiscardPendingTransactions(client);
    }
}

std::int32_t TModbusConnection::CountPendingTransactions(TransactionClient* client) const {
    if (!fActive) {
        return 0;
    }
    return fThread->CountPending(client);
}

void TModbusConnection::EmitHeader(const TransactionClient* client, TModbusBuffer& buffer) const {
    buffer.PutByte(client != nullptr ? client->ServerAddress() : 0);
}

void TModbusConnection::EmitHeader(const TransactionServer& server, TModbusBuffer& buffer) const {
    buffer.PutByte(server.Address());
}

std::uint32_t TModbusConnection::Broadcast(std::uint8_t functionCode,
                                           const std::function<void(TModbusBuffer&)>& fill) {
    CheckActive();
    std::unique_ptr<TModbusTransaction> transaction =
        BuildRequest(*this, nullptr, functionCode, fill, nullptr);
    const std::uint32_t id = transaction->Info.ID;
    EnqueueTransaction(std::move(transaction), nullptr);
    return id;
}

std::uint32_t TModbusConnection::WriteSingleCoil(std::uint16_t bitAddr, bool bitValue) {
    return Broadcast(0x05, [=](TModbusBuffer& q) {
        q.PutWordHiLo(bitAddr);
        q.PutWordHiLo(bitValue ? 0xFF00 : 0x0000);
    });
}

std::uint32_t TModbusConnection::WriteSingleRegister(std::uint16_t regAddr,
                                                     std::uint16_t regValue) {
    return Broadcast(0x06, [=](TModbusBuffer& q) {
        q.PutWordHiLo(regAddr);
        q.PutWordHiLo(regValue);
    });
}

std::uint32_t TModbusConnection::WriteMultipleCoils(std::uint16_t startBit,
                                                    const std::vector<bool>& values) {
    CheckRange(startBit, static_cast<std::uint32_t>(values.size()), 1976, true);
    return Broadcast(0x0F, [&](TModbusBuffer& q) {
        q.PutWordHiLo(startBit);
        q.PutWordHiLo(static_cast<std::uint16_t>(values.size()));
        PutBits(q, values);
    });
}

std::uint32_t TModbusConnection::WriteMultipleRegisters(std::uint16_t startReg,
                                                        const std::vector<std::uint16_t>& values) {
    CheckRange(startReg, static_cast<std::uint32_t>(values.size()), 123, false);
    return Broadcast(0x10, [&](TModbusBuffer& q) {
        q.PutWordHiLo(startReg);
        q.PutWordHiLo(static_cast<std::uint16_t>(values.size()));
        q.PutByte(static_cast<std::uint8_t>(2 * values.size()));
        for (std::uint16_t value : values) {
            q.PutWordHiLo(value);
        }
    });
}

void TModbusConnection::ProcessRemoteTransaction(TModbusTransaction& transaction) {
    std::vector<TransactionServer*> servers;
    {
        std::lock_guard lock(fListLock);
        servers = fServers;
    }
    for (TransactionServer* server : servers) {
        if (transaction.Info.Address == 0 || server->Address() == transaction.Info.Address) {
            server->ProcessRequest(transaction);
            if (transaction.Info.Address != 0) {
                return;
            }
        }
    }
}

void TModbusConnection::PostFrame(bool sent, const std::uint8_t* bytes, int count) {
    if (count <= 0 || !(sent ? OnFrameSend : OnFrameReceive)) {
        return;
    }
    TFrameData data(bytes, bytes + count);
    fQueue.Post([this, life = std::weak_ptr(fLife), sent, data = std::move(data)] {
        if (life.expired()) {
            return;
        }
        const FrameEvent& event = sent ? OnFrameSend : OnFrameReceive;
        if (event) {
            event(*this, data);
        }
    });
}

void TModbusConnection::PostCompletion(std::unique_ptr<TModbusTransaction> transaction) {
    std::shared_ptr<TModbusTransaction> carried(std::move(transaction));
    fQueue.Post([this, life = std::weak_ptr(fLife), carried] {
        if (!life.expired()) {
            Deliver(*carried);
        }
    });
}

// The originator hears of its transaction only while it is attached with the address the
// request went to, and only while the connection is active.
void TModbusConnection::Deliver(TModbusTransaction& transaction) {
    TransactionClient* addressee = nullptr;
    {
        std::lock_guard lock(fListLock);
        if (Contains(fClients, transaction.Originator) &&
            transaction.Originator->ServerAddress() == transaction.Info.Address) {
            addressee = transaction.Originator;
        }
    }
    if (addressee == nullptr || !fActive) {
        return;
    }
    try {
        addressee->DoneTransaction(transaction);
    } catch (const std::exception& error) {
        if (OnThreadError) {
            OnThreadError(*this, error.what());
        }
    }
}

void TModbusConnection::PostCapturedFrame(std::uint8_t address, std::uint8_t code,
                                          TFrameData data) {
    fQueue.Post([this, life = std::weak_ptr(fLife), address, code, data = std::move(data)] {
        if (!life.expired() && OnInspectCapturedFrame) {
            OnInspectCapturedFrame(*this, address, code, data);
        }
    });
}

void TModbusConnection::PostInvalidFrameDiscard() {
    fQueue.Post([this, life = std::weak_ptr(fLife)] {
        if (!life.expired()) {
            Fire(OnInvalidFrameDiscard);
        }
    });
}

void TModbusConnection::ReportThreadError(const std::string& message) {
    fQueue.Post([this, life = std::weak_ptr(fLife), message] {
        if (!life.expired() && OnThreadError) {
            OnThreadError(*this, message);
        }
    });
}

void TModbusConnection::RunOnCreatingThread(const std::function<void()>& action,
                                            const std::shared_ptr<CancelSignal>& abandon) {
    // The action may use the caller's data: once abandoned it must not start, and an action
    // already running is waited for.
    struct HandOver {
        std::mutex Running;
        bool Cancelled = false;
        bool Done = false;
    };
    auto handOver = std::make_shared<HandOver>();
    fQueue.Post([action, handOver, abandon] {
        std::lock_guard lock(handOver->Running);
        if (!handOver->Cancelled) {
            action();
        }
        abandon->Notify([&handOver] { handOver->Done = true; });
    });
    if (!abandon->WaitUntil([&handOver] { return handOver->Done; })) {
        std::lock_guard lock(handOver->Running);
        handOver->Cancelled = true;
    }
}

} // namespace kalvo
