#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "conversion/captured_frame.h"
#include "test_names.h"

namespace {

using conversion::DecodedFrame;
using conversion::DecodeFrame;
using conversion::FrameReading;
using modbus::FrameError;

// One reading in one line: "request 0500+16 Y0-Y17", then " =" and the values ("Y0:1", "1",
// "C200:[00 01]"), or their number when there are many. "undecoded" stands for no role.
std::string Summary(const FrameReading& reading) {
    std::string text(reading.role ? modbus::RoleName(*reading.role) : "undecoded");
    if (const auto& range = reading.range) {
        char address[8];
        std::snprintf(address, sizeof address, "%04X", range->address);
        text.append(" ").append(address).append("+").append(std::to_string(range->quantity));
        text.append(" ").append(reading.first_device).append("-").append(reading.last_device);
    }
    if (reading.values.size() > 16) {
        text.append(" = ").append(std::to_string(reading.values.size())).append(" values");
    } else if (!reading.values.empty()) {
        text += " =";
        for (const auto& value : reading.values) {
            text += ' ';
            if (!value.device.empty()) {
                text.append(value.device).append(":");
            }
            if (const auto* raw = std::get_if<modbus::RawBytes>(&value.value)) {
                text.append("[").append(raw->hex).append("]");
            } else {
                text += std::to_string(
                    conversion::HeldNumber(value.segment, std::get<std::uint16_t>(value.value)));
            }
        }
    }
    return text;
}

// A frame of function 15 or 16 that writes `quantity` zeros from `address` on, in RTU.
std::string WriteOfZeros(std::uint8_t function, std::uint16_t address, std::uint16_t quantity) {
    const std::size_t size = function == 0x0F ? (quantity + 7u) / 8u : quantity * 2u;
    std::vector<std::uint8_t> bytes{0x01,
                                    function,
                                    static_cast<std::uint8_t>(address >> 8),
                                    static_cast<std::uint8_t>(address),
                                    static_cast<std::uint8_t>(quantity >> 8),
                                    static_cast<std::uint8_t>(quantity),
                                    static_cast<std::uint8_t>(size)};
    bytes.resize(bytes.size() + size);
    return modbus::FrameText(modbus::FrameMode::Rtu, bytes);
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
    EXPECT_TRUE(frame.ok()) << frame.error->message;
    ASSERT_TRUE(frame.head.has_value());
    char head[32];
    std::snprintf(head, sizeof head, "%s %d %02X", modbus::ModeName(frame.head->mode).data(),
                  frame.head->slave, frame.head->function);
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
constexpr const char* kIllegalValue = "with exception 03 (illegal data value)";

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
    // As the controller's manual prints an ASCII frame: a space after the colon and between bytes.
    {"AsciiAsTheManualPrintsIt",
     "",
     ": 01 03 06 14 00 08 DA",
     "ascii 1 03",
     {{"request 0614+8 T20-T27", ""}}},
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
       "X0-X7 are inputs: the controller reads X with function 2 (0x02) only and refuses function "
       "1 (0x01)"}}},
    {"ReadInputOfX17", "", ":0102040F0001E9", "ascii 1 02", {{"request 040F+1 X17-X17", ""}}},
    {"RequestOrResponse",
     "",
     ":010103000008F3",
     "ascii 1 01",
     {{"request 0300+8 S768-S775", ""},
      {"response = [00 00 08]",
       "without its request, it does not say how many coils its last byte holds, so its data is "
       "shown as raw bytes"}}},
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
      {"response 0400+1 X0-X0 = X0:1", "refuses function 5 (0x05)"}}},
    {"PresetD0",
     "",
     ":0106100004D213",
     "ascii 1 06",
     {{"request 1000+1 D0-D0 = D0:1234", ""}, {"response 1000+1 D0-D0 = D0:1234", ""}}},
    // A D register holds a signed number; a timer's or counter's value does not.
    {"PresetD0Negative",
     "",
     ":01061000FFFDED",
     "ascii 1 06",
     {{"request 1000+1 D0-D0 = D0:-3", ""}, {"response 1000+1 D0-D0 = D0:-3", ""}}},
    {"PresetT0Unsigned",
     "",
     ":01060600FFFDF7",
     "ascii 1 06",
     {{"request 0600+1 T0-T0 = T0:65533", ""}, {"response 0600+1 T0-T0 = T0:65533", ""}}},
    {"PresetC199Unsigned",
     "",
     ":01060EC7FFFD28",
     "ascii 1 06",
     {{"request 0EC7+1 C199-C199 = C199:65533", ""},
      {"response 0EC7+1 C199-C199 = C199:65533", ""}}},
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
     {{"request A70F+2 D9999-D9999", "no register at A710"}}},
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
     {{"response 0EC6+4 C198-C201 = C198:1 C199:2 C200-C201:[00 01 86 A0 00 00 00 07]",
       "C200-C201 hold 32-bit values; how the controller packs them into a function 3 (0x03) "
       "response is not established"}}},
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
     {{"response = [CD 01]", kNoAddress}}},
    {"ResponseToOneRegister",
     ":01031064000187",
     ":01030400010002F5",
     "ascii 1 03",
     {{"response = 1 2", "does not answer the request before it, whose 1 register takes 2 bytes"}}},
    {"AfterRequestWithWrongChecksum",
     ":01010500000AEE",
     ":010102CD012E",
     "ascii 1 01",
     {{"response = [CD 01]",
       "the request before it has a wrong checksum, so it is not read against that request"}}},
    // Quantities past the protocol's limits, and the limits themselves.
    {"Read126Registers",
     "",
     "01 03 10 00 00 7E C1 2A",
     "rtu 1 03",
     {{"request 1000+126 D0-D125",
       "function 3 (0x03) reads 1 to 125 registers: the controller, as any Modbus server, answers "
       "126 with exception 03 (illegal data value)"}}},
    {"Read125Registers",
     "",
     "01 03 10 00 00 7D 81 2B",
     "rtu 1 03",
     {{"request 1000+125 D0-D124", ""}}},
    {"Read2041Coils",
     "",
     "01 01 00 00 07 F9 FE 78",
     "rtu 1 01",
     {{"request 0000+2041 S0-T255", "answers 2041 with exception 03 (illegal data value)"}}},
    {"Read2000Coils",
     "",
     "01 01 B0 00 07 D0 19 66",
     "rtu 1 01",
     {{"request B000+2000 M1536-M3535", ""}}},
    {"ReadPastLimitWhereNoRegisterIs",
     "",
     "11 03 01 60 00 7E C6 98",
     "rtu 17 03",
     {{"request 0160+126 -", kIllegalValue}}},
    {"ReadEveryRegister",
     "",
     "12 03 00 01 FF FF 17 19",
     "rtu 18 03",
     {{"request 0001+65535 T0-D9999", "answers 65535 with exception 03"}}},
    {"Force1969Coils",
     "",
     WriteOfZeros(0x0F, 0x0800, 1969),
     "rtu 1 0F",
     {{"request 0800+1969 M0-C255 = 1969 values",
       "function 15 (0x0F) writes 1 to 1968 coils: the controller, as any Modbus server, answers "
       "1969 with exception 03 (illegal data value)"}}},
    {"Force1968Coils",
     "",
     WriteOfZeros(0x0F, 0xB000, 1968),
     "rtu 1 0F",
     {{"request B000+1968 M1536-M3503 = 1968 values", ""}}},
    {"Preset124Registers",
     "",
     WriteOfZeros(0x10, 0x1000, 124),
     "rtu 1 10",
     {{"request 1000+124 D0-D123 = 124 values",
       "function 16 (0x10) writes 1 to 123 registers: the controller, as any Modbus server, "
       "answers 124 with exception 03 (illegal data value)"}}},
    {"Preset123Registers",
     "",
     WriteOfZeros(0x10, 0x1000, 123),
     "rtu 1 10",
     {{"request 1000+123 D0-D122 = 123 values", ""}}},
    // The first and last device covered, where the range ends in a gap of the map.
    {"CoilsEndingInAGap",
     "",
     "01 01 06 F0 00 20 3D 69",
     "rtu 1 01",
     {{"request 06F0+32 T240-T255", "no coil or input at 0700-070F"}}},
    // A code the controller does not accept: a frame, its data not decoded.
    {"UndecodedFunction",
     "",
     ":010400000001FA",
     "ascii 1 04",
     {{"undecoded = [00 00 00 01]",
       "function 4 (0x04) is not one the controller accepts (it accepts 1, 2, 3, 5, 6, 15, 16 and "
       "17): its data is not decoded"}}},
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
    ASSERT_TRUE(frame.error.has_value());
    EXPECT_EQ(frame.error->kind, GetParam().error);
    EXPECT_EQ(frame.error->message, GetParam().message);
}

