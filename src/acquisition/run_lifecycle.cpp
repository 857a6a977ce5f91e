#include "acquisition/run_lifecycle.h"

#include <pthread.h>

namespace kalvo {

RunLifecycle::RunLifecycle(PollingHost& host, CommStatistics& statistics, RunId run,
                           Settings settings)
    : fHost(host), fStatistics(statistics), fRun(run), fSettings(settings) {}

RunLifecycle::~RunLifecycle() {
    Abort();
    Join();
}

void RunLifecycle::Start(const std::string& name, std::function<void()> body,
                         std::function<void()> onAbort) {
    fOnAbort = std::move(onAbort);
    fThread = std::thread([this, name, body = std::move(body)] { Execute(name, body); });
}

void RunLifecycle::Execute(const std::string& name, const std::function<void()>& body) {
    // Linux limits a thread name to 15 characters.
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
    if (fSettings.ResetStatistics) {
        fStatistics.Reset();
        fHost.UpdateDebugWindow(fRun);
    }
    body();
    fFinished = true;
    fHost.ThreadDone(fRun, SingleStep());
}

void RunLifecycle::Stop() {
    fTerminationRequest = true;
    fTerminateEvent.Set();
}

void RunLifecycle::Abort() {
    fAborted = true;
    Stop();
    if (fOnAbort) {
        fOnAbort();
    }
}

void RunLifecycle::Join() {
    if (fThread.joinable()) {
        fThread.join();
    }
}

void RunLifecycle::Pause(std::uint32_t cycle) {
    // No pause is no wait: a timed wait of zero still costs a futex round trip.
    if (!Continues(cycle) || fSettings.PollDelay <= 0) {
        return;
    }
    fTerminateEvent.WaitFor(std::chrono::milliseconds(fSettings.PollDelay));
}

} // namespace kalvo
