// What the address map and the reading of typed items share inside the library: the segments of
// a letter, which tables hold bits, an error result, and keeping the entries of one table.
// Internal: not installed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "conversion/device_map.h"

namespace conversion::detail {

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

// Keeps the entries that `table` answers, in order. Function code 02 reads every bit device, so the
// discrete-input table answers for the coil devices too, as their discrete-input view.
void Restrict(LookupResult& result, ModbusTable table);

}  // namespace conversion::detail