// What framing and shapes each say (their own tests) is put together: a shape error after a wrong
// checksum, and one after a right checksum.
const ErrorCase kErrorCases[] = {
    {"WrongLrcAndShape", ":0103106400", FrameError::BadChecksum,
     "LRC 88 expected, frame says 00; function 3 (0x03) request needs 4 data bytes, frame has 2; "
     "as a response, its byte count says 16 bytes follow, frame has 1"},
    {"ShortRead", ":010310640088", FrameError::BadShape,
     "function 3 (0x03) request needs 4 data bytes, frame has 3; as a response, its byte count "
     "says 16 bytes follow, frame has 2"},
};
INSTANTIATE_TEST_SUITE_P(Texts, DecodeFrameErrorTest, testing::ValuesIn(kErrorCases),
                         RowName<ErrorCase>);

TEST(DecodeFrame, WrongChecksumStillReadsTheFrame) {
    const DecodedFrame frame = DecodeFrame("01 02 05 00 00 10 79 0B");
    ASSERT_TRUE(frame.head.has_value());
    EXPECT_FALSE(frame.head->checksum_ok());
    ASSERT_EQ(frame.readings.size(), 1u);
    EXPECT_EQ(Summary(frame.readings[0]), "request 0500+16 Y0-Y17");
}

}  // namespace
