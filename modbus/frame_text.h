// Modbus framing: the text of a captured frame read into its bytes, and the checksum it ends in
// checked. A line of a serial monitor or an HMI log is either Modbus ASCII (":01030FA000024B", the
// LRC last) or the bytes of a Modbus RTU frame in hex ("01 02 05 00 00 10 79 0A", the CRC last).
//
// Nothing here knows a function code beyond its place in the frame, nor the controller's devices:
// function_data.h reads the data, conversion/captured_frame.h names the devices. Nothing keeps
// state or throws (but std::bad_alloc when memory runs out).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "modbus/frame_mode.h"

namespace modbus {

enum class FrameError : std::uint8_t {
    Empty,        // nothing but blanks
    NotHex,       // a character that is no hex digit (or, in RTU text, no space)
    OddDigits,    // hex digits that do not pair into bytes
    TooShort,     // fewer bytes than slave address, function code and checksum
    BadChecksum,  // the LRC or CRC does not match; the frame is read all the same
    BadShape,     // data that fits no request or response of its function code
};

// What is wrong with a text or with the frame it is.
struct FrameFault {
    FrameError kind = FrameError::Empty;
    std::string message;                // for a person: what is wrong, and where
    std::optional<std::size_t> offset;  // the character of the text it is at, counting from 0

    friend bool operator==(const FrameFault&, const FrameFault&) = default;
};

// What every frame carries around its data.
struct FrameHead {
    FrameMode mode = FrameMode::Rtu;
    std::uint8_t slave = 0;
    std::uint8_t function = 0;   // as sent: 0x80 + code in an exception response
    std::uint16_t checksum = 0;  // as the frame has it (an RTU CRC as a value, not byte order)
    std::uint16_t checksum_expected = 0;

    bool checksum_ok() const noexcept { return checksum == checksum_expected; }

    friend bool operator==(const FrameHead&, const FrameHead&) = default;
};

// A text read as a frame: its head, and its bytes from slave address to last data byte (what the
// checksum covers; slave address and function code at least).
struct FramedBytes {
    FrameHead head;
    std::vector<std::uint8_t> bytes;
};

// Reads one frame. `text` is either ':' and hex digits with the LRC last, or hex digits, spaces
// optional between bytes, with the CRC's two bytes last; blanks around it and a closing CR LF are
// ignored, either case of hex digit is read. Gives the frame whether its checksum is right or not
// (ChecksumFault says), or, for text that is no frame, an Empty, NotHex, OddDigits or TooShort
// fault naming what is wrong and where. Linear in the length of `text`.
std::variant<FramedBytes, FrameFault> ReadFrameText(std::string_view text);

// A BadChecksum fault with the checksum expected and the one the frame has; none when they match.
std::optional<FrameFault> ChecksumFault(const FrameHead& head);

// Writes the frame of `bytes` (slave address to last data byte) with its checksum: ":" and
// upper-case hex with the LRC last, no CR LF; or the bytes in upper-case hex separated by spaces
// with the CRC last, low byte first.
std::string FrameText(FrameMode mode, std::span<const std::uint8_t> bytes);

// A checksum as the frame writes it: "4B" for an LRC, "79 0A" for a CRC.
std::string ChecksumText(FrameMode mode, std::uint16_t checksum);

}  // namespace modbus
