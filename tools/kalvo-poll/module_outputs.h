#pragma once

#include "poll_options.h"
#include "session/module_session.h"
#include "session/session_plan.h"

#include <string>

namespace kalvo::poll {

// What kalvo-poll makes of one module's session, for one module or for each of many: the
// plan of its run, and its JUnit file and commissioning report at the end.
class ModuleOutputs {
public:
    static SessionPlan Plan(const PollOptions& options, const PollTarget& target);
    // "KALVO 12345678", or "KALVO module" before the serial number is read.
    static std::string SuiteName(const ModuleSession& session);
    static void WriteJUnit(const ModuleSession& session, const std::string& path, double seconds);
    static void WriteReport(const ModuleSession& session, const std::string& path,
                            const std::string& decimalSeparator);
};

} // namespace kalvo::poll
