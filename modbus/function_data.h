// The shapes of the function codes the controller accepts: a frame's data read as a request, a
// response or an exception response, with the start address and quantity it carries and its values
// as bits, words or bytes of unknown packing.
//
// The data alone does not always say what a frame is: a code-05 or code-06 response echoes its
// request, and some code-01/02 frames fit both shapes; such data is read both ways. A response to
// 01, 02 or 03 does not carry its start address: read with the request before it, it takes that
// request's range once its size fits. What the protocol refuses (a quantity past its limits) is
// still read, with a note saying why; only data that fits no shape is a problem.
//
// This knows the protocol, not the controller's map: conversion/captured_frame.h names the devices.
// Nothing keeps state or throws (but std::bad_alloc when memory runs out).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "modbus/function_codes.h"

namespace modbus {

enum class FrameRole : std::uint8_t { Request, Response, Exception };

// "request", "response", "exception".
std::string_view RoleName(FrameRole role) noexcept;

// Where a frame reaches: `quantity` items from `address` on.
struct FrameRange {
    std::uint16_t address = 0;
    std::uint16_t quantity = 0;

    friend bool operator==(const FrameRange&, const FrameRange&) = default;
};

// Bytes of data whose packing is not known, as a serial monitor shows them: "00 01 86 A0".
struct RawBytes {
    std::string hex;

    friend bool operator==(const RawBytes&, const RawBytes&) = default;
};

// One value a frame carries: 0 or 1 for a bit, the word for a register, or raw bytes.
using ItemValue = std::variant<std::uint16_t, RawBytes>;

// The data read by one shape of its function code.
struct DataReading {
    std::optional<FrameRole> role;    // none for a code whose shapes are not read
    std::optional<FrameRange> range;  // from the frame, or from the request it answers
    std::vector<ItemValue> values;    // one per address from range->address on; raw bytes last
    std::uint8_t exception = 0;       // the exception code of an exception response
    std::string note;                 // what the frame is, or why the protocol refuses it
    std::string values_note;          // why a value is shown as raw bytes
};

// The request captured just before a frame, of the same slave and function code.
struct PrecedingRequest {
    FrameRange range;
    bool checksum_ok = true;  // a request with a wrong checksum is not trusted to read a response
    bool size_fixed = true;   // whether the response's size follows from the quantity
};

struct FrameData {
    std::vector<DataReading> readings;  // one; two when the data fits a request and a response
    std::string message;                // why the data fits no shape; empty when it fits one
};

// Reads `data`, the bytes after the function byte `function` up to the checksum, by the shapes of
// its code: 01, 02, 03, 05, 06, 15, 16, 17 and the exception response to any code. The data of
// any other code is kept as raw bytes, with a note that it is not read. `request`, when given, is
// the request captured before: a response to 01, 02 or 03, or an exception response, takes its
// range from it when it has a right checksum and the response's size fits. A response to 01 or 02
// without its range does not say how many bits it holds, so its data is kept as raw bytes. Linear
// in the size of `data`.
FrameData ReadFrameData(std::uint8_t function, std::span<const std::uint8_t> data,
                        const PrecedingRequest* request = nullptr);

}  // namespace modbus
