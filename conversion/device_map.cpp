#include "conversion/device_map.h"

#include <algorithm>
#include <charconv>

namespace conversion {

namespace {

constexpr std::uint8_t kCoilRead[] = {1, 2};
constexpr std::uint8_t kCoilWrite[] = {5, 15};
constexpr std::uint8_t kInputRead[] = {2};
constexpr std::uint8_t kRegisterRead[] = {3};
constexpr std::uint8_t kRegisterWrite[] = {6, 16};

constexpr std::string_view kItemForms =
    "neither a device (such as D100, X17 or M1536) nor an address (0x1064, 1064h, H1064, or a "
    "six-digit reference such as 404197)";

// Numbers past this many significant digits lie outside every segment; reading stops there so that
// no digit string, however long, can overflow.
constexpr std::size_t kLongestNumber = 9;

// The segments of each letter, which stand together in the table: the first one's index and how
// many there are, by letter from 'A' to 'Z'.
struct LetterSegments {
    std::uint8_t first = 0;
    std::uint8_t count = 0;
};
constexpr auto kSegmentsByLetter = [] {
    std::array<LetterSegments, 26> by_letter{};
    for (std::size_t i = kAddressSegments.size(); i-- > 0;) {
        auto& entry = by_letter[static_cast<std::size_t>(kAddressSegments[i].letter - 'A')];
        entry.first = static_cast<std::uint8_t>(i);
        ++entry.count;
    }
    return by_letter;
}();

std::span<const AddressSegment> SegmentsOf(char letter) {
    if (letter < 'A' || letter > 'Z') {
        return {};
    }
    const auto [first, count] = kSegmentsByLetter[static_cast<std::size_t>(letter - 'A')];
    return {kAddressSegments.data() + first, count};
}

constexpr bool IsBitTable(ModbusTable table) {
    return table != ModbusTable::HoldingRegister;
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

LookupResult Failure(LookupError error, std::string message) {
    LookupResult result;
    result.error = error;
    result.message = std::move(message);
    return result;
}

MapEntry EntryFor(const AddressSegment& segment, std::uint32_t number) {
    const auto address =
        static_cast<std::uint16_t>(segment.first_address + (number - segment.first_number));
    return {{segment.letter, number}, segment.table, address, segment.width, &segment};
}

// The first and last number of a letter over all its segments, for the "runs from" message.
std::pair<std::uint32_t, std::uint32_t> NumberRange(char letter) {
    std::uint32_t low = UINT32_MAX, high = 0;
    for (const auto& segment : SegmentsOf(letter)) {
        low = std::min(low, segment.first_number);
        high = std::max(high, segment.last_number);
    }
    return {low, high};
}

std::string HexText(std::uint32_t value, int digits) {
    char buffer[8];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, 16).ptr;
    std::string text(static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, digits - (end - buffer))),
                     '0');
    text.append(buffer, end);
    std::transform(text.begin(), text.end(), text.begin(), Upper);
    return text;
}

