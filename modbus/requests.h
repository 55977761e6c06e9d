// The two requests a master sends to read and to write a server's data: a read of consecutive
// items and a write of consecutive values. pdu.h writes either as a PDU and reads its reply.
#pragma once

#include <cstdint>
#include <vector>

#include "modbus/function_codes.h"

namespace modbus {

// One read: `quantity` items from `start` on, with 01 (coils), 02 (discrete inputs) or 03
// (holding registers).
struct ReadRequest {
    FunctionCode function = FunctionCode::ReadHoldingRegisters;
    std::uint16_t start = 0;
    std::uint16_t quantity = 0;

    friend bool operator==(const ReadRequest&, const ReadRequest&) = default;
};

// One write: 05 (one coil), 06 (one register), 15 (consecutive coils), 16 (consecutive registers),
// from `start` on; a bit is 0 or 1.
struct WriteRequest {
    FunctionCode function = FunctionCode::WriteSingleRegister;
    std::uint16_t start = 0;
    std::vector<std::uint16_t> values;

    friend bool operator==(const WriteRequest&, const WriteRequest&) = default;
};

}  // namespace modbus
