// The library's own: Modbus carries every address, quantity and register high byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace modbus::detail {

inline std::uint16_t WordAt(std::span<const std::uint8_t> bytes, std::size_t at) noexcept {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

inline void AppendWord(std::vector<std::uint8_t>& bytes, std::uint16_t word) {
    bytes.push_back(static_cast<std::uint8_t>(word >> 8));
    bytes.push_back(static_cast<std::uint8_t>(word));
}

}  // namespace modbus::detail
