// The exchange every link shares, on a scripted serial line: the tries of a request, what ends each
// (the time, a corrupt reply, the answer), and the replies still owed when the next request goes.
// Times are a few hundred milliseconds, so that a reply can come after its try's timeout, with
// margins a busy machine still keeps to.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "modbus/pdu.h"
#include "modbus/wire.h"
#include "transport/asio_link.h"
#include "transport/stop_flag.h"

namespace {

using namespace std::chrono_literals;
using transport::Clock;

// Every time below is a multiple of this: the margins between a reply and a timeout are tens of
// milliseconds, which a machine ten times slower than a quiet one still keeps to.
constexpr int kScale = 5;
constexpr std::chrono::milliseconds At(int milliseconds) {
    return std::chrono::milliseconds(milliseconds * kScale);
}

constexpr auto kTimeout = At(60);

// The loop a link waits on and its stop flag: a test's own, no signals taken.
struct Loop {
    boost::asio::io_context io;
    transport::StopFlag stop{io};
};

// A reply the line delivers `delay` after try number `to_try` (counting from 0) was sent.
struct Scripted {
    std::size_t to_try;
    std::chrono::milliseconds delay;
    std::string bytes;
    bool delivered = false;
};

class ScriptedLine final : public transport::AsioLink {
  public:
    ScriptedLine(Loop& loop, const transport::Connection& connection, std::vector<Scripted> script)
        : AsioLink(loop.io, loop.stop, connection, nullptr,
                   modbus::SerialFrameFinder(connection.mode)),
          script_(std::move(script)) {}

    std::optional<text::Failure> Open() override {
        open_ = true;
        return std::nullopt;
    }

    std::size_t tries() const { return sent_.size(); }

  private:
    bool IsOpen() const override { return open_; }
    void Close() override { open_ = false; }

    std::optional<text::Failure> Send(std::uint8_t, std::span<const std::uint8_t>,
                                      std::uint16_t) override {
        DropPending();
        sent_.push_back(Clock::now());
        return std::nullopt;
    }

    std::size_t ReadSome(std::span<std::uint8_t> buffer, Clock::time_point deadline,
                         boost::system::error_code& error) override {
        error = {};
        Scripted* next = nullptr;
        Clock::time_point due{};
        for (auto& reply : script_) {
            if (!reply.delivered && reply.to_try < sent_.size()) {
                const auto at = sent_[reply.to_try] + reply.delay;
                if (next == nullptr || at < due) {
                    next = &reply;
                    due = at;
                }
            }
        }
        if (next == nullptr || due > deadline) {
            std::this_thread::sleep_until(deadline);
            return 0;
        }
        std::this_thread::sleep_until(due);
        next->delivered = true;
        const std::size_t size = std::min(buffer.size(), next->bytes.size());
        std::copy_n(next->bytes.begin(), size, buffer.begin());
        return size;
    }

    transport::Attempt ReadFailed(const boost::system::error_code&) override { return {}; }
    void CutShort() override {}

