#include "report/report_facts.h"

#include "checks/check_setting_field.h"
#include "checks/check_text.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace kalvo {

namespace {

std::string Milliseconds(std::int64_t ms) {
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

} // namespace

std::string ReportFacts::TcpConnection(const std::string& host, std::int32_t port) {
    return "Modbus/TCP " + host + ":" + std::to_string(port);
}

std::string ReportFacts::RtuConnection(const std::string& port, std::int32_t baud,
                                       std::int32_t address) {
    return "Modbus RTU " + port + ", " + std::to_string(baud) + " baud, 8N1, server address " +
           std::to_string(address);
}

ReportFacts::Settings ReportFacts::Of(std::int32_t intervalMs,
                                      std::optional<std::int64_t> replyTimeoutMs,
                                      const CheckSettings& checks) {
    Settings settings = {{"Polling interval", Milliseconds(intervalMs)}};
    if (replyTimeoutMs) {
        settings.emplace_back("Reply time-out", Milliseconds(*replyTimeoutMs));
    }
    for (const CheckSettingField& field : CheckSettingField::All()) {
        const std::string unit = *field.Unit != '\0' ? std::string(" ") + field.Unit : "";
        settings.emplace_back(field.Label,
                              CheckText::Fixed(checks.*field.Field, field.Decimals) + unit);
    }
    return settings;
}

std::string ReportFacts::HostName() {
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string("unknown");
}

// The account the program runs as; the login name only where there is no such entry.
std::string ReportFacts::UserName() {
    if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_name != nullptr) {
        return entry->pw_name;
    }
    const char* login = std::getenv("LOGNAME");
    return login != nullptr ? login : "unknown";
}

} // namespace kalvo
