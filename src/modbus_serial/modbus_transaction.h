#pragma once

#include "modbus_serial/modbus_buffer.h"
#include "modbus_serial/modbus_types.h"

namespace kalvo {

class TransactionClient;

// One request and its reply. Owned by the engine from queueing until it is delivered or
// discarded.
class TModbusTransaction {
public:
    explicit TModbusTransaction(int bufCapacity)
        : FQueryBuffer(bufCapacity), FReplyBuffer(bufCapacity) {}

    TModbusBuffer& QueryBuffer() { return FQueryBuffer; }
    TModbusBuffer& ReplyBuffer() { return FReplyBuffer; }

    bool Custom = false;
    TTransactionInfo Info;
    TransactionClient* Originator = nullptr;
    bool Promiscuous = false;

private:
    TModbusBuffer FQueryBuffer;
    TModbusBuffer FReplyBuffer;
};

} // namespace kalvo
