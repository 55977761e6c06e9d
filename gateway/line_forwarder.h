// The request handler that forwards to the controller's line: routed first (a request the line
// cannot serve is answered by the gateway at once), then exchanged on the link with its tries.
// A line that is down is answered 0A and opened again after a back-off; a station that stops
// answering is answered 0B at once but for one probe now and then, so it holds the line for one
// timeout at a time and is found again when it is back.
#pragma once

#include <array>
#include <bitset>
#include <functional>
#include <string>
#include <vector>

#include "gateway/backoff.h"
#include "gateway/counters.h"
#include "gateway/request_handler.h"
#include "gateway/settings.h"
#include "transport/line_queue.h"
#include "transport/link.h"
#include "transport/stop_flag.h"
#include "web/console_messages.h"

namespace gateway {

class LineForwarder final : public RequestHandler {
  public:
    using LogLine = std::function<void(const std::string&)>;

    // `counters` hears the retries, timeouts and the time the line was busy; `log` the line's and
    // the stations' failures and returns.
    LineForwarder(const Settings& settings, transport::LineQueue& line,
                  const transport::StopFlag& stop, Counters& counters, LogLine log);

    void Handle(const PendingRequest& request, Done done) override;

    // The line and every station forwarded to so far, as the console shows them.
    struct Health {
        bool up = true;
        std::string problem;  // why the line is down
        std::vector<web::StationView> stations;
    };
    Health HealthAt(Clock::time_point now) const;

  private:
    // Sends `request` to `station` on the line, or answers it with an exception at once when the
    // line is down or the station has not been answering.
    void Exchange(const PendingRequest& request, std::uint8_t station, Done done);
    // What the line's `outcome` to `request` answers, the line's and the station's health noted.
    Handled Answered(const PendingRequest& request, std::uint8_t station,
                     transport::Outcome outcome, Clock::duration took);

    const Settings& settings_;
    transport::LineQueue& queue_;
    const transport::StopFlag& stop_;
    Counters& counters_;
    LogLine log_;
    StationBackoff stations_;
    Backoff line_;
    std::bitset<256> forwarded_;             // the stations asked for so far
    std::array<std::string, 256> problems_;  // each station's last failure
    std::string line_problem_;
};

}  // namespace gateway
