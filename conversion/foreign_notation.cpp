// Addresses written in another system's notation, read by no rule of this controller's: each is
// refused with the forms that would name what was meant.
#include <array>
#include <charconv>

#include "conversion/device_map.h"
#include "conversion/device_map_parts.h"
#include "text/ascii_text.h"

namespace conversion {

using detail::Failure;
using detail::ReferenceText;

// Another system's notation for an address (%MW100, HR4097, DI5), refused with the ways this tool
// reads one, in the item's own number where it has one.
std::optional<LookupResult> detail::ForeignNotation(std::string_view item) {
    struct Prefix {
        std::string_view letters;
        char reference_kind;  // the reference's table digit; 0 where none fits
    };
    static constexpr std::array<Prefix, 6> kPrefixes{
        {{"HR", '4'}, {"DI", '1'}, {"CO", '0'}, {"IR", '3'}, {"MW", 0}, {"%", 0}}};
    for (const auto& prefix : kPrefixes) {
        if (item.size() <= prefix.letters.size() ||
            !text::ascii::SameIgnoringCase(item.substr(0, prefix.letters.size()), prefix.letters)) {
            continue;
        }
        const std::string start = DisplayText(item) + " is another system's notation: ";
        const std::string_view digits = item.substr(prefix.letters.size());
        std::uint32_t number = 0;
        const auto [end, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (prefix.reference_kind == '3') {
            return Failure(LookupError::NoDeviceAtAddress,
                           start + "input registers, and the controller has none");
        }
        if (prefix.reference_kind == 0 || ec != std::errc{} ||
            end != digits.data() + digits.size() || number > 0xFFFF) {
            return Failure(LookupError::NotAnItem,
                           start +
                               "write a device by its name (D100) or an address (0x1064, "
                               "4x4197)");
        }
        const std::string counted_from_one =
            prefix.reference_kind == '0'
                ? (number >= 1
                       ? ReferenceText(ModbusTable::Coil, static_cast<std::uint16_t>(number - 1))
                       : std::string("000001"))
                : std::string(1, prefix.reference_kind) + "x" + std::string(digits);
        return Failure(
            LookupError::NotAnItem,
            text::ascii::Joined(
                {start, "write ", counted_from_one, " if ", digits, " counts from 1, or 0x",
                 AddressText(static_cast<std::uint16_t>(number)), " if it counts from 0"}));
    }
    return std::nullopt;
}

}  // namespace conversion
