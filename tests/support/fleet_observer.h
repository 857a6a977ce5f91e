#pragma once

#include "acquisition/fleet_events.h"
#include "registers/modbus_registers.h"
#include "registers/register_map.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kalvo::test {

// What a poller of several modules told, per module, kept under a lock: pollers run on
// threads of their own.
class FleetObserver {
public:
    explicit FleetObserver(std::size_t modules)
        : fGood(modules), fFailures(modules), fImages(modules) {}

    FleetEvents Events() {
        return {
            [this](std::size_t m, RegisterBlock block, std::span<const std::uint16_t> registers) {
                std::lock_guard lock(fMutex);
                fImages[m].Store(SpanOf(block).First, registers);
            },
            [this](std::size_t m, RegisterBlock, const std::string& reason) {
                std::lock_guard lock(fMutex);
                fFailures[m].push_back(reason);
                fChanged.notify_all();
            },
            [this](std::size_t m, bool ok, double) {
                std::lock_guard lock(fMutex);
                fGood[m] += ok ? 1 : 0;
                fChanged.notify_all();
                return true;
            }};
    }
    // Whether `done` came true within ten seconds; it is asked under the lock.
    bool WaitFor(const std::function<bool()>& done) {
        std::unique_lock lock(fMutex);
        return fChanged.wait_for(lock, std::chrono::seconds(10), done);
    }

    std::vector<int> fGood;
    std::vector<std::vector<std::string>> fFailures;
    std::vector<ModbusRegisters> fImages;
    std::mutex fMutex;
    std::condition_variable fChanged;
};

} // namespace kalvo::test
