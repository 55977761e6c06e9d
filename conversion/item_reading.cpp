// Reading an item as a user types it (a device, a hex address, a reference in any of the forms HMI
// tools write) and looking it up in the address map, with a message for every item that has no
// answer.
#include <algorithm>
#include <array>
#include <charconv>

#include "text/ascii_text.h"
#include "conversion/device_map.h"
#include "conversion/device_map_parts.h"

namespace conversion {

using detail::Failure;
using detail::IsBitTable;
using detail::Restrict;
using detail::SegmentsOf;

namespace {

constexpr std::string_view kItemForms =
    "neither a device (such as D100, X17 or M1536) nor an address (0x1064, 1064h, H1064, or a "
    "six-digit reference such as 404197)";

// Numbers past this many significant digits lie outside every segment; reading stops there so that
// no digit string, however long, can overflow.
constexpr std::size_t kLongestNumber = 9;

// The first and last number of a letter over all its segments, for the "runs from" message.
std::pair<std::uint32_t, std::uint32_t> NumberRange(char letter) {
    std::uint32_t low = UINT32_MAX, high = 0;
    for (const auto& segment : SegmentsOf(letter)) {
        low = std::min(low, segment.first_number);
        high = std::max(high, segment.last_number);
    }
    return {low, high};
}

}  // namespace

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

// The error for an item whose entries all lie off `table`, saying what `instead`, one of them, is:
// "D100 has no coil entry: it is a holding register (1064, 404197)". `device_item` tells a device
// typed by name from an address, where the message also names the device found there.
LookupResult NotInTable(std::string_view shown, ModbusTable table, const MapEntry& instead,
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

// A device's entries restricted to `table`, or why it has none there.
LookupResult OnTable(LookupResult result, ModbusTable table) {
    const MapEntry elsewhere = result.entries[0];
    Restrict(result, table);
    if (result.count == 0) {
        return NotInTable(DeviceName(elsewhere.device), table, elsewhere, true);
    }
    return result;
}

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

// The hex digits of an address written as 0x1064, 1064h, H1064, 16#1064 (IEC 61131-3), $1064 or
// &H1064; nothing for any other form.
std::optional<std::string_view> HexDigits(std::string_view item) {
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
std::optional<LookupResult> AmbiguityOf(std::string_view item) {
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

}  // namespace

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

namespace {

LookupResult LookUpDevice(std::string_view item, char letter, std::string_view digits,
                          std::optional<ModbusTable> table) {
    while (digits.size() > 1 && digits.front() == '0') {
        digits.remove_prefix(1);
    }
    // Messages are built only on the way out: a successful lookup allocates nothing.
    const auto name = [&] { return letter + DisplayText(digits); };
    if (SegmentsOf(letter).empty()) {
        return Failure(
            LookupError::UnknownLetter,
            DisplayText(item) + " is not a device: the device letters are S, X, Y, T, M, C and D");
    }
    const bool octal = letter == 'X' || letter == 'Y';
    if (octal && digits.find_first_of("89") != std::string_view::npos) {
        return Failure(LookupError::NotOctal,
                       name() + (letter == 'X' ? " is not an X" : " is not a Y") +
                           " number: X and Y are numbered in octal (" + letter + "0-" + letter +
                           "7, " + letter + "10-" + letter + "17, ...)");
    }
    const auto out_of_range = [&] {
        const auto [low, high] = NumberRange(letter);
        return Failure(LookupError::NoSuchDevice, name() + " has no Modbus address: " + letter +
                                                      " runs from " + DeviceName({letter, low}) +
                                                      " to " + DeviceName({letter, high}));
    };
    if (digits.size() > kLongestNumber) {
        return out_of_range();
    }
    std::uint32_t number = 0;  // at most nine digits: no overflow
    for (const char digit : digits) {
        number = number * (octal ? 8u : 10u) + static_cast<std::uint32_t>(digit - '0');
    }
    auto result = EntriesOf({letter, number});
    if (!result.ok()) {
        return out_of_range();
    }
    return table ? OnTable(std::move(result), *table) : result;
}

// A device letter: the letters of the map, and H only as the hex prefix of H1064.
bool IsDeviceLetter(char letter) {
    return !SegmentsOf(letter).empty();
}

}  // namespace

LookupResult LookUp(std::string_view item, std::optional<ModbusTable> table, BareNumbers numbers) {
    const std::string_view text = text::ascii::Trimmed(item);
    if (text.empty()) {
        return Failure(LookupError::NotAnItem,
                       "empty item: give a device (such as D100, X17 or M1536) or an address "
                       "(0x1064, 1064h, H1064, or a six-digit reference such as 404197)");
    }
    // A letter and digits is a device whatever follows: tried first, as tag lists hold devices.
    // The hex letters that name no device (A, B, E, F) start a bare hex number instead: B000.
    const char letter = text::ascii::Upper(text[0]);
    const std::string_view number = text.substr(1);
    const bool is_letter = letter >= 'A' && letter <= 'Z' && letter != 'H' &&  // H1064 is hex
                           (IsDeviceLetter(letter) || !text::ascii::IsHexDigit(letter));
    if (is_letter && !number.empty() && std::all_of(number.begin(), number.end(), text::ascii::IsDigit)) {
        return LookUpDevice(text, letter, number, table);
    }
    if (auto ambiguous = AmbiguityOf(text)) {
        return std::move(*ambiguous);
    }
    if (auto foreign = detail::ForeignNotation(text)) {  // before H1064: HR4097 is no hex address
        return std::move(*foreign);
    }
    if (const auto digits = HexDigits(text)) {
        return detail::LookUpHex(text, *digits, table);
    }
    if (const auto reference = detail::ReferenceShape(text);
        reference && reference->style == ReferenceStyle::Prefixed) {
        return detail::LookUpReference(text, *reference, table);
    }
    if (IsBareNumber(text)) {
        return detail::LookUpBareNumber(text, table, numbers);
    }
    return Failure(LookupError::NotAnItem, DisplayText(text) + " is " + std::string(kItemForms));
}

}  // namespace conversion
