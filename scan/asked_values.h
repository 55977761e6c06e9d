// What the user asked zentriq-poll for, read from the command line before anything is sent: the
// values to read, each an entry as itself or a value of a type said ("D200:f32"), and the writes,
// each assignment's words and the values to read back.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "conversion/poll_items.h"
#include "conversion/typed_items.h"
#include "scan/scanner.h"
#include "scan/write_plan.h"
#include "text/failure.h"

namespace scan {

// One value asked for: an entry as itself, or a value of a type said, over one register or bit
// or, for a 32-bit value, two registers (the low word's entry first).
struct AskedValue {
    conversion::MapEntry entry;
    std::optional<conversion::MapEntry> high = std::nullopt;
    std::optional<conversion::ValueType> type = std::nullopt;
};

// The values `items` ask for, in order: an item with a type (D200:f32, D200-D209:f32) its typed
// values, any other its entries as ReadItem gives them. The first item that names nothing gives
// its message. `note` hears how a bare number was read, when it could be meant other ways.
text::Result<std::vector<AskedValue>> ReadAskedItems(
    const std::vector<std::string>& items, std::optional<conversion::ModbusTable> table,
    conversion::BareNumbers numbers, const std::function<void(const std::string&)>& note);

// The writes `items` ask for ("D100=250", "D200:f32=21.5"): their assignments (a 32-bit value's
// two words, low first), the requests that write them, and the values to read back, one per item.
struct AskedWrites {
    std::vector<conversion::Assignment> assignments;
    std::vector<PlannedWrite> requests;
    std::vector<AskedValue> written;
};
// With WriteCodes::Single a 32-bit value is refused: its halves would go in two requests, and a
// reader between them would see a value nobody wrote.
text::Result<AskedWrites> ReadAskedWrites(const std::vector<std::string>& items,
                                          std::optional<conversion::ModbusTable> table,
                                          conversion::BareNumbers numbers, WriteCodes codes);

// The entries a scan reads for `asked`: each value's entry, then its high word's.
std::vector<conversion::MapEntry> EntriesToRead(std::span<const AskedValue> asked);
// The low words of the 32-bit values of `asked`, each to be read in one request with its high word.
std::vector<conversion::MapEntry> LowWordsOf(std::span<const AskedValue> asked);

// The scan's values (in the order EntriesToRead gave) as the values asked for: a 32-bit value
// joined from its two words, its error either word's.
std::vector<DeviceValue> ValuesAsAsked(std::span<const AskedValue> asked,
                                       std::span<const DeviceValue> read);

// Sets what was written to each of `shown` (the values asked, as ValuesAsAsked gives them) from
// `assignments` (one per word, in the order ReadAskedWrites gave them): a 32-bit value's two words
// in one, to show beside what is read back.
void MarkWritten(std::span<DeviceValue> shown, std::span<const AskedValue> written,
                 std::span<const conversion::Assignment> assignments);

}  // namespace scan
