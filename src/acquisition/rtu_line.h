#pragma once

#include "acquisition/fleet_events.h"
#include "modbus_serial/message_queue.h"
#include "modbus_serial/modbus_client.h"
#include "modbus_serial/modbus_connection.h"
#include "registers/comm_statistics.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kalvo {

// Polls the modules on one serial line from a thread of its own. A bus carries one request
// at a time, so the modules take turns: each reads block A, then block B, then the next
// module asks; a round of all of them starts once per interval. A module that fails a read
// ends its turn. A port that cannot be opened, or fails, fails the reads of the modules
// whose turn it is, and is opened again at the next turn: a USB adapter plugged back in is
// polled again.
class RtuLine {
public:
    struct Settings {
        std::string Device;
        std::int32_t Baud = 9600;
        std::vector<std::uint8_t> Addresses;
        std::chrono::milliseconds Interval{1000};
        // Where each address's reads are counted, in the same order; the line's own when none.
        std::vector<CommStatistics*> Statistics;
        // Far beyond the connection's own reply time-out: only a stuck port takes this long to
        // complete a read.
        std::chrono::milliseconds StuckAfter{5000};
    };

    RtuLine(Settings settings, FleetEvents events);
    // Stops and joins the line's thread, then closes the port.
    ~RtuLine();
    RtuLine(const RtuLine&) = delete;
    RtuLine& operator=(const RtuLine&) = delete;

    void Start();
    // From any thread, also from the events: ends the line's thread after the read in flight.
    void Stop();
    void Join();
    std::size_t Size() const { return fModules.size(); }
    CommStatisticsRecord Statistics(std::size_t module) const;

private:
    using Clock = std::chrono::steady_clock;
    struct Module;

    void Execute();
    void Turn(Module& module);
    bool Open(Module& module);
    bool ReadBlock(Module& module, RegisterBlock block);
    bool TakeOutcome(Module& module, RegisterBlock block);
    void Fail(Module& module, RegisterBlock block, const std::string& reason);
    void EndTurn(Module& module, bool ok);
    void Completed(const TTransactionInfo& info, const TRegValues& values);
    void Pump(Clock::time_point until, const std::function<bool()>& done);

    Settings fSettings;
    FleetEvents fEvents;
    ManualMessageQueue fQueue;
    TModbusConnection fConnection;
    std::vector<std::unique_ptr<Module>> fModules;
    std::atomic<bool> fStopped = false;
    // On the line's thread: the transaction awaited, its outcome, a failure of the port.
    std::uint32_t fAwaited = 0;
    std::optional<TTransactionInfo> fOutcome;
    TRegValues fValues;
    std::string fPortFailure;
    std::thread fThread;
};

} // namespace kalvo
