#include "web/trend_buffer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using std::chrono::milliseconds;

TEST(TrendBuffer, KeepsItsWindowAndNoMoreSamples) {
    web::TrendBuffer trend(milliseconds(10'000), 5);
    trend.Reset({"D100"});
    for (web::WallMilliseconds second = 0; second < 8; ++second) {
        trend.Add({second * 1000, {static_cast<double>(second)}});
    }
    // Eight a second apart in a 10 s window, but five at most: the newest five.
    ASSERT_EQ(trend.samples().size(), 5U);
    EXPECT_EQ(trend.samples().front().at, 3000);
    trend.Add({20'000, {20}});
    // Everything before 10 s has fallen out of the window.
    ASSERT_EQ(trend.samples().size(), 1U);
    EXPECT_EQ(trend.samples().front().values.at(0), 20);
}

TEST(TrendBuffer, GivesEverySeriesAValueAndStartsAgainWithANewList) {
    web::TrendBuffer trend(milliseconds(60'000), 100);
    trend.Reset({"D100", "M0"});
    trend.Add({1000, {7}});  // a sample short of values
    ASSERT_EQ(trend.samples().back().values.size(), 2U);
    EXPECT_TRUE(std::isnan(trend.samples().back().values[1]));
    trend.Reset({"X0"});
    EXPECT_TRUE(trend.samples().empty());
    EXPECT_EQ(trend.series(), std::vector<std::string>{"X0"});
}

TEST(TrendCsv, WritesTimesInUtcAndLeavesMissingValuesEmpty) {
    web::TrendBuffer trend(milliseconds(1'000'000'000'000), 10);
    trend.Reset({"D100", "D200:f32", "Pump, \"main\""});
    trend.Add({1796925005752, {4196, 0.1, std::nan("")}});
    trend.Add({1796925006000, {-3, std::nan(""), 1}});
    EXPECT_EQ(web::TrendCsv(trend),
              "time,D100,D200:f32,\"Pump, \"\"main\"\"\"\r\n"
              "2026-12-10T17:50:05.752Z,4196,0.1,\r\n"
              "2026-12-10T17:50:06.000Z,-3,,1\r\n");
}

TEST(UtcText, CountsBeforeTheEpochToo) {
    EXPECT_EQ(web::UtcText(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(web::UtcText(-1), "1969-12-31T23:59:59.999Z");
}

}  // namespace
