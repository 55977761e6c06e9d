// The two serial framings of Modbus: ASCII (':' and hex, the LRC) and RTU (bytes, the CRC). The
// text of a captured frame is written in one of them, and a serial line speaks one.
#pragma once

#include <cstdint>
#include <string_view>

namespace modbus {

enum class FrameMode : std::uint8_t { Ascii, Rtu };

// "ascii", "rtu".
std::string_view ModeName(FrameMode mode) noexcept;

}  // namespace modbus
