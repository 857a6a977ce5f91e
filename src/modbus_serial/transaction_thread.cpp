#include "modbus_serial/transaction_thread.h"

#include "modbus_serial/brindel_error.h"
#include "modbus_serial/modbus_connection.h"
#include "modbus_serial/serial_port_error.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace kalvo {

namespace {

constexpr int kNoLimit = -1;

// Niceness for the engine's priorities; raising priority needs privileges we may not have.
int Niceness(TThreadPriority priority) {
    constexpr int kNice[] = {19, 10, 5, 0, -5, -10, -15};
    return kNice[static_cast<int>(priority)];
}

} // namespace

TTransactionThread::TTransactionThread(TModbusConnection& connection)
    : FConnection(connection), fMode(connection.TransmissionMode()),
      fConnectionMode(connection.ConnectionMode()),
      FInputBuffer(static_cast<std::size_t>(FrameGeometry::InterimCapacity(fMode))),
      FOutputBuffer(static_cast<std::size_t>(FrameGeometry::InterimCapacity(fMode))) {
    fThread = std::thread([this] { Execute(); });
}

TTransactionThread::~TTransactionThread() {
    fTerminated = true;
    fAbandon->Cancel();
    {
        std::lock_guard lock(fQueueLock);
        fEventSet = true;
    }
    FEvent.notify_all();
    // Closing must not wait for a reply that may never come, nor for a chatty bus to fall
    // silent: the wait in progress is cut short and the transaction completes as failed.
    FConnection.Line().Break();
    fThread.join();
}

void TTransactionThread::ApplyPriority(TThreadPriority priority) {
    if (fThreadId != 0) {
        setpriority(PRIO_PROCESS, static_cast<id_t>(fThreadId.load()), Niceness(priority));
    }
}

void TTransactionThread::Enqueue(std::unique_ptr<TModbusTransaction> transaction) {
    {
        std::lock_guard lock(fQueueLock);
        FTransactionQueue.push_back(std::move(transaction));
        fEventSet = true;
    }
    FEvent.notify_all();
}

void TTransactionThread::DiscardPendingTransactions(TransactionClient* client) {
    std::lock_guard lock(fQueueLock);
    std::erase_if(FTransactionQueue, [client](const auto& transaction) {
        return client == nullptr || transaction->Originator == client;
    });
}

std::int32_t TTransactionThread::CountPending(TransactionClient* client) const {
    std::lock_guard lock(fQueueLock);
    if (client == nullptr) {
        return static_cast<std::int32_t>(FTransactionQueue.size());
    }
    return static_cast<std::int32_t>(
        std::count_if(FTransactionQueue.begin(), FTransactionQueue.end(), [client](const auto& t) {
            return t->Info.Address == client->ServerAddress();
        }));
}

void TTransactionThread::Execute() {
    pthread_setname_np(pthread_self(), "ModbusSerial");
    fThreadId = gettid();
    ApplyPriority(FConnection.ThreadPriority());
    try {
        switch (fConnectionMode) {
        case cmClient:
            ClientExecute();
            break;
        case cmServer:
            ServerExecute();
            break;
        case cmMonitor:
            MonitorExecute();
            break;
        }
    } catch (const std::exception& error) {
        HandleThreadError(error);
    }
}

// The protocol's pauses end early when the connection closes. A wait for a character may
// have taken the break already; the flag set before it tells this pause.
void TTransactionThread::Sleep(std::uint32_t ms) {
    if (!fTerminated) {
        FConnection.Line().Pause(static_cast<int>(std::min<std::uint32_t>(ms, INT32_MAX)));
    }
}

std::unique_ptr<TModbusTransaction> TTransactionThread::TakeNext() {
    std::lock_guard lock(fQueueLock);
    if (FTransactionQueue.empty()) {
        return nullptr;
    }
    std::unique_ptr<TModbusTransaction> next = std::move(FTransactionQueue.front());
    FTransactionQueue.pop_front();
    return next;
}

