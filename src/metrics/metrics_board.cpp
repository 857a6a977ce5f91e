#include "metrics/metrics_board.h"

#include <utility>

namespace kalvo {

MetricsBoard::MetricsBoard(std::vector<ModuleSnapshot> modules, ChecksOf checks)
    : fModules(std::move(modules)), fChecks(std::move(checks)) {}

void MetricsBoard::Update(std::size_t module, const std::function<void(ModuleSnapshot&)>& change) {
    std::lock_guard lock(fMutex);
    change(fModules.at(module));
}

std::vector<ModuleSnapshot> MetricsBoard::Snapshots() const {
    std::vector<ModuleSnapshot> modules;
    {
        std::lock_guard lock(fMutex);
        modules = fModules;
    }
    for (std::size_t m = 0; m < modules.size(); ++m) {
        if (modules[m].Up) {
            modules[m].Checks = fChecks(m);
        }
    }
    return modules;
}

} // namespace kalvo
