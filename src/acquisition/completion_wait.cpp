#include "acquisition/completion_wait.h"

namespace kalvo {

void CompletionWait::Expect(const std::function<std::uint32_t()>& queue) {
    std::lock_guard lock(fMutex);
    fCompleted = false;
    if (!fAborted) {
        fAwaited = queue();
    }
}

bool CompletionWait::Accepts(std::uint32_t id) {
    std::lock_guard lock(fMutex);
    return fAwaited == id && !fCompleted;
}

void CompletionWait::Complete(std::uint32_t id) {
    {
        std::lock_guard lock(fMutex);
        if (fAwaited != id) {
            return;
        }
        fCompleted = true;
    }
    fSignal.notify_all();
}

bool CompletionWait::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(fMutex);
    fSignal.wait_for(lock, timeout, [this] { return fCompleted || fAborted; });
    const bool completed = fCompleted;
    fAwaited.reset();
    fCompleted = false;
    return completed;
}

// From the abort on nothing is awaited: a completion that comes before the waiting thread
// has woken is not taken.
void CompletionWait::Abort() {
    {
        std::lock_guard lock(fMutex);
        fAborted = true;
        fAwaited.reset();
    }
    fSignal.notify_all();
}

} // namespace kalvo
