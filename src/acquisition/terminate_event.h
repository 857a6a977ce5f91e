#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kalvo {

// A manual-reset event: once set it stays set, and every wait on it returns at once.
class TerminateEvent {
public:
    void Set() {
        {
            std::lock_guard lock(fMutex);
            fSignalled = true;
        }
        fCondition.notify_all();
    }
    // True when the event was set before the time ran out.
    bool WaitFor(std::chrono::milliseconds timeout) {
        std::unique_lock lock(fMutex);
        return fCondition.wait_for(lock, timeout, [this] { return fSignalled; });
    }

private:
    std::mutex fMutex;
    std::condition_variable fCondition;
    bool fSignalled = false;
};

} // namespace kalvo
