#include "conversion/device_map.h"

#include <algorithm>
#include <charconv>

#include "conversion/device_map_parts.h"
#include "text/ascii_text.h"

namespace conversion {

using detail::Failure;
using detail::IsBitTable;
using detail::Restrict;
using detail::SegmentsOf;

namespace {

constexpr std::uint8_t kCoilRead[] = {1, 2};
constexpr std::uint8_t kCoilWrite[] = {5, 15};
constexpr std::uint8_t kInputRead[] = {2};
constexpr std::uint8_t kRegisterRead[] = {3};
constexpr std::uint8_t kRegisterWrite[] = {6, 16};

// The segment of bit devices, or of register devices, that holds `address`; nullptr in a gap.
// Every address has at most one of each.
const AddressSegment* SegmentAt(std::uint16_t address, bool bit_devices) noexcept {
    for (const auto& segment : kAddressSegments) {
        if (IsBitTable(segment.table) == bit_devices && address >= segment.first_address &&
            address <= segment.last_address()) {
            return &segment;
        }
    }
    return nullptr;
}
MapEntry EntryFor(const AddressSegment& segment, std::uint32_t number) {
    const auto address =
        static_cast<std::uint16_t>(segment.first_address + (number - segment.first_number));
    return {{segment.letter, number}, segment.table, address, segment.width, &segment};
}

}  // namespace

namespace detail {

void Restrict(LookupResult& result, ModbusTable table) {
    std::uint8_t kept = 0;
    for (std::uint8_t i = 0; i < result.count; ++i) {
        MapEntry entry = result.entries[i];
        if (entry.table == table ||
            (table == ModbusTable::DiscreteInput && IsBitTable(entry.table))) {
            entry.table = table;
            result.entries[kept++] = entry;
        }
    }
    result.count = kept;
}

}  // namespace detail

std::string DeviceName(Device device) {
    char buffer[16];
    buffer[0] = device.letter;
    const int base = (device.letter == 'X' || device.letter == 'Y') ? 8 : 10;
    const auto end = std::to_chars(buffer + 1, buffer + sizeof buffer, device.number, base).ptr;
    return std::string(buffer, end);
}

std::uint32_t ReferenceOf(ModbusTable table, std::uint16_t address) noexcept {
    switch (table) {
        case ModbusTable::Coil:
            return 1u + address;
        case ModbusTable::DiscreteInput:
            return 100001u + address;
        case ModbusTable::HoldingRegister:
            return 400001u + address;
    }
    return 0;
}

std::span<const std::uint8_t> ReadCodes(ModbusTable table) noexcept {
    switch (table) {
        case ModbusTable::Coil:
            return kCoilRead;
        case ModbusTable::DiscreteInput:
            return kInputRead;
        case ModbusTable::HoldingRegister:
            return kRegisterRead;
    }
    return {};
}

std::span<const std::uint8_t> WriteCodes(ModbusTable table) noexcept {
    switch (table) {
        case ModbusTable::Coil:
            return kCoilWrite;
        case ModbusTable::DiscreteInput:
            return {};  // X is read-only
        case ModbusTable::HoldingRegister:
            return kRegisterWrite;
    }
    return {};
}

std::string_view TableName(ModbusTable table) noexcept {
    switch (table) {
        case ModbusTable::Coil:
            return "coil";
        case ModbusTable::DiscreteInput:
            return "discrete input";
        case ModbusTable::HoldingRegister:
            return "holding register";
    }
    return {};
}

std::string_view WidthName(DataWidth width) noexcept {
    switch (width) {
        case DataWidth::Bit:
            return "bit";
        case DataWidth::Word:
            return "word";
        case DataWidth::DoubleWord:
            return "double word";
    }
    return {};
}

LookupResult EntriesOf(Device device) {
    LookupResult result;
    for (const auto& segment : SegmentsOf(device.letter)) {
        if (device.number >= segment.first_number && device.number <= segment.last_number) {
            result.entries[result.count++] = EntryFor(segment, device.number);
        }
    }
    if (result.count == 0) {
        return Failure(LookupError::NoSuchDevice, DeviceName(device) + " has no Modbus address");
    }
    return result;
}

LookupResult detail::DevicesThere(std::uint16_t address, std::optional<ModbusTable> table) {
    LookupResult result;
    // Bit segments come before register segments of the same letter in the table, but not across
    // letters: take the bit device first so that callers can rely on the order.
    for (const bool bits : {true, false}) {
        if (const AddressSegment* segment = SegmentAt(address, bits)) {
            const std::uint32_t number = segment->first_number + (address - segment->first_address);
            result.entries[result.count++] = EntryFor(*segment, number);
        }
    }
    if (table) {
        Restrict(result, *table);
    }
    if (result.count == 0) {
        result.error = LookupError::NoDeviceAtAddress;
    }
    return result;
}

LookupResult DevicesAt(std::uint16_t address, std::optional<ModbusTable> table) {
    LookupResult result = detail::DevicesThere(address, table);
    if (!result.ok()) {
        return Failure(LookupError::NoDeviceAtAddress,
                       "no device at address " + AddressText(address) +
                           (table ? " in the " + std::string(TableName(*table)) + " table" : ""));
    }
    return result;
}

std::string DisplayText(std::string_view item, std::size_t longest) {
    return text::DisplayText(item, longest);
}

AddressRun RunAt(std::uint16_t address, std::uint16_t last, bool bit_devices) noexcept {
    last = std::max(last, address);
    if (const AddressSegment* segment = SegmentAt(address, bit_devices)) {
        return {segment, std::min(last, segment->last_address())};
    }
    std::uint16_t end = last;
    for (const auto& segment : kAddressSegments) {
        if (IsBitTable(segment.table) == bit_devices && segment.first_address > address) {
            end = std::min(end, static_cast<std::uint16_t>(segment.first_address - 1));
        }
    }
    return {nullptr, end};
}

std::string AddressText(std::uint16_t address) {
    return text::ascii::HexWord(address);
}

}  // namespace conversion
