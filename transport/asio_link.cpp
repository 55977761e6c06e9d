#include "transport/asio_link.h"

#include <algorithm>
#include <array>
#include <boost/asio/steady_timer.hpp>

#include "modbus/request_shape.h"

namespace transport {

namespace {

std::string TriesText(unsigned tries) {
    return std::to_string(tries) + (tries == 1 ? " try" : " tries");
}

}  // namespace

AsioLink::AsioLink(boost::asio::io_context& io, const StopFlag& stop, const Connection& connection,
                   LogLine log, std::unique_ptr<modbus::FrameFinder> finder)
    : connection_(connection),
      io_(io),
      finder_(std::move(finder)),
      stop_(stop),
      log_(std::move(log)),
      owed_(connection.timeout) {
    quiet_before_ = connection.pause;
    if (connection.mode == modbus::FrameMode::Rtu && !ModbusTcpFrames(connection)) {
        const auto& line = connection.line;
        const auto bits = modbus::CharacterBits(line.data_bits, line.parity, line.stop_bits);
        quiet_before_ = std::max<Clock::duration>(
            quiet_before_,
            std::chrono::microseconds(modbus::RtuSilenceMicroseconds(connection.baud, bits)));
    }
}

void AsioLink::KeepQuiet() {
    if (quiet_before_ != Clock::duration::zero()) {
        WaitUntil(last_byte_ + quiet_before_);
    }
}

void AsioLink::WaitUntil(Clock::time_point until) {
    if (Clock::now() >= until) {
        return;
    }
    boost::asio::steady_timer timer(io_, until);
    Await(
        [&](auto done) { timer.async_wait([done](const boost::system::error_code&) { done(); }); },
        [&] { timer.cancel(); }, until + std::chrono::seconds(1));
}

void AsioLink::Log(std::string_view line) const {
    if (connection_.verbose && log_) {
        log_(line);
    }
}

void AsioLink::Pause(std::chrono::milliseconds time) {
    WaitUntil(Clock::now() + time);
}

void AsioLink::StartAfresh() noexcept {
    owed_.Forgive();
    finder_->Clear();
}

Outcome AsioLink::Failed(std::string message, LineState line, unsigned tries) const {
    return {std::nullopt, std::move(message), line, {}, tries};
}

void AsioLink::Counted(const modbus::Reply& reply, Clock::duration delay) {
    if (reply.kind == modbus::ReplyKind::Exception) {
        ++counters_.exceptions[reply.exception];
    }
    ++counters_.delays[std::chrono::duration_cast<std::chrono::milliseconds>(delay).count()];
}

Outcome AsioLink::Transact(std::span<const std::uint8_t> request) {
    return TransactWith(connection_.slave, request);
}

Outcome AsioLink::TransactWith(std::uint8_t station, std::span<const std::uint8_t> request) {
    return Exchange(station, request, connection_.retries);
}

Outcome AsioLink::TransactOnce(std::uint8_t station, std::span<const std::uint8_t> request) {
    Outcome outcome = Exchange(station, request, 0);
    if (!outcome.reply) {
        owed_.Forgive();
    }
    return outcome;
}

Outcome AsioLink::Exchange(std::uint8_t station, std::span<const std::uint8_t> request,
                           unsigned retries) {
    // A request no reply could be checked against is not sent: its answer could not be trusted.
    if (auto fault = modbus::RequestShapeFault(request)) {
        return Failed("not sent: " + fault->message, LineState::Answering, 0);
    }
    WaitOutOwed();
    ++counters_.requests;
    const std::uint64_t heard_before = bytes_heard_;
    std::string problem;  // what came instead of a sound answer, at the last try
    for (unsigned attempt = 0; attempt <= retries; ++attempt) {
        if (stop_.requested()) {
            return Failed("interrupted", LineState::Answering, attempt);
        }
        if (!IsOpen()) {
            if (auto failure = Open()) {
                return Failed(std::move(failure->message), LineState::Down, attempt);
            }
        }
        if (attempt == 0) {
            first_try_number_ = static_cast<std::uint16_t>(try_number_ + 1);
        } else {
            ++counters_.retries;
        }
        KeepQuiet();
        if (auto lost = Send(station, request, ++try_number_)) {
            Close();
            StartAfresh();
            return Failed(std::move(lost->message), LineState::Down, attempt + 1);
        }
        last_byte_ = Clock::now();
        // A serial frame carries no transaction number, on a port or through a serial device
        // server alike, so a reply owed to a try that timed out is waited out before another
        // request goes. Modbus TCP's could be told apart by its number, but a slow gateway would
        // pile up tries that time out: waited out too.
        owed_.Sent(Clock::now());
        owed_request_.assign(request.begin(), request.end());
        owed_station_ = station;
        Attempt attempt_result = Collect(station, request, Clock::now() + connection_.timeout);
        switch (attempt_result.kind) {
            case AttemptKind::Answered:
                // Whichever try it answers, the oldest owed is paid; the others are waited out
                // before the next request.
                Counted(*attempt_result.reply, owed_.Answered(Clock::now()));
                return {std::move(attempt_result.reply),
                        {},
                        LineState::Answering,
                        std::move(attempt_result.pdu),
                        attempt + 1};
            case AttemptKind::Lost:
                Close();
                StartAfresh();
                return Failed(std::move(attempt_result.message), LineState::Down, attempt + 1);
            case AttemptKind::Broken:
                // The station's turn, though no answer: nothing more is owed for this try.
                owed_.Answered(Clock::now());
                [[fallthrough]];
            case AttemptKind::TimedOut:
            case AttemptKind::Cut:
                ++(attempt_result.kind == AttemptKind::Broken ? counters_.broken
                   : attempt_result.kind == AttemptKind::Cut  ? counters_.cut
                                                              : counters_.timeouts);
                if (!attempt_result.message.empty()) {
                    problem = std::move(attempt_result.message);
                }
                break;
        }
    }
    const unsigned tries = retries + 1;
    if (stop_.requested()) {
        return Failed("interrupted", LineState::Answering, tries);
    }
    const LineState line = bytes_heard_ == heard_before ? LineState::Silent : LineState::Answering;
    if (problem.empty()) {
        return Failed("no answer within " + std::to_string(connection_.timeout.count()) +
                          " ms after " + TriesText(tries),
                      line, tries);
    }
    return Failed("no sound answer after " + TriesText(tries) + ": " + problem, line, tries);
}

std::optional<std::chrono::milliseconds> AsioLink::Settle() {
    const auto latest = WaitOutOwed();
    if (!latest) {
        return std::nullopt;
    }
    return std::chrono::ceil<std::chrono::milliseconds>(*latest);
}

std::optional<Clock::duration> AsioLink::WaitOutOwed() {
    std::optional<Clock::duration> latest;
    if (owed_.owed() == 0) {
        return latest;
    }
    // A line that never falls silent (another master, noise) is given up on after one wait per
    // reply owed, so that nothing waits for ever.
    const auto wait = std::max<Clock::duration>(connection_.timeout, owed_.longest_delay() * 3 / 2);
    const auto last_chance = Clock::now() + wait * static_cast<long>(owed_.owed() + 1);
    while (owed_.owed() > 0 && IsOpen() && !stop_.requested()) {
        const auto give_up = std::min(owed_.GiveUpAt(), last_chance);
        if (Clock::now() >= give_up) {
            break;
        }
        Attempt late = Collect(owed_station_, owed_request_, give_up);
        if (late.kind == AttemptKind::Answered) {
            const auto delay = owed_.Answered(Clock::now());
            latest = std::max(latest.value_or(delay), delay);
            Log("  (a late reply to an earlier try: dropped)");
        } else if (late.kind == AttemptKind::Broken) {
            owed_.Answered(Clock::now());  // late and unsound, but the station's turn all the same
        } else if (late.kind == AttemptKind::Lost) {
            Close();
            break;
        }
    }
    if (owed_.owed() > 0) {
        Log("  (" + std::to_string(owed_.owed()) + " owed " +
            (owed_.owed() == 1 ? "reply" : "replies") + " never came: the line is taken as free)");
        owed_.Forgive();
    }
    return latest;
}

std::unique_ptr<Link> MakeLink(boost::asio::io_context& io, const StopFlag& stop,
                               const Connection& connection, LogLine log) {
    if (!connection.tcp) {
        return MakeSerialLink(io, stop, connection, std::move(log));
    }
    if (connection.serial_frames) {
        return MakeSerialOverTcpLink(io, stop, connection, std::move(log));
    }
    return MakeTcpLink(io, stop, connection, std::move(log));
}

}  // namespace transport
