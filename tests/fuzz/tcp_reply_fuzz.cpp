// libFuzzer target: any bytes as the reply to a read of holding registers, through a real
// loopback connection into the Modbus/TCP client, and as a stream into the frame codec the way
// the fleet takes it. A read reported as good must come from a frame of its own transaction
// that is exactly the reply the request asked for.
#include "modbus_tcp/id_modbus_client.h"
#include "modbus_tcp/tcp_frame_codec.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

int Listener(std::uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(fd, 4) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::abort();
    }
    port = ntohs(address.sin_port);
    return fd;
}

// Reads the 12-byte request, answers with `reply` (its first two bytes replaced by the
// request's transaction identifier when asked), then closes.
void Answer(int listener, Bytes reply, bool sameTransaction) {
    const int peer = accept(listener, nullptr, nullptr);
    std::uint8_t request[12];
    std::size_t got = 0;
    while (peer >= 0 && got < sizeof request) {
        const ssize_t n = recv(peer, request + got, sizeof request - got, 0);
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    if (got == sizeof request && sameTransaction && reply.size() >= 2) {
        reply[0] = request[0];
        reply[1] = request[1];
    }
    if (got == sizeof request) {
        [[maybe_unused]] const ssize_t n = send(peer, reply.data(), reply.size(), MSG_NOSIGNAL);
    }
    if (peer >= 0) {
        close(peer);
    }
}

// The frame of `reply` the client answers from: frames of other transactions or protocols
// are skipped by their MBAP length. Null when no complete frame of transaction 1 comes first.
const std::uint8_t* AnsweringFrame(const Bytes& reply) {
    std::size_t at = 0;
    while (at + 7 <= reply.size()) {
        const std::size_t length = (reply[at + 4] << 8) | reply[at + 5];
        if (length < 2 || length > 254 || at + 6 + length > reply.size()) {
            return nullptr;
        }
        if (reply[at] == 0 && reply[at + 1] == 1 && reply[at + 2] == 0 && reply[at + 3] == 0) {
            return reply.data() + at;
        }
        at += 6 + length;
    }
    return nullptr;
}

// The only frame that may be taken as a good read of `count` registers.
bool WellFormed(const std::uint8_t* frame, std::uint16_t count) {
    return frame != nullptr && frame[4] == 0 && frame[5] == 3 + 2 * count && frame[7] == 3 &&
           frame[8] == 2 * count;
}

void CheckValues(const std::uint8_t* frame, const std::uint16_t* values, std::uint16_t count) {
    for (std::uint16_t i = 0; i < count; ++i) {
        if (values[i] != ((frame[9 + 2 * i] << 8) | frame[10 + 2 * i])) {
            std::abort();
        }
    }
}

// The stream as the fleet reads it: the reply found, judged and decoded by the codec.
void CheckCodec(const Bytes& stream, std::uint16_t count) {
    using kalvo::TcpFrameCodec;
    kalvo::TModBusResponseBuffer request;
    TcpFrameCodec::Build({1, TcpFrameCodec::kDirectUnit, 3, 0, count, {}}, request);
    const TcpFrameCodec::Scan scan = TcpFrameCodec::Find(stream, request);
    if (scan.State != TcpFrameCodec::Scan::Is::Reply) {
        return;
    }
    kalvo::TModBusResponseBuffer reply;
    std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(scan.Skipped), scan.Size,
                reply.Bytes.begin());
    if (TcpFrameCodec::Judge(request, reply) != TcpFrameCodec::Fit::Good) {
        return;
    }
    std::uint16_t values[8] = {};
    TcpFrameCodec::Decode(request, reply, std::span(values, count));
    const std::uint8_t* frame = AnsweringFrame(stream);
    if (frame != stream.data() + scan.Skipped || !WellFormed(frame, count)) {
        std::abort();
    }
    CheckValues(frame, values, count);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kalvo;
    if (size < 2) {
        return 0;
    }
    static std::uint16_t port = 0;
    static const int listener = Listener(port);
    const auto count = static_cast<std::uint16_t>(1 + data[0] % 8);
    const bool sameTransaction = (data[1] & 1) != 0;
    Bytes reply(data + 2, data + size);
    std::thread server(Answer, listener, reply, sameTransaction);
    if (sameTransaction && reply.size() >= 2) {
        reply[0] = 0;
        reply[1] = 1;
    }
    TIdModBusClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(port);
    client.SetAutoConnect(false);
    client.SetTimeOut(50);
    std::uint16_t values[8] = {};
    bool read = false;
    try {
        client.Connect();
        read = client.ReadHoldingRegisters(1, count, std::span(values, count));
    } catch (const std::exception&) {
        read = false;
    }
    server.join();
    if (read) {
        const std::uint8_t* frame = AnsweringFrame(reply);
        if (!WellFormed(frame, count)) {
            std::abort();
        }
        CheckValues(frame, values, count);
    }
    CheckCodec(reply, count);
    return 0;
}
