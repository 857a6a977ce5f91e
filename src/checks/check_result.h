#pragma once

#include "checks/check_info.h"
#include "checks/verdict.h"

#include <string>
#include <string_view>

namespace kalvo {

// One check's verdict with the numbers behind it, as texts ready to show.
struct CheckResult {
    CheckId Check = CheckId::Clock;
    Verdict Outcome = Verdict::Waiting;
    std::string Measured;
    std::string Expected;
    std::string Deviation;
    std::string Tolerance;
    // What the verdict says in words ("phase sequence reversed", "read again").
    std::string Finding;

    // "clock": stable, JUnit test names and metrics labels use it.
    std::string_view Key() const { return InfoOf(Check).Key; }
    std::string_view Title() const { return InfoOf(Check).Title; }
    std::string_view Meaning() const { return InfoOf(Check).Meaning; }

    // A result still to be concluded.
    static CheckResult Of(CheckId check) {
        CheckResult result;
        result.Check = check;
        return result;
    }
    CheckResult& Conclude(Verdict verdict, std::string finding) {
        Outcome = verdict;
        Finding = std::move(finding);
        return *this;
    }
};

} // namespace kalvo
