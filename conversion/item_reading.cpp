// Reading an item as a user types it and looking it up in the address map, with a message for every
// item that has no answer: a device here, an address (hex or a reference) in address_items.cpp.
#include <algorithm>
#include <array>
#include <charconv>

#include "conversion/device_map.h"
#include "conversion/device_map_parts.h"
#include "text/ascii_text.h"

namespace conversion {

using detail::AmbiguityOf;
using detail::Failure;
using detail::HexDigits;
using detail::IsBitTable;
using detail::kItemForms;
using detail::NotInTable;
using detail::ReferenceStyle;
using detail::Restrict;
using detail::SegmentsOf;

namespace {

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

namespace {

// A device's entries restricted to `table`, or why it has none there.
LookupResult OnTable(LookupResult result, ModbusTable table) {
    const MapEntry elsewhere = result.entries[0];
    Restrict(result, table);
    if (result.count == 0) {
        return NotInTable(DeviceName(elsewhere.device), table, elsewhere, true);
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
    if (is_letter && !number.empty() &&
        std::all_of(number.begin(), number.end(), text::ascii::IsDigit)) {
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
