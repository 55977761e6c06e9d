#include "web/watch_list.h"

#include <gtest/gtest.h>

#include "modbus/pdu.h"
#include "scan/fake_controller.h"

namespace {

using namespace std::chrono_literals;

const modbus::LineCost kCost{};

// One whole scan of `watch` against `controller`, as the console steps it; the requests sent.
std::size_t ScanOnce(web::WatchList& watch, FakeController& controller, web::Clock::time_point at) {
    std::size_t sent = 0;
    watch.Begin();
    while (const auto* request = watch.Next()) {
        watch.Take(controller.Transact(modbus::RequestPdu(*request)), 5ms, at);
        ++sent;
    }
    return sent;
}

TEST(WatchList, ReadsTheItemsTypedInTheFewestRequests) {
    web::WatchList watch(kCost);
    std::vector<std::string> notes;
    ASSERT_FALSE(watch.Watch({"D100", "M0-M3", "D101", "X17"}, notes));
    FakeController controller;
    const auto at = web::Clock::now();
    EXPECT_EQ(ScanOnce(watch, controller, at), 3U);  // D100-D101, M0-M3, X17
    const auto values = watch.Values(at + 250ms);
    ASSERT_EQ(values.size(), 7U);
    EXPECT_EQ(values[0].device, "D100");
    EXPECT_EQ(values[0].reference, "404197");
    EXPECT_EQ(values[0].value, "100");  // the fake's register holds its address's low byte
    EXPECT_EQ(values[0].number, 100.0);
    EXPECT_EQ(values[0].age, 250ms);
    EXPECT_EQ(values[2].device, "M1");
    EXPECT_EQ(values[2].value, "1");
    EXPECT_EQ(values[2].reference, "002050");
    EXPECT_EQ(watch.Series(),
              (std::vector<std::string>{"D100", "M0", "M1", "M2", "M3", "D101", "X17"}));
}

TEST(WatchList, SaysWhyEachValueIsMissingAndKeepsItsAge) {
    web::WatchList watch(kCost);
    std::vector<std::string> notes;
    ASSERT_FALSE(watch.Watch({"D100", "M0"}, notes));
    FakeController controller;
    const auto first = web::Clock::now();
    ScanOnce(watch, controller, first);
    controller.silent = true;
    ScanOnce(watch, controller, first + 1s);
    const auto values = watch.Values(first + 2s);
    ASSERT_EQ(values.size(), 2U);
    for (const auto& value : values) {
        EXPECT_TRUE(value.value.empty()) << value.device;
        EXPECT_FALSE(value.error.empty()) << value.device;
        EXPECT_FALSE(value.number);
        EXPECT_EQ(value.age, 2s) << value.device;  // last read by the first scan
    }
}

TEST(WatchList, RefusesAListItCannotReadAndKeepsTheOneInForce) {
    web::WatchList watch(kCost);
    std::vector<std::string> notes;
    ASSERT_FALSE(watch.Watch({"D100"}, notes));
    const struct {
        std::vector<std::string> items;
        const char* starts;
    } refused[] = {
        {{"D100", "Q5"}, "Q5"},
        {{"M0-M100"}, "101 values asked for: the console watches 100 at most"},
    };
    for (const auto& c : refused) {
        const auto failure = watch.Watch(c.items, notes);
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->message.rfind(c.starts, 0), 0U) << failure->message;
        EXPECT_EQ(watch.items(), std::vector<std::string>{"D100"});
    }
}

TEST(WatchList, TakesATagListsNamesAndTypes) {
    web::WatchList watch(kCost);
    std::vector<std::string> notes;
    ASSERT_FALSE(watch.WatchTagList(
        "Tag;Device;Type\nTank level;D200;f32\n\nPump running;Y0;\nBroken;Q9;\n", notes));
    EXPECT_EQ(watch.items(), (std::vector<std::string>{"D200:f32", "Y0"}));
    ASSERT_EQ(notes.size(), 1U);
    EXPECT_EQ(notes[0].rfind("line 5: Q9", 0), 0U) << notes[0];
    const auto values = watch.Values(web::Clock::now());
    ASSERT_EQ(values.size(), 2U);
    EXPECT_EQ(values[0].device, "D200:f32");
    EXPECT_EQ(values[0].name, "Tank level");
    EXPECT_EQ(values[1].name, "Pump running");

    // No header naming a device column: the devices are the first column's.
    ASSERT_FALSE(watch.WatchTagList("D100,pump speed\nM5,alarm\n", notes));
    EXPECT_EQ(watch.items(), (std::vector<std::string>{"D100", "M5"}));
    EXPECT_TRUE(watch.WatchTagList("Name,Type\n", notes));
}

}  // namespace
