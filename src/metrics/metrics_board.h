#pragma once

#include "metrics/module_snapshot.h"

#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

namespace kalvo {

// The modules' latest state, written by the poller and read by the metrics server's threads.
// A scrape copies it under the lock and formats the copy, so no request holds up polling
// longer than that copy. The checks' verdicts are asked for at the scrape, of each module
// that is up: worded once per scrape instead of once per read.
class MetricsBoard {
public:
    using ChecksOf = std::function<std::vector<CheckResult>(std::size_t module)>;

    MetricsBoard(std::vector<ModuleSnapshot> modules, ChecksOf checks);

    void Update(std::size_t module, const std::function<void(ModuleSnapshot&)>& change);
    std::vector<ModuleSnapshot> Snapshots() const;

private:
    mutable std::mutex fMutex;
    std::vector<ModuleSnapshot> fModules;
    ChecksOf fChecks;
};

} // namespace kalvo
