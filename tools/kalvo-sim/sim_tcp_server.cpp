#include "sim_tcp_server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace kalvo::sim {

namespace {

constexpr std::size_t kHeaderSize = 7;
constexpr std::size_t kMaxLength = 254;

std::system_error SystemError(const std::string& what) {
    return std::system_error(errno, std::generic_category(), what);
}

} // namespace

SimTcpServer::SimTcpServer(const std::string& address, std::uint16_t port, RegisterSource& source,
                           const FaultPlan& plan)
    : fSource(source), fPlan(plan), fResponder(plan) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
        throw std::system_error(EINVAL, std::generic_category(), "not an IPv4 address: " + address);
    }
    fListener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int reuse = 1;
    setsockopt(fListener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    socklen_t length = sizeof local;
    if (fListener < 0 || bind(fListener, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        listen(fListener, 16) != 0 ||
        getsockname(fListener, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        const std::system_error error =
            SystemError("cannot listen on " + address + ":" + std::to_string(port));
        close(fListener);
        throw error;
    }
    fPort = ntohs(local.sin_port);
}

SimTcpServer::~SimTcpServer() {
    for (const auto& [fd, client] : fClients) {
        close(fd);
    }
    close(fListener);
}

void SimTcpServer::Run(int stopFd) {
    for (;;) {
        std::vector<pollfd> fds = {{stopFd, POLLIN, 0}, {fListener, POLLIN, 0}};
        for (const auto& [fd, client] : fClients) {
            fds.push_back({fd, POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), PollTimeoutMs()) < 0 && errno != EINTR) {
            throw SystemError("poll");
        }
        if (fds[0].revents != 0) {
            return;
        }
        if (fds[1].revents != 0) {
            Accept();
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            const auto found = fClients.find(fds[i].fd);
            if (found == fClients.end()) {
                continue;
            }
            const bool alive = (fds[i].revents == 0 || Receive(fds[i].fd, found->second)) &&
                               Flush(fds[i].fd, found->second);
            if (!alive) {
                CloseClient(fds[i].fd);
            }
        }
    }
}

int SimTcpServer::PollTimeoutMs() const {
    int timeout = -1;
    const auto now = Clock::now();
    for (const auto& [fd, client] : fClients) {
        if (!client.Output.empty()) {
            const auto wait =
                std::chrono::ceil<std::chrono::milliseconds>(client.Output.front().Due - now);
            const int ms = static_cast<int>(std::max<std::int64_t>(0, wait.count()));
            timeout = timeout < 0 ? ms : std::min(timeout, ms);
        }
    }
    return timeout;
}

void SimTcpServer::Accept() {
    const int fd = accept4(fListener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
        fClients.emplace(fd, Client{});
    }
}

bool SimTcpServer::Receive(int fd, Client& client) {
    std::uint8_t chunk[2048];
    const ssize_t count = recv(fd, chunk, sizeof chunk, 0);
    if (count <= 0) {
        return count < 0 && (errno == EAGAIN || errno == EINTR);
    }
    client.Input.insert(client.Input.end(), chunk, chunk + count);
    while (client.Input.size() >= kHeaderSize) {
        const std::size_t length = (client.Input[4] << 8) | client.Input[5];
        if (length < 2 || length > kMaxLength) {
            return false;
        }
        if (client.Input.size() < 6 + length) {
            break;
        }
        const Bytes frame(client.Input.begin(),
                          client.Input.begin() + static_cast<long>(6 + length));
        client.Input.erase(client.Input.begin(),
                           client.Input.begin() + static_cast<long>(6 + length));
        if (!HandleFrame(client, frame)) {
            return false;
        }
    }
    return true;
}

bool SimTcpServer::HandleFrame(Client& client, const Bytes& frame) {
    ++client.Requests;
    if (fPlan.DropEvery > 0 && client.Requests % static_cast<std::uint64_t>(fPlan.DropEvery) == 0) {
        return false;
    }
    if (fPlan.Silent) {
        return true;
    }
    const Bytes pdu(frame.begin() + kHeaderSize, frame.end());
    const Bytes answer = fResponder.Respond(pdu, fSource.Image(std::chrono::system_clock::now()));
    const auto length = static_cast<std::uint16_t>(answer.size() + 1);
    const std::uint8_t lastIDByte =
        fPlan.WrongTransactionID ? static_cast<std::uint8_t>(frame[1] ^ 0x5A) : frame[1];
    if (fPlan.Garbage) {
        Schedule(client, Bytes{frame[0], frame[1], 0, 0, 0, 0, frame[6], 0x03});
    }
    Bytes reply = {frame[0],
                   lastIDByte,
                   0,
                   0,
                   static_cast<std::uint8_t>(length >> 8),
                   static_cast<std::uint8_t>(length & 0xFF),
                   frame[6]};
    reply.insert(reply.end(), answer.begin(), answer.end());
    Schedule(client, std::move(reply));
    return true;
}

void SimTcpServer::Schedule(Client& client, Bytes reply) {
    const auto due = Clock::now() + std::chrono::milliseconds(fPlan.DelayMs);
    if (fPlan.SplitPauseMs < 0) {
        client.Output.push_back({due, std::move(reply)});
        return;
    }
    const auto half = reply.begin() + static_cast<long>(reply.size() / 2);
    client.Output.push_back({due, Bytes(reply.begin(), half)});
    client.Output.push_back(
        {due + std::chrono::milliseconds(fPlan.SplitPauseMs), Bytes(half, reply.end())});
}

bool SimTcpServer::Flush(int fd, Client& client) {
    const auto now = Clock::now();
    while (!client.Output.empty() && client.Output.front().Due <= now) {
        const Bytes& data = client.Output.front().Data;
        if (send(fd, data.data(), data.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(data.size())) {
            return false;
        }
        client.Output.pop_front();
    }
    return true;
}

void SimTcpServer::CloseClient(int fd) {
    close(fd);
    fClients.erase(fd);
}

} // namespace kalvo::sim
