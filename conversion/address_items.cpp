// Addresses as users type them rather than devices: hex (0x1064, 1064h, H1064, 16#1064, $1064,
// &H1064) and references in the forms HMI tools write (404197, 4x4197, 4:4197, 40001), each looked
// up in the map, with a message for an address that is not a device's or is read two ways.
#include <algorithm>
#include <array>
#include <charconv>

#include "conversion/device_map.h"
#include "conversion/device_map_parts.h"
#include "text/ascii_text.h"

namespace conversion {

using detail::Failure;
using detail::IsBitTable;
using detail::kItemForms;
using detail::Restrict;
using detail::SegmentsOf;

std::string detail::ReferenceText(ModbusTable table, std::uint16_t address) {
    constexpr std::ptrdiff_t kDigits = 6;
    char buffer[16];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, ReferenceOf(table, address)).ptr;
    std::string text(
        static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, kDigits - (end - buffer))), '0');
    return text.append(buffer, end);
}

namespace {

using detail::ReferenceItem;
using detail::ReferenceStyle;
using detail::ReferenceText;

std::optional<std::uint32_t> HexNumber(std::string_view digits) {
    while (digits.size() > 1 && digits.front() == '0') {
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits.size() > 8) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (ec != std::errc{} || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

LookupResult detail::NotInTable(std::string_view shown, ModbusTable table, const MapEntry& instead,
                                bool device_item) {
    const std::string where = std::string(TableName(instead.table)) + " (" +
                              AddressText(instead.address) + ", " +
                              ReferenceText(instead.table, instead.address) + ")";
    // Asking X for a coil is asking to write an input: say why it cannot be.
    const bool read_only = table == ModbusTable::Coil && instead.device.letter == 'X';
    std::string message =
        std::string(shown) + " has no " + std::string(TableName(table)) + " entry: ";
    if (device_item) {
        message += (read_only ? "X is read-only, a " : "it is a ") + where;
    } else {
        message += "it is " + DeviceName(instead.device) + ", a " + where;
        if (read_only) {
            message += "; X is read-only";
        }
    }
    return Failure(LookupError::NotInTable, std::move(message));
}

// The hex digits of an address written as 0x1064, 1064h, H1064, 16#1064 (IEC 61131-3), $1064 or
// &H1064; nothing for any other form.
std::optional<std::string_view> detail::HexDigits(std::string_view item) {
    if (item.size() > 2 && item[0] == '0' && (item[1] == 'x' || item[1] == 'X')) {
        return item.substr(2);
    }
    if (item.size() > 3 && item.substr(0, 3) == "16#") {
        return item.substr(3);
    }
    if (item.size() > 1 && item[0] == '$') {
        return item.substr(1);
    }
    if (item.size() > 2 && item[0] == '&' && (item[1] == 'h' || item[1] == 'H')) {
        return item.substr(2);
    }
    if (item.size() > 1 && (item.back() == 'h' || item.back() == 'H')) {
        return item.substr(0, item.size() - 1);
    }
    if (item.size() > 1 && (item.front() == 'h' || item.front() == 'H')) {
        return item.substr(1);
    }
    return std::nullopt;
}

// 0x and five decimal digits reads as hex, or as a five-digit coil reference after Modicon's 0x
// prefix. Where both readings give an address, guessing could answer the wrong device: refuse and
// write each reading so that it cannot be mistaken. Nothing when the item is not such a form.
std::optional<LookupResult> detail::AmbiguityOf(std::string_view item) {
    if (item.size() != 7 || item[0] != '0' || (item[1] != 'x' && item[1] != 'X') ||
        !std::all_of(item.begin() + 2, item.end(), text::ascii::IsDigit)) {
        return std::nullopt;
    }
    const std::string_view digits = item.substr(2);
    const auto hex = HexNumber(digits);
    std::uint32_t coil = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), coil);
    if (!hex || *hex > 0xFFFF || coil < 1) {
        return std::nullopt;  // only one reading is an address
    }
    const std::string hex_text = text::ascii::HexWord(static_cast<std::uint16_t>(*hex));
    const auto coil_address = static_cast<std::uint16_t>(coil - 1);
    return Failure(LookupError::Ambiguous,
                   std::string(item) + " is ambiguous: as hex it is address " + hex_text +
                       " (write " + hex_text + "h or H" + hex_text +
                       "); as a coil reference it is address " + AddressText(coil_address) +
                       " (write " + ReferenceText(ModbusTable::Coil, coil_address) + ")");
}

LookupResult detail::LookUpHex(std::string_view item, std::string_view digits,
                               std::optional<ModbusTable> table) {
    if (!std::all_of(digits.begin(), digits.end(), text::ascii::IsHexDigit)) {
        return Failure(LookupError::NotAnItem,
                       DisplayText(item) + " is " + std::string(kItemForms));
    }
    const auto value = HexNumber(digits);
    if (!value || *value > 0xFFFF) {
        return Failure(LookupError::AddressOutOfRange,
                       DisplayText(item) + " is past the last Modbus address, FFFF");
    }
    const auto address = static_cast<std::uint16_t>(*value);
    auto result = DevicesAt(address, table);
    if (!result.ok()) {
        if (table) {
            if (const auto elsewhere = DevicesAt(address); elsewhere.ok()) {
                return NotInTable(DisplayText(item), *table, elsewhere.found()[0], false);
            }
        }
        result.message = "no device at address " + DisplayText(item);
    }
    return result;
}

std::optional<ReferenceItem> detail::ReferenceShape(std::string_view item) {
    if ((item.size() == 6 || item.size() == 5) &&
        std::all_of(item.begin(), item.end(), text::ascii::IsDigit)) {
        return ReferenceItem{
            item.size() == 6 ? ReferenceStyle::SixDigits : ReferenceStyle::FiveDigits, item[0],
            item.substr(1)};
    }
    if (item.size() > 2 && item[0] >= '1' && item[0] <= '9' && (item[1] == 'x' || item[1] == 'X') &&
        std::all_of(item.begin() + 2, item.end(), text::ascii::IsDigit)) {
        return ReferenceItem{ReferenceStyle::Prefixed, item[0], item.substr(2)};
    }
    return std::nullopt;
}

LookupResult detail::LookUpReference(std::string_view item, const ReferenceItem& reference,
                                     std::optional<ModbusTable> asked) {
    const auto style = reference.style;
    // Messages are built only on the way out: a successful lookup allocates nothing.
    const auto shown = [&] { return DisplayText(item); };
    const char kind = reference.kind;
    ModbusTable table{};
    switch (reference.kind) {
        case '0':
            table = ModbusTable::Coil;
            break;
        case '1':
            table = ModbusTable::DiscreteInput;
            break;
        case '4':
            table = ModbusTable::HoldingRegister;
            break;
        case '3': {
            const std::string_view pattern = style == ReferenceStyle::SixDigits    ? "3xxxxx"
                                             : style == ReferenceStyle::FiveDigits ? "3xxxx"
                                                                                   : "3x";
            return Failure(LookupError::NoDeviceAtAddress,
                           shown() + " is an input register reference (" + std::string(pattern) +
                               "): the controller has none");
        }
        default:
            if (style == ReferenceStyle::Prefixed) {
                return Failure(LookupError::NotAnItem,
                               shown() +
                                   " is not a reference: the prefixes are 1x (discrete inputs) and "
                                   "4x (holding registers), as in 4x4197; 0x starts a hex address");
            }
            return Failure(LookupError::NotAnItem,
                           shown() +
                               " is not a reference: references start with 0 (coils), 1 "
                               "(discrete inputs) or 4 (holding registers)");
    }
    if (reference.offset.size() > 5) {
        return Failure(LookupError::NotAnItem, shown() + " is not a reference: " + kind +
                                                   "x takes 1 to 5 digits (" + kind + "x1-" + kind +
                                                   "x65536)");
    }
    std::uint32_t offset = 0;  // at most five digits: no overflow
    for (const char digit : reference.offset) {
        offset = offset * 10 + static_cast<std::uint32_t>(digit - '0');
    }
    const std::uint32_t last = style == ReferenceStyle::FiveDigits ? 9999 : 0x10000;
    if (offset < 1 || offset > last) {
        switch (style) {
            case ReferenceStyle::SixDigits:
                return Failure(LookupError::AddressOutOfRange,
                               shown() + " is outside the references of its table (" + kind +
                                   "00001-" + kind + "65536)");
            case ReferenceStyle::FiveDigits:
                return Failure(LookupError::AddressOutOfRange,
                               shown() + " is outside the five-digit references of its table (" +
                                   kind + "0001-" + kind + "9999)");
            case ReferenceStyle::Prefixed:
                return Failure(LookupError::AddressOutOfRange,
                               shown() + " is outside the references of its table (" + kind +
                                   "x1-" + kind + "x65536)");
        }
    }
    const auto address = static_cast<std::uint16_t>(offset - 1);
    if (asked && *asked != table) {
        return Failure(LookupError::NotInTable,
                       shown() + " has no " + std::string(TableName(*asked)) + " entry: it is a " +
                           std::string(TableName(table)) + " reference (address " +
                           AddressText(address) + ")");
    }
    auto result = DevicesAt(address, table);
    if (!result.ok()) {
        result.message = "no device at reference " + shown() + " (" +
                         std::string(TableName(table)) + " " + AddressText(address) + ")";
    }
    return result;
}

}  // namespace conversion
