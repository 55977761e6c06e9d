// The two checksums of Modbus frames: the LRC that ends an ASCII frame and the CRC-16 that ends an
// RTU frame. Both are computed over the bytes from the slave address to the last data byte.
#pragma once

#include <cstdint>
#include <span>

namespace modbus {

// The two's complement of the 8-bit sum of `bytes`. Never fails.
std::uint8_t Lrc(std::span<const std::uint8_t> bytes) noexcept;

// CRC-16 with the reflected polynomial 0xA001 and initial value 0xFFFF. An RTU frame sends it low
// byte first. Never fails.
std::uint16_t Crc16(std::span<const std::uint8_t> bytes) noexcept;

}  // namespace modbus
