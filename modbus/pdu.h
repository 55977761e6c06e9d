// The protocol data unit of a request and of its reply: the function code and its data, which a
// serial frame wraps in slave address and checksum, and a TCP frame follows its MBAP header with.
// A reply is trusted only when it is the answer to the request sent: the same function, the size
// the request asks for, the echo a write must give.
//
// Nothing here keeps state or throws (but std::bad_alloc when memory runs out).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "modbus/requests.h"

namespace modbus {

// Function code, then start address and quantity (high byte first).
std::vector<std::uint8_t> RequestPdu(const ReadRequest& request);

// 05: address, FF00 (on) or 0000 (off). 06: address, value. 15: start, quantity, byte count, bits
// packed from the lowest bit of the first byte. 16: start, quantity, byte count, words. Empty for a
// request that cannot be sent: another code, no value, more than one value for 05 or 06, or more
// values than 15 or 16 may carry.
std::vector<std::uint8_t> RequestPdu(const WriteRequest& request);

enum class ReplyKind : std::uint8_t {
    Values,     // the answer: values for a read, the right echo for a write
    Exception,  // the controller refused the request
    Unrelated,  // no answer to this request (another function, another size, another echo)
};

struct Reply {
    ReplyKind kind = ReplyKind::Unrelated;
    std::vector<std::uint16_t> values;  // a read's values, one per item asked for (bits 0 or 1)
    std::uint8_t exception = 0;         // the exception code
    std::string message;                // why an unrelated reply answers something else
};

// Reads `reply` (function code and data) as the answer to `request` (a PDU RequestPdu made).
// 01/02: a byte count of (quantity + 7) / 8 and that many bytes, the bits unpacked; 03: a byte
// count of 2 x quantity, the words high byte first; 05/06: the request echoed; 15/16: its start
// and quantity; 17: a byte count and that many bytes, each a value. An exception reply (the
// request's function with 0x80 added, one exception code)
// gives Exception. Anything else gives Unrelated with a message that says what arrived instead:
// "a reply to function 1 (0x01) instead of function 3 (0x03)", "6 bytes of data where 2 registers
// take 4" ... Never trusts a byte count over the bytes that are there.
Reply ReadReply(std::span<const std::uint8_t> request, std::span<const std::uint8_t> reply);

// The size in bytes of the PDU that answers `request` rightly, for the end of an RTU frame: 2 +
// (quantity + 7) / 8 for 01/02, 2 + 2 x quantity for 03, 5 for 05, 06, 15 and 16. An exception
// reply has 2 bytes whatever the request. 0 for a request this cannot tell.
std::size_t ReplyPduSize(std::span<const std::uint8_t> request) noexcept;

}  // namespace modbus
