#include "modbus_serial/cancel_signal.h"

namespace kalvo {

void CancelSignal::Cancel() {
    Notify([this] { fCancelled = true; });
}

bool CancelSignal::Cancelled() const {
    std::lock_guard lock(fMutex);
    return fCancelled;
}

void CancelSignal::Notify(const std::function<void()>& change) {
    {
        std::lock_guard lock(fMutex);
        change();
    }
    fChanged.notify_all();
}

bool CancelSignal::WaitUntil(const std::function<bool()>& done) {
    std::unique_lock lock(fMutex);
    fChanged.wait(lock, [&] { return fCancelled || done(); });
    return done();
}

} // namespace kalvo
