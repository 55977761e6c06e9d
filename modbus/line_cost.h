// What one read costs on a link, so that a plan can weigh a request against the bytes it saves:
// on a serial line the characters of the request and of its reply at the line's baud rate and
// framing, and the time the controller takes before it answers; over TCP only the round trip.
//
// Nothing here keeps state or throws.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "modbus/frame_mode.h"
#include "modbus/requests.h"

namespace modbus {

struct LineCost {
    // The serial framing; none over TCP, where bytes are free and each request costs
    // `reply_delay` as its round trip.
    std::optional<FrameMode> mode = FrameMode::Ascii;
    unsigned baud = 9600;
    // A character's bits on the line: the start bit, data bits, a parity bit if any and the stop
    // bits (10 for 7E1 and 8N1, 11 for 8E1).
    unsigned character_bits = 10;
    // From the end of a request to the start of its reply.
    std::chrono::microseconds reply_delay{10000};
};

// The bits a character of the line `data_bits`, `parity` ('N', 'E' or 'O') and `stop_bits` takes.
constexpr unsigned CharacterBits(unsigned data_bits, char parity, unsigned stop_bits) noexcept {
    return 1 + data_bits + (parity == 'N' ? 0 : 1) + stop_bits;
}

// The characters a serial frame of `bytes` (slave address and PDU, no checksum) takes in `mode`:
// ':', two hex digits a byte and two for the LRC, CR LF in ASCII; the bytes and the two of the CRC
// in RTU, whose frames also need a silence of 3.5 characters each (not counted here).
std::uint32_t FrameCharacters(FrameMode mode, std::uint32_t bytes) noexcept;

// The time `request` takes on the link `cost` describes, from its first character sent to its
// reply's last received, and in RTU the silence that ends each of the two frames
// (RtuSilenceMicroseconds). A read of bits is answered with a byte for each eight of them or part
// of eight. Rounded to the nanosecond once per request, so that the times of two plans add up
// exactly.
std::chrono::nanoseconds ReadTime(const LineCost& cost, const ReadRequest& request) noexcept;

}  // namespace modbus
