// Clients served in turn: each row pushes requests as clients send them, interleaved with turns
// taken, and expects the order the line serves them in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gateway/request_queue.h"
#include "test_names.h"

namespace {

using gateway::PendingRequest;
using gateway::RequestQueue;

// "3:1" pushes client 3's request with transaction 1; "next" takes a turn; "drop 3" drops client
// 3's requests.
struct QueueCase {
    const char* name;
    std::vector<std::string> events;
    std::string served;  // "3:1 5:1 3:2", the turns taken
    std::size_t left;
};
ZENTRIQ_PRINT_ROW_AS_NAME(QueueCase)

const QueueCase kQueueCases[] = {
    {"OneClientsRequestsKeepTheirOrder", {"1:1", "1:2", "1:3", "next", "next", "next"}, "1:1 1:2 1:3", 0},
    {"ABusyClientWaitsBehindEveryOtherClientsNextRequest",
     {"1:1", "1:2", "1:3", "1:4", "2:1", "3:1", "next", "next", "next", "next", "next", "next"},
     "1:1 2:1 3:1 1:2 1:3 1:4",
     0},
    {"TurnsGoOnAfterTheClientServedLastNotFromTheStart",
     {"1:1", "1:2", "2:1", "next", "2:2", "next", "next", "next"},
     "1:1 2:1 1:2 2:2",
     0},
    {"AClientThatArrivesLateGetsItsTurnInThisRound",
     {"1:1", "1:2", "3:1", "next", "2:1", "next", "next", "next"},
     "1:1 2:1 3:1 1:2",
     0},
    {"ADroppedClientsRequestsAreGone",
     {"1:1", "2:1", "2:2", "3:1", "drop 2", "next", "next", "next"},
     "1:1 3:1",
     0},
    {"NoTurnWhenNothingWaits", {"next", "4:1", "next", "next"}, "4:1", 0},
    {"WhatIsNotServedStaysCounted", {"1:1", "2:1", "2:2", "next"}, "1:1", 2},
};

class RequestQueueTest : public testing::TestWithParam<QueueCase> {};

TEST_P(RequestQueueTest, ServesClientsInTurn) {
    RequestQueue queue;
    std::string served;
    for (const auto& event : GetParam().events) {
        if (event == "next") {
            if (auto request = queue.Next()) {
                served += (served.empty() ? "" : " ") + std::to_string(request->client) + ":" +
                          std::to_string(request->transaction);
            }
        } else if (event.rfind("drop ", 0) == 0) {
            queue.Drop(std::stoull(event.substr(5)));
        } else {
            const auto colon = event.find(':');
            PendingRequest request;
            request.client = std::stoull(event.substr(0, colon));
            request.transaction = static_cast<std::uint16_t>(std::stoul(event.substr(colon + 1)));
            queue.Push(request);
        }
    }
    EXPECT_EQ(served, GetParam().served);
    EXPECT_EQ(queue.size(), GetParam().left);
}

INSTANTIATE_TEST_SUITE_P(Table, RequestQueueTest, testing::ValuesIn(kQueueCases),
                         RowName<QueueCase>);

TEST(RequestQueue, TakeAllGivesWhatWaitsInTurnOrderAndEmptiesTheQueue) {
    RequestQueue queue;
    for (const auto& [client, transaction] : {std::pair{1, 1}, {1, 2}, {2, 1}}) {
        PendingRequest request;
        request.client = static_cast<gateway::ClientId>(client);
        request.transaction = static_cast<std::uint16_t>(transaction);
        queue.Push(request);
    }
    const auto all = queue.TakeAll();
    ASSERT_EQ(all.size(), 3U);
    EXPECT_EQ(all[1].client, 2U);
    EXPECT_EQ(queue.size(), 0U);
    EXPECT_EQ(queue.waiting(1), 0U);
}

}  // namespace
