#include "registers/comm_statistics.h"

#include <gtest/gtest.h>
#include <string>

namespace kalvo {
namespace {

using Time = CommStatisticsRecord::Time;

// Plays a sequence of outcomes ('E' error, 'G' good reply) at seconds 1, 2, 3, ...
CommStatisticsRecord Play(const std::string& outcomes) {
    int second = 0;
    CommStatistics statistics([&second] { return Time(std::chrono::seconds(second)); });
    for (char outcome : outcomes) {
        ++second;
        if (outcome == 'E') {
            statistics.RecordCommError();
        } else {
            statistics.CountResponse();
        }
    }
    return statistics.Snapshot();
}

TEST(CommStatistics, TracksRunsOfConsecutiveErrors) {
    struct Case {
        const char* outcomes;
        int consec;
        int max;
        int maxStart;
        int maxEnd;
    };
    const Case cases[] = {
        {"EEEGEE", 2, 3, 1, 3}, {"EEGE", 1, 2, 1, 2},
        {"EEGEE", 2, 2, 1, 2}, // an equal run keeps the first
        {"GEEEE", 4, 4, 2, 5},  {"", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const CommStatisticsRecord r = Play(c.outcomes);
        EXPECT_EQ(r.ConsecErrors, c.consec) << c.outcomes;
        EXPECT_EQ(r.MaxConsecErrors, c.max) << c.outcomes;
        EXPECT_EQ(r.MaxRunStart, Time(std::chrono::seconds(c.maxStart))) << c.outcomes;
        EXPECT_EQ(r.MaxRunEnd, Time(std::chrono::seconds(c.maxEnd))) << c.outcomes;
    }
}

TEST(CommStatistics, ResetClearsEverything) {
    CommStatistics statistics;
    statistics.CountRequest();
    statistics.CountResponse();
    statistics.CountNoResponse();
    statistics.CountUnmatched();
    statistics.CountInvalid();
    statistics.CountException();
    statistics.RecordCommError();
    EXPECT_EQ(statistics.Snapshot().Requests, 1);
    EXPECT_TRUE(statistics.Snapshot().LastWasError);
    statistics.Reset();
    const CommStatisticsRecord r = statistics.Snapshot();
    EXPECT_EQ(r.Requests + r.Responses + r.NoResponses + r.Unmatched + r.Invalid + r.Exceptions +
                  r.MaxConsecErrors + r.ConsecErrors,
              0);
    EXPECT_EQ(r.LastRequestTime, Time{});
    EXPECT_FALSE(r.LastWasError);
}

} // namespace
} // namespace kalvo
