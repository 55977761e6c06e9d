// The ways a bare number can be meant, each with what it names: the library's own, for the lookup
// of bare numbers and the notes that say how one was read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "conversion/device_map.h"

namespace conversion::detail {

// One way a bare number can be meant, and what it names.
struct Reading {
    NumberForm form = NumberForm::None;
    std::uint16_t address = 0;
    ModbusTable reference_table{};  // for a reference: the table its first digit names
    char reference_kind = 0;        // for a reference: that digit ('3' names input registers)
    std::string_view offset;        // for a reference: the one-based offset's digits
    LookupResult found;             // the devices there on the table asked; error when none
    LookupResult anywhere;          // the devices there on any table (its own, for a reference)
};

struct Readings {
    std::array<Reading, 3> list{};
    std::size_t count = 0;
};

// Whether `text` is decimal digits only.
bool AllDecimal(std::string_view text);

// Every reading of `text` that `numbers` allows and that gives an address.
Readings ReadingsOf(std::string_view text, std::optional<ModbusTable> table, BareNumbers numbers);

}  // namespace conversion::detail
