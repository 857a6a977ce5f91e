#pragma once

#include "modbus_serial/cancel_signal.h"
#include "modbus_serial/modbus_transaction.h"
#include "modbus_serial/modbus_types.h"
#include "modbus_serial/rtu_frame_receiver.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kalvo {

class TModbusConnection;
class TransactionClient;

// The worker of an active connection. As a client it sends the queued transactions one at a
// time, receives and classifies each reply with the serial timing rules, retries, and posts
// the result; as a server it answers requests; as a monitor it reports every frame.
class TTransactionThread {
public:
    // Starts at once.
    explicit TTransactionThread(TModbusConnection& connection);
    // Cuts the transaction in progress short, then destroys the queued ones without events.
    ~TTransactionThread();
    TTransactionThread(const TTransactionThread&) = delete;
    TTransactionThread& operator=(const TTransactionThread&) = delete;

    void Enqueue(std::unique_ptr<TModbusTransaction> transaction);
    void DiscardPendingTransactions(TransactionClient* client);
    std::int32_t CountPending(TransactionClient* client) const;
    void ApplyPriority(TThreadPriority priority);

private:
    void Execute();
    void ClientExecute();
    void ServerExecute();
    void MonitorExecute();
    std::unique_ptr<TModbusTransaction> TakeNext();
    void Process(std::unique_ptr<TModbusTransaction> transaction);
    void Attempt(TModbusTransaction& transaction, int querySize);
    void ReceiveReply(TModbusTransaction& transaction, int querySize);
    RtuFrameReceiver::Rule ReplyRule(const TModbusTransaction& transaction) const;
    int RemoveEcho(int replySize, int querySize, int timeoutMs, const RtuFrameReceiver::Rule& rule);
    TServerReply Classify(TModbusTransaction& transaction, int replySize);
    bool SendFrame(const std::uint8_t* bytes, int count);
    int ReceiveFrame(int timeoutMs, const RtuFrameReceiver::Rule& rule);
    int ReceiveRtuFrame(int timeoutMs, const RtuFrameReceiver::Rule& rule);
    void PurgeLine();
    int ReceiveAsciiFrame(int timeoutMs);
    void ServeRequest(TModbusTransaction& work, int size);
    void HandleThreadError(const std::exception& error);
    void Sleep(std::uint32_t ms);

    TModbusConnection& FConnection;
    const TTransmissionMode fMode;
    const TConnectionMode fConnectionMode;
    mutable std::mutex fQueueLock;
    std::condition_variable FEvent;
    bool fEventSet = false;
    std::deque<std::unique_ptr<TModbusTransaction>> FTransactionQueue;
    std::vector<std::uint8_t> FInputBuffer;
    std::vector<std::uint8_t> FOutputBuffer;
    RtuFrameReceiver fReceiver;
    std::atomic<bool> fTerminated = false;
    // Releases a wait for the creating thread when the worker ends.
    const std::shared_ptr<CancelSignal> fAbandon = std::make_shared<CancelSignal>();
    std::atomic<pid_t> fThreadId = 0;
    std::thread fThread;
};

} // namespace kalvo
