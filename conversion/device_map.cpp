#include "conversion/device_map.h"

#include <algorithm>
#include <charconv>

#include "conversion/ascii_text.h"

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

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && ascii::IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && ascii::IsBlank(text.back())) {
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

// A six-digit reference as the maker's tables write it, zeros in front: "001542".
std::string ReferenceText(ModbusTable table, std::uint16_t address) {
    constexpr std::ptrdiff_t kDigits = 6;
    char buffer[16];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, ReferenceOf(table, address)).ptr;
    std::string text(
        static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, kDigits - (end - buffer))), '0');
    return text.append(buffer, end);
}

// Keeps the entries that `table` answers, in order. Function code 02 reads every bit device, so the
// discrete-input table answers for the coil devices too, as their discrete-input view.
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

// 0x and five decimal digits reads as hex, or as a five-digit coil reference after Modicon's 0x
// prefix. Where both readings give an address, guessing could answer the wrong device: refuse and
// write each reading so that it cannot be mistaken. Nothing when the item is not such a form.
std::optional<LookupResult> AmbiguityOf(std::string_view item) {
    if (item.size() != 7 || item[0] != '0' || (item[1] != 'x' && item[1] != 'X') ||
        !std::all_of(item.begin() + 2, item.end(), ascii::IsDigit)) {
        return std::nullopt;
    }
    const std::string_view digits = item.substr(2);
    const auto hex = HexNumber(digits);
    std::uint32_t coil = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), coil);
    if (!hex || *hex > 0xFFFF || coil < 1) {
        return std::nullopt;  // only one reading is an address
    }
    const std::string hex_text = ascii::HexWord(static_cast<std::uint16_t>(*hex));
    const auto coil_address = static_cast<std::uint16_t>(coil - 1);
    return Failure(LookupError::Ambiguous,
                   std::string(item) + " is ambiguous: as hex it is address " + hex_text +
                       " (write " + hex_text + "h or H" + hex_text +
                       "); as a coil reference it is address " + AddressText(coil_address) +
                       " (write " + ReferenceText(ModbusTable::Coil, coil_address) + ")");
}

LookupResult LookUpHex(std::string_view item, std::string_view digits,
                       std::optional<ModbusTable> table) {
    if (!std::all_of(digits.begin(), digits.end(), ascii::IsHexDigit)) {
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

// The ways a one-based reference is typed: 404197, 44197 and 4x4197 all name D100.
enum class ReferenceStyle : std::uint8_t { SixDigits, FiveDigits, Prefixed };

struct ReferenceItem {
    ReferenceStyle style;
    char kind;                // the digit that names the table
    std::string_view offset;  // the one-based offset's digits
};

// An item shaped as a reference, whatever its first digit; nothing for any other shape. 0x is not
// a prefix here: it starts a hex address, read before this.
std::optional<ReferenceItem> ReferenceShape(std::string_view item) {
    if ((item.size() == 6 || item.size() == 5) &&
        std::all_of(item.begin(), item.end(), ascii::IsDigit)) {
        return ReferenceItem{
            item.size() == 6 ? ReferenceStyle::SixDigits : ReferenceStyle::FiveDigits, item[0],
            item.substr(1)};
    }
    if (item.size() > 2 && item[0] >= '1' && item[0] <= '9' && (item[1] == 'x' || item[1] == 'X') &&
        std::all_of(item.begin() + 2, item.end(), ascii::IsDigit)) {
        return ReferenceItem{ReferenceStyle::Prefixed, item[0], item.substr(2)};
    }
    return std::nullopt;
}

LookupResult LookUpReference(std::string_view item, const ReferenceItem& reference,
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
        if (const AddressSegment* segment = SegmentAt(address, bits)) {
            const std::uint32_t number = segment->first_number + (address - segment->first_address);
            result.entries[result.count++] = EntryFor(*segment, number);
        }
    }
    if (table) {
        Restrict(result, *table);
    }
    if (result.count == 0) {
        return Failure(LookupError::NoDeviceAtAddress,
                       "no device at address " + AddressText(address) +
                           (table ? " in the " + std::string(TableName(*table)) + " table" : ""));
    }
    return result;
}

LookupResult LookUp(std::string_view item, std::optional<ModbusTable> table) {
    const std::string_view text = Trimmed(item);
    if (text.empty()) {
        return Failure(LookupError::NotAnItem,
                       "empty item: give a device (such as D100, X17 or M1536) or an address "
                       "(0x1064, 1064h, H1064, or a six-digit reference such as 404197)");
    }
    // A letter and digits is a device whatever follows: tried first, as tag lists hold devices.
    const char letter = ascii::Upper(text[0]);
    const std::string_view number = text.substr(1);
    const bool is_letter = letter >= 'A' && letter <= 'Z' && letter != 'H';  // H1064 is hex
    if (is_letter && !number.empty() && std::all_of(number.begin(), number.end(), ascii::IsDigit)) {
        return LookUpDevice(text, letter, number, table);
    }
    if (auto ambiguous = AmbiguityOf(text)) {
        return std::move(*ambiguous);
    }
    if (const auto digits = HexDigits(text)) {
        return LookUpHex(text, *digits, table);
    }
    if (const auto reference = ReferenceShape(text)) {
        return LookUpReference(text, *reference, table);
    }
    return Failure(LookupError::NotAnItem, DisplayText(text) + " is " + std::string(kItemForms));
}

std::string DisplayText(std::string_view item, std::size_t longest) {
    std::string text;
    for (const char c : item.substr(0, longest)) {
        ascii::AppendEscaped(text, c);
    }
    if (item.size() > longest) {
        text += "...";
    }
    return text;
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
    return ascii::HexWord(address);
}

}  // namespace conversion
