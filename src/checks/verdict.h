#pragma once

#include <string_view>

namespace kalvo {

// What a check concluded. Waiting: it needs more reads or more time; not applicable: a value
// it needs is unavailable or was not read.
enum class Verdict { Passed, Warning, Failed, Waiting, NotApplicable };

constexpr std::string_view VerdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::Passed:
        return "passed";
    case Verdict::Warning:
        return "warning";
    case Verdict::Failed:
        return "failed";
    case Verdict::Waiting:
        return "waiting";
    case Verdict::NotApplicable:
        return "not applicable";
    }
    return "";
}

} // namespace kalvo
