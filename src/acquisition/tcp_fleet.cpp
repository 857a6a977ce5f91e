#include "acquisition/tcp_fleet.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace kalvo {

namespace {

constexpr std::uint8_t kReadHoldingRegisters = 0x03;
constexpr std::size_t kHeaderSize = 6;
constexpr std::uint16_t kMinLength = 2;
constexpr std::uint16_t kMaxLength = 254;
// Past the wake-up descriptor's tag, an event's tag is its module's index.
constexpr std::uint64_t kWakeupTag = ~std::uint64_t{0};

std::system_error SystemError(const char* what) {
    return std::system_error(errno, std::generic_category(), what);
}

std::uint16_t WordAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

} // namespace

struct TcpFleet::Module {
    enum class Step { Idle, Connecting, Awaiting };

    std::size_t Index = 0;
    Target Where;
    sockaddr_in Address{};
    std::string Unresolved; // why the host has no address; empty when it has one
    int Socket = -1;
    Step State = Step::Idle;
    RegisterBlock Block = RegisterBlock::A;
    std::uint16_t Transaction = 0;
    std::vector<std::uint8_t> Input;
    Clock::time_point CycleStart;
    std::uint64_t Generation = 0;
    ModbusRegisters Image;
    CommStatistics Stats;
};

TcpFleet::TcpFleet(std::vector<Target> targets, Settings settings, Events events)
    : fSettings(settings), fEvents(std::move(events)) {
    fEpoll = epoll_create1(EPOLL_CLOEXEC);
    fWakeup = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fEpoll < 0 || fWakeup < 0) {
        throw SystemError("epoll");
    }
    epoll_event wake{EPOLLIN, {.u64 = kWakeupTag}};
    epoll_ctl(fEpoll, EPOLL_CTL_ADD, fWakeup, &wake);
    for (Target& target : targets) {
        auto module = std::make_unique<Module>();
        module->Index = fModules.size();
        module->Where = std::move(target);
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int error = getaddrinfo(module->Where.Host.c_str(), nullptr, &hints, &found);
        if (error != 0 || found == nullptr) {
            module->Unresolved =
                "Cannot resolve " + module->Where.Host + ": " + gai_strerror(error);
        } else {
            module->Address = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
            module->Address.sin_port = htons(module->Where.Port);
            freeaddrinfo(found);
        }
        fModules.push_back(std::move(module));
    }
}

TcpFleet::~TcpFleet() {
    for (const auto& module : fModules) {
        Close(*module);
    }
    close(fWakeup);
    close(fEpoll);
}

const TcpFleet::Target& TcpFleet::TargetOf(std::size_t module) const {
    return fModules.at(module)->Where;
}

CommStatisticsRecord TcpFleet::Statistics(std::size_t module) const {
    return fModules.at(module)->Stats.Snapshot();
}

void TcpFleet::Stop() {
    fStopped = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(fWakeup, &one, sizeof one);
}

// The first cycles are spread over one interval, so that a thousand modules do not all ask
// in the same millisecond.
void TcpFleet::Run() {
    const Clock::time_point start = Clock::now();
    const auto count = static_cast<std::int64_t>(fModules.size());
    for (const auto& module : fModules) {
        Schedule(*module, start + fSettings.Interval * static_cast<std::int64_t>(module->Index) /
                                      std::max<std::int64_t>(count, 1));
    }
    std::vector<epoll_event> events(256);
    while (!fStopped) {
        int timeout = -1;
        if (!fTimers.empty()) {
            const auto wait =
                std::chrono::ceil<std::chrono::milliseconds>(fTimers.top().When - Clock::now());
            timeout = static_cast<int>(std::max<std::int64_t>(wait.count(), 0));
        }
        const int ready =
            epoll_wait(fEpoll, events.data(), static_cast<int>(events.size()), timeout);
        if (ready < 0 && errno != EINTR) {
            throw SystemError("epoll_wait");
        }
        for (int i = 0; i < ready; ++i) {
            if (events[static_cast<std::size_t>(i)].data.u64 != kWakeupTag) {
                OnEvent(*fModules[events[static_cast<std::size_t>(i)].data.u64],
                        events[static_cast<std::size_t>(i)].events);
            }
        }
        FireTimers();
    }
}

// A module has one deadline at a time; an older one left in the queue is skipped.
void TcpFleet::Schedule(Module& module, Clock::time_point when) {
    fTimers.push({when, module.Index, ++module.Generation});
}

