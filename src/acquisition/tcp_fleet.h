#pragma once

#include "acquisition/fleet_events.h"
#include "modbus_tcp/modbus_response_buffer.h"
#include "registers/comm_statistics.h"
#include "registers/register_map.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <queue>
#include <string>
#include <vector>

namespace kalvo {

// Polls many Modbus/TCP modules from one thread: non-blocking sockets under one epoll, each
// module a small state machine (connect, ask for block A, take its reply, block B, pause), so
// that a thousand modules cost one thread and their sockets. Each module reads both blocks
// once per interval, counted from the start of its cycle. A module that fails a read closes
// its connection and connects again at its next cycle. Requests and replies go through the
// frame codec the single-module client uses: what waits when a request goes out is dropped,
// a reply that answers another request too, and the module is asked as the direct unit.
class TcpFleet {
public:
    using Clock = std::chrono::steady_clock;

    struct Target {
        std::string Host;
        std::uint16_t Port = 502;
        // Where the module's reads are counted; the fleet's own when none.
        CommStatistics* Statistics = nullptr;
    };
    struct Settings {
        std::chrono::milliseconds Interval{1000};
        std::chrono::milliseconds Timeout{3000};
    };
    using Events = FleetEvents;

    TcpFleet(std::vector<Target> targets, Settings settings, Events events);
    ~TcpFleet();
    TcpFleet(const TcpFleet&) = delete;
    TcpFleet& operator=(const TcpFleet&) = delete;

    // Polls until Stop(); the first cycles start spread over one interval.
    void Run();
    // From any thread, also before Run().
    void Stop();
    std::size_t Size() const { return fModules.size(); }
    const Target& TargetOf(std::size_t module) const;
    CommStatisticsRecord Statistics(std::size_t module) const;

private:
    struct Module;
    struct Timer {
        Clock::time_point When;
        std::size_t Module;
        std::uint64_t Generation;
        bool operator>(const Timer& other) const { return When > other.When; }
    };

    void Schedule(Module& module, Clock::time_point when);
    void FireTimers();
    void OnDeadline(Module& module);
    void OnEvent(Module& module, std::uint32_t events);
    void StartCycle(Module& module);
    void BeginBlock(Module& module);
    void Connect(Module& module);
    void ConnectDone(Module& module);
    void SendRequest(Module& module);
    void DropInput(Module& module);
    // Reads what has come into the module's input; false, with the reason, when the peer has
    // closed the connection or it broke.
    bool ReadAvailable(Module& module, std::string& closed);
    void Receive(Module& module);
    // Takes the whole frames of the module's input: the reply awaited, or frames dropped.
    void TakeFrames(Module& module);
    void TakeReply(Module& module, const TModBusResponseBuffer& reply);
    void Fail(Module& module, const std::string& reason);
    void EndCycle(Module& module, bool ok);
    void Close(Module& module);

    Settings fSettings;
    Events fEvents;
    std::vector<std::unique_ptr<Module>> fModules;
    std::priority_queue<Timer, std::vector<Timer>, std::greater<>> fTimers;
    int fEpoll = -1;
    int fWakeup = -1;
    std::atomic<bool> fStopped = false;
};

} // namespace kalvo
