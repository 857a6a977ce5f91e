#pragma once

#include <cstdint>

namespace kalvo {

class TModbusConnection;
class TModbusTransaction;

// What a connection needs of an attached client: its server address, to match completions,
// and the completion itself, run on the connection's creating thread.
class TransactionClient {
public:
    virtual ~TransactionClient() = default;
    virtual std::uint8_t ServerAddress() const = 0;
    virtual void DoneTransaction(TModbusTransaction& transaction) = 0;
    // The connection is going away; the client must forget it.
    virtual void ConnectionDestroyed(TModbusConnection*) {}
};

// What a connection in server mode needs of an attached server: its address and the request
// handling, which fills the reply buffer (or leaves it empty for no reply).
class TransactionServer {
public:
    virtual ~TransactionServer() = default;
    virtual std::uint8_t Address() const = 0;
    virtual void ProcessRequest(TModbusTransaction& transaction) = 0;
};

} // namespace kalvo
