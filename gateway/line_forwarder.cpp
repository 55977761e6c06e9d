#include "gateway/line_forwarder.h"

#include <algorithm>

#include "modbus/function_codes.h"

namespace gateway {

namespace {

// The port is opened again after half a second, then after longer waits up to 8 s: a cable
// plugged back is found soon, a port that is gone costs almost nothing.
constexpr BackoffPolicy kLinePolicy{1, std::chrono::milliseconds(500), std::chrono::seconds(8)};

}  // namespace

LineForwarder::LineForwarder(const Settings& settings, transport::LineQueue& line,
                             const transport::StopFlag& stop, Counters& counters, LogLine log)
    : settings_(settings),
      queue_(line),
      stop_(stop),
      counters_(counters),
      log_(std::move(log)),
      // A station whose request went unanswered through every try is answered 0B at once, and
      // probed with one try now and then: a dead station holds the line for one timeout at a
      // time, never a round of retries, and one that is back is found within the interval.
      stations_(BackoffPolicy{
          1, std::min<Clock::duration>(std::chrono::seconds(1), settings.retry_dead_after),
          settings.retry_dead_after}),
      line_(kLinePolicy) {}

void LineForwarder::Handle(const PendingRequest& request, Done done) {
    const auto route = RouteRequest(settings_.rules, request.unit, request.pdu);
    if (route.exception != 0) {
        done({ExceptionPdu(request.pdu.at(0), route.exception),
              modbus::ExceptionText(route.exception) + ": " + route.reason, request.unit});
        return;
    }
    Exchange(request, route.station, std::move(done));
}

void LineForwarder::Exchange(const PendingRequest& request, std::uint8_t station, Done done) {
    const std::uint8_t function = request.pdu.at(0);
    const auto now = Clock::now();
    if (!line_.MayTry(now)) {
        done({ExceptionPdu(function, modbus::kGatewayPathUnavailable),
              modbus::ExceptionText(modbus::kGatewayPathUnavailable) + ": the line is down",
              station});
        return;
    }
    forwarded_.set(station);
    auto& health = stations_[station];
    const bool probing = health.marked();
    if (!health.MayTry(now)) {
        done({ExceptionPdu(function, modbus::kGatewayTargetFailed),
              modbus::ExceptionText(modbus::kGatewayTargetFailed) + ": station " +
                  std::to_string(station) + " has not been answering",
              station});
        return;
    }
    queue_.AsyncTransact(station, request.pdu, probing,
                         [this, request, station, done = std::move(done)](
                             transport::Outcome outcome, Clock::duration took) {
                             done(Answered(request, station, std::move(outcome), took));
                         });
}

Handled LineForwarder::Answered(const PendingRequest& request, std::uint8_t station,
                                transport::Outcome outcome, Clock::duration took) {
    const std::uint8_t function = request.pdu.at(0);
    const auto now = Clock::now();
    counters_.line_busy += took;
    if (outcome.tries > 1) {
        counters_.retries += outcome.tries - 1;
    }
    const auto refused = [&](std::uint8_t exception, const std::string& why) {
        return Handled{ExceptionPdu(function, exception),
                       modbus::ExceptionText(exception) + ": " + why, station};
    };
    if (stop_.requested()) {
        return refused(modbus::kGatewayPathUnavailable, "the gateway stopped");
    }
    if (outcome.line == transport::LineState::Down) {
        if (!line_.marked()) {
            log_("the line is down: " + outcome.message + "; answering 0A until it is back");
        }
        line_.Failed(now);
        line_problem_ = outcome.message;
        return refused(modbus::kGatewayPathUnavailable, outcome.message);
    }
    if (line_.marked()) {
        log_("the line is back: " + transport::ConnectionText(settings_.line));
    }
    line_.Succeeded();
    auto& health = stations_[station];
    if (!outcome.reply) {
        ++counters_.timeouts;
        const bool was_marked = health.marked();
        health.Failed(now);
        problems_[station] = outcome.message;
        if (health.marked() && !was_marked) {
            log_("station " + std::to_string(station) + " is not answering: " + outcome.message +
                 "; answering 0B at once but for one try every " +
                 std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    settings_.retry_dead_after)
                                    .count()) +
                 " ms at most");
        }
        return refused(modbus::kGatewayTargetFailed, outcome.message);
    }
    if (health.marked()) {
        log_("station " + std::to_string(station) + " answers again");
    }
    health.Succeeded();
    const std::string result = outcome.reply->kind == modbus::ReplyKind::Exception
                                   ? modbus::ExceptionText(outcome.reply->exception)
                                   : std::string("ok");
    return {std::move(outcome.pdu), result, station};
}

LineForwarder::Health LineForwarder::HealthAt(Clock::time_point now) const {
    Health health{!line_.marked(), line_.marked() ? line_problem_ : std::string(), {}};
    const auto until = [now](Clock::time_point when) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::max(when - now, Clock::duration::zero()));
    };
    for (unsigned station = 0; station < forwarded_.size(); ++station) {
        if (!forwarded_[station]) {
            continue;
        }
        const auto& backoff = stations_.at(static_cast<std::uint8_t>(station));
        health.stations.push_back(
            backoff.marked()
                ? web::StationView{station, false, problems_[station], until(backoff.next_try())}
                : web::StationView{station, true, {}, std::nullopt});
    }
    return health;
}

}  // namespace gateway
