#include "checks/verdict_counts.h"

namespace kalvo {

VerdictCounts::VerdictCounts(const std::vector<CheckResult>& results) : fTotal(results.size()) {
    for (const CheckResult& result : results) {
        ++fCounts[static_cast<std::size_t>(result.Outcome)];
    }
}

} // namespace kalvo
