#pragma once

#include "metrics/module_snapshot.h"

#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

namespace kalvo {

// The modules' latest state, written by the poller and read by the metrics server's threads.
// A scrape copies it under the lock and formats the copy, so no request holds up polling
// longer than that copy.
class MetricsBoard {
public:
    explicit MetricsBoard(std::vector<ModuleSnapshot> modules);

    void Update(std::size_t module, const std::function<void(ModuleSnapshot&)>& change);
    std::vector<ModuleSnapshot> Snapshots() const;

private:
    mutable std::mutex fMutex;
    std::vector<ModuleSnapshot> fModules;
};

} // namespace kalvo
