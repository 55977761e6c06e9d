// Requests as they go on the wire and replies as they come back: PDUs and frames byte for byte, a
// reply matched to its request, and the finders fed whatever a port delivers, in any pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "modbus/pdu.h"
#include "modbus/wire.h"
#include "test_names.h"
#include "text/ascii_text.h"

namespace {

using modbus::FunctionCode;
using modbus::ReplyKind;
using modbus::RtuProgress;
using Bytes = std::vector<std::uint8_t>;

// "01 03 10 64" (spaces optional) as bytes.
Bytes Hex(std::string_view text) {
    Bytes bytes;
    int high = -1;
    for (const char c : text) {
        if (c == ' ') {
            continue;
        }
        const int digit = c <= '9' ? c - '0' : c - 'A' + 10;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    return bytes;
}

Bytes BytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

using text::ascii::SpacedHex;

// ---- Requests ----

struct WriteCase {
    const char* name;
    modbus::WriteRequest request;
    std::string ascii;  // the frame for slave 1, empty when the request cannot be sent
};
ZENTRIQ_PRINT_ROW_AS_NAME(WriteCase)

class WriteFrameTest : public testing::TestWithParam<WriteCase> {};

TEST_P(WriteFrameTest, IsWrittenByteForByte) {
    const auto& row = GetParam();
    const Bytes pdu = modbus::RequestPdu(row.request);
    EXPECT_EQ(pdu.empty() ? "" : modbus::AsciiFrame(1, pdu), row.ascii);
}

const WriteCase kWriteCases[] = {
    {"CoilOn", {FunctionCode::WriteSingleCoil, 0x0500, {1}}, ":01050500FF00F6\r\n"},
    {"CoilOff", {FunctionCode::WriteSingleCoil, 0x0805, {0}}, ":010508050000ED\r\n"},
    {"Register", {FunctionCode::WriteSingleRegister, 0x1064, {250}}, ":0106106400FA8B\r\n"},
    {"Coils", {FunctionCode::WriteMultipleCoils, 0x0500, {1, 0, 1}}, ":010F050000030105E2\r\n"},
    {"CoilsInTwoBytes",
     {FunctionCode::WriteMultipleCoils, 0x0500, {1, 0, 1, 1, 0, 0, 0, 0, 0, 1}},
     ":010F0500000A020D02D0\r\n"},
    {"Registers",
     {FunctionCode::WriteMultipleRegisters, 0x1064, {250, 0xFFFD}},
     ":0110106400020400FAFFFD7F\r\n"},
    {"SingleWithTwoValues", {FunctionCode::WriteSingleRegister, 0x1064, {1, 2}}, ""},
    {"NoValues", {FunctionCode::WriteMultipleRegisters, 0x1064, {}}, ""},
    {"MoreThan123Registers",
     {FunctionCode::WriteMultipleRegisters, 0x1000, std::vector<std::uint16_t>(124, 0)},
     ""},
    {"ReadCode", {FunctionCode::ReadHoldingRegisters, 0x1064, {1}}, ""},
};
INSTANTIATE_TEST_SUITE_P(Writes, WriteFrameTest, testing::ValuesIn(kWriteCases),
                         RowName<WriteCase>);

TEST(Frames, OfOneReadInEachTransport) {
    const Bytes pdu = modbus::RequestPdu({FunctionCode::ReadHoldingRegisters, 0x1064, 2});
    EXPECT_EQ(modbus::AsciiFrame(1, pdu), ":01031064000286\r\n");
    EXPECT_EQ(SpacedHex(modbus::RtuFrame(1, pdu)), "01 03 10 64 00 02 81 14");
    EXPECT_EQ(SpacedHex(modbus::TcpFrame(0x0102, 1, pdu)), "01 02 00 00 00 06 01 03 10 64 00 02");
    EXPECT_EQ(modbus::TcpFrameText(1, 1, pdu), "[tcp 0001] 01 03 10 64 00 02 81 14");
    EXPECT_TRUE(modbus::TcpFrame(1, 1, Bytes(254, 3)).empty());
}

// ---- Replies ----

struct ReplyCase {
    const char* name;
    std::string request;
    std::string reply;
    std::string expected;  // "values 250 65533", "exception 02", or the problem
};
ZENTRIQ_PRINT_ROW_AS_NAME(ReplyCase)

class ReadReplyTest : public testing::TestWithParam<ReplyCase> {};

TEST_P(ReadReplyTest, TrustsOnlyTheAnswerToTheRequest) {
    const auto& row = GetParam();
    const auto reply = modbus::ReadReply(Hex(row.request), Hex(row.reply));
    std::string got;
    switch (reply.kind) {
        case ReplyKind::Values:
            got = "values";
            for (const auto value : reply.values) {
                got += " " + std::to_string(value);
            }
            break;
        case ReplyKind::Exception:
            got = "exception " + std::to_string(reply.exception);
            break;
        case ReplyKind::Unrelated:
            got = reply.message;
            break;
    }
    EXPECT_EQ(got, row.expected);
}

const ReplyCase kReplyCases[] = {
    {"Registers", "03 1064 0002", "03 04 00FA FFFD", "values 250 65533"},
    {"CoilsLowestBitFirst", "01 0500 000A", "01 02 0D 02", "values 1 0 1 1 0 0 0 0 0 1"},
    {"WriteEcho", "05 0500 FF00", "05 0500 FF00", "values"},
    {"WriteOfMany", "10 1064 0002 04 00FA FFFD", "10 1064 0002", "values"},
    {"Exception", "03 1064 0002", "83 02", "exception 2"},
    {"ExceptionTooLong", "03 1064 0002", "83 02 00",
     "an exception reply of 3 bytes where 2 are expected"},
    {"OtherFunction", "03 1064 0002", "01 01 00",
     "a reply to function 1 (0x01) instead of function 3 (0x03)"},
    {"ExceptionToOtherFunction", "03 1064 0002", "81 02",
     "an exception to function 1 (0x01) instead of function 3 (0x03)"},
    {"ByteCountPastTheData", "03 1064 0002", "03 04 00FA",
     "a byte count of 4 over 2 bytes of data"},
    {"ByteCountShortOfTheData", "03 1064 0002", "03 02 00FA FFFD",
     "a byte count of 2 over 4 bytes of data"},
    {"MoreRegistersThanAsked", "03 1064 0002", "03 06 0001 0002 0003",
     "6 bytes of data where 2 registers take 4"},
    {"FewerCoilsThanAsked", "01 0500 000A", "01 01 0D", "1 byte of data where 10 coils take 2"},
    {"NoByteCount", "03 1064 0002", "03", "a reply without its byte count"},
    {"Empty", "03 1064 0002", "", "an empty reply"},
    {"WrongEcho", "05 0500 FF00", "05 0500 0000", "an echo 05 00 00 00 instead of 05 00 FF 00"},
    {"WrongQuantity", "10 1064 0003 06 0001 0002 0003", "10 1064 0002",
     "start and quantity 10 64 00 02 instead of 10 64 00 03"},
    {"ShortEcho", "06 1064 00FA", "06 1064 00", "a reply of 4 bytes where 5 are expected"},
    {"NoRequest", "03 10", "03 00", "no request of a read or a write to answer"},
    {"ReportSlaveId", "11", "11 03 01 FF 2A", "values 1 255 42"},
    {"ReportSlaveIdCountPastTheData", "11", "11 04 01 FF",
     "a report of 4 bytes whose byte count does not fit"},
    {"ReportSlaveIdException", "11", "91 01", "exception 1"},
};
INSTANTIATE_TEST_SUITE_P(Replies, ReadReplyTest, testing::ValuesIn(kReplyCases),
                         RowName<ReplyCase>);

TEST(ReplyPduSize, FollowsFromTheRequest) {
    EXPECT_EQ(modbus::ReplyPduSize(Hex("01 0500 000A")), 4u);
    EXPECT_EQ(modbus::ReplyPduSize(Hex("0F 0500 0003 01 05")), 5u);
    EXPECT_EQ(modbus::ReplyPduSize(Hex("11")), 0u);
}

// ---- Finding frames ----

// A found frame in one line: its text, and its fault or its slave and PDU.
std::string Shown(const modbus::WireFrame& frame) {
    return frame.text + (frame.fault.empty()
                             ? " = " + std::to_string(frame.slave) + ": " + SpacedHex(frame.pdu)
                             : " ! " + frame.fault);
}

// Feeds `stream` to a finder in pieces of `piece` bytes (all at once for 0) and gives what it
// found.
template <class Finder>
std::vector<std::string> Found(Finder& finder, const Bytes& stream, std::size_t piece) {
    std::vector<std::string> found;
    for (std::size_t at = 0; at < stream.size(); at += piece == 0 ? stream.size() : piece) {
        const std::size_t size = piece == 0 ? stream.size() : std::min(piece, stream.size() - at);
        finder.Add(std::span(stream).subspan(at, size));
        while (auto frame = finder.Next()) {
            found.push_back(Shown(*frame));
        }
    }
    return found;
}

struct FinderCase {
    const char* name;
    Bytes stream;
    std::vector<std::string> frames;
    std::size_t skipped_or_lost = 0;  // bytes skipped (ASCII), or 1 when the stream is lost (TCP)
};
ZENTRIQ_PRINT_ROW_AS_NAME(FinderCase)

class AsciiFinderTest : public testing::TestWithParam<FinderCase> {};

TEST_P(AsciiFinderTest, FindsTheSameFramesInPiecesOfAnySize) {
    const auto& row = GetParam();
    for (std::size_t piece = 0; piece <= 7; ++piece) {
        modbus::AsciiFrameFinder finder;
        EXPECT_EQ(Found(finder, row.stream, piece), row.frames) << "pieces of " << piece;
        EXPECT_EQ(finder.skipped(), row.skipped_or_lost) << "pieces of " << piece;
    }
}

constexpr std::string_view kRead = ":01031064000286\r\n";
const std::string kReadFound = ":01031064000286 = 1: 03 10 64 00 02";

const FinderCase kAsciiCases[] = {
    {"OneFrame", BytesOf(kRead), {kReadFound}},
    {"LowerCaseDigits",
     BytesOf(":01030400faFFfd02\r\n"),
     {":01030400FAFFFD02 = 1: 03 04 00 FA FF FD"}},
    {"NoiseBeforeTheColon", BytesOf(std::string("\0\xFFxy\r\n", 6).append(kRead)), {kReadFound}, 6},
    {"TwoFramesInOnePiece", BytesOf(std::string(kRead).append(kRead)), {kReadFound, kReadFound}},
    {"ColonMidFrame",
     BytesOf(std::string(":0103").append(kRead)),
     {":0103 ! unfinished: a ':' began a new frame after 5 characters of this one", kReadFound}},
    {"BadLrc",
     BytesOf(":01031064000287\r\n"),
     {":01031064000287 ! LRC 86 expected, frame says 87"}},
    {"OddDigits",
     BytesOf(":0103106400028\r\n"),
     {":0103106400028 ! odd number of hex digits (13) after ':'"}},
    {"NoCr",
     BytesOf(":01031064000286\n"),
     {":01031064000286 ! the frame ends in LF without a CR before it"}},
    {"Overlong",
     BytesOf(":" + std::string(600, '0') + "\r\n" + std::string(kRead)),
     {":" + std::string(512, '0') + " ! longer than 513 characters, the longest frame there is",
      kReadFound},
     90},
    {"Unfinished", BytesOf(":010310"), {}},
};
INSTANTIATE_TEST_SUITE_P(Streams, AsciiFinderTest, testing::ValuesIn(kAsciiCases),
                         RowName<FinderCase>);

TEST(AsciiFrameFinder, ClearForgetsAnUnfinishedFrame) {
    modbus::AsciiFrameFinder finder;
    EXPECT_EQ(Found(finder, BytesOf(":0103"), 0), std::vector<std::string>{});
    finder.Clear();
    EXPECT_EQ(Found(finder, BytesOf("1064000286\r\n" + std::string(kRead)), 0),
              std::vector<std::string>{kReadFound});
}

class TcpFinderTest : public testing::TestWithParam<FinderCase> {};

TEST_P(TcpFinderTest, FindsTheSameFramesInPiecesOfAnySize) {
    const auto& row = GetParam();
    for (std::size_t piece = 0; piece <= 7; ++piece) {
        modbus::TcpFrameFinder finder;
        EXPECT_EQ(Found(finder, row.stream, piece), row.frames) << "pieces of " << piece;
        EXPECT_EQ(finder.lost(), row.skipped_or_lost == 1) << "pieces of " << piece;
    }
}

const std::string kTcpRead = "0001 0000 0006 01 03 1064 0002";
const std::string kTcpReadFound = "[tcp 0001] 01 03 10 64 00 02 81 14 = 1: 03 10 64 00 02";

const FinderCase kTcpCases[] = {
    {"TwoFramesInOnePiece",
     Hex(kTcpRead + "0002 0000 0007 01 03 04 00FA FFFD"),
     {kTcpReadFound, "[tcp 0002] 01 03 04 00 FA FF FD 5A 73 = 1: 03 04 00 FA FF FD"}},
    {"Unfinished", Hex("0001 0000 0006 01 03 10"), {}},
    {"OtherProtocol",
     Hex("0001 0001 0006 01 03 1064 0002" + kTcpRead),
     {"[tcp 0001] 00 01 00 01 00 06 ! protocol 0001 in the header, where Modbus TCP has 0000"},
     1},
    {"LengthPast254",
     Hex("0001 0000 00FF" + kTcpRead),
     {"[tcp 0001] 00 01 00 00 00 FF ! a length of 255 in the header, where a frame has 2 to 254"},
     1},
    {"LengthBelow2",
     Hex("0001 0000 0001 01" + kTcpRead),
     {"[tcp 0001] 00 01 00 00 00 01 ! a length of 1 in the header, where a frame has 2 to 254"},
     1},
};
INSTANTIATE_TEST_SUITE_P(Streams, TcpFinderTest, testing::ValuesIn(kTcpCases), RowName<FinderCase>);

TEST(TcpFrameFinder, FollowsTheStreamAgainAfterClear) {
    modbus::TcpFrameFinder finder;
    Found(finder, Hex("0001 0001 0006"), 0);
    ASSERT_TRUE(finder.lost());
    finder.Clear();
    EXPECT_FALSE(finder.lost());
    EXPECT_EQ(Found(finder, Hex(kTcpRead), 0), std::vector<std::string>{kTcpReadFound});
}

// ---- RTU replies ----

struct RtuCase {
    const char* name;
    std::string request;
    std::string received;
    bool silent;
    RtuProgress progress;
    std::size_t size;
    std::string frame;  // Shown() of the frame, Complete or Broken
};
ZENTRIQ_PRINT_ROW_AS_NAME(RtuCase)

class ReadRtuReplyTest : public testing::TestWithParam<RtuCase> {};

TEST_P(ReadRtuReplyTest, EndsTheFrameWhereTheRequestSays) {
    const auto& row = GetParam();
    const auto state = modbus::ReadRtuReply(Hex(row.received), Hex(row.request), row.silent);
    EXPECT_EQ(state.progress, row.progress);
    EXPECT_EQ(state.size, row.size);
    EXPECT_EQ(row.progress == RtuProgress::NeedMore ? "" : Shown(state.frame), row.frame);
}

constexpr auto kMore = RtuProgress::NeedMore, kDone = RtuProgress::Complete,
               kBroken = RtuProgress::Broken;
const std::string kRegisters = "03 1064 0002";
const std::string kAnswer = "01 03 04 00 FA FF FD 5A 73";
const std::string kAnswerShown = "01 03 04 00 FA FF FD 5A 73 = 1: 03 04 00 FA FF FD";

const RtuCase kRtuCases[] = {
    {"Complete", kRegisters, kAnswer, false, kDone, 9, kAnswerShown},
    {"BytesAfterTheFrame", kRegisters, kAnswer + "01 02", false, kDone, 9, kAnswerShown},
    {"NeedMore", kRegisters, "01 03 04 00 FA", false, kMore, 0, ""},
    {"NothingYet", kRegisters, "", true, kMore, 0, ""},
    {"SilentTruncation", kRegisters, "01 03 04 00", true, kBroken, 4,
     "01 03 04 00 ! the reply stopped after 4 of 9 bytes"},
    {"BadCrc", kRegisters, "01 03 04 00 FA FF FD 5A 74", false, kBroken, 9,
     "01 03 04 00 FA FF FD 5A 74 ! CRC 5A 73 expected, frame says 5A 74"},
    {"Exception", kRegisters, "01 83 02 C0 F1", false, kDone, 5, "01 83 02 C0 F1 = 1: 83 02"},
    {"WriteEcho", "06 1064 00FA", "01 06 10 64 00 FA 4C 96", false, kDone, 8,
     "01 06 10 64 00 FA 4C 96 = 1: 06 10 64 00 FA"},
    {"UnsizedWaitsForSilence", "11", "01 11 03 16 00 FF 5C 09", false, kMore, 0, ""},
    {"UnsizedEndsAtSilence", "11", "01 11 03 16 00 FF 5C 09", true, kDone, 8,
     "01 11 03 16 00 FF 5C 09 = 1: 11 03 16 00 FF"},
    {"UnsizedTooShort", "11", "01 11 03", true, kBroken, 3,
     "01 11 03 ! the reply stopped after 3 of 4 bytes"},
};
INSTANTIATE_TEST_SUITE_P(Replies, ReadRtuReplyTest, testing::ValuesIn(kRtuCases), RowName<RtuCase>);

// Over TCP a gap between segments is no end of frame: by length, a sized reply waits for its
// last byte whatever silences come, where on a serial line the silence cuts it.
TEST(RtuFrameFinder, ByLengthASizedReplyOutlastsEverySilence) {
    for (const bool by_length : {false, true}) {
        modbus::RtuFrameFinder finder(by_length);
        finder.Expect(Hex(kRegisters));
        const auto bytes = Hex(kAnswer);
        finder.Add(std::span(bytes).first(4));
        EXPECT_EQ(finder.ends_at_silence(), !by_length);
        finder.Silence();
        const auto first = finder.Next();
        if (!by_length) {
            ASSERT_TRUE(first);
            EXPECT_TRUE(first->cut);
            EXPECT_EQ(first->fault, "the reply stopped after 4 of 9 bytes");
            continue;
        }
        EXPECT_FALSE(first);
        finder.Add(std::span(bytes).subspan(4));
        const auto whole = finder.Next();
        ASSERT_TRUE(whole);
        EXPECT_EQ(Shown(*whole), kAnswerShown);
    }
    // A reply whose size nothing tells still ends at a silence.
    modbus::RtuFrameFinder unsized(true);
    unsized.Expect(Hex("11"));
    unsized.Add(Hex("01 11 03 16 00 FF 5C 09"));
    EXPECT_TRUE(unsized.ends_at_silence());
    unsized.Silence();
    EXPECT_TRUE(unsized.Next());
}

TEST(RtuSilenceMicroseconds, IsThreeAndAHalfCharactersOrTheFloorAbove19200Baud) {
    EXPECT_EQ(modbus::RtuSilenceMicroseconds(1200, 10), 29167u);
    EXPECT_EQ(modbus::RtuSilenceMicroseconds(9600, 11), 4011u);
    EXPECT_EQ(modbus::RtuSilenceMicroseconds(19200, 11), 2006u);
    EXPECT_EQ(modbus::RtuSilenceMicroseconds(38400, 11), 1750u);
    EXPECT_EQ(modbus::RtuSilenceMicroseconds(115200, 10), 1750u);
    EXPECT_EQ(modbus::RtuSilenceMicroseconds(0, 11), 38500000u);
}

}  // namespace