void TTransactionThread::ClientExecute() {
    FConnection.Line().Purge();
    FConnection.Line().WaitForRxChar(static_cast<int>(FConnection.RealSilentInterval()));
    while (!fTerminated) {
        {
            std::unique_lock lock(fQueueLock);
            FEvent.wait(lock, [this] { return fEventSet; });
            fEventSet = false;
        }
        while (!fTerminated) {
            std::unique_ptr<TModbusTransaction> transaction = TakeNext();
            if (!transaction) {
                break;
            }
            Process(std::move(transaction));
        }
    }
}

// Every transaction ends in one completion, also when an attempt raised an error: its
// originator must not be left waiting for it.
void TTransactionThread::Process(std::unique_ptr<TModbusTransaction> transaction) {
    try {
        transaction->Info.Retries = 0;
        const int querySize =
            FConnection.Codec().EncodeFrame(transaction->QueryBuffer(), FOutputBuffer.data(),
                                            static_cast<int>(FOutputBuffer.size()));
        do {
            Attempt(*transaction, querySize);
            Sleep(FConnection.RefetchDelay());
        } while (transaction->Info.Reply < srUnmatchedReply &&
                 transaction->Info.Retries < FConnection.MaxRetries() && !fTerminated);
    } catch (const std::exception& error) {
        transaction->Info.Reply = srNone;
        HandleThreadError(error);
    }
    if (transaction->Info.Address != 0 || transaction->Custom) {
        FConnection.PostCompletion(std::move(transaction));
    }
}

void TTransactionThread::Attempt(TModbusTransaction& transaction, int querySize) {
    transaction.Info.Reply = srNone;
    ++transaction.Info.Retries;
    PurgeLine();
    if (!SendFrame(FOutputBuffer.data(), querySize)) {
        return;
    }
    // Only a frame that went out is reported as sent.
    FConnection.PostFrame(true, FOutputBuffer.data(), querySize);
    if (transaction.Info.Address != 0 || transaction.Custom) {
        ReceiveReply(transaction, querySize);
    } else {
        Sleep(FConnection.TurnaroundDelay());
        transaction.Info.Reply = srNormalReply;
    }
}

// Listens until a frame from the queried address, or silence, ends the attempt. Frames for
// other addresses are heard out, but only until the reply time-out: a chatty bus cannot keep
// the attempt going.
void TTransactionThread::ReceiveReply(TModbusTransaction& transaction, int querySize) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(FConnection.ReceiveTimeout());
    auto remaining = [&deadline] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<std::int64_t>(0, left.count()));
    };
    const RtuFrameReceiver::Rule rule = ReplyRule(transaction);
    do {
        int replySize = ReceiveFrame(remaining(), rule);
        if (FConnection.EchoQueryBeforeReply()) {
            replySize = RemoveEcho(replySize, querySize, remaining(), rule);
        }
        FConnection.PostFrame(false, FInputBuffer.data(), replySize);
        transaction.Info.Reply = Classify(transaction, replySize);
    } while (transaction.Info.Reply == srUnexpectedReply && remaining() > 0 && !fTerminated);
    if (transaction.Info.Reply == srUnexpectedReply) {
        transaction.Info.Reply = srNone;
    }
}

// A reply's length is known from its own first bytes, unless the request is one the engine
// does not interpret or an echo of the request comes first.
RtuFrameReceiver::Rule TTransactionThread::ReplyRule(const TModbusTransaction& transaction) const {
    const std::uint8_t address = transaction.Info.Address;
    return {!transaction.Custom && !transaction.Promiscuous && !FConnection.EchoQueryBeforeReply(),
            RtuFrameLength::Kind::Reply, [address](std::uint8_t from) { return from == address; }};
}

int TTransactionThread::RemoveEcho(int replySize, int querySize, int timeoutMs,
                                   const RtuFrameReceiver::Rule& rule) {
    if (replySize < querySize || std::memcmp(FInputBuffer.data(), FOutputBuffer.data(),
                                             static_cast<std::size_t>(querySize)) != 0) {
        return replySize;
    }
    if (replySize == querySize) {
        return ReceiveFrame(timeoutMs, rule);
    }
    std::memmove(FInputBuffer.data(), FInputBuffer.data() + querySize,
                 static_cast<std::size_t>(replySize - querySize));
    return replySize - querySize;
}

