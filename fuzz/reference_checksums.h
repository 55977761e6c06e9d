// The two frame checksums by their definitions, written apart from the library so that a fuzzer
// can judge its frames: the two's complement of the byte sum, and the CRC-16 of polynomial 0xA001
// (reflected), initial value 0xFFFF, one bit at a time.
#pragma once

#include <cstdint>
#include <span>

inline std::uint8_t ReferenceLrc(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (const std::uint8_t byte : bytes) {
        sum += byte;
    }
    return static_cast<std::uint8_t>(-sum);
}

inline std::uint16_t ReferenceCrc(std::span<const std::uint8_t> bytes) {
    unsigned crc = 0xFFFF;
    for (const std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1;
        }
    }
    return static_cast<std::uint16_t>(crc);
}
