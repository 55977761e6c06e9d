// The values of typed items, both ways: the words the controller holds shown as their type says
// (a float in the shortest text that reads back to the same float), and "D200:f32=21.5" read into
// the words to write, the low word at the lower address.
//
// Nothing here keeps state or throws (but std::bad_alloc when memory runs out).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/device_map.h"
#include "conversion/poll_items.h"
#include "conversion/typed_items.h"
#include "text/failure.h"

namespace scan {

// The 32-bit value of a low and a high word.
constexpr std::uint32_t DoubleWord(std::uint16_t low, std::uint16_t high) noexcept {
    return static_cast<std::uint32_t>(high) << 16 | low;
}

// A value as its type shows it: bool 0 or 1, i16 and i32 signed, u16 and u32 unsigned, f32 in the
// shortest form that reads back to the same float ("21.5", "0.1", "-1e-07"; "nan", "inf" and
// "-inf" for what is no number). `high` is the high word of a 32-bit value, ignored otherwise.
std::string TypedValueText(conversion::ValueType type, std::uint16_t low, std::uint16_t high = 0);

// Reads "ITEM=VALUE" as conversion::ReadAssignment does, and "ITEM:TYPE=VALUE" into the words its
// type gives: one assignment for bool, i16 and u16 (i16 takes -32768 to 32767, u16 0 to 65535,
// either also 0x0000 to 0xFFFF), two for i32, u32 and f32, the low word first at the lower address
// (i32 takes -2147483648 to 2147483647, u32 0 to 4294967295, either also 0x00000000 to 0xFFFFFFFF;
// f32 any finite float, such as 21.5, -0.25 or 1e-3). The item must name one value; what
// conversion::ReadTypedItem refuses, or conversion::ReadAssignment refuses of its device, is
// refused the same way, and so is a value its type cannot hold, with a message naming the
// assignment.
text::Result<std::vector<conversion::Assignment>> ReadTypedAssignment(
    std::string_view text, std::optional<conversion::ModbusTable> table = std::nullopt,
    conversion::BareNumbers numbers = conversion::BareNumbers::Any);

}  // namespace scan