TServerReply TTransactionThread::Classify(TModbusTransaction& transaction, int replySize) {
    if (replySize == 0) {
        return srNone;
    }
    TModbusBuffer& reply = transaction.ReplyBuffer();
    if (!FConnection.Codec().DecodeFrame(FInputBuffer.data(), replySize, reply)) {
        return srInvalidFrame;
    }
    const std::uint8_t* query = transaction.QueryBuffer().StartPtr();
    const std::uint8_t* answer = reply.StartPtr();
    if (!transaction.Promiscuous && answer[0] != query[0]) {
        return srUnexpectedReply;
    }
    if ((answer[1] & 0x7F) != query[1]) {
        return srUnmatchedReply;
    }
    if (reply.Size() == FrameGeometry::MinReply(fMode) && answer[1] > 0x80) {
        transaction.Info.ExceptionCode = answer[2];
        transaction.Info.Exception = ExceptionFromCode(answer[2]);
        return srExceptionReply;
    }
    return srNormalReply;
}

bool TTransactionThread::SendFrame(const std::uint8_t* bytes, int count) {
    if (FConnection.OnBeforeFrameSendAsync) {
        FConnection.OnBeforeFrameSendAsync(FConnection);
    }
    const bool rtsToggle = FConnection.FlowControl() == fcRtsToggle;
    if (rtsToggle) {
        FConnection.Line().SetRTS(true);
    }
    const bool sent =
        FConnection.Line().Write(bytes, count, static_cast<int>(FConnection.SendTimeout()));
    if (rtsToggle) {
        Sleep(FConnection.RTSHoldDelay());
        FConnection.Line().SetRTS(false);
    }
    if (FConnection.OnAfterFrameSendAsync) {
        FConnection.OnAfterFrameSendAsync(FConnection);
    }
    return sent;
}

int TTransactionThread::ReceiveFrame(int timeoutMs, const RtuFrameReceiver::Rule& rule) {
    const int size =
        fMode == tmRTU ? ReceiveRtuFrame(timeoutMs, rule) : ReceiveAsciiFrame(timeoutMs);
    int dataSize = size;
    if (FConnection.OnPreprocessIncomingFrame) {
        FConnection.OnPreprocessIncomingFrame(FConnection, FInputBuffer.data(),
                                              static_cast<int>(FInputBuffer.size()), dataSize);
    }
    return dataSize;
}

int TTransactionThread::ReceiveRtuFrame(int timeoutMs, const RtuFrameReceiver::Rule& rule) {
    const auto silent = static_cast<int>(FConnection.RealSilentInterval());
    const auto interChar =
        static_cast<int>(std::min(FConnection.InterCharTimeout(), FConnection.ReceiveTimeout()));
    return fReceiver.Receive(FConnection.Line(), FInputBuffer.data(),
                             static_cast<int>(FInputBuffer.size()), timeoutMs, rule,
                             {silent, std::max(silent, interChar)});
}

void TTransactionThread::PurgeLine() {
    FConnection.Line().Purge();
    fReceiver.Discard();
}

int TTransactionThread::ReceiveAsciiFrame(int timeoutMs) {
    SerialPort& line = FConnection.Line();
    const int capacity = static_cast<int>(FInputBuffer.size());
    int state = 0;
    int length = 0;
    auto scanChunk = [&]() {
        const int read = line.ReadAvailable(FInputBuffer.data() + length, capacity - length);
        int frameStart = -1;
        int count = length;
        for (int i = length; i < length + read && state != 3; ++i) {
            const std::uint8_t c = FInputBuffer[static_cast<std::size_t>(i)];
            if (c == ':') {
                state = 1;
                frameStart = i;
                count = 1;
            } else if (state == 1) {
                ++count;
                state = c == '\r' ? 2 : 1;
            } else if (state == 2) {
                state = c == '\n' ? 3 : 0;
                count = c == '\n' ? count + 1 : 0;
            }
        }
        if (frameStart >= 0) {
            std::memmove(FInputBuffer.data(), FInputBuffer.data() + frameStart,
                         static_cast<std::size_t>(count));
        }
        length = state == 0 ? 0 : count;
        return read;
    };
    if (timeoutMs == 0) {
        return 0;
    }
    while (state == 0 && line.WaitForRxChar(timeoutMs) && scanChunk() > 0) {
    }
    while ((state == 1 || state == 2) &&
           line.WaitForRxChar(static_cast<int>(FConnection.RealSilentInterval())) &&
           scanChunk() > 0) {
    }
    return length;
}