std::optional<std::uint32_t> HexValue(std::string_view digits) {
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

// The hex digits of an address written as 0x1064, 1064h or H1064; nothing for any other form.
std::optional<std::string_view> HexDigits(std::string_view item) {
    if (item.size() > 2 && item[0] == '0' && (item[1] == 'x' || item[1] == 'X')) {
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

LookupResult LookUpHex(std::string_view item, std::string_view digits) {
    const bool all_hex = std::all_of(digits.begin(), digits.end(), [](char c) {
        return IsDigit(c) || (Upper(c) >= 'A' && Upper(c) <= 'F');
    });
    if (!all_hex) {
        return Failure(LookupError::NotAnItem,
                       DisplayText(item) + " is " + std::string(kItemForms));
    }
    const auto value = HexValue(digits);
    if (!value || *value > 0xFFFF) {
        return Failure(LookupError::AddressOutOfRange,
                       DisplayText(item) + " is past the last Modbus address, FFFF");
    }
    auto result = DevicesAt(static_cast<std::uint16_t>(*value));
    if (!result.ok()) {
        result.message = "no device at address " + DisplayText(item);
    }
    return result;
}

LookupResult LookUpReference(std::string_view item) {
    ModbusTable table{};
    switch (item[0]) {
        case '0':
            table = ModbusTable::Coil;
            break;
        case '1':
            table = ModbusTable::DiscreteInput;
            break;
        case '4':
            table = ModbusTable::HoldingRegister;
            break;
        case '3':
            return Failure(LookupError::NoDeviceAtAddress,
                           std::string(item) +
                               " is an input register reference (3xxxxx): the controller has none");
        default:
            return Failure(LookupError::NotAnItem,
                           std::string(item) +
                               " is not a reference: references start with 0 (coils), 1 "
                               "(discrete inputs) or 4 (holding registers)");
    }
    std::uint32_t offset = 0;
    std::from_chars(item.data() + 1, item.data() + item.size(), offset);
    if (offset < 1 || offset > 0x10000) {
        return Failure(LookupError::AddressOutOfRange,
                       std::string(item) + " is outside the references of its table (" +
                           std::string(1, item[0]) + "00001-" + std::string(1, item[0]) + "65536)");
    }
    auto result = DevicesAt(static_cast<std::uint16_t>(offset - 1), table);
    if (!result.ok()) {
        result.message = "no device at reference " + std::string(item) + " (" +
                         std::string(TableName(table)) + " " +
                         AddressText(static_cast<std::uint16_t>(offset - 1)) + ")";
    }
    return result;
}

LookupResult LookUpDevice(std::string_view item, char letter, std::string_view digits) {
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
    return result;
}

}  // namespace

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

LookupResult DevicesAt(std::uint16_t address, std::optional<ModbusTable> table) {
    LookupResult result;
    // Bit segments come before register segments of the same letter in the table, but not across
    // letters: take the bit device first so that callers can rely on the order.
    for (const bool bits : {true, false}) {
        for (const auto& segment : kAddressSegments) {
            if (IsBitTable(segment.table) != bits || (table && segment.table != *table) ||
                address < segment.first_address || address > segment.last_address()) {
                continue;
            }
            const std::uint32_t number = segment.first_number + (address - segment.first_address);
            result.entries[result.count++] = EntryFor(segment, number);
            break;  // at most one device of each kind lies at an address
        }
    }
    if (result.count == 0) {
        return Failure(LookupError::NoDeviceAtAddress,
                       "no device at address " + AddressText(address) +
                           (table ? " in the " + std::string(TableName(*table)) + " table" : ""));
    }
    return result;
}

LookupResult LookUp(std::string_view item) {
    const std::string_view text = Trimmed(item);
    if (text.empty()) {
        return Failure(LookupError::NotAnItem,
                       "empty item: give a device (such as D100, X17 or M1536) or an address "
                       "(0x1064, 1064h, H1064, or a six-digit reference such as 404197)");
    }
    if (const auto digits = HexDigits(text)) {
        return LookUpHex(text, *digits);
    }
    if (text.size() == 6 && std::all_of(text.begin(), text.end(), IsDigit)) {
        return LookUpReference(text);
    }
    const char letter = Upper(text[0]);
    const std::string_view number = text.substr(1);
    const bool is_letter = letter >= 'A' && letter <= 'Z';
    if (is_letter && !number.empty() && std::all_of(number.begin(), number.end(), IsDigit)) {
        return LookUpDevice(text, letter, number);
    }
    return Failure(LookupError::NotAnItem, DisplayText(text) + " is " + std::string(kItemForms));
}

std::string DisplayText(std::string_view item, std::size_t longest) {
    std::string text;
    for (const char c : item.substr(0, longest)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            text += c;
        } else {
            text += "\\x" + HexText(byte, 2);
        }
    }
    if (item.size() > longest) {
        text += "...";
    }
    return text;
}

std::string AddressText(std::uint16_t address) {
    return HexText(address, 4);
}

}  // namespace conversion
