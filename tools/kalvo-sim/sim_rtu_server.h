#pragma once

#include "fault_plan.h"
#include "modbus_serial/modbus_connection.h"
#include "pdu_responder.h"
#include "register_source.h"
#include "sim_rtu_unit.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kalvo::sim {

// Simulated modules on a pseudo-terminal: a bus of Modbus RTU servers, one per address,
// whose holding registers are taken from their register sources at every request. The near
// end of the terminal is published as a link that serial clients open. Under a fault plan
// the replies are shaped and written here (bad CRC, noise, another device's chatter), or the
// terminal goes away.
class SimRtuServer {
public:
    struct Unit {
        std::uint8_t Address = 1;
        RegisterSource* Source = nullptr;
    };

    // Creates the terminal pair and the link, and starts serving through `queue`.
    SimRtuServer(const std::string& link, const std::vector<Unit>& units, const FaultPlan& plan,
                 ManualMessageQueue& queue);
    ~SimRtuServer();
    SimRtuServer(const SimRtuServer&) = delete;
    SimRtuServer& operator=(const SimRtuServer&) = delete;

    const std::string& DevicePath() const { return fDevicePath; }
    const std::string& Link() const { return fLink; }
    // True once the plan's request count is reached: the owner then ends the server, which
    // takes the terminal away.
    bool HangUpDue() const { return fHangUpDue; }

private:
    using Bytes = std::vector<std::uint8_t>;

    void Serve(SimRtuUnit& unit, TModbusTransaction& transaction);
    void ShapeReply(SimRtuUnit& unit, TModbusTransaction& transaction);
    void WriteFrame(const Bytes& bytes);
    Bytes OtherDeviceFrame() const;
    void Chatter();

    const FaultPlan& fPlan;
    PduResponder fResponder;
    int fMaster = -1;
    int fSlave = -1;
    std::string fDevicePath;
    std::string fLink;
    // The other device's: the first address after the first unit's that no unit has.
    std::uint8_t fOtherAddress = 2;
    int fRequests = 0;
    std::atomic<bool> fHangUpDue = false;
    // Frames from here and from the chatter keep a silence between them, as on a real bus.
    std::mutex fLineLock;
    std::chrono::steady_clock::time_point fLastFrame;
    // Guarded by fChatterLock; the chatter's pause wakes when it turns false.
    bool fChattering = false;
    std::mutex fChatterLock;
    std::condition_variable fChatterStop;
    std::thread fChatter;
    TModbusConnection fConnection;
    std::vector<std::unique_ptr<SimRtuUnit>> fUnits;
};

} // namespace kalvo::sim
