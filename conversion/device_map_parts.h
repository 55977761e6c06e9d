// What the address map and the reading of typed items share inside the library: the segments of
// a letter, which tables hold bits, an error result, and keeping the entries of one table.
// Internal: not installed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "conversion/device_map.h"

namespace conversion::detail {

// What an item that reads as nothing is not, for its message.
inline constexpr std::string_view kItemForms =
    "neither a device (such as D100, X17 or M1536) nor an address (0x1064, 1064h, H1064, or a "
    "six-digit reference such as 404197)";

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

inline std::span<const AddressSegment> SegmentsOf(char letter) {
    if (letter < 'A' || letter > 'Z') {
        return {};
    }
    const auto [first, count] = kSegmentsByLetter[static_cast<std::size_t>(letter - 'A')];
    return {kAddressSegments.data() + first, count};
}

constexpr bool IsBitTable(ModbusTable table) {
    return table != ModbusTable::HoldingRegister;
}

inline LookupResult Failure(LookupError error, std::string message) {
    LookupResult result;
    result.error = error;
    result.message = std::move(message);
    return result;
}

// The devices at `address` on `table` (every table when none), as DevicesAt gives them, but with
// no message when there are none: the readings of a bare number are tried without allocating.
LookupResult DevicesThere(std::uint16_t address, std::optional<ModbusTable> table);

// A six-digit reference as the maker's tables write it, zeros in front: "001542".
std::string ReferenceText(ModbusTable table, std::uint16_t address);

// An address written in hex (`digits`, the item's after its prefix or before its suffix).
LookupResult LookUpHex(std::string_view item, std::string_view digits,
                       std::optional<ModbusTable> table);

// The ways a one-based reference is typed: 404197, 44197 and 4x4197 all name D100.
enum class ReferenceStyle : std::uint8_t { SixDigits, FiveDigits, Prefixed };

struct ReferenceItem {
    ReferenceStyle style;
    char kind;                // the digit that names the table
    std::string_view offset;  // the one-based offset's digits
};

// An item shaped as a reference, whatever its first digit; nothing for any other shape. 0x is not
// a prefix here: it starts a hex address, read before this.
std::optional<ReferenceItem> ReferenceShape(std::string_view item);

// A reference looked up in its own table, with a message for every way it can be wrong.
LookupResult LookUpReference(std::string_view item, const ReferenceItem& reference,
                             std::optional<ModbusTable> asked);

// A bare number read every way `numbers` allows (see LookUp).
LookupResult LookUpBareNumber(std::string_view text, std::optional<ModbusTable> table,
                              BareNumbers numbers);

// Another system's notation for an address (%MW100, HR4097, DI5): refused with the ways this tool
// reads one, in the item's own number where it has one. Nothing for an item of no such shape.
std::optional<LookupResult> ForeignNotation(std::string_view item);

// Keeps the entries that `table` answers, in order. Function code 02 reads every bit device, so the
// discrete-input table answers for the coil devices too, as their discrete-input view.
void Restrict(LookupResult& result, ModbusTable table);

// The error for an item whose entries all lie off `table`, saying what `instead`, one of them, is:
// "D100 has no coil entry: it is a holding register (1064, 404197)". `device_item` tells a device
// typed by name from an address, where the message also names the device found there.
LookupResult NotInTable(std::string_view shown, ModbusTable table, const MapEntry& instead,
                        bool device_item);

// The hex digits of an address written as 0x1064, 1064h, H1064, 16#1064 (IEC 61131-3), $1064 or
// &H1064; nothing for any other form.
std::optional<std::string_view> HexDigits(std::string_view item);

// The refusal of an item that reads as hex and as a reference both naming an address (0x and five
// decimal digits); nothing when the item is not such a form.
std::optional<LookupResult> AmbiguityOf(std::string_view item);

}  // namespace conversion::detail