    std::vector<Scripted> script_;
    std::vector<Clock::time_point> sent_;
    bool open_ = false;
};

transport::Connection Ascii() {
    transport::Connection connection;
    connection.timeout = kTimeout;
    connection.retries = 2;
    return connection;
}

// D100 or D101 read alone, and the controller's answer holding `value`.
std::vector<std::uint8_t> ReadOf(std::uint16_t address) {
    return modbus::RequestPdu(
        modbus::ReadRequest{modbus::FunctionCode::ReadHoldingRegisters, address, 1});
}

std::string AnswerWith(std::uint16_t value) {
    const std::vector<std::uint8_t> pdu{0x03, 0x02, static_cast<std::uint8_t>(value >> 8),
                                        static_cast<std::uint8_t>(value)};
    return modbus::AsciiFrame(1, pdu);
}

std::uint16_t ValueOf(const transport::Outcome& outcome) {
    return outcome.reply && !outcome.reply->values.empty() ? outcome.reply->values[0] : 0xFFFF;
}

TEST(AsioLink, ASilentLineIsTriedAsOftenAsAskedAndSaidSilent) {
    Loop loop;
    ScriptedLine line(loop, Ascii(), {});
    line.Open();
    const auto outcome = line.Transact(ReadOf(0x1064));
    EXPECT_FALSE(outcome.reply);
    EXPECT_EQ(outcome.message, "no answer within 300 ms after 3 tries");
    EXPECT_EQ(outcome.line, transport::LineState::Silent);
    EXPECT_EQ(line.tries(), 3U);
}

TEST(AsioLink, ARequestWhoseReplyCannotBeCheckedIsNotSent) {
    Loop loop;
    ScriptedLine line(loop, Ascii(), {});
    line.Open();
    // 23 (read/write multiple registers): no row of the function shapes, so no reply is trusted.
    const std::vector<std::uint8_t> request{0x17, 0x10, 0x64, 0x00, 0x01, 0x10,
                                            0x64, 0x00, 0x01, 0x02, 0x00, 0x07};
    const auto outcome = line.Transact(request);
    EXPECT_FALSE(outcome.reply);
    EXPECT_EQ(outcome.message,
              "not sent: a request of function 23 (0x17), whose shape is not known here");
    EXPECT_EQ(line.tries(), 0U);
    EXPECT_EQ(line.counters().requests, 0U);
}

TEST(AsioLink, ACorruptReplyIsAskedAgainAtOnce) {
    std::string corrupt = AnswerWith(7);
    corrupt[corrupt.size() - 3] ^= 1;  // the LRC's last digit
    Loop loop;
    ScriptedLine line(loop, Ascii(), {{0, At(5), corrupt}, {1, At(5), AnswerWith(7)}});
    line.Open();
    const auto started = Clock::now();
    const auto outcome = line.Transact(ReadOf(0x1064));
    EXPECT_EQ(ValueOf(outcome), 7);
    EXPECT_EQ(line.tries(), 2U);
    EXPECT_LT(Clock::now() - started, kTimeout);  // not after a timeout
}

// A frame that arrived whole was the station's turn, whatever it says: the try ends at once, and
// the next request does not wait for a reply that will never come.
TEST(AsioLink, AWholeFrameThatIsNoAnswerEndsItsTryAndIsOwedNothing) {
    std::string corrupt = AnswerWith(7);
    corrupt[corrupt.size() - 3] ^= 1;
    const std::vector<std::uint8_t> from_two{0x03, 0x02, 0x00, 0x07};
    const std::string foreign = modbus::AsciiFrame(2, from_two);
    for (const auto& [name, bad] : {std::pair{"corrupt", corrupt}, std::pair{"slave 2", foreign}}) {
        SCOPED_TRACE(name);
        auto connection = Ascii();
        connection.retries = 0;
        Loop loop;
        ScriptedLine line(loop, connection, {{0, At(5), bad}, {1, At(5), AnswerWith(8)}});
        line.Open();
        const auto started = Clock::now();
        const auto first = line.Transact(ReadOf(0x1064));
        EXPECT_FALSE(first.reply);
        EXPECT_EQ(first.line, transport::LineState::Answering);
        const auto second = line.Transact(ReadOf(0x1064));
        EXPECT_EQ(ValueOf(second), 8);
        EXPECT_LT(Clock::now() - started, kTimeout) << "a try or a request waited out the time";
        EXPECT_EQ(line.counters().broken, 1U);
    }
}

TEST(AsioLink, AnEchoOfTheRequestIsPassedOver) {
    const auto request = ReadOf(0x1064);
    Loop loop;
    ScriptedLine line(loop, Ascii(),
                      {{0, At(2), modbus::AsciiFrame(1, request)}, {0, At(6), AnswerWith(9)}});
    line.Open();
    const auto outcome = line.Transact(request);
    EXPECT_EQ(ValueOf(outcome), 9);
    EXPECT_EQ(line.tries(), 1U);
}

TEST(AsioLink, AReplyOwedToATimedOutTryIsNeverTheNextRequestsAnswer) {
    // D100's first try is answered late, during its second try, which is answered soon after: that
    // reply, still owed when D101 is asked for, looks exactly like D101's answer.
    Loop loop;
    ScriptedLine line(
        loop, Ascii(),
        {{0, At(70), AnswerWith(100)}, {1, At(20), AnswerWith(100)}, {2, At(30), AnswerWith(101)}});
    line.Open();
    const auto first = line.Transact(ReadOf(0x1064));
    EXPECT_EQ(ValueOf(first), 100);
    EXPECT_EQ(line.tries(), 2U);
    const auto second = line.Transact(ReadOf(0x1065));
    EXPECT_EQ(ValueOf(second), 101) << "D101 took the reply owed to D100's second try";
    EXPECT_EQ(line.tries(), 3U);
}

TEST(AsioLink, SettleWaitsOutTheOwedReplyAndSaysHowLateItCame) {
    auto connection = Ascii();
    connection.retries = 0;
    Loop loop;
    // Later than the timeout, before the line would be taken as free (twice the timeout).
    ScriptedLine line(loop, connection, {{0, At(95), AnswerWith(1)}});
    line.Open();
    EXPECT_EQ(line.Transact(ReadOf(0x1064)).line, transport::LineState::Silent);
    const auto late = line.Settle();
    ASSERT_TRUE(late);
    EXPECT_GE(*late, At(95));
    EXPECT_FALSE(line.Settle()) << "nothing is owed any more";
}

}  // namespace
