#pragma once

#include "metrics/metrics_board.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace kalvo::poll {

// Serves the board over HTTP for Prometheus: GET /metrics (the text format, or OpenMetrics
// when the Accept header asks for it), GET /-/healthy for a supervisor, a small index page at
// /, and 404 for anything else. It listens on the given address only, on threads of its own.
class MetricsServer {
public:
    // Binds at once; a port in use or an address not on this machine throws, with the reason.
    MetricsServer(const std::string& address, int port, const MetricsBoard& board);
    ~MetricsServer();
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    int Port() const { return fPort; }

private:
    std::unique_ptr<httplib::Server> fServer;
    int fPort = 0;
    std::thread fThread;
    std::atomic<bool> fListenEnded = false;
};

} // namespace kalvo::poll
