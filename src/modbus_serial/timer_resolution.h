#pragma once

namespace kalvo {

// Millisecond waits are accurate on Linux without asking for a finer timer period, so the
// process-wide resolution object has nothing to do here. It exists so that start-up reads
// the same everywhere.
class TSystemClockResolutionEnhancer {
public:
    unsigned TimerInterval() const { return FTimerInterval; }

private:
    unsigned FTimerInterval = 0;
};

} // namespace kalvo
