#include "acquisition/tcp_fleet.h"

#include "acquisition/log_line.h"
#include "modbus_tcp/tcp_frame_codec.h"
#include "registers/modbus_function.h"

#include <arpa/inet.h>
#include <array>
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

// A peer is read at most this many chunks at a turn.
constexpr int kMaxChunks = 16;
constexpr std::size_t kChunkSize = 4096;
// Past the wake-up descriptor's tag, an event's tag is its module's index.
constexpr std::uint64_t kWakeupTag = ~std::uint64_t{0};

std::system_error SystemError(const char* what) {
    return std::system_error(errno, std::generic_category(), what);
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
    TModBusResponseBuffer Request;
    std::vector<std::uint8_t> Input;
    Clock::time_point CycleStart;
    std::uint64_t Generation = 0;
    std::unique_ptr<CommStatistics> OwnStats;
    CommStatistics* Stats = nullptr;
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
        if (module->Where.Statistics == nullptr) {
            module->OwnStats = std::make_unique<CommStatistics>();
            module->Where.Statistics = module->OwnStats.get();
        }
        module->Stats = module->Where.Statistics;
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
    return fModules.at(module)->Stats->Snapshot();
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
        module.Stats->CountNoResponse();
        Fail(module, "Connection timed out");
        break;
    case Module::Step::Awaiting:
        module.Stats->CountNoResponse();
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
    module.Stats->CountRequest();
    if (module.Socket < 0) {
        Connect(module);
    } else {
        SendRequest(module);
    }
}

