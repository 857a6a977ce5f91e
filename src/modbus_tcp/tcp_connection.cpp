#include "modbus_tcp/tcp_connection.h"

#include "modbus_tcp/host_resolver.h"
#include "modbus_tcp/tcp_error.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kalvo {

TcpConnection::TcpConnection() : fWakeup(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fWakeup < 0) {
        throw ETcpError::FromErrno(errno);
    }
}

TcpConnection::~TcpConnection() {
    Disconnect();
    close(fWakeup);
}

void TcpConnection::Interrupt() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(fWakeup, &one, sizeof one);
}

void TcpConnection::ThrowIfInterrupted() const {
    pollfd wakeup{fWakeup, POLLIN, 0};
    if (poll(&wakeup, 1, 0) > 0) {
        throw ETcpError("Operation aborted");
    }
}

bool TcpConnection::WaitFor(short events, int timeoutMs) {
    pollfd fds[2] = {{fSocket, events, 0}, {fWakeup, POLLIN, 0}};
    int ready = 0;
    do {
        ready = poll(fds, 2, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
        throw ETcpError::FromErrno(errno);
    }
    if (fds[1].revents != 0) {
        throw ETcpError("Operation aborted");
    }
    return ready > 0 && fds[0].revents != 0;
}

void TcpConnection::Connect(const std::string& host, std::uint16_t port, int timeoutMs) {
    ThrowIfInterrupted();
    Disconnect();
    const sockaddr_in address = HostResolver::Resolve(host, port, fWakeup, fLookup);
    fSocket = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fSocket < 0) {
        throw ETcpError::FromErrno(errno);
    }
    try {
        const int noDelay = 1;
        setsockopt(fSocket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        if (connect(fSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            if (errno != EINPROGRESS) {
                throw ETcpError::FromErrno(errno);
            }
            WaitWritable(timeoutMs);
        }
    } catch (...) {
        Disconnect();
        throw;
    }
}

void TcpConnection::WaitWritable(int timeoutMs) {
    if (!WaitFor(POLLOUT, timeoutMs)) {
        throw ETcpError::FromErrno(ETIMEDOUT);
    }
    int error = 0;
    socklen_t length = sizeof error;
    getsockopt(fSocket, SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0) {
        throw ETcpError::FromErrno(error);
    }
}

void TcpConnection::Disconnect() {
    if (fSocket >= 0) {
        close(fSocket);
        fSocket = -1;
    }
    fPeerClosed = false;
    fInput.clear();
}

void TcpConnection::CheckForGracefulDisconnect() {
    if (fSocket < 0) {
        throw ETcpError("Not Connected");
    }
    if (fPeerClosed && fInput.empty()) {
        Disconnect();
        throw ETcpError("Connection Closed Gracefully.");
    }
}

void TcpConnection::Write(std::span<const std::uint8_t> bytes) {
    CheckForGracefulDisconnect();
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = send(fSocket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count >= 0) {
            sent += static_cast<std::size_t>(count);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            WaitFor(POLLOUT, -1);
        } else if (errno != EINTR) {
            throw ETcpError::FromErrno(errno);
        }
    }
}

void TcpConnection::CheckForDataOnSource(int timeoutMs) {
    CheckForGracefulDisconnect();
    if (fPeerClosed || !WaitFor(POLLIN, timeoutMs)) {
        return;
    }
    ReceiveAvailable();
}

void TcpConnection::ReceiveAvailable() {
    // Bounded, so that a peer that never stops sending cannot hold the caller here.
    constexpr int kMaxChunks = 16;
    std::uint8_t chunk[4096];
    for (int chunks = 0; chunks < kMaxChunks; ++chunks) {
        const ssize_t count = recv(fSocket, chunk, sizeof chunk, 0);
        if (count > 0) {
            fInput.insert(fInput.end(), chunk, chunk + count);
            if (static_cast<std::size_t>(count) < sizeof chunk) {
                return;
            }
            continue;
        }
        if (count == 0) {
            fPeerClosed = true;
            return;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return;
        }
        if (errno != EINTR) {
            throw ETcpError::FromErrno(errno);
        }
    }
}

std::vector<std::uint8_t> TcpConnection::ReadBytes(std::size_t count) {
    count = std::min(count, fInput.size());
    std::vector<std::uint8_t> bytes(fInput.begin(), fInput.begin() + static_cast<long>(count));
    fInput.erase(fInput.begin(), fInput.begin() + static_cast<long>(count));
    return bytes;
}

std::span<const std::uint8_t> TcpConnection::PeekBytes(std::size_t count) const {
    return std::span<const std::uint8_t>(fInput).first(std::min(count, fInput.size()));
}

void TcpConnection::DiscardInput() {
    fInput.clear();
    if (fSocket >= 0 && !fPeerClosed) {
        ReceiveAvailable();
        fInput.clear();
    }
}

} // namespace kalvo
