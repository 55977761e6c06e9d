// What a scan says of each device, cell by cell, the same in every report: a table, CSV, JSON, a
// spreadsheet, a tag list's value column, a page. A value is shown as its type says (signed,
// unsigned, a float, 0 or 1), a word also in hex, a 32-bit counter's raw word in hex only.
//
// Nothing here keeps state or throws (but std::bad_alloc when memory runs out).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "scan/scanner.h"

namespace scan {

// The cells of a device's row, in order.
inline constexpr std::array<std::string_view, 7> kColumns{"device", "table", "address", "value",
                                                          "hex",    "note",  "error"};

// Where each of kColumns stands in a row.
enum Column : std::size_t {
    DeviceCell,
    TableCell,
    AddressCell,
    ValueCell,
    HexCell,
    NoteCell,
    ErrorCell
};

using DeviceCells = std::array<std::string, kColumns.size()>;

// A device's row: its name as asked ("D200:f32" for a typed value), table, address, value, hex,
// note and why it has no value. The value cells are empty while there is none.
DeviceCells CellsOf(const DeviceValue& device);

// A device's value as the value column shows it; a 32-bit counter's raw word in hex.
std::string ValueText(const DeviceValue& device);

// What a device holds, both words of a 32-bit value, for telling a change from one scan to the
// next; none without a value.
std::optional<std::uint32_t> HeldWords(const DeviceValue& device);

// Whether a device written reads back other than written.
bool WrittenDiffers(const DeviceValue& device);

// The device as written, shown the way its value is.
std::string WrittenText(const DeviceValue& device);

}  // namespace scan
