// Reading a captured Modbus frame as the controller's devices.
//
// A line from a serial monitor or an HMI log (":01030FA000024B" in Modbus ASCII, or
// "01 02 05 00 00 10 79 0A" as the bytes of an RTU frame) is checked against its LRC or CRC, split
// into slave address, function code and data, and read by the shapes of the function codes the
// controller accepts. Addresses become device names through the address map (device_map.h).
//
// The frame's text alone does not always say what it is: a code-05 or code-06 response echoes its
// request, and some code-01/02 frames fit both shapes; such a frame is read both ways, each reading
// marked. A response to 01, 02 or 03 does not carry its start address; given the frame that came
// before it, the response is read against that request. A frame the controller would refuse is
// still read, with a note saying why; only text that is no well-formed frame is an error.
//
// Nothing here keeps state or throws (but std::bad_alloc when memory runs out).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace conversion {

enum class FrameMode : std::uint8_t { Ascii, Rtu };

enum class FrameRole : std::uint8_t { Request, Response, Exception };

// One value the frame carries: a bit, a word, or the bytes of data whose packing is not known.
struct FrameValue {
    std::string device;       // the device it belongs to ("Y0"); empty when the frame does not say
    std::uint16_t value = 0;  // 0 or 1 for a bit, the word for a register
    std::string raw;          // set instead of `value`: the bytes in hex, "00 01 86 A0"

    friend bool operator==(const FrameValue&, const FrameValue&) = default;
};

// The frame read as a request, a response or an exception response.
struct FrameReading {
    FrameRole role = FrameRole::Request;
    bool has_range = false;  // address and quantity known, from the frame or its request
    std::uint16_t address = 0;
    std::uint16_t quantity = 0;
    std::string first_device;  // empty where the map has no device or the range is not known
    std::string last_device;
    std::vector<FrameValue> values;
    std::uint8_t exception = 0;  // the exception code of an exception response
    std::string note;            // why the controller refuses it, or why data is shown raw

    friend bool operator==(const FrameReading&, const FrameReading&) = default;
};

enum class FrameError : std::uint8_t {
    None,
    Empty,            // nothing but blanks
    NotHex,           // a character that is no hex digit (or, in RTU text, no space)
    OddDigits,        // hex digits that do not pair into bytes
    TooShort,         // fewer bytes than slave address, function code and checksum
    BadChecksum,      // the LRC or CRC does not match; the frame is read all the same
    UnknownFunction,  // a function code the controller does not accept
    BadShape,         // data that fits no request or response of its function code
};

struct DecodedFrame {
    FrameMode mode = FrameMode::Rtu;
    std::vector<std::uint8_t> bytes;  // slave address to last data byte: what the checksum covers
    std::uint8_t slave = 0;
    std::uint8_t function = 0;   // as sent: 0x80 + code in an exception response
    std::uint16_t checksum = 0;  // as the frame has it (an RTU CRC as a value, not byte order)
    std::uint16_t checksum_expected = 0;
    std::vector<FrameReading> readings;  // one; two when the frame reads as request and response
    FrameError error = FrameError::None;
    std::string message;  // what is wrong, for a person; empty when nothing is

    bool ok() const noexcept { return error == FrameError::None; }
    bool checksum_ok() const noexcept { return checksum == checksum_expected; }
};

// Reads one frame. `text` is either ':' and hex digits with the LRC last, or hex digits, spaces
// optional between bytes, with the CRC's two bytes last; blanks around it and a closing CR LF are
// ignored, either case of hex digit is read. Text that is no frame gives an error naming what is
// wrong and where, with nothing read; a wrong checksum gives BadChecksum with the frame still
// read; a shape error after a wrong checksum is added to its message. `before`, when given, is the
// frame captured just before this one: a response to 01, 02 or 03 (or an exception response) of
// the same slave and function takes its address and quantity from it, when it is a request whose
// quantity the response fits. Linear in the length of `text`.
DecodedFrame DecodeFrame(std::string_view text, const DecodedFrame* before = nullptr);

// Writes the frame of `bytes` (slave address to last data byte) with its checksum: ":" and
// upper-case hex with the LRC last, no CR LF; or the bytes in upper-case hex separated by spaces
// with the CRC last, low byte first.
std::string FrameText(FrameMode mode, std::span<const std::uint8_t> bytes);

// A checksum as the frame writes it: "4B" for an LRC, "79 0A" for a CRC.
std::string ChecksumText(FrameMode mode, std::uint16_t checksum);

// The name of a function code ("read holding registers"); empty for a code the controller does
// not accept. The top bit of an exception response's code is ignored.
std::string_view FunctionName(std::uint8_t function) noexcept;

// "request", "response", "exception"; "ascii", "rtu".
std::string_view RoleName(FrameRole role) noexcept;
std::string_view ModeName(FrameMode mode) noexcept;

}  // namespace conversion