void TcpFleet::Connect(Module& module) {
    if (!module.Unresolved.empty()) {
        module.Stats->CountNoResponse();
        Fail(module, module.Unresolved);
        return;
    }
    module.Socket = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (module.Socket < 0) {
        module.Stats->CountNoResponse();
        Fail(module, std::strerror(errno));
        return;
    }
    const int noDelay = 1;
    setsockopt(module.Socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    const int result = connect(module.Socket, reinterpret_cast<const sockaddr*>(&module.Address),
                               sizeof module.Address);
    if (result != 0 && errno != EINPROGRESS) {
        module.Stats->CountNoResponse();
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
        module.Stats->CountNoResponse();
        Fail(module, std::strerror(error));
        return;
    }
    epoll_event watch{EPOLLIN, {.u64 = module.Index}};
    epoll_ctl(fEpoll, EPOLL_CTL_MOD, module.Socket, &watch);
    SendRequest(module);
}

// Whatever is waiting when a request goes out answers nothing it asks: a peer's early or
// repeated reply must not be taken for the reply to come.
void TcpFleet::SendRequest(Module& module) {
    DropInput(module);
    const BlockSpan& span = SpanOf(module.Block);
    module.Transaction = static_cast<std::uint16_t>(module.Transaction + 1);
    const std::size_t size = TcpFrameCodec::Build({module.Transaction,
                                                   TcpFrameCodec::kDirectUnit,
                                                   ModbusFunction::ReadHoldingRegisters,
                                                   static_cast<std::uint16_t>(span.First),
                                                   static_cast<std::uint16_t>(span.Count),
                                                   {}},
                                                  module.Request);
    // Twelve bytes on a connected socket go at once or not at all.
    if (send(module.Socket, module.Request.Bytes.data(), size, MSG_NOSIGNAL) !=
        static_cast<ssize_t>(size)) {
        module.Stats->CountNoResponse();
        Fail(module, std::strerror(errno));
        return;
    }
    module.State = Module::Step::Awaiting;
    Schedule(module, Clock::now() + fSettings.Timeout);
}

// Whole frames only, so that the stream stays in step: a frame begun now and ended after the
// request is taken whole later, and answers nothing.
void TcpFleet::DropInput(Module& module) {
    std::string ignored;
    ReadAvailable(module, ignored);
    module.Input.erase(module.Input.begin(),
                       module.Input.begin() +
                           static_cast<std::ptrdiff_t>(TcpFrameCodec::WholeFrames(module.Input)));
}

// Bounded, so that a peer that never stops sending can neither hold the loop here, away from
// every other module, nor fill the memory: what is left is read at the next turn.
bool TcpFleet::ReadAvailable(Module& module, std::string& closed) {
    std::uint8_t chunk[kChunkSize];
    for (int chunks = 0; chunks < kMaxChunks; ++chunks) {
        const ssize_t count = recv(module.Socket, chunk, sizeof chunk, MSG_DONTWAIT);
        if (count > 0) {
            module.Input.insert(module.Input.end(), chunk, chunk + count);
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        }
        closed = count == 0 ? "Connection Closed Gracefully." : std::strerror(errno);
        return false;
    }
    return true;
}

// Closed by the peer, or broken: a reply it sent before still counts.
void TcpFleet::Receive(Module& module) {
    std::string closed;
    const bool open = ReadAvailable(module, closed);
    TakeFrames(module);
    if (open) {
        return;
    }
    if (module.State == Module::Step::Awaiting) {
        module.Stats->CountNoResponse();
        Fail(module, closed);
    } else {
        Close(module);
    }
}

// Frames are taken whole in every state, so that the stream stays in step: between cycles
// nothing is asked, and what comes then answers nothing and is dropped as it comes. Only the
// reply awaited is copied out.
void TcpFleet::TakeFrames(Module& module) {
    std::vector<std::uint8_t>& input = module.Input;
    for (;;) {
        const TcpFrameCodec::Scan scan = TcpFrameCodec::Find(input, module.Request);
        const bool awaiting = module.State == Module::Step::Awaiting;
        if (scan.State == TcpFrameCodec::Scan::Is::BadLength) {
            if (awaiting) {
                module.Stats->CountInvalid();
                Fail(module, LogLine(TcpFrameCodec::BadLengthText(scan.Length)));
            } else {
                Close(module);
            }
            return;
        }
        const auto whole = static_cast<std::ptrdiff_t>(scan.Skipped + scan.Size);
        if (scan.State == TcpFrameCodec::Scan::Is::Wanting) {
            input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(scan.Skipped));
            return;
        }
        TModBusResponseBuffer reply;
        std::copy(input.begin() + static_cast<std::ptrdiff_t>(scan.Skipped), input.begin() + whole,
                  reply.Bytes.begin());
        input.erase(input.begin(), input.begin() + whole);
        if (awaiting) {
            // The next request, or a failure, empties the input.
            TakeReply(module, reply);
        }
    }
}

// The reply to our request: the registers asked for, an exception, or a mismatch.
void TcpFleet::TakeReply(Module& module, const TModBusResponseBuffer& reply) {
    switch (TcpFrameCodec::Judge(module.Request, reply)) {
    case TcpFrameCodec::Fit::Exception:
        module.Stats->CountException();
        Fail(module, "Modbus exception " + std::to_string(reply.MBPData()[0]));
        return;
    case TcpFrameCodec::Fit::Mismatch:
        module.Stats->CountUnmatched();
        Fail(module, "Reply does not match the request");
        return;
    case TcpFrameCodec::Fit::Good:
        break;
    }
    const BlockSpan& span = SpanOf(module.Block);
    std::array<std::uint16_t, TcpFrameCodec::kMaxReadRegisters> words{};
    const auto registers = std::span(words).first(static_cast<std::size_t>(span.Count));
    TcpFrameCodec::Decode(module.Request, reply, registers);
    module.Stats->CountResponse();
    if (fEvents.BlockRead) {
        fEvents.BlockRead(module.Index, module.Block, registers);
    }
    if (module.Block == RegisterBlock::A) {
        module.Block = RegisterBlock::B;
        BeginBlock(module);
    } else {
        EndCycle(module, true);
    }
}

void TcpFleet::Fail(Module& module, const std::string& reason) {
    module.Stats->RecordCommError();
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
