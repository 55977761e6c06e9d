#include "scan/value_text.h"

#include "conversion/device_map.h"
#include "scan/typed_values.h"
#include "text/ascii_text.h"

namespace scan {

namespace {

constexpr std::string_view kCounterNote = "32-bit counter: raw word, packing not established";

// "0x00FA", as an assignment takes it back.
std::string PrefixedHexWord(std::uint16_t word) {
    return "0x" + text::ascii::HexWord(word);
}

// A row named `device_text` with the device's table, address and error, its value cells empty.
DeviceCells EmptyRow(const DeviceValue& device, std::string device_text) {
    return {std::move(device_text),
            std::string(conversion::TableName(device.entry.table)),
            conversion::AddressText(device.entry.address),
            "",
            "",
            "",
            device.error};
}

// A value of a type the user said: the device as asked ("D200:f32"), the value as its type shows
// it, its words in hex (a 32-bit value's high word first, as the number reads).
DeviceCells TypedCellsOf(const DeviceValue& device) {
    const auto type = *device.type;
    DeviceCells row = EmptyRow(device, conversion::DeviceName(device.entry.device) + ":" +
                                           std::string(conversion::TypeName(type)));
    if (device.value) {
        const std::uint16_t high = device.high.value_or(0);
        row[ValueCell] = TypedValueText(type, *device.value, high);
        if (conversion::IsDoubleWord(type)) {
            row[HexCell] = PrefixedHexWord(high) + text::ascii::HexWord(*device.value);
        } else if (type != conversion::ValueType::Bool) {
            row[HexCell] = PrefixedHexWord(*device.value);
        }
    }
    return row;
}

}  // namespace

DeviceCells CellsOf(const DeviceValue& device) {
    if (device.type) {
        return TypedCellsOf(device);
    }
    const auto& entry = device.entry;
    DeviceCells row = EmptyRow(device, conversion::DeviceName(entry.device));
    if (device.value) {
        if (entry.width == conversion::DataWidth::DoubleWord) {
            row[HexCell] = PrefixedHexWord(*device.value);
            row[NoteCell] = kCounterNote;
        } else {
            row[ValueCell] = std::to_string(conversion::HeldNumber(entry.segment, *device.value));
            if (entry.width == conversion::DataWidth::Word) {
                row[HexCell] = PrefixedHexWord(*device.value);
            }
        }
    }
    return row;
}

std::string ValueText(const DeviceValue& device) {
    DeviceCells row = CellsOf(device);
    return row[ValueCell].empty() ? std::move(row[HexCell]) : std::move(row[ValueCell]);
}

std::optional<std::uint32_t> HeldWords(const DeviceValue& device) {
    if (!device.value) {
        return std::nullopt;
    }
    return DoubleWord(*device.value, device.high.value_or(0));
}

bool WrittenDiffers(const DeviceValue& device) {
    return device.written && device.value && HeldWords(device) != *device.written;
}

std::string WrittenText(const DeviceValue& device) {
    if (!device.written) {
        return {};
    }
    DeviceValue as_written = device;
    as_written.value = static_cast<std::uint16_t>(*device.written & 0xFFFF);
    as_written.high = static_cast<std::uint16_t>(*device.written >> 16);
    return std::move(CellsOf(as_written)[ValueCell]);
}

}  // namespace scan