void TTransactionThread::MonitorExecute() {
    SerialPort& line = FConnection.Line();
    line.Purge();
    line.WaitForRxChar(static_cast<int>(FConnection.RealSilentInterval()));
    TModbusBuffer buffer(FrameGeometry::TransactionCapacity(fMode));
    const FrameCodec codec = FConnection.Codec();
    // A monitor cannot tell requests from replies: a frame ends at its request length only
    // where its CRC agrees.
    const RtuFrameReceiver::Rule rule{true, RtuFrameLength::Kind::Request, {}};
    while (!fTerminated) {
        try {
            const int size = ReceiveFrame(kNoLimit, rule);
            FConnection.PostFrame(false, FInputBuffer.data(), size);
            if (fTerminated || size == 0) {
                continue;
            }
            if (codec.DecodeFrame(FInputBuffer.data(), size, buffer)) {
                const std::uint8_t* frame = buffer.StartPtr();
                const int checkSize = FrameGeometry::ErrorCheckSize(fMode);
                FConnection.PostCapturedFrame(
                    frame[0], frame[1], TFrameData(frame + 2, frame + buffer.Size() - checkSize));
                PurgeLine();
            } else {
                FConnection.PostInvalidFrameDiscard();
            }
        } catch (const ESerialPortError& error) {
            HandleThreadError(error);
            return;
        } catch (const std::exception& error) {
            HandleThreadError(error);
        }
    }
}

void TTransactionThread::ServerExecute() {
    SerialPort& line = FConnection.Line();
    line.Purge();
    line.WaitForRxChar(static_cast<int>(FConnection.RealSilentInterval()));
    TModbusTransaction work(FrameGeometry::TransactionCapacity(fMode));
    const RtuFrameReceiver::Rule rule{
        true, RtuFrameLength::Kind::Request,
        [this](std::uint8_t address) { return FConnection.ServesAddress(address); }};
    while (!fTerminated) {
        try {
            const int size = ReceiveFrame(kNoLimit, rule);
            FConnection.PostFrame(false, FInputBuffer.data(), size);
            if (!fTerminated && size > 0) {
                ServeRequest(work, size);
            }
        } catch (const ESerialPortError& error) {
            // A port that is gone stays gone: report it once instead of spinning on it.
            HandleThreadError(error);
            return;
        } catch (const std::exception& error) {
            HandleThreadError(error);
        }
    }
}

void TTransactionThread::ServeRequest(TModbusTransaction& work, int size) {
    const FrameCodec codec = FConnection.Codec();
    if (!codec.DecodeFrame(FInputBuffer.data(), size, work.QueryBuffer())) {
        FConnection.PostInvalidFrameDiscard();
        return;
    }
    work.Info.Address = work.QueryBuffer().StartPtr()[0];
    work.ReplyBuffer().SetSize(0);
    FConnection.RunOnCreatingThread([this, &work] { FConnection.ProcessRemoteTransaction(work); },
                                    fAbandon);
    if (work.Info.Address == 0 || work.ReplyBuffer().Size() == 0 || fTerminated) {
        return;
    }
    const int replySize = codec.EncodeFrame(work.ReplyBuffer(), FOutputBuffer.data(),
                                            static_cast<int>(FOutputBuffer.size()));
    FConnection.PostFrame(true, FOutputBuffer.data(), replySize);
    PurgeLine();
    SendFrame(FOutputBuffer.data(), replySize);
}

void TTransactionThread::HandleThreadError(const std::exception& error) {
    FConnection.ReportThreadError(error.what());
}

} // namespace kalvo
