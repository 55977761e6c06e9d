// What answers a client's request once its turn in the queue comes: the forwarder to the line is
// one; a console's own reads or a simulated controller can be others. The server hands it one
// request at a time and goes on serving its loop; the handler calls `done` with the answer when it
// has one, at once or later on the loop.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gateway/request_queue.h"
#include "modbus/function_codes.h"

namespace gateway {

struct Handled {
    std::vector<std::uint8_t> pdu;  // the answer: the line's reply as it came, or an exception
    std::string result;             // for the log: "ok", "exception 0B (...): station 2 ..."
    std::uint8_t station = 0;       // where it went, or the unit asked for when it went nowhere
};

class RequestHandler {
  public:
    using Done = std::function<void(Handled)>;

    virtual ~RequestHandler() = default;
    virtual void Handle(const PendingRequest& request, Done done) = 0;
};

// The exception answer to a request of `function`.
inline std::vector<std::uint8_t> ExceptionPdu(std::uint8_t function, std::uint8_t exception) {
    return {static_cast<std::uint8_t>(function | modbus::kExceptionBit), exception};
}

}  // namespace gateway
