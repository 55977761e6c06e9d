// What answers a client's request once its turn in the queue comes: the forwarder to the line is
// one; a console's own reads or a simulated controller can be others. The server calls it from
// its loop's top, one request at a time, never from inside a handler, so a handler may run the
// loop while it waits (the line does) and the other clients are still read and answered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gateway/request_queue.h"

namespace gateway {

struct Handled {
    std::vector<std::uint8_t> pdu;  // the answer: the line's reply as it came, or an exception
    std::string result;             // for the log: "ok", "exception 0B (...): station 2 ..."
    std::uint8_t station = 0;       // where it went, or the unit asked for when it went nowhere
};

class RequestHandler {
  public:
    virtual ~RequestHandler() = default;
    virtual Handled Handle(const PendingRequest& request) = 0;
};

// The exception answer to a request of `function`.
std::vector<std::uint8_t> ExceptionPdu(std::uint8_t function, std::uint8_t exception);

}  // namespace gateway
