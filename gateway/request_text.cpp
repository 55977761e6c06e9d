#include "gateway/request_text.h"

#include <variant>

#include "conversion/captured_frame.h"
#include "modbus/function_codes.h"
#include "modbus/wire.h"

namespace gateway {

namespace {

using modbus::FunctionCode;

// Writes of more values than this are named by their range alone.
constexpr std::size_t kMostValuesShown = 4;

std::string RangeText(const conversion::FrameReading& reading) {
    if (reading.first_device.empty()) {
        return "addresses without devices";
    }
    return reading.first_device == reading.last_device
               ? reading.first_device
               : reading.first_device + "-" + reading.last_device;
}

std::string ValueText(FunctionCode code, const modbus::ItemValue& value) {
    if (const auto* word = std::get_if<std::uint16_t>(&value)) {
        if (modbus::ReachesBits(code)) {
            return *word != 0 ? "on" : "off";
        }
        return std::to_string(*word);
    }
    return std::get<modbus::RawBytes>(value).hex;
}

std::string WriteText(FunctionCode code, const conversion::FrameReading& reading) {
    const auto& values = reading.values;
    if (values.empty() || values.size() > kMostValuesShown) {
        return "write " + RangeText(reading) + " (" +
               modbus::ItemCount(code, reading.range ? reading.range->quantity : 0) + ")";
    }
    std::string text = "write";
    for (const auto& value : values) {
        text.append(" ")
            .append(value.device.empty() ? "?" : value.device)
            .append("=")
            .append(ValueText(code, value.value));
    }
    return text;
}

}  // namespace

std::string RequestText(std::uint8_t station, std::span<const std::uint8_t> pdu) {
    const auto code = static_cast<FunctionCode>(pdu.empty() ? 0 : pdu[0]);
    const auto frame =
        conversion::DecodeFrame(modbus::RtuFrameText(modbus::RtuFrame(station, pdu)));
    const auto name = modbus::FunctionName(pdu.empty() ? 0 : pdu[0]);
    std::string function = name.empty() ? modbus::FunctionText(code) : std::string(name);
    if (frame.readings.empty() || !frame.readings.front().role) {
        return function;
    }
    const auto& reading = frame.readings.front();
    switch (code) {
        case FunctionCode::ReadCoils:
        case FunctionCode::ReadDiscreteInputs:
        case FunctionCode::ReadHoldingRegisters:
            return "read " + RangeText(reading);
        case FunctionCode::WriteSingleCoil:
        case FunctionCode::WriteSingleRegister:
        case FunctionCode::WriteMultipleCoils:
        case FunctionCode::WriteMultipleRegisters:
            return WriteText(code, reading);
        default:
            return function;
    }
}

}  // namespace gateway
