#include "web/console_write.h"

#include <gtest/gtest.h>

#include "scan/fake_controller.h"

namespace {

using namespace std::chrono_literals;

// Runs `job` to its end against `controller`: the requests it sent.
std::size_t RunJob(web::WriteJob& job, FakeController& controller) {
    std::size_t sent = 0;
    while (auto pdu = job.Next()) {
        job.Take(controller.Transact(*pdu), 5ms);
        ++sent;
    }
    return sent;
}

TEST(WriteJob, WritesThenReadsBack) {
    const struct {
        const char* item;
        const char* device;
        const char* written;
    } cases[] = {
        {"D100=250", "D100", "250"},
        {"Y0=on", "Y0", "1"},
        {"D200:f32=21.5", "D200:f32", "21.5"},
        {"D100:i16=-3", "D100:i16", "-3"},
    };
    for (const auto& c : cases) {
        auto writes = web::ReadWrite(c.item);
        ASSERT_TRUE(std::holds_alternative<scan::AskedWrites>(writes)) << c.item;
        const auto confirm = web::RowsToConfirm(std::get<scan::AskedWrites>(writes));
        ASSERT_EQ(confirm.size(), 1U);
        EXPECT_EQ(confirm[0].device, c.device);
        EXPECT_EQ(confirm[0].written, c.written);
        EXPECT_TRUE(confirm[0].read_back.empty());

        FakeController controller;
        web::WriteJob job(std::get<scan::AskedWrites>(std::move(writes)), modbus::LineCost{});
        EXPECT_EQ(RunJob(job, controller), 2U) << c.item;  // one write, one read back
        const auto rows = job.Rows();
        ASSERT_EQ(rows.size(), 1U);
        EXPECT_EQ(rows[0].read_back, c.written) << c.item;
        EXPECT_TRUE(job.ok()) << c.item << ": " << rows[0].error;
    }
}

TEST(WriteJob, SaysWhyNothingWasWrittenOnASilentLine) {
    auto writes = web::ReadWrite("D100=250");
    FakeController controller;
    controller.silent = true;
    web::WriteJob job(std::get<scan::AskedWrites>(std::move(writes)), modbus::LineCost{});
    EXPECT_EQ(RunJob(job, controller), 1U);  // nothing read back after silence
    const auto rows = job.Rows();
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0].error.rfind("not written: ", 0), 0U) << rows[0].error;
    EXPECT_FALSE(job.ok());
}

TEST(ReadWrite, RefusesWhatCannotBeWritten) {
    for (const char* item : {"X0=1", "D100", "Q5=1", "D100=70000", "D100=1 D101=2"}) {
        EXPECT_TRUE(std::holds_alternative<text::Failure>(web::ReadWrite(item))) << item;
    }
}

TEST(OutcomeOf, TakesTheGatewaysOwnExceptionsAsNoAnswer) {
    const std::vector<std::uint8_t> read{0x03, 0x10, 0x64, 0x00, 0x01};
    const auto silent = web::OutcomeOf(read, {0x83, 0x0B}, "station 1 has not been answering");
    EXPECT_FALSE(silent.reply);
    EXPECT_EQ(silent.line, transport::LineState::Silent);
    EXPECT_EQ(silent.message, "station 1 has not been answering");
    EXPECT_EQ(web::OutcomeOf(read, {0x83, 0x0A}, "down").line, transport::LineState::Down);
    const auto refused = web::OutcomeOf(read, {0x83, 0x02}, "exception 02");
    ASSERT_TRUE(refused.reply);
    EXPECT_EQ(refused.reply->kind, modbus::ReplyKind::Exception);
    const auto values = web::OutcomeOf(read, {0x03, 0x02, 0x00, 0xFA}, "ok");
    ASSERT_TRUE(values.reply);
    EXPECT_EQ(values.reply->values, std::vector<std::uint16_t>{250});
}

}  // namespace
