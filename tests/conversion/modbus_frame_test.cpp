#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "conversion/modbus_frame.h"
#include "test_names.h"

namespace {

using conversion::DecodedFrame;
using conversion::DecodeFrame;
using conversion::FrameError;
using conversion::FrameReading;

// One reading in one line: "request 0500+16 Y0-Y17", then " =" and the values ("Y0:1", "1",
// "C200:[00 01]").
std::string Summary(const FrameReading& reading) {
    std::string text(conversion::RoleName(reading.role));
    if (reading.has_range) {
        char address[8];
        std::snprintf(address, sizeof address, "%04X", reading.address);
        text += std::string(" ") + address + "+" + std::to_string(reading.quantity) + " " +
                reading.first_device + "-" + reading.last_device;
    }
    if (!reading.values.empty()) {
        text += " =";
        for (const auto& value : reading.values) {
            text += ' ';
            if (!value.device.empty()) {
                text.append(value.device).append(":");
            }
            text += value.raw.empty() ? std::to_string(value.value) : '[' + value.raw + ']';
        }
    }
    return text;
}

struct Expected {
    std::string summary;
    std::string note;  // a part of the reading's note; empty when it has none
};

struct DecodeCase {
    const char* name;
    std::string before;  // the frame captured just before, or empty
    std::string text;
    std::string head;  // mode, slave, function as written in the frame
    std::vector<Expected> readings;
};
ZENTRIQ_PRINT_ROW_AS_NAME(DecodeCase)

class DecodeFrameTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeFrameTest, ReadsTheDevices) {
    const auto& row = GetParam();
    const DecodedFrame before = DecodeFrame(row.before);
    const DecodedFrame frame = DecodeFrame(row.text, row.before.empty() ? nullptr : &before);
    EXPECT_TRUE(frame.ok()) << frame.message;
    char head[32];
    std::snprintf(head, sizeof head, "%s %d %02X", conversion::ModeName(frame.mode).data(),
                  frame.slave, frame.function);
    EXPECT_EQ(head, row.head);
    ASSERT_EQ(frame.readings.size(), row.readings.size());
    for (std::size_t i = 0; i < row.readings.size(); ++i) {
        const auto& reading = frame.readings[i];
        EXPECT_EQ(Summary(reading), row.readings[i].summary);
        if (row.readings[i].note.empty()) {
            EXPECT_EQ(reading.note, "");
        } else {
            EXPECT_NE(reading.note.find(row.readings[i].note), std::string::npos) << reading.note;
        }
    }
}

constexpr const char* kNoAddress = "does not carry its start address";

