// The line time of a read: every character of the request and its reply at the line's baud rate
// and framing, and the reply delay.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "modbus/line_cost.h"
#include "test_names.h"

namespace {

using modbus::FrameMode;
using modbus::FunctionCode;

struct TimeCase {
    const char* name;
    std::optional<FrameMode> mode;  // none: TCP
    unsigned baud;
    unsigned data_bits;
    char parity;
    unsigned stop_bits;
    int reply_delay_ms;
    modbus::ReadRequest request;
    long long nanoseconds;
};
ZENTRIQ_PRINT_ROW_AS_NAME(TimeCase)

class ReadTimeTest : public testing::TestWithParam<TimeCase> {};

TEST_P(ReadTimeTest, CountsEveryCharacterAndTheDelay) {
    const auto& row = GetParam();
    const modbus::LineCost cost{row.mode, row.baud,
                                modbus::CharacterBits(row.data_bits, row.parity, row.stop_bits),
                                std::chrono::milliseconds(row.reply_delay_ms)};
    EXPECT_EQ(modbus::ReadTime(cost, row.request).count(), row.nanoseconds);
}

// ASCII: a request of 17 characters (":01031064000187" CR LF), a reply of 11 and 2 a data byte.
// RTU: 8 and 5 bytes and 1 a data byte, and 3.5 characters of silence after each frame (in whole
// microseconds, rounded up), 1750 microseconds above 19200 baud.
const TimeCase kTimeCases[] = {
    // 32 characters of 10 bits at 9600 baud, and 10 ms.
    {"AsciiOneRegister", FrameMode::Ascii, 9600, 7, 'E', 1, 10,
     {FunctionCode::ReadHoldingRegisters, 0x1064, 1}, 43'333'333},
    {"AsciiSixteenBitsInTwoBytes", FrameMode::Ascii, 9600, 7, 'E', 1, 10,
     {FunctionCode::ReadCoils, 0x0800, 16}, 43'333'333},
    {"AsciiSeventeenBitsInThree", FrameMode::Ascii, 9600, 7, 'E', 1, 10,
     {FunctionCode::ReadDiscreteInputs, 0x0400, 17}, 45'416'667},
    // 8 + 7 characters of 10 bits, 2 x 3646 microseconds.
    {"RtuOneRegister", FrameMode::Rtu, 9600, 8, 'N', 1, 10,
     {FunctionCode::ReadHoldingRegisters, 0x1064, 1}, 32'917'000},
    // 8 + 255 characters of 11 bits at 19200 baud, 2 x 2006 microseconds, no delay.
    {"Rtu125RegistersAt8E1", FrameMode::Rtu, 19200, 8, 'E', 1, 0,
     {FunctionCode::ReadHoldingRegisters, 0x1000, 125}, 154'689'083},
    // 15 characters of 11 bits, 2 x 1750 microseconds.
    {"RtuFastLine", FrameMode::Rtu, 115200, 8, 'E', 1, 0,
     {FunctionCode::ReadHoldingRegisters, 0x1000, 1}, 4'932'292},
    {"AsciiTwoStopBits", FrameMode::Ascii, 19200, 7, 'O', 2, 0,
     {FunctionCode::ReadHoldingRegisters, 0x1000, 1}, 18'333'333},
    {"TcpTheRoundTripAlone", std::nullopt, 9600, 8, 'N', 1, 7,
     {FunctionCode::ReadHoldingRegisters, 0x1000, 125}, 7'000'000},
};
INSTANTIATE_TEST_SUITE_P(Reads, ReadTimeTest, testing::ValuesIn(kTimeCases), RowName<TimeCase>);

}  // namespace
