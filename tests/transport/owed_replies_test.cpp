// The replies a serial line owes, and when a line that still owes some may be taken as free.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "test_names.h"
#include "transport/owed_replies.h"

namespace {

using std::chrono::milliseconds;
using transport::OwedReplies;

enum class Event { Sent, Heard, Answered, Forgive };

struct Step {
    Event event;
    int at_ms;
};

struct OwedCase {
    const char* name;
    int timeout_ms;
    std::vector<Step> steps;
    std::size_t owed;
    int give_up_ms;     // GiveUpAt, from the clock's zero
    int longest_ms;     // the longest delay seen
    int last_delay_ms;  // what the last Answered gave
};
ZENTRIQ_PRINT_ROW_AS_NAME(OwedCase)

const OwedCase kOwedCases[] = {
    // A controller that serves one request at a time, each reply 1.2 s after the one before, with
    // a 1 s timeout: the retry's own reply comes at 2.4 s, so the line is held past it.
    {"SlowControllerHoldsTheLinePastTheRetrysReply",
     1000,
     {{Event::Sent, 0}, {Event::Sent, 1000}, {Event::Answered, 1200}},
     1,
     3800,
     1200,
     1200},
    {"SlowControllerPaidInFull",
     1000,
     {{Event::Sent, 0}, {Event::Sent, 1000}, {Event::Answered, 1200}, {Event::Answered, 2400}},
     0,
     4500,
     1400,
     1400},
    // Nothing heard after three tries 200 ms apart: held one timeout past the last try's own,
    // which covers a stall of 3.5 timeouts.
    {"SilentTriesHeldATimeoutPastTheLast",
     200,
     {{Event::Sent, 0}, {Event::Sent, 200}, {Event::Sent, 400}},
     3,
     800,
     0,
     0},
    {"BytesHeardLateHoldTheLineLonger", 200, {{Event::Sent, 0}, {Event::Heard, 650}}, 1, 850, 0, 0},
    {"AReplyNoOneAskedForIsNotCounted", 200, {{Event::Answered, 50}}, 0, 400, 0, 0},
    {"AHealthyReplyIsADelayToo", 1000, {{Event::Sent, 0}, {Event::Answered, 30}}, 0, 2000, 30, 30},
    // A port opened anew owes nothing, but the lateness seen on the line is kept.
    {"ForgivenOwedKeepTheLongestDelay",
     200,
     {{Event::Sent, 0}, {Event::Answered, 400}, {Event::Sent, 500}, {Event::Forgive, 900}},
     0,
     1300,
     400,
     400},
};

class OwedRepliesTest : public testing::TestWithParam<OwedCase> {};

TEST_P(OwedRepliesTest, OwesAndFreesTheLine) {
    const OwedCase& c = GetParam();
    const OwedReplies::Time zero{};
    OwedReplies owed{milliseconds(c.timeout_ms)};
    OwedReplies::Duration last_delay{};
    for (const auto& step : c.steps) {
        const auto at = zero + milliseconds(step.at_ms);
        switch (step.event) {
            case Event::Sent:
                owed.Sent(at);
                break;
            case Event::Heard:
                owed.Heard(at);
                break;
            case Event::Answered:
                last_delay = owed.Answered(at);
                break;
            case Event::Forgive:
                owed.Forgive();
                break;
        }
    }
    EXPECT_EQ(owed.owed(), c.owed);
    EXPECT_EQ(owed.GiveUpAt() - zero, milliseconds(c.give_up_ms));
    EXPECT_EQ(owed.longest_delay(), milliseconds(c.longest_ms));
    EXPECT_EQ(last_delay, milliseconds(c.last_delay_ms));
}

INSTANTIATE_TEST_SUITE_P(Table, OwedRepliesTest, testing::ValuesIn(kOwedCases), RowName<OwedCase>);

}  // namespace