const DecodeCase kDecodeCases[] = {
    // The captures the tool is for, and each function code both ways.
    {"RtuReadInputsOfY",
     "",
     "01 02 05 00 00 10 79 0A",
     "rtu 1 02",
     {{"request 0500+16 Y0-Y17", ""}}},
    {"RtuWithoutSpaces", "", "010205000010790a", "rtu 1 02", {{"request 0500+16 Y0-Y17", ""}}},
    {"AsciiReadD100WithCrLf",
     "",
     " :01031064000286\r\n",
     "ascii 1 03",
     {{"request 1064+2 D100-D101", ""}}},
    {"ReadWhereNoRegisterIs",
     "",
     ":01030FA000024B",
     "ascii 1 03",
     {{"request 0FA0+2 -", "no register at 0FA0-0FA1: the controller refuses"}}},
    {"ReadResponseAlone", "", ":01030400010002F5", "ascii 1 03", {{"response = 1 2", kNoAddress}}},
    {"ReadCoilsOfX",
     "",
     ":010104000008F2",
     "ascii 1 01",
     {{"request 0400+8 X0-X7",
       "X0-X7 are inputs: the controller reads X with function 02 only and refuses function 01"}}},
    {"ReadInputOfX17", "", ":0102040F0001E9", "ascii 1 02", {{"request 040F+1 X17-X17", ""}}},
    {"RequestOrResponse",
     "",
     ":010103000008F3",
     "ascii 1 01",
     {{"request 0300+8 S768-S775", ""},
      {"response = 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 0 0 0 0", kNoAddress}}},
    {"ForceY0On",
     "",
     "01 05 05 00 FF 00 8C F6",
     "rtu 1 05",
     {{"request 0500+1 Y0-Y0 = Y0:1", ""}, {"response 0500+1 Y0-Y0 = Y0:1", ""}}},
    {"ForceWithNeitherOnNorOff",
     "",
     "01 05 05 00 12 34 C0 71",
     "rtu 1 05",
     {{"request 0500+1 Y0-Y0 = Y0:[12 34]", "12 34 is neither FF 00 (on) nor 00 00 (off)"},
      {"response 0500+1 Y0-Y0 = Y0:[12 34]", "neither"}}},
    {"ForceX",
     "",
     "01 05 04 00 FF 00 8D 0A",
     "rtu 1 05",
     {{"request 0400+1 X0-X0 = X0:1", "X0 is an input"},
      {"response 0400+1 X0-X0 = X0:1", "refuses function 05"}}},
    {"PresetD0",
     "",
     ":0106100004D213",
     "ascii 1 06",
     {{"request 1000+1 D0-D0 = D0:1234", ""}, {"response 1000+1 D0-D0 = D0:1234", ""}}},
    {"ForceTenY",
     "",
     ":010F0500000A02CD0111",
     "ascii 1 0F",
     {{"request 0500+10 Y0-Y11 = Y0:1 Y1:0 Y2:1 Y3:1 Y4:0 Y5:0 Y6:1 Y7:1 Y10:1 Y11:0", ""}}},
    {"ForceTenYResponse", "", ":010F0500000AE1", "ascii 1 0F", {{"response 0500+10 Y0-Y11", ""}}},
    {"PresetTwoD",
     "",
     "01 10 10 00 00 02 04 00 0A 01 02 9E 3C",
     "rtu 1 10",
     {{"request 1000+2 D0-D1 = D0:10 D1:258", ""}}},
    {"PresetTwoDResponse",
     "",
     "01 10 10 00 00 02 45 08",
     "rtu 1 10",
     {{"response 1000+2 D0-D1", ""}}},
    {"ReportSlaveId", "", ":0111EE", "ascii 1 11", {{"request", ""}}},
    {"Exception",
     "",
     ":0183027A",
     "ascii 1 83",
     {{"exception", "exception 02 (illegal data address)"}}},
    // Segment edges: where the letter changes, where the map ends.
    {"SecondMSegment", "", ":0101B00000014D", "ascii 1 01", {{"request B000+1 M1536-M1536", ""}}},
    {"MIntoC", "", ":01010DFE0004EF", "ascii 1 01", {{"request 0DFE+4 M1534-C1", ""}}},
    {"TimerValue", "", ":010306050001F0", "ascii 1 03", {{"request 0605+1 T5-T5", ""}}},
    {"TimerContact", "", ":010106050001F2", "ascii 1 01", {{"request 0605+1 T5-T5", ""}}},
    {"PastD9999",
     "",
     "01 03 A7 0F 00 02 D7 7C",
     "rtu 1 03",
     {{"request A70F+2 D9999-", "no register at A710"}}},
    {"PastFFFF",
     "",
     ":0101FFFE0004FD",
     "ascii 1 01",
     {{"request FFFE+4 -", "the range runs past address FFFF"}}},
    // A response read against the request captured before it.
    {"CoilsAfterRequest",
     ":01010500000AEF",
     ":010102CD012E",
     "ascii 1 01",
     {{"response 0500+10 Y0-Y11 = Y0:1 Y1:0 Y2:1 Y3:1 Y4:0 Y5:0 Y6:1 Y7:1 Y10:1 Y11:0", ""}}},
    {"CountersPastC199",
     ":01030EC6000424",
     ":01030C00010002000186A000000007BF",
     "ascii 1 03",
     {{"response 0EC6+4 C198-C201 = C198:1 C199:2 C200:[00 01 86 A0 00 00 00 07]",
       "C200 on hold 32-bit values; how the controller packs them into a function 03 response is "
       "not established"}}},
    {"ResponseOfAnotherSize",
     ":01031064000385",
     ":01030400010002F5",
     "ascii 1 03",
     {{"response = 1 2", "does not answer the request before it, whose 3 registers take 6 bytes"}}},
    {"ExceptionAfterRequest",
     ":01010500000AEF",
     ":0181027C",
     "ascii 1 81",
     {{"exception 0500+10 Y0-Y11", "exception 02"}}},
    {"AfterAnotherSlave",
     ":02010500000AEE",
     ":010102CD012E",
     "ascii 1 01",
     {{"response = 1 0 1 1 0 0 1 1 1 0 0 0 0 0 0 0", kNoAddress}}},
};
INSTANTIATE_TEST_SUITE_P(Frames, DecodeFrameTest, testing::ValuesIn(kDecodeCases),
                         RowName<DecodeCase>);

