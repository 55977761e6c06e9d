#include "modbus/checksums.h"

#include <boost/crc.hpp>
#include <numeric>

namespace modbus {

std::uint8_t Lrc(std::span<const std::uint8_t> bytes) noexcept {
    const auto sum = std::accumulate(bytes.begin(), bytes.end(), 0u);
    return static_cast<std::uint8_t>(0x100u - (sum & 0xFFu));
}

std::uint16_t Crc16(std::span<const std::uint8_t> bytes) noexcept {
    // 0x8005 is 0xA001 written the other way round; reflecting input and output makes it the
    // same CRC.
    boost::crc_optimal<16, 0x8005, 0xFFFF, 0, true, true> crc;
    crc.process_bytes(bytes.data(), bytes.size());
    return crc.checksum();
}

}  // namespace modbus
