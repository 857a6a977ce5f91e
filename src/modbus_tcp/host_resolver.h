#pragma once

#include <cstdint>
#include <functional>
#include <netinet/in.h>
#include <string>

namespace kalvo {

// Host names to IPv4 addresses without holding up the caller: getaddrinfo cannot be
// interrupted and a slow name server can take many seconds, so a name is looked up on a
// thread of its own, which the caller waits for beside its wake-up descriptor. An abort
// leaves that thread to finish by itself.
class HostResolver {
public:
    using Lookup = std::function<sockaddr_in(const std::string& host, std::uint16_t port)>;

    // getaddrinfo; raises ETcpError "Host not found: <host>" with the resolver's reason.
    static sockaddr_in SystemLookup(const std::string& host, std::uint16_t port);
    // A dotted address at once; a name by `lookup`, unless `wakeup` becomes readable first
    // (ETcpError "Operation aborted").
    static sockaddr_in Resolve(const std::string& host, std::uint16_t port, int wakeup,
                               const Lookup& lookup);
};

} // namespace kalvo
