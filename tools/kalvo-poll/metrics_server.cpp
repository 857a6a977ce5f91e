#include "metrics_server.h"

#include "metrics/metrics_exposition.h"

#include <cerrno>
#include <cstring>
#include <httplib.h>
#include <stdexcept>

namespace kalvo::poll {

namespace {

constexpr const char* kIndex =
    "<!DOCTYPE html><html><head><title>kalvo-poll</title></head><body>"
    "<h1>kalvo-poll</h1><p><a href=\"/metrics\">Metrics</a></p></body></html>\n";

} // namespace

MetricsServer::MetricsServer(const std::string& address, int port, const MetricsBoard& board)
    : fServer(std::make_unique<httplib::Server>()) {
    // Two threads answer: a scrape and a health check at the same time, no more.
    fServer->new_task_queue = [] { return new httplib::ThreadPool(2); };
    fServer->Get("/metrics", [&board](const httplib::Request& request, httplib::Response& reply) {
        const auto format = MetricsExposition::Negotiate(request.get_header_value("Accept"));
        reply.set_content(MetricsExposition::Text(board.Snapshots(), format),
                          std::string(MetricsExposition::ContentType(format)).c_str());
    });
    fServer->Get("/-/healthy", [](const httplib::Request&, httplib::Response& reply) {
        reply.set_content("kalvo-poll is healthy.\n", "text/plain; charset=utf-8");
    });
    fServer->Get("/", [](const httplib::Request&, httplib::Response& reply) {
        reply.set_content(kIndex, "text/html; charset=utf-8");
    });
    if (port == 0) {
        fPort = fServer->bind_to_any_port(address);
    } else if (fServer->bind_to_port(address, port)) {
        fPort = port;
    }
    if (fPort <= 0) {
        throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port) + ": " +
                                 std::strerror(errno));
    }
    fThread = std::thread([this] {
        fServer->listen_after_bind();
        fListenEnded = true;
    });
}

// The library's stop() does nothing before its loop has begun, and that loop would then run
// for ever: it is awaited first (its start follows the thread's at once).
MetricsServer::~MetricsServer() {
    while (!fServer->is_running() && !fListenEnded) {
        std::this_thread::yield();
    }
    fServer->stop();
    fThread.join();
}

} // namespace kalvo::poll
