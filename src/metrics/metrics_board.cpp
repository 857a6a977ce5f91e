#include "metrics/metrics_board.h"

#include <utility>

namespace kalvo {

MetricsBoard::MetricsBoard(std::vector<ModuleSnapshot> modules) : fModules(std::move(modules)) {}

void MetricsBoard::Update(std::size_t module, const std::function<void(ModuleSnapshot&)>& change) {
    std::lock_guard lock(fMutex);
    change(fModules.at(module));
}

std::vector<ModuleSnapshot> MetricsBoard::Snapshots() const {
    std::lock_guard lock(fMutex);
    return fModules;
}

} // namespace kalvo
