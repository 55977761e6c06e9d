// The line time of a read: every character of the request and its reply at the line's baud rate
// and framing, and the reply delay.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>

#include "modbus/line_cost.h"
#include "test_names.h"

namespace {

constexpr auto kAscii = modbus::FrameMode::Ascii, kRtu = modbus::FrameMode::Rtu;
constexpr auto kCoils = modbus::FunctionCode::ReadCoils,
               kInputs = modbus::FunctionCode::ReadDiscreteInputs,
               kRegisters = modbus::FunctionCode::ReadHoldingRegisters;

struct TimeCase {
    const char* name;
    std::optional<modbus::FrameMode> mode;  // none: TCP
    unsigned baud;
    const char* line;  // "7E1"
    int reply_delay_ms;
    modbus::FunctionCode function;
    std::uint16_t quantity;
    long long nanoseconds;
};
ZENTRIQ_PRINT_ROW_AS_NAME(TimeCase)

class ReadTimeTest : public testing::TestWithParam<TimeCase> {};

TEST_P(ReadTimeTest, CountsEveryCharacterAndTheDelay) {
    const auto& row = GetParam();
    const auto data_bits = static_cast<unsigned>(row.line[0] - '0');
    const auto stop_bits = static_cast<unsigned>(row.line[2] - '0');
    const modbus::LineCost cost{row.mode, row.baud,
                                modbus::CharacterBits(data_bits, row.line[1], stop_bits),
                                std::chrono::milliseconds(row.reply_delay_ms)};
    EXPECT_EQ(modbus::ReadTime(cost, {row.function, 0x1000, row.quantity}).count(),
              row.nanoseconds);
}

// ASCII: a request of 17 characters (":01031064000187" CR LF), a reply of 11 and 2 a data byte.
// RTU: 8 and 5 bytes and 1 a data byte, and 3.5 characters of silence after each frame (in whole
// microseconds, rounded up), 1750 microseconds above 19200 baud.
const TimeCase kTimeCases[] = {
    // 32 characters of 10 bits at 9600 baud, and 10 ms; 17 bits take a third byte.
    {"AsciiOneRegister", kAscii, 9600, "7E1", 10, kRegisters, 1, 43'333'333},
    {"AsciiSixteenBitsInTwoBytes", kAscii, 9600, "7E1", 10, kCoils, 16, 43'333'333},
    {"AsciiSeventeenBitsInThree", kAscii, 9600, "7E1", 10, kInputs, 17, 45'416'667},
    // 32 characters of 11 bits.
    {"AsciiTwoStopBits", kAscii, 19200, "7O2", 0, kRegisters, 1, 18'333'333},
    // 8 + 7 characters of 10 bits, 2 x 3646 microseconds.
    {"RtuOneRegister", kRtu, 9600, "8N1", 10, kRegisters, 1, 32'917'000},
    // 8 + 255 characters of 11 bits, 2 x 2006 microseconds.
    {"Rtu125RegistersAt8E1", kRtu, 19200, "8E1", 0, kRegisters, 125, 154'689'083},
    // 15 characters of 11 bits, 2 x 1750 microseconds.
    {"RtuFastLine", kRtu, 115200, "8E1", 0, kRegisters, 1, 4'932'292},
    {"TcpTheRoundTripAlone", std::nullopt, 9600, "8N1", 7, kRegisters, 125, 7'000'000},
};
INSTANTIATE_TEST_SUITE_P(Reads, ReadTimeTest, testing::ValuesIn(kTimeCases), RowName<TimeCase>);

}  // namespace