struct ErrorCase {
    const char* name;
    std::string text;
    FrameError error;
    std::string message;
};
ZENTRIQ_PRINT_ROW_AS_NAME(ErrorCase)

class DecodeFrameErrorTest : public testing::TestWithParam<ErrorCase> {};

TEST_P(DecodeFrameErrorTest, SaysWhatIsWrong) {
    const DecodedFrame frame = DecodeFrame(GetParam().text);
    EXPECT_EQ(frame.error, GetParam().error);
    EXPECT_EQ(frame.message, GetParam().message);
}

const ErrorCase kErrorCases[] = {
    {"Blank", " \r\n", FrameError::Empty, "no frame: the text is blank"},
    {"Letter", ":01G3", FrameError::NotHex, "'G' at position 4 is not a hex digit"},
    {"SecondColon", ":0103:01", FrameError::NotHex, "':' at position 6 is not a hex digit"},
    {"BlankInAscii", ":01 03", FrameError::NotHex, "' ' at position 4 is not a hex digit"},
    {"NulInRtu", std::string("01\0", 3), FrameError::NotHex,
     "\\x00 at position 3 is not a hex digit or a space"},
    {"OddAscii", ":010", FrameError::OddDigits, "odd number of hex digits (3) after ':'"},
    {"OddRtu", "0102050", FrameError::OddDigits, "odd number of hex digits (7)"},
    {"SplitByte", "01 0 205", FrameError::OddDigits,
     "odd number of hex digits in \"0\" at position 4"},
    {"AsciiTooShort", ":0101", FrameError::TooShort,
     "frame too short: 2 bytes, but slave address, function code and LRC take 3"},
    {"RtuTooShort", "01 01 00", FrameError::TooShort,
     "frame too short: 3 bytes, but slave address, function code and CRC take 4"},
    {"WrongLrc", ":01031064000287", FrameError::BadChecksum, "LRC 86 expected, frame says 87"},
    {"WrongCrc", "01 02 05 00 00 10 79 0B", FrameError::BadChecksum,
     "CRC 79 0A expected, frame says 79 0B"},
    {"WrongLrcAndShape", ":0103106400", FrameError::BadChecksum,
     "LRC 88 expected, frame says 00; function 03 request needs 4 data bytes, frame has 2; as a "
     "response, its byte count says 16 bytes follow, frame has 1"},
    {"ShortRead", ":010310640088", FrameError::BadShape,
     "function 03 request needs 4 data bytes, frame has 3; as a response, its byte count says 16 "
     "bytes follow, frame has 2"},
    {"OddRegisterBytes", ":01030100FB", FrameError::BadShape,
     "function 03 request needs 4 data bytes, frame has 2; as a response, its byte count 1 is odd, "
     "but registers take 2 bytes each"},
    {"ByteCountTooLarge", ":010F0500000A02CD12", FrameError::BadShape,
     "function 15 request says 2 data bytes follow, frame has 1"},
    {"ByteCountAgainstQuantity", ":010F0500000A03CD010010", FrameError::BadShape,
     "function 15 request for 10 coils needs 2 data bytes, its byte count says 3"},
    {"LongException", ":018302007A", FrameError::BadShape,
     "exception response (function 83) needs 1 data byte, frame has 2"},
    {"UnknownFunction", ":010400000001FA", FrameError::UnknownFunction,
     "function 0x04 is not one the controller accepts (it accepts 01, 02, 03, 05, 06, 15, 16 and "
     "17)"},
};
INSTANTIATE_TEST_SUITE_P(Texts, DecodeFrameErrorTest, testing::ValuesIn(kErrorCases),
                         RowName<ErrorCase>);

TEST(DecodeFrame, WrongChecksumStillReadsTheFrame) {
    const DecodedFrame frame = DecodeFrame("01 02 05 00 00 10 79 0B");
    EXPECT_EQ(frame.checksum, 0x0B79);
    EXPECT_EQ(frame.checksum_expected, 0x0A79);
    ASSERT_EQ(frame.readings.size(), 1u);
    EXPECT_EQ(Summary(frame.readings[0]), "request 0500+16 Y0-Y17");
}

TEST(FrameText, WritesBothModesWithTheirChecksums) {
    const std::vector<std::uint8_t> bytes{0x01, 0x02, 0x05, 0x00, 0x00, 0x10};
    EXPECT_EQ(conversion::FrameText(conversion::FrameMode::Rtu, bytes), "01 02 05 00 00 10 79 0A");
    EXPECT_EQ(conversion::FrameText(conversion::FrameMode::Ascii, bytes), ":010205000010E8");
}

}  // namespace
