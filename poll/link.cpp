#include "poll/link.h"

#include <algorithm>
#include <atomic>
#include <boost/asio/steady_timer.hpp>

#include "poll/asio_link.h"

namespace live {

namespace {

std::atomic<bool> g_interrupted{false};

}  // namespace

bool Interrupted() noexcept {
    return g_interrupted;
}

AsioLink::AsioLink(const Connection& connection, LogLine log)
    : connection_(connection),
      log_(std::move(log)),
      signals_(io_, SIGINT, SIGTERM),
      owed_(connection.timeout) {
    // Ctrl-C stops whatever wait is under way; the caller writes out what was read and ends.
    signals_.async_wait([this](const boost::system::error_code& error, int) {
        if (!error) {
            g_interrupted = true;
            io_.stop();
        }
    });
}

void AsioLink::Log(std::string_view line) const {
    if (connection_.verbose && log_) {
        log_(line);
    }
}

bool AsioLink::RunUntil(const bool& done, Clock::time_point deadline) {
    // What is ready already runs even when the deadline is now: bytes waiting in a port's buffer
    // are found without waiting at all.
    io_.poll();
    while (!done && !g_interrupted && Clock::now() < deadline) {
        io_.run_one_until(deadline);
    }
    return done;
}

void AsioLink::Finish(const bool& done) {
    io_.restart();
    while (!done) {
        io_.run_one();
    }
}

void AsioLink::Pause(std::chrono::milliseconds time) {
    boost::asio::steady_timer timer(io_, time);
    bool done = false;
    timer.async_wait([&done](const boost::system::error_code&) { done = true; });
    io_.restart();
    if (!RunUntil(done, Clock::now() + time + std::chrono::seconds(1))) {
        timer.cancel();
        Finish(done);
    }
}

std::optional<modbus::Reply> AsioLink::AnswerFrom(std::span<const std::uint8_t> request,
                                                  const modbus::WireFrame& frame,
                                                  std::string& problem) const {
    if (frame.slave != connection_.slave) {
        const char* station = connection_.tcp ? "unit " : "slave ";
        problem = std::string("a reply from ") + station + std::to_string(frame.slave) + ", not " +
                  station + std::to_string(connection_.slave);
        return std::nullopt;
    }
    auto reply = modbus::ReadReply(request, frame.pdu);
    if (reply.kind == modbus::ReplyKind::Unrelated) {
        problem = reply.problem;
        return std::nullopt;
    }
    return reply;
}

std::string AsioLink::TriesText() const {
    const unsigned tries = connection_.retries + 1;
    return std::to_string(tries) + (tries == 1 ? " try" : " tries");
}

void AsioLink::Heard(bool answering) noexcept {
    if (answering) {
        ++bytes_heard_;
    }
    owed_.Heard(Clock::now());
}

Outcome AsioLink::Failed(std::string failure, LineState line) const {
    return {std::nullopt, std::move(failure), line};
}

Outcome AsioLink::Transact(std::span<const std::uint8_t> request) {
    WaitOutOwed();
    const std::uint64_t heard_before = bytes_heard_;
    std::string problem;  // what came instead of a sound answer, at the last try
    for (unsigned attempt = 0; attempt <= connection_.retries; ++attempt) {
        if (g_interrupted) {
            return Failed("interrupted", LineState::Answering);
        }
        if (!IsOpen()) {
            if (auto failure = Open(); !failure.empty()) {
                return Failed(std::move(failure), LineState::Down);
            }
        }
        if (auto lost = Send(request, attempt == 0); !lost.empty()) {
            Close();
            ForgiveOwed();
            return Failed(std::move(lost), LineState::Down);
        }
        // A reply on a serial line carries no transaction number, so one owed to a try that
        // timed out is waited out before another request goes. Over TCP it could be told apart
        // by its number, but a slow gateway would pile up tries that time out: waited out too.
        owed_.Sent(Clock::now());
        owed_request_.assign(request.begin(), request.end());
        Attempt attempt_result = Collect(request, Clock::now() + connection_.timeout);
        switch (attempt_result.kind) {
            case AttemptKind::Answered:
                // Whichever try it answers, the oldest owed is paid; the others are waited out
                // before the next request.
                owed_.Answered(Clock::now());
                return {std::move(attempt_result.reply), {}, LineState::Answering};
            case AttemptKind::Lost:
                Close();
                ForgiveOwed();
                return Failed(std::move(attempt_result.problem), LineState::Down);
            case AttemptKind::TimedOut:
            case AttemptKind::Broken:
                if (!attempt_result.problem.empty()) {
                    problem = std::move(attempt_result.problem);
                }
                break;
        }
    }
    if (g_interrupted) {
        return Failed("interrupted", LineState::Answering);
    }
    const LineState line = bytes_heard_ == heard_before ? LineState::Silent : LineState::Answering;
    if (problem.empty()) {
        return Failed("no answer within " + std::to_string(connection_.timeout.count()) +
                          " ms after " + TriesText(),
                      line);
    }
    return Failed("no sound answer after " + TriesText() + ": " + problem, line);
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
    while (owed_.owed() > 0 && IsOpen() && !g_interrupted) {
        const auto give_up = std::min(owed_.GiveUpAt(), last_chance);
        if (Clock::now() >= give_up) {
            break;
        }
        Attempt late = Collect(owed_request_, give_up);
        if (late.kind == AttemptKind::Answered) {
            const auto delay = owed_.Answered(Clock::now());
            latest = std::max(latest.value_or(delay), delay);
            Log("  (a late reply to an earlier try: dropped)");
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

std::string AsioLink::ErrorText(const boost::system::error_code& error) {
    std::string text = error.message();
    // Windows' messages end in a full stop and a line break; ours are one line, built on.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) {
        text.pop_back();
    }
    return text;
}

std::unique_ptr<Link> MakeLink(const Connection& connection, LogLine log) {
    if (connection.tcp) {
        return MakeTcpLink(connection, std::move(log));
    }
    return MakeSerialLink(connection, std::move(log));
}

}  // namespace live
