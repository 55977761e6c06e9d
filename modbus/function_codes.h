// The function codes of Modbus and what is known of each without the controller's map: its name,
// the one way messages write it ("function 3 (0x03)"), the items it counts and how many one frame
// may carry, and the exception codes a server answers with.
//
// Nothing here keeps state or throws (but std::bad_alloc when memory runs out).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace modbus {

// The public function codes, as the Modbus application protocol names them. Any other byte value
// is a code too (a frame may carry it); it has no name.
enum class FunctionCode : std::uint8_t {
    ReadCoils = 0x01,
    ReadDiscreteInputs = 0x02,
    ReadHoldingRegisters = 0x03,
    ReadInputRegisters = 0x04,
    WriteSingleCoil = 0x05,
    WriteSingleRegister = 0x06,
    ReadExceptionStatus = 0x07,
    Diagnostics = 0x08,
    GetCommEventCounter = 0x0B,
    GetCommEventLog = 0x0C,
    WriteMultipleCoils = 0x0F,
    WriteMultipleRegisters = 0x10,
    ReportServerId = 0x11,
    ReadFileRecord = 0x14,
    WriteFileRecord = 0x15,
    MaskWriteRegister = 0x16,
    ReadWriteMultipleRegisters = 0x17,
    ReadFifoQueue = 0x18,
    EncapsulatedInterfaceTransport = 0x2B,
};

// Set in the function byte of an exception response, beside the code it answers.
inline constexpr std::uint8_t kExceptionBit = 0x80;

// The code a function byte names, the exception bit left out.
constexpr FunctionCode CodeOf(std::uint8_t function) noexcept {
    return static_cast<FunctionCode>(function & ~kExceptionBit);
}

constexpr bool IsExceptionFunction(std::uint8_t function) noexcept {
    return (function & kExceptionBit) != 0;
}

// The name of the code a function byte names, its exception bit ignored: the controller's own
// words for the codes it accepts ("read holding registers", "force single coil", "report slave
// id"), the protocol's for the other public codes ("read input registers", "diagnostics"); empty
// for a code with no public name.
std::string_view FunctionName(std::uint8_t function) noexcept;

// A code as every message writes it: its number in decimal, then in hex ("function 15 (0x0F)").
std::string FunctionText(FunctionCode code);

// Whether the code reads or writes bits (coils and inputs) rather than registers.
bool ReachesBits(FunctionCode code) noexcept;

// A number of the items the code counts, for messages: "1 register", "10 coils", "8 inputs".
std::string ItemCount(FunctionCode code, std::size_t count);

// The most items one request of the code may name, by the protocol: 2000 bits for 01 and 02, 125
// registers for 03, 1968 coils for 15, 123 registers for 16. None for a code without a quantity.
std::optional<std::uint16_t> MostItems(FunctionCode code) noexcept;

// An exception code with its meaning where the protocol gives one: "exception 02 (illegal data
// address)".
std::string ExceptionText(std::uint8_t exception);

// The exception codes a server answers with on its own: a function it does not serve, a quantity
// outside the protocol's limits; and a gateway's two, for a line it cannot reach (down, or a
// station it does not serve) and a station that did not answer.
inline constexpr std::uint8_t kIllegalFunction = 0x01;
inline constexpr std::uint8_t kIllegalDataValue = 0x03;
inline constexpr std::uint8_t kGatewayPathUnavailable = 0x0A;
inline constexpr std::uint8_t kGatewayTargetFailed = 0x0B;

}  // namespace modbus