void TcpFleet::FireTimers() {
    const Clock::time_point now = Clock::now();
    while (!fTimers.empty() && fTimers.top().When <= now && !fStopped) {
        const Timer timer = fTimers.top();
        fTimers.pop();
        Module& module = *fModules[timer.Module];
        if (timer.Generation == module.Generation) {
            OnDeadline(module);
        }
    }
}

void TcpFleet::OnDeadline(Module& module) {
    switch (module.State) {
    case Module::Step::Idle:
        StartCycle(module);
        break;
    case Module::Step::Connecting:
        module.Stats.CountNoResponse();
        Fail(module, "Connection timed out");
        break;
    case Module::Step::Awaiting:
        module.Stats.CountNoResponse();
        Fail(module, "No reply within " + std::to_string(fSettings.Timeout.count()) + " ms");
        break;
    }
}

void TcpFleet::OnEvent(Module& module, std::uint32_t events) {
    if (module.State == Module::Step::Connecting && (events & (EPOLLOUT | EPOLLERR)) != 0) {
        ConnectDone(module);
        return;
    }
    if ((events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0) {
        Receive(module);
    }
}

void TcpFleet::StartCycle(Module& module) {
    module.CycleStart = Clock::now();
    module.Block = RegisterBlock::A;
    BeginBlock(module);
}

// One request counted per block, whether it gets as far as the wire or not, as the
// single-module poller counts.
void TcpFleet::BeginBlock(Module& module) {
    module.Stats.CountRequest();
    if (module.Socket < 0) {
        Connect(module);
    } else {
        SendRequest(module);
    }
}

void TcpFleet::Connect(Module& module) {
    if (!module.Unresolved.empty()) {
        module.Stats.CountNoResponse();
        Fail(module, module.Unresolved);
        return;
    }
    module.Socket = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (module.Socket < 0) {
        module.Stats.CountNoResponse();
        Fail(module, std::strerror(errno));
        return;
    }
    const int noDelay = 1;
    setsockopt(module.Socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    const int result = connect(module.Socket, reinterpret_cast<const sockaddr*>(&module.Address),
                               sizeof module.Address);
    if (result != 0 && errno != EINPROGRESS) {
        module.Stats.CountNoResponse();
        Fail(module, std::strerror(errno));
        return;
    }
    epoll_event watch{EPOLLOUT | EPOLLIN, {.u64 = module.Index}};
    epoll_ctl(fEpoll, EPOLL_CTL_ADD, module.Socket, &watch);
    module.State = Module::Step::Connecting;
    Schedule(module, Clock::now() + fSettings.Timeout);
}

void TcpFleet::ConnectDone(Module& module) {
    int error = 0;
    socklen_t size = sizeof error;
    getsockopt(module.Socket, SOL_SOCKET, SO_ERROR, &error, &size);
    if (error != 0) {
        module.Stats.CountNoResponse();
        Fail(module, std::strerror(error));
        return;
    }
    epoll_event watch{EPOLLIN, {.u64 = module.Index}};
    epoll_ctl(fEpoll, EPOLL_CTL_MOD, module.Socket, &watch);
    SendRequest(module);
}

void TcpFleet::SendRequest(Module& module) {
    const BlockSpan& span = SpanOf(module.Block);
    module.Transaction = static_cast<std::uint16_t>(module.Transaction + 1);
    const auto first = static_cast<std::uint16_t>(span.First);
    const auto count = static_cast<std::uint16_t>(span.Count);
    const std::uint8_t request[12] = {static_cast<std::uint8_t>(module.Transaction >> 8),
                                      static_cast<std::uint8_t>(module.Transaction),
                                      0,
                                      0,
                                      0,
                                      6,
                                      fSettings.Unit,
                                      kReadHoldingRegisters,
                                      static_cast<std::uint8_t>(first >> 8),
                                      static_cast<std::uint8_t>(first),
                                      static_cast<std::uint8_t>(count >> 8),
                                      static_cast<std::uint8_t>(count)};
    // Twelve bytes on a connected socket go at once or not at all.
    if (send(module.Socket, request, sizeof request, MSG_NOSIGNAL) != sizeof request) {
        module.Stats.CountNoResponse();
        Fail(module, std::strerror(errno));
        return;
    }
    module.State = Module::Step::Awaiting;
    Schedule(module, Clock::now() + fSettings.Timeout);
}

// Bounded, so that a peer that never stops sending can neither hold the loop here, away from
// every other module, nor fill the memory: what is left is read at the next turn.
void TcpFleet::Receive(Module& module) {
    constexpr int kMaxChunks = 16;
    std::uint8_t chunk[4096];
    for (int chunks = 0;; ++chunks) {
        if (chunks == kMaxChunks) {
            TakeFrames(module);
            return;
        }
        const ssize_t count = recv(module.Socket, chunk, sizeof chunk, 0);
        if (count > 0) {
            module.Input.insert(module.Input.end(), chunk, chunk + count);
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            TakeFrames(module);
            return;
        }
        // Closed by the peer, or broken: a reply it sent before still counts.
        const std::string reason =
            count == 0 ? "Connection Closed Gracefully." : std::strerror(errno);
        TakeFrames(module);
        if (module.State == Module::Step::Awaiting) {
            module.Stats.CountNoResponse();
            Fail(module, reason);
        } else {
            Close(module);
        }
        return;
    }
}

// Frames are taken whole in every state, so that the stream stays in step: between cycles
// nothing is asked, and what comes then answers nothing and is dropped as it comes. Only the
// reply awaited is copied out.
void TcpFleet::TakeFrames(Module& module) {
    std::vector<std::uint8_t>& input = module.Input;
    std::size_t at = 0;
    while (input.size() - at >= kHeaderSize) {
        const std::uint16_t length = WordAt(input, at + 4);
        if (length < kMinLength || length > kMaxLength) {
            if (module.State == Module::Step::Awaiting) {
                module.Stats.CountInvalid();
                Fail(module, "Invalid Modbus/TCP reply: length field " + std::to_string(length) +
                                 " outside 2..254.");
            } else {
                Close(module);
            }
            return;
        }
        const std::size_t end = at + kHeaderSize + length;
        if (input.size() < end) {
            break;
        }
        if (module.State == Module::Step::Awaiting && WordAt(input, at) == module.Transaction &&
            WordAt(input, at + 2) == 0) {
            const std::vector<std::uint8_t> frame(input.begin() + static_cast<std::ptrdiff_t>(at),
                                                  input.begin() + static_cast<std::ptrdiff_t>(end));
            input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(end));
            at = 0;
            // A failure on the way closes the connection and empties the input.
            TakeReply(module, frame);
            continue;
        }
        at = end;
    }
    input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(at));
}

