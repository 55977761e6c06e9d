// A path that keeps failing is refused at once but for one try per interval, the interval doubling
// up to its ceiling; one success clears it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gateway/backoff.h"
#include "test_names.h"

namespace {

using gateway::Backoff;
using gateway::BackoffPolicy;
using std::chrono::milliseconds;

// "try 1500" asks MayTry at 1500 ms and notes "+" (may) or "-" (refused); "fail 1500" and "ok".
struct BackoffCase {
    const char* name;
    std::vector<std::string> events;
    std::string answers;
};
ZENTRIQ_PRINT_ROW_AS_NAME(BackoffCase)

// Marked after 2 failures; tried again after 1 s, then 2 s, 4 s, at most 4 s.
const BackoffPolicy kPolicy{2, milliseconds(1000), milliseconds(4000)};

const BackoffCase kBackoffCases[] = {
    {"OneFailureDoesNotMark", {"try 0", "fail 0", "try 10", "ok", "try 20"}, "+++"},
    {"TwoFailuresInARowMarkUntilTheIntervalPasses",
     {"try 0", "fail 0", "try 100", "fail 100", "try 200", "try 1099", "try 1100"},
     "++--+"},
    {"OnlyOneTryWhileItIsUnderWay",
     {"fail 0", "fail 0", "try 1000", "try 1001", "try 5000"},
     "+--"},
    {"EachFailedTryDoublesTheIntervalUpToTheCeiling",
     {"fail 0", "fail 0", "try 1000", "fail 1000", "try 2999", "try 3000", "fail 3000",
      "try 6999", "try 7000", "fail 7000", "try 10999", "try 11000"},
     "+-+-+-+"},
    {"OneSuccessClearsTheMarkAndTheInterval",
     {"fail 0", "fail 0", "try 1000", "ok", "try 1001", "fail 1001", "try 1002", "fail 1002",
      "try 1003", "try 2002"},
     "+++-+"},
};

class BackoffTest : public testing::TestWithParam<BackoffCase> {};

TEST_P(BackoffTest, RefusesAMarkedPathButForOneTryPerInterval) {
    Backoff backoff(kPolicy);
    const gateway::Clock::time_point zero{};
    std::string answers;
    for (const auto& event : GetParam().events) {
        const auto space = event.find(' ');
        const auto at = zero + milliseconds(space == std::string::npos
                                                ? 0
                                                : std::stoi(event.substr(space + 1)));
        if (event.rfind("try", 0) == 0) {
            answers += backoff.MayTry(at) ? '+' : '-';
        } else if (event.rfind("fail", 0) == 0) {
            backoff.Failed(at);
        } else {
            backoff.Succeeded();
        }
    }
    EXPECT_EQ(answers, GetParam().answers);
}

INSTANTIATE_TEST_SUITE_P(Table, BackoffTest, testing::ValuesIn(kBackoffCases),
                         RowName<BackoffCase>);

TEST(StationBackoff, EachStationIsMarkedOnItsOwn) {
    gateway::StationBackoff stations(kPolicy);
    const gateway::Clock::time_point zero{};
    stations[2].Failed(zero);
    stations[2].Failed(zero);
    EXPECT_FALSE(stations[2].MayTry(zero + milliseconds(10)));
    EXPECT_TRUE(stations[1].MayTry(zero + milliseconds(10)));
}

}  // namespace
