#pragma once

#include "modbus_tcp/host_resolver.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kalvo {

// A client TCP connection over IPv4 with an input buffer. Every wait blocks in poll() on the
// socket and on a wake-up descriptor, so Interrupt() from another thread ends any wait at once;
// after Interrupt() the connection refuses further use.
class TcpConnection {
public:
    TcpConnection();
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Resolves host (IPv4) and connects, waiting at most timeoutMs for the connection (a name
    // lookup may take longer, but Interrupt ends it too); raises ETcpError.
    void Connect(const std::string& host, std::uint16_t port, int timeoutMs);
    // How names are looked up; the system's resolver unless a test says otherwise.
    void SetLookup(HostResolver::Lookup lookup) { fLookup = std::move(lookup); }
    bool Connected() const { return fSocket >= 0; }
    // Closes the socket without notifying the peer further; nothing happens when closed.
    void Disconnect();
    // Raises when there is no connection or when the peer has closed it.
    void CheckForGracefulDisconnect();
    void Write(std::span<const std::uint8_t> bytes);
    // Waits up to timeoutMs (0: no wait) for the socket to become readable and moves what
    // arrived into the input buffer. A timeout is not an error; a closed peer is noted.
    void CheckForDataOnSource(int timeoutMs);
    std::size_t InputBufferSize() const { return fInput.size(); }
    // True once the peer has closed its side; the bytes it sent before stay readable.
    bool PeerClosed() const { return fPeerClosed; }
    // The first count bytes of the input buffer, left in place.
    std::span<const std::uint8_t> PeekBytes(std::size_t count) const;
    // Removes and returns the first count bytes of the input buffer.
    std::vector<std::uint8_t> ReadBytes(std::size_t count);
    // Drops the bytes already received, including those still in the socket.
    void DiscardInput();
    // Thread-safe: wakes every current and future wait of this connection.
    void Interrupt();

private:
    void WaitWritable(int timeoutMs);
    // poll() on the socket and the wake-up descriptor; true when the socket is ready.
    bool WaitFor(short events, int timeoutMs);
    void ThrowIfInterrupted() const;
    void ReceiveAvailable();

    int fSocket = -1;
    int fWakeup = -1;
    bool fPeerClosed = false;
    std::vector<std::uint8_t> fInput;
    HostResolver::Lookup fLookup = HostResolver::SystemLookup;
};

} // namespace kalvo
