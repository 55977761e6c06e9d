// The scan through a fake link: a controller modelled as registers, some addresses missing (as a
// smaller model lacks them), answering each request as the real one does.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "conversion/device_map.h"
#include "fake_controller.h"
#include "scan/scanner.h"
#include "transport/link.h"

namespace {

using transport::LineState;
using transport::Outcome;

// The controller's own line, 9600 7E1 ASCII, and a reply in 10 ms.
const modbus::LineCost kAsciiLine{};

std::vector<conversion::MapEntry> Registers(const char* range) {
    return conversion::ReadItem(range, conversion::ModbusTable::HoldingRegister).entries;
}

// "D100=100 D101=(the controller answered exception 02 ...)".
std::string Shown(const std::vector<scan::DeviceValue>& values) {
    std::string text;
    for (const auto& value : values) {
        text += (text.empty() ? "" : " ") + conversion::DeviceName(value.entry.device) + "=" +
                (value.value ? std::to_string(*value.value) : "(" + value.error + ")");
    }
    return text;
}

TEST(Scanner, SplitsARefusedRequestAndReadsTheRest) {
    FakeController controller;
    controller.missing = {0x1065};  // D101
    scan::Scanner scanner(Registers("D100-D102"), kAsciiLine);
    scanner.Scan(controller);
    EXPECT_EQ(Shown(scanner.values()),
              "D100=100 D101=(the controller answered exception 02 (illegal data address)) "
              "D102=102");
    ASSERT_EQ(scanner.failures().size(), 1U);
    EXPECT_EQ(scanner.failures()[0].devices, "D101");
    EXPECT_FALSE(scanner.ended_early());
    // The split plan is kept: the next scan sends only what worked, and D101 alone.
    controller.sent.clear();
    scanner.Scan(controller);
    EXPECT_EQ(controller.sent.front(), "1064+1");
    EXPECT_EQ(std::count(controller.sent.begin(), controller.sent.end(), "1065+1"), 1);
    EXPECT_EQ(scanner.requests(), controller.sent.size());
}

TEST(Scanner, SplitsARequestRefusedAcrossAGapIntoTheRunsAsked) {
    FakeController controller;
    controller.missing = {0x1067};  // D103, read across between D101 and D105
    auto entries = Registers("D100-D101");
    const auto far = Registers("D105");
    entries.insert(entries.end(), far.begin(), far.end());
    scan::Scanner scanner(entries, kAsciiLine);
    scanner.Scan(controller);
    EXPECT_EQ(controller.sent, (std::vector<std::string>{"1064+6", "1064+2", "1069+1"}));
    EXPECT_EQ(Shown(scanner.values()), "D100=100 D101=101 D105=105");
    EXPECT_TRUE(scanner.all_read());
}

TEST(Scanner, SplitsARefusedRunDeviceByDeviceButA32BitValueStaysWhole) {
    FakeController controller;
    controller.missing = {0x1067};  // D103
    const auto entries = Registers("D100-D103");
    scan::Scanner scanner(entries, kAsciiLine, {entries[1]});  // D101:i32 in D101 and D102
    scanner.Scan(controller);
    EXPECT_EQ(controller.sent, (std::vector<std::string>{"1064+4", "1064+1", "1065+2", "1067+1"}));
    EXPECT_EQ(Shown(scanner.values()),
              "D100=100 D101=101 D102=102 D103=(the controller answered exception 02 (illegal "
              "data address))");
}

TEST(Scanner, ADeviceRefusedAloneCannotBeSplit) {
    FakeController controller;
    controller.missing = {0x1064};
    scan::Scanner scanner(Registers("D100"), kAsciiLine);
    scanner.Scan(controller);
    EXPECT_EQ(controller.sent, std::vector<std::string>{"1064+1"});
    EXPECT_EQ(Shown(scanner.values()),
              "D100=(the controller answered exception 02 (illegal data address))");
    EXPECT_FALSE(scanner.all_read());
}

TEST(Scanner, ASilentRequestEndsTheScan) {
    FakeController controller;
    controller.silent = true;
    auto entries = Registers("D100");
    const auto far = Registers("D900");
    entries.insert(entries.end(), far.begin(), far.end());
    scan::Scanner scanner(entries, kAsciiLine);
    scanner.Scan(controller);
    EXPECT_EQ(controller.sent.size(), 1U);  // D900's request is not sent
    EXPECT_EQ(Shown(scanner.values()),
              "D100=(no answer within 200 ms after 1 try) "
              "D900=(not read: the controller did not answer D100)");
    ASSERT_TRUE(scanner.ended_early());
    EXPECT_EQ(scanner.ended_early()->devices, "D100");
}

// The reply delay a scan measures is each answer's time less its characters on the line: an answer
// that came faster than its characters could cross a 9600-baud line leaves none; over TCP there is
// no line to take off, and nothing is measured.
TEST(Scanner, MeasuresTheReplyDelayOnlyOnASerialLine) {
    FakeController controller;
    scan::Scanner serial(Registers("D100-D102"), kAsciiLine);
    EXPECT_FALSE(serial.MeasuredReplyDelay());
    serial.Scan(controller);
    EXPECT_EQ(serial.MeasuredReplyDelay(), std::chrono::milliseconds(0));

    modbus::LineCost tcp;
    tcp.mode.reset();
    scan::Scanner over_tcp(Registers("D100-D102"), tcp);
    over_tcp.Scan(controller);
    EXPECT_FALSE(over_tcp.MeasuredReplyDelay());
}

}  // namespace

namespace {

// A scan fed by hand, as a queue that sends the requests itself would: the same values, the same
// split after a refusal, and a reply that answers another request taken as a failure, not read.
TEST(Scanner, RunsStepByStepWithoutALink) {
    FakeController controller;
    controller.missing = {0x1065};  // D101
    scan::Scanner scanner(Registers("D100-D102"), kAsciiLine);
    scanner.Begin();
    std::size_t sent = 0;
    while (const modbus::ReadRequest* request = scanner.Next()) {
        scanner.Take(controller.Transact(modbus::RequestPdu(*request)), {});
        ++sent;
    }
    EXPECT_EQ(sent, 4U);  // D100-D102 refused, then D100, D101 and D102 one by one
    EXPECT_EQ(Shown(scanner.values()),
              "D100=100 D101=(the controller answered exception 02 (illegal data address)) "
              "D102=102");

    scanner.Begin();
    modbus::Reply short_reply;
    short_reply.kind = modbus::ReplyKind::Values;
    while (scanner.Next() != nullptr) {
        scanner.Take({short_reply, {}, LineState::Answering, {}, 1}, {});
    }
    EXPECT_EQ(scanner.values()[0].error, "a reply of 0 values to a read of 1");
    EXPECT_FALSE(scanner.all_read());
}

}  // namespace
