#pragma once

#include "fault_plan.h"
#include "pdu_responder.h"
#include "register_source.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace kalvo::sim {

// A Modbus/TCP server for any number of clients on one thread: poll() on the listener, the
// clients and a stop descriptor; replies wait in per-client queues until their due time, which
// is how delays and split replies happen without blocking anyone else.
class SimTcpServer {
public:
    using Bytes = std::vector<std::uint8_t>;

    // Binds and listens at once; raises std::system_error when it cannot.
    SimTcpServer(const std::string& address, std::uint16_t port, RegisterSource& source,
                 const FaultPlan& plan);
    ~SimTcpServer();
    SimTcpServer(const SimTcpServer&) = delete;
    SimTcpServer& operator=(const SimTcpServer&) = delete;

    std::uint16_t Port() const { return fPort; }
    // Serves until `stopFd` becomes readable.
    void Run(int stopFd);

private:
    using Clock = std::chrono::steady_clock;
    struct Outgoing {
        Clock::time_point Due;
        Bytes Data;
    };
    struct Client {
        Bytes Input;
        std::deque<Outgoing> Output;
        std::uint64_t Requests = 0;
    };

    int PollTimeoutMs() const;
    void Accept();
    bool Receive(int fd, Client& client);
    bool HandleFrame(Client& client, const Bytes& frame);
    void Schedule(Client& client, Bytes reply);
    bool Flush(int fd, Client& client);
    void CloseClient(int fd);

    int fListener = -1;
    std::uint16_t fPort = 0;
    RegisterSource& fSource;
    const FaultPlan& fPlan;
    PduResponder fResponder;
    std::map<int, Client> fClients;
};

} // namespace kalvo::sim
