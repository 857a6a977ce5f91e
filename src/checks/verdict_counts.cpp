#include "checks/verdict_counts.h"

namespace kalvo {

VerdictCounts::VerdictCounts(const std::vector<CheckResult>& results) : fTotal(results.size()) {
    for (const CheckResult& result : results) {
        ++fCounts[static_cast<std::size_t>(result.Outcome)];
    }
}

std::string VerdictCounts::Summary() const {
    std::string text = std::to_string(fTotal) + " checks";
    const char* separator = ": ";
    for (const Verdict verdict : {Verdict::Passed, Verdict::Warning, Verdict::Failed,
                                  Verdict::Waiting, Verdict::NotApplicable}) {
        const std::size_t count = (*this)[verdict];
        if (count == 0) {
            continue;
        }
        std::string word(VerdictText(verdict));
        if (verdict == Verdict::Warning && count > 1) {
            word = "warnings";
        }
        text += separator + std::to_string(count) + " " + word;
        separator = ", ";
    }
    return text;
}

} // namespace kalvo
