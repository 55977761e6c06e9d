#include "modbus/function_codes.h"

#include <vector>

#include "modbus/function_shapes.h"
#include "text/ascii_text.h"

namespace modbus {

std::string_view FunctionName(std::uint8_t function) noexcept {
    switch (CodeOf(function)) {
        case FunctionCode::ReadCoils:
            return "read coil status";
        case FunctionCode::ReadDiscreteInputs:
            return "read input status";
        case FunctionCode::ReadHoldingRegisters:
            return "read holding registers";
        case FunctionCode::ReadInputRegisters:
            return "read input registers";
        case FunctionCode::WriteSingleCoil:
            return "force single coil";
        case FunctionCode::WriteSingleRegister:
            return "preset single register";
        case FunctionCode::ReadExceptionStatus:
            return "read exception status";
        case FunctionCode::Diagnostics:
            return "diagnostics";
        case FunctionCode::GetCommEventCounter:
            return "get comm event counter";
        case FunctionCode::GetCommEventLog:
            return "get comm event log";
        case FunctionCode::WriteMultipleCoils:
            return "force multiple coils";
        case FunctionCode::WriteMultipleRegisters:
            return "preset multiple registers";
        case FunctionCode::ReportServerId:
            return "report slave id";
        case FunctionCode::ReadFileRecord:
            return "read file record";
        case FunctionCode::WriteFileRecord:
            return "write file record";
        case FunctionCode::MaskWriteRegister:
            return "mask write register";
        case FunctionCode::ReadWriteMultipleRegisters:
            return "read/write multiple registers";
        case FunctionCode::ReadFifoQueue:
            return "read FIFO queue";
        case FunctionCode::EncapsulatedInterfaceTransport:
            return "encapsulated interface transport";
    }
    return {};
}

std::string FunctionText(FunctionCode code) {
    const auto value = static_cast<std::uint8_t>(code);
    std::string text = "function ";
    text.append(std::to_string(value)).append(" (0x");
    text::ascii::AppendHexByte(text, value);
    return text.append(")");
}

bool ReachesBits(FunctionCode code) noexcept {
    const FunctionShape* shape = ShapeOf(code);
    return shape != nullptr && shape->items == ItemKind::Bits;
}

std::string ItemCount(FunctionCode code, std::size_t count) {
    std::string text = std::to_string(count);
    text += code == FunctionCode::ReadDiscreteInputs ? " input"
            : ReachesBits(code)                      ? " coil"
                                                     : " register";
    if (count != 1) {
        text += 's';
    }
    return text;
}

std::optional<std::uint16_t> MostItems(FunctionCode code) noexcept {
    const FunctionShape* shape = ShapeOf(code);
    if (shape == nullptr || shape->most_items == 0) {
        return std::nullopt;
    }
    return shape->most_items;
}

std::string ServedCodesText() {
    std::vector<std::string> codes;
    for (const auto& shape : kFunctionShapes) {
        if (shape.served) {
            codes.push_back(std::to_string(static_cast<unsigned>(shape.code)));
        }
    }
    std::string text;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        text.append(i == 0 ? "" : i + 1 == codes.size() ? " and " : ", ").append(codes[i]);
    }
    return text;
}

std::string ExceptionText(std::uint8_t exception) {
    constexpr std::string_view kNames[] = {"illegal function", "illegal data address",
                                           "illegal data value", "slave device failure"};
    std::string text = "exception ";
    text::ascii::AppendHexByte(text, exception);
    if (exception >= 1 && exception <= std::size(kNames)) {
        text.append(" (").append(kNames[exception - 1]).append(")");
    } else if (exception == kGatewayPathUnavailable) {
        text.append(" (gateway path unavailable)");
    } else if (exception == kGatewayTargetFailed) {
        text.append(" (gateway target device failed to respond)");
    }
    return text;
}

}  // namespace modbus
