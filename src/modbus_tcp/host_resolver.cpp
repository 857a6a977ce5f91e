#include "modbus_tcp/host_resolver.h"

#include "modbus_tcp/tcp_error.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace kalvo {

namespace {

// What the lookup thread hands back; whichever side lets go last closes the descriptor.
struct Answer {
    const int Done = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::mutex Lock;
    std::optional<sockaddr_in> Address;
    std::string Error;

    ~Answer() { close(Done); }
};

} // namespace

sockaddr_in HostResolver::SystemLookup(const std::string& host, std::uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (status != 0 || found == nullptr) {
        throw ETcpError("Host not found: " + host + "\r\n" + gai_strerror(status) + ".");
    }
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, sizeof address);
    freeaddrinfo(found);
    address.sin_port = htons(port);
    return address;
}

sockaddr_in HostResolver::Resolve(const std::string& host, std::uint16_t port, int wakeup,
                                  const Lookup& lookup) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1) {
        return address;
    }
    auto answer = std::make_shared<Answer>();
    if (answer->Done < 0) {
        throw ETcpError::FromErrno(errno);
    }
    std::thread([answer, lookup, host, port] {
        try {
            const sockaddr_in found = lookup(host, port);
            std::lock_guard lock(answer->Lock);
            answer->Address = found;
        } catch (const std::exception& error) {
            std::lock_guard lock(answer->Lock);
            answer->Error = error.what();
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(answer->Done, &one, sizeof one);
    }).detach();
    pollfd fds[2] = {{answer->Done, POLLIN, 0}, {wakeup, POLLIN, 0}};
    while (poll(fds, 2, -1) < 0 && errno == EINTR) {
    }
    if (fds[1].revents != 0) {
        throw ETcpError("Operation aborted");
    }
    std::lock_guard lock(answer->Lock);
    if (!answer->Address) {
        throw ETcpError(answer->Error);
    }
    return *answer->Address;
}

} // namespace kalvo
