#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace kalvo::test {

// A Modbus/TCP server on 127.0.0.1 for tests: every complete request frame goes to a handler
// that scripts the answer, segment by segment, with pauses, or a closed connection.
class ScriptedModbusServer {
public:
    using Bytes = std::vector<std::uint8_t>;
    struct Segment {
        Bytes Data;
        int DelayMsBefore = 0;
        bool CloseAfter = false;
    };
    using Handler = std::function<std::vector<Segment>(const Bytes& request)>;

    explicit ScriptedModbusServer(Handler handler);
    ~ScriptedModbusServer();
    ScriptedModbusServer(const ScriptedModbusServer&) = delete;
    ScriptedModbusServer& operator=(const ScriptedModbusServer&) = delete;

    std::uint16_t Port() const { return fPort; }
    std::vector<Bytes> Requests() const;

    // A frame with the given transaction identifier, unit and PDU.
    static Bytes Frame(std::uint16_t transactionID, std::uint8_t unit, const Bytes& pdu);
    // The normal reply to a read of holding registers, served from `image` (protocol
    // addresses); addresses outside it get exception 2.
    static Bytes ImageReply(const Bytes& request, std::span<const std::uint16_t> image);
    // A handler that answers every request from `image` at once.
    static Handler Serving(std::span<const std::uint16_t> image);

private:
    void Serve();
    void ServeConnection(int client);
    bool Answer(int client, const Bytes& request);

    Handler fHandler;
    int fListener = -1;
    int fStop = -1;
    std::uint16_t fPort = 0;
    mutable std::mutex fMutex;
    std::vector<Bytes> fRequests;
    std::thread fThread;
};

} // namespace kalvo::test
