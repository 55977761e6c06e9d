// Reading a captured Modbus frame as the controller's devices.
//
// Three layers, each usable alone: modbus/frame_text.h reads the text into bytes and checks the LRC
// or CRC; modbus/function_data.h reads the data by the shapes of its function code; this names the
// devices the frame reaches through the address map (device_map.h). A response to 01, 02 or 03 does
// not carry its start address; given the frame that came before it, the response is read against
// that request. A frame the controller would refuse is still read, with a note saying why; only
// text that is no well-formed frame is an error.
//
// Nothing here keeps state or throws (but std::bad_alloc when memory runs out).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/device_map.h"
#include "modbus/frame_text.h"
#include "modbus/function_codes.h"
#include "modbus/function_data.h"

namespace conversion {

// One value the frame carries and the device it belongs to.
struct FrameValue {
    std::string device;  // "Y0"; "C200-C201" for raw bytes over counters; empty when not known
    modbus::ItemValue value;
    const AddressSegment* segment = nullptr;  // the device's place in the map, when known

    friend bool operator==(const FrameValue&, const FrameValue&) = default;
};

// The frame read as a request, a response or an exception response.
struct FrameReading {
    std::optional<modbus::FrameRole> role;    // none for a code whose data is not decoded
    std::optional<modbus::FrameRange> range;  // from the frame, or from the request it answers
    std::string first_device;                 // the first device the range covers; empty if none
    std::string last_device;
    std::vector<FrameValue> values;
    std::uint8_t exception = 0;  // the exception code of an exception response
    std::string note;            // why the controller refuses it, or why data is shown raw

    friend bool operator==(const FrameReading&, const FrameReading&) = default;
};

struct DecodedFrame {
    std::optional<modbus::FrameHead> head;  // none when the text is no frame
    std::vector<std::uint8_t> bytes;  // slave address to last data byte: what the checksum covers
    std::vector<FrameReading> readings;  // one; two when the frame reads as request and response
    std::optional<modbus::FrameFault> error;  // what is wrong; none when nothing is

    bool ok() const noexcept { return !error; }
};

// Reads one frame (as ReadFrameText does) and its data (as ReadFrameData does), and names the
// devices it reaches. Text that is no frame gives an error and no head; a wrong checksum gives
// BadChecksum with the frame still read, and a shape error after it is added to its message; data
// that fits no shape of its code gives BadShape. A frame of a code the controller does not accept
// is read as far as its head, with a note and no error. `before`, when given, is the frame
// captured just before this one: a response to 01, 02 or 03 (or an exception response) of the same
// slave and function takes its range from it, when it is a request with a right checksum whose
// quantity the response fits. Linear in the length of `text`.
DecodedFrame DecodeFrame(std::string_view text, const DecodedFrame* before = nullptr);

}  // namespace conversion
