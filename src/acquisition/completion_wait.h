#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

namespace kalvo {

// Hands the completion of one queued transaction, identified by its ID, from the thread that
// receives completions to the thread that waits for it. A completion of any other
// transaction (one whose wait has already timed out, say) is not accepted.
class CompletionWait {
public:
    // Runs `queue`, which queues a transaction and returns its ID, and from then on awaits
    // that ID. The ID is recorded before any completion can be looked at. After an abort
    // nothing is queued.
    void Expect(const std::function<std::uint32_t()>& queue);
    // On the completing thread: true when `id` is the awaited transaction, not yet completed.
    bool Accepts(std::uint32_t id);
    // On the completing thread, after handling the awaited completion.
    void Complete(std::uint32_t id);
    // True when the awaited completion came within `timeout`; false on time-out or abort.
    // Either way nothing is awaited afterwards.
    bool Wait(std::chrono::milliseconds timeout);
    // Wakes the wait; from now on nothing is awaited or queued.
    void Abort();

private:
    std::mutex fMutex;
    std::condition_variable fSignal;
    std::optional<std::uint32_t> fAwaited;
    bool fCompleted = false;
    bool fAborted = false;
};

} // namespace kalvo
