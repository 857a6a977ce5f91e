#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

namespace kalvo {

// A wait for another thread's work that its owner can cancel: Cancel wakes every wait at
// once, and every later one returns at once.
class CancelSignal {
public:
    void Cancel();
    bool Cancelled() const;
    // Runs `change` under the signal's lock, then wakes the waits.
    void Notify(const std::function<void()>& change);
    // Waits until `done`, looked at under the signal's lock, is true or the signal is
    // cancelled; returns `done`.
    bool WaitUntil(const std::function<bool()>& done);

private:
    mutable std::mutex fMutex;
    std::condition_variable fChanged;
    bool fCancelled = false;
};

} // namespace kalvo
