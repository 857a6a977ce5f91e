#include "scripted_modbus_server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kalvo::test {

ScriptedModbusServer::ScriptedModbusServer(Handler handler) : fHandler(std::move(handler)) {
    fListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    fStop = eventfd(0, EFD_CLOEXEC);
    const int reuse = 1;
    setsockopt(fListener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fListener, 8) != 0 ||
        getsockname(fListener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("test server cannot listen");
    }
    fPort = ntohs(address.sin_port);
    fThread = std::thread([this] { Serve(); });
}

ScriptedModbusServer::~ScriptedModbusServer() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(fStop, &one, sizeof one);
    fThread.join();
    close(fListener);
    close(fStop);
}

std::vector<ScriptedModbusServer::Bytes> ScriptedModbusServer::Requests() const {
    std::lock_guard lock(fMutex);
    return fRequests;
}

void ScriptedModbusServer::Serve() {
    for (;;) {
        pollfd fds[2] = {{fListener, POLLIN, 0}, {fStop, POLLIN, 0}};
        poll(fds, 2, -1);
        if (fds[1].revents != 0) {
            return;
        }
        const int client = accept4(fListener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            ServeConnection(client);
            close(client);
        }
    }
}

void ScriptedModbusServer::ServeConnection(int client) {
    Bytes pending;
    for (;;) {
        pollfd fds[2] = {{client, POLLIN, 0}, {fStop, POLLIN, 0}};
        poll(fds, 2, -1);
        if (fds[1].revents != 0) {
            return;
        }
        std::uint8_t chunk[1024];
        const ssize_t count = recv(client, chunk, sizeof chunk, 0);
        if (count <= 0) {
            return;
        }
        pending.insert(pending.end(), chunk, chunk + count);
        while (pending.size() >= 7 && pending.size() >= 6u + ((pending[4] << 8) | pending[5])) {
            const std::size_t size = 6u + ((pending[4] << 8) | pending[5]);
            const Bytes request(pending.begin(), pending.begin() + static_cast<long>(size));
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(size));
            if (!Answer(client, request)) {
                return;
            }
        }
    }
}

bool ScriptedModbusServer::Answer(int client, const Bytes& request) {
    {
        std::lock_guard lock(fMutex);
        fRequests.push_back(request);
    }
    for (const Segment& segment : fHandler(request)) {
        pollfd stop{fStop, POLLIN, 0};
        if (poll(&stop, 1, segment.DelayMsBefore) > 0) {
            return false;
        }
        send(client, segment.Data.data(), segment.Data.size(), MSG_NOSIGNAL);
        if (segment.CloseAfter) {
            return false;
        }
    }
    return true;
}

ScriptedModbusServer::Bytes ScriptedModbusServer::Frame(std::uint16_t transactionID,
                                                        std::uint8_t unit, const Bytes& pdu) {
    const auto length = static_cast<std::uint16_t>(pdu.size() + 1);
    Bytes frame(7 + pdu.size(), 0);
    frame[0] = static_cast<std::uint8_t>(transactionID >> 8);
    frame[1] = static_cast<std::uint8_t>(transactionID & 0xFF);
    frame[4] = static_cast<std::uint8_t>(length >> 8);
    frame[5] = static_cast<std::uint8_t>(length & 0xFF);
    frame[6] = unit;
    std::copy(pdu.begin(), pdu.end(), frame.begin() + 7);
    return frame;
}

ScriptedModbusServer::Bytes ScriptedModbusServer::ImageReply(const Bytes& request,
                                                             std::span<const std::uint16_t> image) {
    const auto transactionID = static_cast<std::uint16_t>((request[0] << 8) | request[1]);
    const std::size_t start = (request[8] << 8) | request[9];
    const std::size_t count = (request[10] << 8) | request[11];
    if (request[7] != 3) {
        return Frame(transactionID, request[6], {static_cast<std::uint8_t>(request[7] | 0x80), 1});
    }
    if (count == 0 || count > 125 || start + count > image.size()) {
        return Frame(transactionID, request[6], {0x83, 2});
    }
    Bytes pdu = {3, static_cast<std::uint8_t>(2 * count)};
    for (std::size_t i = start; i < start + count; ++i) {
        pdu.push_back(static_cast<std::uint8_t>(image[i] >> 8));
        pdu.push_back(static_cast<std::uint8_t>(image[i] & 0xFF));
    }
    return Frame(transactionID, request[6], pdu);
}

ScriptedModbusServer::Handler ScriptedModbusServer::Serving(std::span<const std::uint16_t> image) {
    return [image](const Bytes& request) {
        return std::vector<Segment>{{ImageReply(request, image)}};
    };
}

} // namespace kalvo::test
