#include "gateway/line_forwarder.h"

#include <algorithm>

#include "modbus/function_codes.h"

namespace gateway {

namespace {

// The port is opened again after half a second, then after longer waits up to 8 s: a cable
// plugged back is found soon, a port that is gone costs almost nothing.
constexpr BackoffPolicy kLinePolicy{1, std::chrono::milliseconds(500), std::chrono::seconds(8)};

}  // namespace

std::vector<std::uint8_t> ExceptionPdu(std::uint8_t function, std::uint8_t exception) {
    return {static_cast<std::uint8_t>(function | modbus::kExceptionBit), exception};
}

LineForwarder::LineForwarder(const Settings& settings, transport::Link& link,
                             const transport::StopFlag& stop, Counters& counters, LogLine log)
    : settings_(settings),
      link_(link),
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

Handled LineForwarder::Handle(const PendingRequest& request) {
    const auto route = RouteRequest(settings_.rules, request.unit, request.pdu);
    Handled handled;
    if (route.exception != 0) {
        handled.pdu = ExceptionPdu(request.pdu.at(0), route.exception);
        handled.result = modbus::ExceptionText(route.exception) + ": " + route.reason;
        handled.station = request.unit;
        return handled;
    }
    handled.pdu = Exchange(request, route.station, handled.result);
    handled.station = route.station;
    return handled;
}

std::vector<std::uint8_t> LineForwarder::Exchange(const PendingRequest& request,
                                                  std::uint8_t station, std::string& result) {
    const std::uint8_t function = request.pdu.at(0);
    auto now = Clock::now();
    if (!line_.MayTry(now)) {
        result = modbus::ExceptionText(modbus::kGatewayPathUnavailable) + ": the line is down";
        return ExceptionPdu(function, modbus::kGatewayPathUnavailable);
    }
    auto& health = stations_[station];
    const bool probing = health.marked();
    if (!health.MayTry(now)) {
        result = modbus::ExceptionText(modbus::kGatewayTargetFailed) + ": station " +
                 std::to_string(station) + " has not been answering";
        return ExceptionPdu(function, modbus::kGatewayTargetFailed);
    }
    auto outcome = probing ? link_.TransactOnce(station, request.pdu)
                           : link_.TransactWith(station, request.pdu);
    const auto done = Clock::now();
    counters_.line_busy += done - now;
    now = done;
    if (outcome.tries > 1) {
        counters_.retries += outcome.tries - 1;
    }
    if (stop_.requested()) {
        result = modbus::ExceptionText(modbus::kGatewayPathUnavailable) + ": the gateway stopped";
        return ExceptionPdu(function, modbus::kGatewayPathUnavailable);
    }
    if (outcome.line == transport::LineState::Down) {
        if (!line_.marked()) {
            log_("the line is down: " + outcome.message + "; answering 0A until it is back");
        }
        line_.Failed(now);
        result = modbus::ExceptionText(modbus::kGatewayPathUnavailable) + ": " + outcome.message;
        return ExceptionPdu(function, modbus::kGatewayPathUnavailable);
    }
    if (line_.marked()) {
        log_("the line is back: " + transport::ConnectionText(settings_.line));
    }
    line_.Succeeded();
    if (!outcome.reply) {
        ++counters_.timeouts;
        const bool was_marked = health.marked();
        health.Failed(now);
        if (health.marked() && !was_marked) {
            log_("station " + std::to_string(station) + " is not answering: " + outcome.message +
                 "; answering 0B at once but for one try every " +
                 std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    settings_.retry_dead_after)
                                    .count()) +
                 " ms at most");
        }
        result = modbus::ExceptionText(modbus::kGatewayTargetFailed) + ": " + outcome.message;
        return ExceptionPdu(function, modbus::kGatewayTargetFailed);
    }
    if (health.marked()) {
        log_("station " + std::to_string(station) + " answers again");
    }
    health.Succeeded();
    result = outcome.reply->kind == modbus::ReplyKind::Exception
                 ? modbus::ExceptionText(outcome.reply->exception)
                 : std::string("ok");
    return std::move(outcome.pdu);
}

}  // namespace gateway
