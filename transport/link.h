// The line to the controller: a serial port speaking Modbus ASCII or RTU, or a Modbus TCP
// connection. One request at a time goes out and its reply comes back, asked again when no sound
// answer came; a line that is lost is opened again at the next request, so a watch goes on by
// itself once the controller or its cable is back.
//
// Every wait has a deadline and ends early when the program asks to stop; nothing here throws past
// its interface.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "modbus/pdu.h"
#include "text/failure.h"
#include "transport/connection.h"

namespace boost::asio {
class io_context;
}  // namespace boost::asio

namespace transport {

// What a request found the line to be, beyond its own answer.
enum class LineState : std::uint8_t {
    Answering,  // something came back, sound or not
    Silent,     // not one byte after every try: the rest of a scan would meet the same silence
    Down,       // the port or connection failed or could not be opened
};

// The outcome of one request: the reply that answers it (values, an echo or an exception), or why
// none came ("no answer within 1000 ms after 3 tries").
struct Outcome {
    std::optional<modbus::Reply> reply;
    std::string message;
    LineState line = LineState::Answering;
    std::vector<std::uint8_t> pdu;  // the reply as it came (function code and data), to pass on
    unsigned tries = 0;             // the tries sent, the first included
};

// What the line has done since it was made, for --stats: every request, the tries past the first,
// the tries the time ran out on, the replies that arrived whole but unsound (a checksum, another
// station, a reply to another request), the replies cut short, the exceptions by code, and how
// long each answer took, by the millisecond.
struct LineCounters {
    std::uint64_t requests = 0;
    std::uint64_t retries = 0;
    std::uint64_t timeouts = 0;
    std::uint64_t broken = 0;
    std::uint64_t cut = 0;
    std::array<std::uint64_t, 256> exceptions{};
    std::map<std::int64_t, std::uint64_t> delays;  // milliseconds -> answers that took them
};

// Where --verbose lines go, each without its line end.
using LogLine = std::function<void(std::string_view)>;

class Link {
  public:
    virtual ~Link() = default;

    // Opens the port or connects: none when the line is up, else one line saying why not
    // ("cannot open /dev/ttyUSB0: No such file or directory").
    virtual std::optional<text::Failure> Open() = 0;

    // Sends `request` (a PDU) and gives the reply that answers it, asking again up to the
    // connection's retries when none came in time or what came was not sound. A serial line that
    // still owes replies to an earlier request's tries waits them out first: a late reply is
    // never taken as the answer to another request.
    virtual Outcome Transact(std::span<const std::uint8_t> request) = 0;
    // The same for `station` rather than the connection's own: a gateway's clients each name the
    // station they want.
    virtual Outcome TransactWith(std::uint8_t station, std::span<const std::uint8_t> request) = 0;
    // The same with one try only, no retries: a probe of a station that has not been answering,
    // which holds the line for one timeout at most. Its reply is not waited for past that: a
    // station that comes back just then answers late, and its slave address tells that reply
    // from the next request's.
    virtual Outcome TransactOnce(std::uint8_t station, std::span<const std::uint8_t> request) {
        return TransactWith(station, request);
    }

    // Waits out the replies the line still owes, now rather than before the next request: after a
    // silent request, to learn whether the controller is only slow. Gives the delay of the latest
    // of them that came, none when none came (or the line owes nothing, as over Modbus TCP).
    virtual std::optional<std::chrono::milliseconds> Settle() = 0;

    // Waits `time`, or less when the program asks to stop.
    virtual void Pause(std::chrono::milliseconds time) = 0;

    const LineCounters& counters() const noexcept { return counters_; }

  protected:
    LineCounters counters_;
};

class StopFlag;

// The link `connection` describes, waiting on `io` and ending its waits when `stop` is set. While
// a request is under way the link runs `io`, so what else the caller has started there goes on.
// `log` gets every frame when the connection is verbose.
std::unique_ptr<Link> MakeLink(boost::asio::io_context& io, const StopFlag& stop,
                               const Connection& connection, LogLine log);

}  // namespace transport
