#pragma once

#include "checks/check_result.h"

#include <string>
#include <vector>

namespace kalvo {

// The check results as a program prints or files them.
class CheckReport {
public:
    // Aligned columns for a terminal: check, verdict, measured, expected, deviation, tolerance,
    // finding.
    static std::string Table(const std::vector<CheckResult>& results);
    // A header row, then a row per check (RFC 4180, CR LF).
    static std::string Csv(const std::vector<CheckResult>& results);
    // A JSON array of objects.
    static std::string Json(const std::vector<CheckResult>& results);
    // A JUnit XML report: one test case per check, a failure for a failed one, skipped for
    // waiting and not applicable, a warning in its system-out.
    static std::string JUnit(const std::vector<CheckResult>& results, const std::string& suite,
                             double seconds);
};

} // namespace kalvo
