#include "modbus/request_shape.h"

#include "modbus/function_codes.h"
#include "modbus/word_bytes.h"
#include "text/ascii_text.h"

namespace modbus {

namespace {

using detail::WordAt;

// Function, address and quantity (or value).
constexpr std::size_t kShortRequest = 5;
// Function, start, quantity and byte count: what comes before a multiple write's data.
constexpr std::size_t kMultipleWriteHead = 6;
constexpr std::uint16_t kCoilOn = 0xFF00;

std::string SizeFault(FunctionCode code, std::size_t size, std::size_t expected) {
    return "a request of " + FunctionText(code) + " of " + std::to_string(size) +
           " bytes, where it has " + std::to_string(expected);
}

std::string QuantityFault(FunctionCode code, std::uint16_t quantity) {
    const std::uint16_t most = MostItems(code).value_or(0);
    if (quantity >= 1 && quantity <= most) {
        return {};
    }
    return "a request for " + ItemCount(code, quantity) + ", where " + FunctionText(code) +
           " takes 1 to " + std::to_string(most);
}

std::string MultipleWriteFault(FunctionCode code, std::span<const std::uint8_t> pdu) {
    if (pdu.size() < kMultipleWriteHead) {
        return SizeFault(code, pdu.size(), kMultipleWriteHead);
    }
    const std::uint16_t quantity = WordAt(pdu, 3);
    if (auto fault = QuantityFault(code, quantity); !fault.empty()) {
        return fault;
    }
    const std::size_t expected = code == FunctionCode::WriteMultipleRegisters
                                     ? std::size_t{2} * quantity
                                     : (std::size_t{quantity} + 7) / 8;
    const std::size_t count = pdu[5];
    const std::size_t present = pdu.size() - kMultipleWriteHead;
    if (count != expected || present != expected) {
        return "a byte count of " + std::to_string(count) + " where " + ItemCount(code, quantity) +
               " take " + std::to_string(expected) + " bytes and " + std::to_string(present) +
               " follow";
    }
    return {};
}

}  // namespace

std::string RequestShapeFault(std::span<const std::uint8_t> pdu) {
    if (pdu.empty()) {
        return "a request without a function code";
    }
    const auto code = static_cast<FunctionCode>(pdu[0]);
    switch (code) {
        case FunctionCode::ReadCoils:
        case FunctionCode::ReadDiscreteInputs:
        case FunctionCode::ReadHoldingRegisters:
            if (pdu.size() != kShortRequest) {
                return SizeFault(code, pdu.size(), kShortRequest);
            }
            return QuantityFault(code, WordAt(pdu, 3));
        case FunctionCode::WriteSingleCoil:
        case FunctionCode::WriteSingleRegister:
            if (pdu.size() != kShortRequest) {
                return SizeFault(code, pdu.size(), kShortRequest);
            }
            if (code == FunctionCode::WriteSingleCoil && WordAt(pdu, 3) != kCoilOn &&
                WordAt(pdu, 3) != 0) {
                return "a coil set to " + text::ascii::HexWord(WordAt(pdu, 3)) +
                       ", where FF00 (on) or 0000 (off) is written";
            }
            return {};
        case FunctionCode::WriteMultipleCoils:
        case FunctionCode::WriteMultipleRegisters:
            return MultipleWriteFault(code, pdu);
        case FunctionCode::ReportServerId:
            return pdu.size() == 1 ? std::string() : SizeFault(code, pdu.size(), 1);
        default:
            return {};
    }
}

}  // namespace modbus
