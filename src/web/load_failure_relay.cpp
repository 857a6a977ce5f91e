#include "web/load_failure_relay.h"

#include <utility>

namespace kalvo {

LoadFailureRelay::LoadFailureRelay(WebPlugin::LoadFailed failed, QObject* parent)
    : QObject(parent), fFailed(std::move(failed)) {}

void LoadFailureRelay::failed(const QString& address, const QString& reason) {
    fFailed(address, reason);
}

} // namespace kalvo
