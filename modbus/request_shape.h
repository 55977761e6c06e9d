// Whether a request PDU that arrived from elsewhere (a gateway's client) is one the protocol lets
// a server act on: the size its function code gives it, a quantity within the protocol's limits,
// a byte count that matches the quantity and the bytes there. A server answers a request that is
// not with exception 03 (illegal data value); one that passes it on first would spend the line on
// a request the controller can only refuse, or might read wrongly.
//
// Nothing here keeps state or throws (but std::bad_alloc when memory runs out).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "text/failure.h"

namespace modbus {

// What is wrong with the shape of `pdu` (function code and data) as its row of the function shapes
// lays it out: "a read of 0 registers", "a byte count of 3 where 20 coils take 3 bytes and 2
// follow" ... None when the request is sound. A code without a row is refused: what it carries
// cannot be checked, so it is not passed on unchecked.
std::optional<text::Failure> RequestShapeFault(std::span<const std::uint8_t> pdu);

}  // namespace modbus
