#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace kalvo {

// The queue of a thread that runs the messages posted to it, first in, first out. A serial
// connection delivers its results through the queue of the thread that created it.
class MessageQueue {
public:
    virtual ~MessageQueue() = default;
    // Thread-safe; never runs the message itself.
    virtual void Post(std::function<void()> message) = 0;
};

// A queue whose owner runs the messages when it chooses: tests and console programs.
class ManualMessageQueue : public MessageQueue {
public:
    void Post(std::function<void()> message) override;
    // Runs every message posted so far; returns how many ran.
    int Pump();
    // Waits up to `timeout` for a message, then pumps; false when none came.
    bool WaitAndPump(std::chrono::milliseconds timeout);
    // Waits for a message, however long it takes, then pumps.
    void WaitAndPump();
    // How many messages wait to be run.
    std::size_t Pending() const;

private:
    mutable std::mutex fMutex;
    std::condition_variable fPosted;
    std::deque<std::function<void()>> fMessages;
};

} // namespace kalvo
