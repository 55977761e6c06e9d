// What a user names when asking the live controller: items that reach devices (a device, a range of
// devices of one letter, an address notation) and assignments that write one. Both are read into
// the address map's entries, so that nothing outside the map, and nothing the controller refuses
// to write, ever reaches a request.
//
// Nothing here keeps state or throws (but std::bad_alloc when memory runs out).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "conversion/device_map.h"
#include "text/failure.h"

namespace conversion {

// The most devices one range may name: every D register fits.
inline constexpr std::size_t kMostRangeDevices = 10000;

// What an item reaches: its entries in the order named (within one device, the bit entry first),
// or why it reaches none.
struct ItemEntries {
    std::vector<MapEntry> entries;
    LookupError error = LookupError::None;
    std::string message;
    std::string
        note;  // how a bare number was read, when it could be meant other ways (ReadingNote)

    bool ok() const noexcept { return error == LookupError::None; }
};

// Reads one item. Whatever LookUp reads (D100, X17, 0x1064, 404197, 4x4197, ...) gives what LookUp
// gives with `table` and `numbers`, and `note` says how a bare number was read. A range of one
// letter gives every device from its first to its last, each with its entries as EntriesOf gives
// them: "D100-D109", "D100-109" (the letter once), "X0-X17" (octal, as X and Y are named),
// "M1530-M1540" (across the letter's segments); blanks around either end are ignored. With `table`
// set, only the entries on that table, as LookUp restricts them (a range with none there gives
// NotInTable). A range whose ends are not devices of one letter, whose first device comes after its
// last, or that names more than kMostRangeDevices devices gives BadRange with a message that names
// the item as typed.
ItemEntries ReadItem(std::string_view item, std::optional<ModbusTable> table = std::nullopt,
                     BareNumbers numbers = BareNumbers::Any);

// A value to write into one entry: 0 or 1 for a bit, the word for a register.
struct Assignment {
    MapEntry entry;
    std::uint16_t value = 0;
};

// Reads "DEVICE=VALUE" (blanks around either side ignored; any form LookUp reads names the device):
//   a bit (coil):      1, 0, on, off (either case): Y0=1, M5=on;
//   a word (register): decimal 0..65535 or -32768..-1 (written as its two's complement, -3 is
//                      0xFFFD), or hex 0x0000..0xFFFF: D100=250, D100=-3, D100=0x00FA.
// A bare number (40001=1) is refused unless `numbers` says how it is meant: a write goes to the
// device meant or nowhere. T and C are a contact and a value: on/off names the contact; a number
// needs `table` to say which (1 and 0 on Coil set the contact). With `table` set, the device's
// entry on that table. Refused with a message naming the item: no '=', a device not in the map, X
// or a discrete-input entry (inputs are read-only), a 32-bit counter value C200-C255 (how the
// controller packs it into a register is not established, so no word written there could be
// trusted), a value outside its range or not a number, a T or C with a number and no table.
text::Result<Assignment> ReadAssignment(std::string_view text,
                                        std::optional<ModbusTable> table = std::nullopt,
                                        BareNumbers numbers = BareNumbers::Any);

}  // namespace conversion
