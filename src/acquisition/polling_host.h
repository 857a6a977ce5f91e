#pragma once

#include "registers/register_block.h"

#include <cstdint>
#include <span>
#include <string>

namespace kalvo {

// Identity of one polling run. A host drops what a run sends once a newer run has started.
using RunId = std::uint64_t;

// How a poller reaches its user interface. Every call but ThreadDone returns only after the
// host has handled it (on its own thread, if it has one); a host may refuse a call, for
// instance while it closes, and then returns at once.
class PollingHost {
public:
    virtual ~PollingHost() = default;

    virtual void AppendLog(RunId run, const std::string& message) = 0;
    // Fills the register image with the fill value, as every run does before its first read.
    virtual void FillRegisters(RunId run) = 0;
    // Stores `block`'s registers, just read, and refreshes the display.
    virtual void RefreshDisplay(RunId run, RegisterBlock block,
                                std::span<const std::uint16_t> registers) = 0;
    // A read of `block` failed (the trend shows a gap).
    virtual void ReadFailed(RunId, RegisterBlock) {}
    // Refreshes the statistics window when it is visible.
    virtual void UpdateDebugWindow(RunId run) = 0;
    virtual void RestoreIdleControls(RunId run) = 0;
    // Asks the host to stop the run, as the Stop button does.
    virtual void StopRun(RunId run) = 0;
    // The run's thread is about to end; the host may join it. Does not wait.
    virtual void ThreadDone(RunId run, bool singleStep) = 0;
};

} // namespace kalvo
