// The line's exchanges for a caller that must not wait: queued and returning at once, run one at a
// time from the loop's top, each handler called afterwards on the loop, in the order queued.
#include <gtest/gtest.h>

// Boost 1.74's Asio uses std::exchange without its header under C++20.
#include <utility>

#include <boost/asio/io_context.hpp>
#include <string>
#include <vector>

#include "../scan/fake_controller.h"
#include "modbus/pdu.h"
#include "transport/line_queue.h"

namespace {

std::vector<std::uint8_t> ReadOf(std::uint16_t address) {
    return modbus::RequestPdu(
        modbus::ReadRequest{modbus::FunctionCode::ReadHoldingRegisters, address, 1});
}

TEST(LineQueue, RunsEachExchangeFromTheLoopsTopAndAnswersOnTheLoop) {
    boost::asio::io_context io;
    FakeController controller;
    transport::LineQueue line(io, controller);
    std::vector<std::string> heard;
    for (const std::uint16_t address : {std::uint16_t{0x1064}, std::uint16_t{0x1065}}) {
        line.AsyncTransact(1, ReadOf(address), false, [&heard](transport::Outcome outcome, auto) {
            heard.push_back(std::to_string(outcome.reply->values.at(0)));
        });
    }
    EXPECT_TRUE(controller.sent.empty()) << "queued, not sent";
    EXPECT_EQ(line.waiting(), 2U);

    EXPECT_TRUE(line.RunNext());
    EXPECT_EQ(controller.sent.size(), 1U);
    EXPECT_TRUE(heard.empty()) << "the handler runs on the loop, not inside RunNext";
    io.poll();
    EXPECT_EQ(heard, std::vector<std::string>{"100"});

    EXPECT_TRUE(line.RunNext());
    EXPECT_FALSE(line.RunNext());
    io.restart();
    io.poll();
    EXPECT_EQ(heard, (std::vector<std::string>{"100", "101"}));
}

}  // namespace
