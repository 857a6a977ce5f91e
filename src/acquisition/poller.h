#pragma once

#include "acquisition/polling_host.h"

namespace kalvo {

// One polling run as its owner sees it, whatever the transport.
class Poller {
public:
    virtual ~Poller() = default;

    virtual RunId Run() const = 0;
    virtual bool SingleStep() const = 0;
    // Ends the run after the read in flight; wakes the pause at once.
    virtual void Stop() = 0;
    // Stop, and also cut short the read in flight; nothing more of the run is counted.
    virtual void Abort() = 0;
    virtual bool Finished() const = 0;
    virtual void Join() = 0;
};

} // namespace kalvo
