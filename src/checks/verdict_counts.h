#pragma once

#include "checks/check_result.h"
#include "checks/verdict.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace kalvo {

// How many checks came to each verdict: the one count the summaries, the JUnit suite, the
// window's caption and the exit status read.
class VerdictCounts {
public:
    explicit VerdictCounts(const std::vector<CheckResult>& results);

    std::size_t operator[](Verdict verdict) const {
        return fCounts[static_cast<std::size_t>(verdict)];
    }
    std::size_t Total() const { return fTotal; }
    bool AnyFailed() const { return (*this)[Verdict::Failed] > 0; }
    // "14 checks: 12 passed, 1 warning, 1 failed".
    std::string Summary() const;
    // Waiting or not applicable: concluded nothing.
    std::size_t Inconclusive() const {
        return (*this)[Verdict::Waiting] + (*this)[Verdict::NotApplicable];
    }

private:
    std::array<std::size_t, 5> fCounts{};
    std::size_t fTotal = 0;
};

} // namespace kalvo
