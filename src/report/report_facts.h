#pragma once

#include "checks/check_settings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kalvo {

// The report's facts that the window and kalvo-poll must word alike, so that their reports of
// the same run agree.
class ReportFacts {
public:
    using Settings = std::vector<std::pair<std::string, std::string>>;

    // "Modbus/TCP 192.168.1.20:502".
    static std::string TcpConnection(const std::string& host, std::int32_t port);
    // "Modbus RTU ttyUSB0, 9600 baud, 8N1, server address 1".
    static std::string RtuConnection(const std::string& port, std::int32_t baud,
                                     std::int32_t address);
    // The polling interval, the reply time-out (Modbus/TCP only) and every check setting.
    static Settings Of(std::int32_t intervalMs, std::optional<std::int64_t> replyTimeoutMs,
                       const CheckSettings& checks);
    static std::string HostName();
    static std::string UserName();
};

} // namespace kalvo
