#pragma once

#include "checks/verdict.h"

#include <string>

namespace kalvo {

// One check's verdict with the numbers behind it, as texts ready to show.
struct CheckResult {
    std::string Id;    // "clock", stable: JUnit test names and metrics labels use it
    std::string Title; // "Clock"
    Verdict Outcome = Verdict::Waiting;
    std::string Measured;
    std::string Expected;
    std::string Deviation;
    std::string Tolerance;
    // What the verdict says in words ("phase sequence reversed", "read again").
    std::string Finding;
    // What a failure usually means in the field.
    std::string Meaning;

    // A result still to be concluded.
    static CheckResult Named(const char* id, const char* title, const char* meaning) {
        CheckResult result;
        result.Id = id;
        result.Title = title;
        result.Meaning = meaning;
        return result;
    }
    CheckResult& Conclude(Verdict verdict, std::string finding) {
        Outcome = verdict;
        Finding = std::move(finding);
        return *this;
    }
};

} // namespace kalvo
