#include "trend/trend_columns.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace kalvo {
namespace {

bool SamePoints(const std::vector<TrendSeries::Point>& a,
                const std::vector<TrendSeries::Point>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0);
}

// Whatever the view and the history did in between, the kept columns give the points a fresh
// reduction gives: readings with gaps, a view that follows, zooms and looks back, the oldest
// samples dropped beyond the capacity, and a clear.
TEST(TrendColumns, KeptColumnsGiveWhatAFreshReductionGives) {
    std::mt19937 random(7);
    TrendSeries series;
    series.SetCapacity(1000);
    TrendColumns kept;
    double time = 1.8e9;
    double span = 60;
    for (int step = 0; step < 4000; ++step) {
        const int readings = static_cast<int>(random() % 4);
        for (int i = 0; i < readings; ++i) {
            time += 0.2;
            series.Append(time, random() % 50 == 0 ? NAN : 230 + std::sin(time) + random() % 3);
        }
        if (step % 97 == 0) {
            span = 5.0 + random() % 300;
        }
        if (step == 2500) {
            series.Clear();
        }
        // Now and then a look back by part of the view, and on the next step the newest again.
        const double to = step % 7 == 3 ? time - span * (random() % 100) / 100 : time;
        const int columns = step % 500 == 0 ? 300 : 1200;
        TrendColumns fresh;
        ASSERT_TRUE(SamePoints(kept.Points(series, to - span, to, columns),
                               fresh.Points(series, to - span, to, columns)))
            << "step " << step;
    }
}

// A day at 200 ms followed at 1 200 columns: the first view reduces every column, a new
// reading only the newest ones.
TEST(TrendColumns, ANewReadingReducesOnlyTheNewestColumns) {
    TrendSeries series;
    double time = 1.8e9;
    for (int i = 0; i < 432'000; ++i) {
        series.Append(time += 0.2, std::sin(i / 1000.0));
    }
    TrendColumns columns;
    const double span = series.LastTime() - series.FirstTime();
    columns.Points(series, time - span, time, 1200);
    EXPECT_GE(columns.Reduced(), 1200U);
    for (int reading = 0; reading < 100; ++reading) {
        series.Append(time += 0.2, 0.5);
        columns.Points(series, time - span, time, 1200);
        EXPECT_LE(columns.Reduced(), 2U);
    }
    columns.Points(series, time - span, time, 1200);
    EXPECT_EQ(columns.Reduced(), 0U);
}

} // namespace
} // namespace kalvo
