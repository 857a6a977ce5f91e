#include "app/client_config.h"

namespace kalvo {

std::optional<int> ClientConfig::IntegerText(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

} // namespace kalvo
