#include "modbus_serial/message_queue.h"

namespace kalvo {

void ManualMessageQueue::Post(std::function<void()> message) {
    {
        std::lock_guard lock(fMutex);
        fMessages.push_back(std::move(message));
    }
    fPosted.notify_all();
}

int ManualMessageQueue::Pump() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(fMutex);
        batch.swap(fMessages);
    }
    for (auto& message : batch) {
        message();
    }
    return static_cast<int>(batch.size());
}

bool ManualMessageQueue::WaitAndPump(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(fMutex);
        if (!fPosted.wait_for(lock, timeout, [this] { return !fMessages.empty(); })) {
            return false;
        }
    }
    Pump();
    return true;
}

std::size_t ManualMessageQueue::Pending() const {
    std::lock_guard lock(fMutex);
    return fMessages.size();
}

void ManualMessageQueue::WaitAndPump() {
    {
        std::unique_lock lock(fMutex);
        fPosted.wait(lock, [this] { return !fMessages.empty(); });
    }
    Pump();
}

} // namespace kalvo
