// Framing alone, without the address map: what makes text no frame, where, and the checksums.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "modbus/frame_text.h"
#include "test_names.h"

namespace {

using modbus::FrameError;
using modbus::FrameFault;
using modbus::FrameMode;

constexpr auto kNowhere = std::nullopt;

struct FaultCase {
    const char* name;
    std::string text;
    FrameError kind;
    std::string message;
    std::optional<std::size_t> offset;
};
ZENTRIQ_PRINT_ROW_AS_NAME(FaultCase)

class ReadFrameTextTest : public testing::TestWithParam<FaultCase> {};

// The fault of text that is no frame, or else of the frame's checksum.
std::optional<FrameFault> FaultOf(const std::string& text) {
    auto read = modbus::ReadFrameText(text);
    if (auto* fault = std::get_if<FrameFault>(&read)) {
        return *fault;
    }
    return modbus::ChecksumFault(std::get<modbus::FramedBytes>(read).head);
}

TEST_P(ReadFrameTextTest, SaysWhatIsWrongAndWhere) {
    const auto& row = GetParam();
    const auto fault = FaultOf(row.text);
    ASSERT_TRUE(fault.has_value());
    EXPECT_EQ(fault->kind, row.kind);
    EXPECT_EQ(fault->message, row.message);
    EXPECT_EQ(fault->offset, row.offset);
}

const FaultCase kFaultCases[] = {
    {"Blank", " \r\n", FrameError::Empty, "no frame: the text is blank", kNowhere},
    {"Letter", ":01G3", FrameError::NotHex, "'G' at position 4 is not a hex digit", 3},
    {"SecondColon", ":0103:01", FrameError::NotHex, "':' at position 6 is not a hex digit", 5},
    {"BlankInsideAnAsciiByte", ":01 0 3 00", FrameError::OddDigits,
     "odd number of hex digits in \"0\" at position 5", 4},
    {"NulInRtu", std::string("01\0", 3), FrameError::NotHex,
     "\\x00 at position 3 is not a hex digit or a space", 2},
    {"OddAscii", ":010", FrameError::OddDigits, "odd number of hex digits (3) after ':'", 1},
    {"OddRtu", "0102050", FrameError::OddDigits, "odd number of hex digits (7)", 0},
    {"SplitByte", "01 0 205", FrameError::OddDigits,
     "odd number of hex digits in \"0\" at position 4", 3},
    {"AsciiTooShort", ":0101", FrameError::TooShort,
     "frame too short: 2 bytes, but slave address, function code and LRC take 3", kNowhere},
    {"RtuTooShort", "01 01 00", FrameError::TooShort,
     "frame too short: 3 bytes, but slave address, function code and CRC take 4", kNowhere},
    {"WrongLrc", ":01031064000287", FrameError::BadChecksum, "LRC 86 expected, frame says 87",
     kNowhere},
    {"WrongCrc", "01 02 05 00 00 10 79 0B", FrameError::BadChecksum,
     "CRC 79 0A expected, frame says 79 0B", kNowhere},
};
INSTANTIATE_TEST_SUITE_P(Texts, ReadFrameTextTest, testing::ValuesIn(kFaultCases),
                         RowName<FaultCase>);

TEST(ReadFrameText, KeepsTheBytesAndTheChecksumOfAFrameWithAWrongOne) {
    const auto read = modbus::ReadFrameText("01 02 05 00 00 10 79 0B");
    ASSERT_TRUE(std::holds_alternative<modbus::FramedBytes>(read));
    const auto& frame = std::get<modbus::FramedBytes>(read);
    EXPECT_EQ(frame.bytes, (std::vector<std::uint8_t>{0x01, 0x02, 0x05, 0x00, 0x00, 0x10}));
    EXPECT_EQ(frame.head.checksum, 0x0B79);
    EXPECT_EQ(frame.head.checksum_expected, 0x0A79);
}

TEST(FrameText, WritesBothModesWithTheirChecksums) {
    const std::vector<std::uint8_t> bytes{0x01, 0x02, 0x05, 0x00, 0x00, 0x10};
    EXPECT_EQ(modbus::FrameText(FrameMode::Rtu, bytes), "01 02 05 00 00 10 79 0A");
    EXPECT_EQ(modbus::FrameText(FrameMode::Ascii, bytes), ":010205000010E8");
}

}  // namespace