// The reply to our request: the registers asked for, an exception, or a mismatch.
void TcpFleet::TakeReply(Module& module, const std::vector<std::uint8_t>& frame) {
    const BlockSpan& span = SpanOf(module.Block);
    const auto bytes = static_cast<std::size_t>(2 * span.Count);
    const std::uint8_t function = frame[7];
    if (function == (kReadHoldingRegisters | 0x80) && frame.size() == 9) {
        module.Stats.CountException();
        Fail(module, "Modbus exception " + std::to_string(frame[8]));
        return;
    }
    if (function != kReadHoldingRegisters || frame.size() != 9 + bytes || frame[8] != bytes) {
        module.Stats.CountUnmatched();
        Fail(module, "Reply does not match the request");
        return;
    }
    std::vector<std::uint16_t> words(static_cast<std::size_t>(span.Count));
    for (std::size_t i = 0; i < words.size(); ++i) {
        words[i] = WordAt(frame, 9 + 2 * i);
    }
    module.Image.Store(span.First, words);
    module.Stats.CountResponse();
    if (fEvents.BlockRead) {
        fEvents.BlockRead(module.Index, module.Block, module.Image);
    }
    if (module.Block == RegisterBlock::A) {
        module.Block = RegisterBlock::B;
        BeginBlock(module);
    } else {
        EndCycle(module, true);
    }
}

void TcpFleet::Fail(Module& module, const std::string& reason) {
    module.Stats.RecordCommError();
    Close(module);
    if (fEvents.ReadFailed) {
        fEvents.ReadFailed(module.Index, module.Block, reason);
    }
    EndCycle(module, false);
}

void TcpFleet::EndCycle(Module& module, bool ok) {
    const Clock::time_point now = Clock::now();
    module.State = Module::Step::Idle;
    if (fEvents.CycleDone &&
        !fEvents.CycleDone(module.Index, ok,
                           std::chrono::duration<double>(now - module.CycleStart).count())) {
        Close(module);
        return;
    }
    // A cycle longer than the interval is followed by the next at once, not by a burst.
    Schedule(module, std::max(now, module.CycleStart + fSettings.Interval));
}

void TcpFleet::Close(Module& module) {
    if (module.Socket >= 0) {
        epoll_ctl(fEpoll, EPOLL_CTL_DEL, module.Socket, nullptr);
        close(module.Socket);
        module.Socket = -1;
    }
    module.Input.clear();
}

} // namespace kalvo
